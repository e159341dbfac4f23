#include "vendor/VendorOps.h"

#include <cstring>

#include "common/Bytes.h"
#include "common/Format.h"
#include "common/Workbench.h"
#include "drive/PortIo.h"
#include "drive/Transport.h"
#include "drive/uATA.h"
#include "vendor/Vsc.h"

namespace qm {
namespace {

uint16_t Lo(uint32_t v) {
    return static_cast<uint16_t>(v);
}
uint16_t Hi(uint32_t v) {
    return static_cast<uint16_t>(v >> 16);
}

// A timed wait that expired: reset the channel, wait once more, mark the step failed.
void TimedOut(Workbench& wb, int32_t limit, int64_t divisor) {
    SoftReset(wb);
    TimedWaitReady(wb, limit, divisor);
    wb.link.status.ERR = true;
    wb.link.error.ABRT = true;
    PutU16(wb.link.keySector.data() + 24, kVscTimedOut);
}

}  // namespace

void PowerOnReset(Workbench& wb, uint16_t p) {
    EnableVsc(wb);
    SendKey8(wb, 0x1C, p, 0, 0, 0, 0, 0, 0);
}

bool PowerOnResetCommand(Workbench& wb) {
    PowerOnReset(wb, 1);
    wb.host.Sleep(3000);
    ReadKeyStatus(wb);
    const uint16_t status = VendorStatus(wb);
    if (status != 0) wb.host.Log(Format("Power On Reset Immediate - ERROR:%04X", status));
    return status == 0;
}

uint32_t TimedKeyCommand(Workbench& wb, const uint16_t (&words)[8], int64_t divisor,
                         int32_t limit) {
    BuildKey(wb, words, 8);
    TaskFile tf;
    tf.command = 0xB0;
    tf.features = 0xD6;
    tf.sectorCount = 1;
    tf.lbaLow = kKeyLog;
    tf.lbaMid = 0x4F;
    tf.lbaHigh = 0xC2;
    if (wb.link.mode != TransportMode::PortIo) {
        const bool ok = SendDataOut(wb, tf, RegisterForm::Lba48, 1, wb.link.keySector.data());
        ReadKeyStatus(wb);
        wb.link.status.ERR = !ok || wb.link.status.ERR;
    } else {
        WriteTaskFile(wb, tf, RegisterForm::Lba48);
        WaitReady(wb);
        if (limit <= 0) {
            WriteSectors(wb, wb.link.keySector.data(), 1);
            ReadKeyStatus(wb);
        } else {
            // The key words go out without the wait that follows a sector, so
            // the drive's working time is what the timed wait measures.
            const uint16_t data = wb.link.basePort;
            for (int w = 0; w < 256 && wb.portIo; ++w)
                wb.portIo->WriteIoPortWord(data, GetU16(wb.link.keySector.data() + 2 * w));
            if (TimedWaitReady(wb, limit, divisor))
                ReadKeyStatus(wb);
            else
                TimedOut(wb, limit, divisor);
        }
    }
    const uint16_t status = VendorStatus(wb);
    if (status != 0 && status != 0xFFFF) wb.link.status.ERR = true;
    return ReturnedValue(wb);
}

bool ServoOperation(Workbench& wb, uint32_t cylinder, uint8_t head, uint8_t op, int64_t divisor,
                    int32_t limit, uint16_t count) {
    const uint16_t cl = Lo(cylinder), ch = Hi(cylinder), h = head & 0x0F;
    auto key = [&](uint16_t w0, uint16_t w1, uint16_t w2, uint16_t w3, uint16_t w4, uint16_t w5,
                   uint16_t w6, uint16_t w7) {
        const uint16_t words[8] = {w0, w1, w2, w3, w4, w5, w6, w7};
        return TimedKeyCommand(wb, words, divisor, limit);
    };
    // A data phase of 0 sectors (a refused key, or a count that is a
    // multiple of 256) is not sent: the 28-bit command would ask for 256
    // sectors and move whatever the buffer holds.
    auto writeKeyAndData = [&] {
        const uint8_t n = static_cast<uint8_t>(key(0x0C, 2, cl, ch, h, 1, 1, 0));
        if (n > 0) WriteVscData(wb, n);
    };
    switch (op) {
        case 0:
            key(0x11, 3, cl, ch, h, 1, 0, 0);
            break;
        case 1:
            key(0x11, 6, cl, ch, h, 1, 0, 0);
            break;
        case 2:
        case 9:
            key(0x12, cl, ch, h, 1, 0, 0, 0);
            break;
        case 3:
            key(0x25, 1, cl, ch, h, 0, 0, 0);
            break;
        case 4:
        case 6:
            key(0x0C, 1, cl, ch, h, 1, count, 0);
            break;
        case 5:
            key(0x25, 1, cl, ch, h, 0, 0, 0);
            key(0x0C, 1, cl, ch, h, 1, count, 0);
            break;
        case 7:
            writeKeyAndData();
            break;
        case 8:
            writeKeyAndData();
            key(0x0C, 1, cl, ch, h, 1, 1, 0);
            break;
        default:
            break;  // op 10 (and anything above) sends no key here
    }
    for (int i = 0; i < 10 && wb.link.status.BSY; ++i) {
        if (TimedWaitReady(wb, limit, divisor))
            ReadKeyStatus(wb);
        else
            TimedOut(wb, limit, divisor);
    }
    if (op == 9 || op == 10) {
        SettleRequest(wb, cylinder, head, 1);
        Reposition(wb, cylinder, head, 1);
        ReadServoResult(wb, op == 9 ? 0x19 : 0x1A);
        const uint8_t n = static_cast<uint8_t>(ReturnedValue(wb));
        if (n > 0) ReadVscData(wb, n);
    }
    return VscSucceeded(wb);
}

bool SettleRequest(Workbench& wb, uint32_t cylinder, uint16_t head, uint16_t w7) {
    EnableVsc(wb);
    const uint16_t words[16] = {0x8052, 0x0A01, 0, 0, Lo(cylinder), Hi(cylinder), head, w7};
    SendKey16(wb, words);
    return VscSucceeded(wb);
}

bool Reposition(Workbench& wb, uint32_t cylinder, uint16_t head, uint16_t w4) {
    EnableVsc(wb);
    SendKey8(wb, 0x12, Lo(cylinder), Hi(cylinder), head, w4, 0, 0, 0);
    return VscSucceeded(wb);
}

bool ReadServoResult(Workbench& wb, uint16_t which) {
    EnableVsc(wb);
    const uint16_t words[16] = {0x10, 1, 0x201E, 0, 0, 0, which};
    SendKey16(wb, words);
    ReadKeyStatus(wb);
    return VscSucceeded(wb);
}

namespace {
constexpr uint16_t kIdle3Action = 0x2A;

// The timer lives in byte 0 of the first data sector. A count of 0 is taken
// as one sector; a count no single command can move (it would wrap) is
// refused.
bool Idle3Count(uint32_t announced, uint8_t& sectors) {
    sectors = static_cast<uint8_t>(announced ? announced : 1);
    return announced <= 255;
}
}  // namespace

bool ReadIdle3Timer(Workbench& wb, uint8_t& value) {
    EnableVsc(wb);
    const uint32_t announced = SendKey8(wb, kIdle3Action, 1, 2, 0x0D, 0x16, 1, 0, 0);
    if (VendorStatus(wb) != 0 || wb.link.Aborted()) return false;
    uint8_t sectors = 0;
    bool dataOk = Idle3Count(announced, sectors);
    if (dataOk) {
        ReadVscData(wb, sectors);
        dataOk = !wb.link.status.ERR;
        value = wb.link.Sectors()[0];
    }
    ReadKeyStatus(wb);
    return dataOk && VscSucceeded(wb);
}

bool WriteIdle3Timer(Workbench& wb, uint8_t value) {
    EnableVsc(wb);
    const uint32_t announced = SendKey8(wb, kIdle3Action, 2, 2, 0x0D, 0x16, 1, 0, 0);
    if (VendorStatus(wb) != 0 || wb.link.Aborted()) return false;
    uint8_t sectors = 0;
    bool dataOk = Idle3Count(announced, sectors);
    if (dataOk) {
        // Every sector sent is ours: zeros but the timer byte, never what an
        // earlier transfer left in the buffer.
        std::memset(wb.link.Sectors(), 0, size_t{sectors} * 512);
        wb.link.Sectors()[0] = value;
        WriteVscData(wb, sectors);
        dataOk = !wb.link.status.ERR;
    }
    ReadKeyStatus(wb);
    return dataOk && VscSucceeded(wb);
}

std::string Idle3TimerText(uint8_t value) {
    if (value == 0) return "disabled";
    if (value <= 128) return Format("%.1f s", value / 10.0);
    const int seconds = (value - 128) * 30;
    return seconds % 60 ? Format("%d s", seconds) : Format("%d min", seconds / 60);
}

}  // namespace qm
