#include "drive/Transport.h"

#include <cstring>

#include "common/Workbench.h"
#include "drive/PortIo.h"
#include "drive/uATA.h"
#include "drive/uAtaPass.h"
#include "drive/uSCSI.h"

namespace qm {
namespace {

// The count travels in the 8-bit Sector Count register: 255 sectors at most
// (256 would go out as 0, which the 48-bit form reads as 65536).
constexpr uint32_t kMaxTransferSectors = 255;
static_assert(kMaxTransferSectors * kSectorSize <= kSectorBufferSize);

// Records the outcome: ERR is the negation of success. An abort always fails
// the operation, whatever the last status read said.
bool Finish(Workbench& wb, bool success) {
    success = success && !wb.link.Aborted();
    wb.link.status.ERR = !success;
    return success;
}

bool PortIoCommand(Workbench& wb, const TaskFile& tf, RegisterForm form) {
    WriteTaskFile(wb, tf, form);
    WaitReady(wb);
    return !wb.link.status.ERR && !wb.link.Aborted();
}

}  // namespace

bool SendNonData(Workbench& wb, TaskFile tf, RegisterForm form) {
    switch (wb.link.mode) {
        case TransportMode::AtaPassThrough:
            return Finish(wb, AtaPassThrough(wb, tf, nullptr, 0, DataDirection::None));
        case TransportMode::ScsiPassThrough:
            return Finish(wb, ScsiAtaPassThrough(wb, ScsiProtocol::NonData, tf, nullptr, 0));
        case TransportMode::PortIo:
            break;
    }
    return Finish(wb, PortIoCommand(wb, tf, form));
}

bool SendDataIn(Workbench& wb, TaskFile tf, RegisterForm form, uint32_t sectors,
                uint8_t* destination) {
    if (sectors > (destination ? 1 : kMaxTransferSectors)) return Finish(wb, false);
    uint8_t* buffer = destination ? destination : wb.link.Sectors();
    const uint32_t length = sectors * static_cast<uint32_t>(kSectorSize);
    switch (wb.link.mode) {
        case TransportMode::AtaPassThrough:
            return Finish(wb, AtaPassThrough(wb, tf, buffer, length, DataDirection::In));
        case TransportMode::ScsiPassThrough:
            return Finish(wb, ScsiAtaPassThrough(wb, ScsiProtocol::PioDataIn, tf, buffer, length));
        case TransportMode::PortIo:
            break;
    }
    if (!PortIoCommand(wb, tf, form)) return Finish(wb, false);
    // A drive offers each sector with DRQ. One that drops DRQ early has no
    // more data: reading on would fill the buffer with the floating bus, so
    // the command fails instead of passing that off as data.
    for (uint32_t s = 0; s < sectors; ++s) {
        if (!wb.link.status.DRQ || wb.link.Aborted()) return Finish(wb, false);
        ReadSectors(wb, buffer + static_cast<size_t>(s) * kSectorSize, 1);
    }
    return Finish(wb, !wb.link.status.ERR);
}

bool SendDataOut(Workbench& wb, TaskFile tf, RegisterForm form, uint32_t sectors,
                 const uint8_t* source) {
    if (!source && sectors > kMaxTransferSectors) return Finish(wb, false);
    if (source && sectors > 1) return Finish(wb, false);  // the key-sector buffer is one sector
    const uint32_t length = sectors * static_cast<uint32_t>(kSectorSize);
    // The pass-through requests take a writable buffer; the data is only read.
    uint8_t* buffer = source ? const_cast<uint8_t*>(source) : wb.link.Sectors();
    switch (wb.link.mode) {
        case TransportMode::AtaPassThrough:
            return Finish(wb, AtaPassThrough(wb, tf, buffer, length, DataDirection::Out));
        case TransportMode::ScsiPassThrough:
            return Finish(wb, ScsiAtaPassThrough(wb, ScsiProtocol::PioDataOut, tf, buffer, length));
        case TransportMode::PortIo:
            break;
    }
    // No data goes to a drive that refused the command.
    if (!PortIoCommand(wb, tf, form)) return Finish(wb, false);
    WriteSectors(wb, buffer, sectors);
    return Finish(wb, !wb.link.status.ERR);
}

ResultRegisters ReadResultRegisters(Workbench& wb) {
    switch (wb.link.mode) {
        case TransportMode::AtaPassThrough:
            return wb.link.result;
        case TransportMode::ScsiPassThrough: {
            ResultRegisters r;
            if (ScsiReadResponse(wb, r))
                wb.link.result = r;
            else
                r.known = false;
            return r;
        }
        case TransportMode::PortIo:
            break;
    }
    ResultRegisters r = wb.link.result;
    if (wb.portIo) {
        r.lbaMid = wb.portIo->ReadIoPortByte(static_cast<uint16_t>(wb.link.basePort + 4));
        r.lbaHigh = wb.portIo->ReadIoPortByte(static_cast<uint16_t>(wb.link.basePort + 5));
    } else {
        r.lbaMid = r.lbaHigh = 0xFF;
    }
    return r;
}

bool IdentifyDevice(Workbench& wb) {
    TaskFile tf;
    tf.command = 0xEC;
    tf.sectorCount = 1;
    tf.device = 0xA0;
    uint8_t* buffer = wb.link.Sectors();
    switch (wb.link.mode) {
        case TransportMode::AtaPassThrough:
            return Finish(wb, AtaPassThrough(wb, tf, buffer, 512, DataDirection::In));
        case TransportMode::ScsiPassThrough:
            return Finish(wb, ScsiAtaPassThrough(wb, ScsiProtocol::PioDataIn, tf, buffer, 512));
        case TransportMode::PortIo:
            break;
    }
    WriteTaskFile(wb, tf, RegisterForm::Lba28);
    WaitReady(wb);
    if (!wb.link.status.ERR && wb.link.status.DRQ && !wb.link.Aborted()) {
        ReadSectors(wb, buffer, 1);
        return Finish(wb, !wb.link.status.ERR);
    }
    std::memset(buffer, 0, 512);
    return Finish(wb, false);
}

}  // namespace qm
