// The virtual drive's pass-through seam: ATA_PASS_THROUGH_EX and
// SCSI_PASS_THROUGH blocks of any shape, and the SAT command blocks inside.
#include "drive/DeviceIo.h"
#include "fuzz/FuzzInput.h"
#include "vdrive/Sat.h"
#include "vdrive/VirtualDrive.h"
#include "vdrive/VirtualSeams.h"

namespace {

qm::DriveContent& Sample() {
    static qm::DriveContent content = qm::VirtualDrive::SampleContent();
    return content;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qm::fuzz::FuzzInput in(data, size);
    qm::VirtualDrive drive(Sample());
    int64_t now = 0;
    drive.SetClock([&now] { return now += 1'000'000; });
    qm::VirtualDeviceIo io(drive);
    io.sleepNanos = [](int64_t) {};
    const qm::DeviceHandle h = io.Open("/dev/qmvd0");
    // Up to four requests on the same drive, each with its own block.
    for (int request = 0; request < 4 && in.Left(); ++request) {
        const uint8_t kind = in.Byte();
        const uint32_t inSize = in.U16() % 1200, outSize = in.U16() % 1200;
        std::vector<uint8_t> block = in.Tail(in.U16() % 1200);
        block.resize(std::max(inSize, outSize));
        const uint32_t code = kind & 1 ? qm::kIoctlAtaPassThrough : qm::kIoctlScsiPassThrough;
        uint32_t returned = 0;
        (void)io.Control(h, code, block.data(), inSize, outSize, returned);
        if (returned > block.size()) __builtin_trap();
    }
    // What is left: one CDB straight into the SAT layer.
    const std::vector<uint8_t> rest = in.Rest();
    qm::sat::PassThroughCommand cmd;
    const size_t cdbLength = std::min<size_t>(rest.size(), 16);
    (void)qm::sat::ParsePassThroughCdb(rest.data(), cdbLength, cmd);
    qm::sat::SatDevice sat(drive);
    const std::span<const uint8_t> out(rest.data() + cdbLength, rest.size() - cdbLength);
    (void)sat.Execute(rest.data(), cdbLength, out, static_cast<uint32_t>(out.size()));
    return 0;
}
