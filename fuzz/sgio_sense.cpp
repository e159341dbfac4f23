// SG_IO on Linux: a caller's pass-through block planned into a command, and
// the sense data a device answers copied back into it (ATA registers from the
// ATA Status Return descriptor or the fixed format, SCSI status and sense).
#include <algorithm>

#include "drive/SatCdb.h"
#include "fuzz/FuzzInput.h"
#include "platform/linux/SgIoTranslate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qm::fuzz::FuzzInput in(data, size);
    const bool ata = in.Bool();
    const uint32_t inSize = in.U16() % 1024, outSize = in.U16() % 1024;
    qm::sgio::Outcome o;
    o.scsiStatus = in.Byte();
    o.hostStatus = in.Byte() % 4 == 0 ? in.Byte() : 0;
    o.driverStatus = in.Byte() % 4 == 0 ? in.Byte() : 0;
    o.resid = static_cast<int32_t>(in.U32());
    const std::vector<uint8_t> sense = in.Tail(in.Byte() % 97);  // SG_IO's buffer is 96 bytes
    o.sense = sense.data();
    o.senseLength = sense.size();

    qm::ResultRegisters regs;
    (void)qm::sat::DecodeAtaRegisters(sense.data(), sense.size(), regs);
    (void)qm::sat::SenseKey(sense.data(), sense.size());
    (void)qm::sgio::TransportError(o);

    // The caller's buffer holds exactly max(in, out) bytes.
    std::vector<uint8_t> block = in.Rest();
    block.resize(std::max(inSize, outSize));
    qm::sgio::Plan plan;
    const bool planned = ata ? qm::sgio::PlanAtaBlock(block.data(), inSize, outSize, plan)
                             : qm::sgio::PlanScsiBlock(block.data(), inSize, outSize, plan);
    if (!planned) return 0;
    if (plan.dataLength && static_cast<uint64_t>(plan.dataOffset) + plan.dataLength > block.size())
        __builtin_trap();  // the data phase must stay in the caller's buffer
    if (ata) {
        bool returned = false;
        (void)qm::sgio::ApplyAtaOutcome(block.data(), o, &returned);
    } else {
        (void)qm::sgio::ApplyScsiOutcome(block.data(), plan, o);
    }
    return 0;
}
