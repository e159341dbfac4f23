#include "drive/uATA.h"

#include "common/Workbench.h"
#include "drive/PortIo.h"

namespace qm {
namespace {

// With no port-I/O backend every read floats high, as on an empty bus.
uint8_t InB(Workbench& wb, uint16_t port) {
    return wb.portIo ? wb.portIo->ReadIoPortByte(port) : 0xFF;
}
uint16_t InW(Workbench& wb, uint16_t port) {
    return wb.portIo ? wb.portIo->ReadIoPortWord(port) : 0xFFFF;
}
void OutB(Workbench& wb, uint16_t port, uint8_t v) {
    if (wb.portIo) wb.portIo->WriteIoPortByte(port, v);
}
void OutW(Workbench& wb, uint16_t port, uint16_t v) {
    if (wb.portIo) wb.portIo->WriteIoPortWord(port, v);
}
uint16_t Reg(const Workbench& wb, int offset) {
    return static_cast<uint16_t>(wb.link.basePort + offset);
}
uint8_t DeviceValue(const Workbench& wb, uint8_t device) {
    return wb.link.deviceSelect ? static_cast<uint8_t>(device | 0x10) : device;
}
bool Ready(const StatusFlags& s) {
    return !s.BSY && s.DRDY && s.DSC;
}
// In the pass-through modes the operating system owns the channel: no port
// is touched (the last port-I/O channel chosen may be one the system uses),
// and the status is the last command's, which no waiting changes.
bool PassThrough(const Workbench& wb) {
    return wb.link.mode != TransportMode::PortIo;
}

}  // namespace

uint8_t ReadStatus(Workbench& wb) {
    if (PassThrough(wb)) return wb.link.status.Byte();
    uint8_t v = InB(wb, Reg(wb, 7));
    wb.link.status.Set(v);
    return v;
}

uint8_t ReadError(Workbench& wb) {
    if (PassThrough(wb)) return wb.link.error.Byte();
    uint8_t v = InB(wb, Reg(wb, 1));
    wb.link.error.Set(v);
    return v;
}

void WriteTaskFile28(Workbench& wb, uint8_t features, uint8_t sectorCount, uint8_t lbaLow,
                     uint8_t lbaMid, uint8_t lbaHigh, uint8_t device, uint8_t command) {
    // The Device register first, the Command register last: it starts the command.
    OutB(wb, Reg(wb, 6), DeviceValue(wb, device));
    OutB(wb, Reg(wb, 1), features);
    OutB(wb, Reg(wb, 2), sectorCount);
    OutB(wb, Reg(wb, 3), lbaLow);
    OutB(wb, Reg(wb, 4), lbaMid);
    OutB(wb, Reg(wb, 5), lbaHigh);
    OutB(wb, Reg(wb, 7), command);
}

void WriteTaskFile48(Workbench& wb, uint8_t features, uint8_t sectorCount, uint8_t lbaLow,
                     uint8_t lbaMid, uint8_t lbaHigh, uint8_t device, uint8_t command,
                     uint8_t prevFeatures, uint8_t prevSectorCount, uint8_t prevLbaLow,
                     uint8_t prevLbaMid, uint8_t prevLbaHigh) {
    OutB(wb, Reg(wb, 6), DeviceValue(wb, device));
    // Each register is a two-deep FIFO: the "previous" (high-order) byte goes first.
    OutB(wb, Reg(wb, 1), prevFeatures);
    OutB(wb, Reg(wb, 2), prevSectorCount);
    OutB(wb, Reg(wb, 3), prevLbaLow);
    OutB(wb, Reg(wb, 4), prevLbaMid);
    OutB(wb, Reg(wb, 5), prevLbaHigh);
    OutB(wb, Reg(wb, 1), features);
    OutB(wb, Reg(wb, 2), sectorCount);
    OutB(wb, Reg(wb, 3), lbaLow);
    OutB(wb, Reg(wb, 4), lbaMid);
    OutB(wb, Reg(wb, 5), lbaHigh);
    OutB(wb, Reg(wb, 7), command);
}

void WriteTaskFile(Workbench& wb, const TaskFile& tf, RegisterForm form) {
    if (form == RegisterForm::Lba48)
        WriteTaskFile48(wb, tf.features, tf.sectorCount, tf.lbaLow, tf.lbaMid, tf.lbaHigh,
                        tf.device, tf.command, tf.prevFeatures, tf.prevSectorCount, tf.prevLbaLow,
                        tf.prevLbaMid, tf.prevLbaHigh);
    else
        WriteTaskFile28(wb, tf.features, tf.sectorCount, tf.lbaLow, tf.lbaMid, tf.lbaHigh,
                        tf.device, tf.command);
}

void WaitReady(Workbench& wb) {
    DriveLink& l = wb.link;
    if (PassThrough(wb)) return;
    while (!l.Aborted()) {
        wb.host.ProcessMessages();
        if (l.Aborted()) break;
        wb.host.Sleep(0);
        if (l.Aborted()) break;
        ReadStatus(wb);
        if (l.Aborted()) break;
        if (Ready(l.status)) break;
    }
    ReadError(wb);
}

bool TimedWaitReady(Workbench& wb, int32_t limit, int64_t divisor) {
    DriveLink& l = wb.link;
    if (PassThrough(wb)) return !l.Aborted() && Ready(l.status);
    if (divisor <= 0) divisor = 1;
    bool result = true;
    const int64_t start = wb.host.Counter();
    while (!l.Aborted()) {
        ReadStatus(wb);
        wb.host.ProcessMessages();
        if (l.Aborted()) break;
        wb.host.Sleep(0);
        if (l.Aborted()) break;
        const int64_t elapsed = (wb.host.Counter() - start) / divisor;
        if (limit < elapsed) {
            result = false;
            break;
        }
        if (Ready(l.status)) break;
    }
    ReadError(wb);
    return result;
}

void ReadSectors(Workbench& wb, uint8_t* destination, uint32_t sectors) {
    const uint16_t data = Reg(wb, 0);
    for (uint32_t s = 0; s < sectors && !wb.link.Aborted(); ++s) {
        uint8_t* p = destination + static_cast<size_t>(s) * 512;
        for (int w = 0; w < 256; ++w) {
            const uint16_t v = InW(wb, data);
            p[2 * w] = static_cast<uint8_t>(v);
            p[2 * w + 1] = static_cast<uint8_t>(v >> 8);
        }
        WaitReady(wb);
    }
}

void WriteSectors(Workbench& wb, const uint8_t* source, uint32_t sectors) {
    const uint16_t data = Reg(wb, 0);
    for (uint32_t s = 0; s < sectors && !wb.link.Aborted(); ++s) {
        const uint8_t* p = source + static_cast<size_t>(s) * 512;
        for (int w = 0; w < 256; ++w)
            OutW(wb, data, static_cast<uint16_t>(p[2 * w] | (p[2 * w + 1] << 8)));
        WaitReady(wb);
    }
}

void SoftReset(Workbench& wb) {
    wb.link.abort = false;
    if (PassThrough(wb)) return;
    OutB(wb, wb.link.controlPort, 0x0C);  // SRST set (nIEN kept)
    wb.host.Sleep(100);
    OutB(wb, wb.link.controlPort, 0x08);  // SRST cleared
    wb.host.Sleep(100);
}

void SelectDevice(Workbench& wb, uint8_t value) {
    const uint8_t v = InB(wb, Reg(wb, 6));
    OutB(wb, Reg(wb, 6), static_cast<uint8_t>((v & ~0x10) | value));
}

}  // namespace qm
