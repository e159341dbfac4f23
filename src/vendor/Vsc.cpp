#include "vendor/Vsc.h"

#include <cstring>

#include "common/Bytes.h"
#include "common/Workbench.h"
#include "drive/Transport.h"
#include "drive/uATA.h"

namespace qm {
namespace {

TaskFile SmartLog(uint8_t features, uint8_t sectors, uint8_t log) {
    TaskFile tf;
    tf.command = 0xB0;
    tf.features = features;
    tf.sectorCount = sectors;
    tf.lbaLow = log;
    tf.lbaMid = 0x4F;
    tf.lbaHigh = 0xC2;
    tf.device = 0xA0;
    return tf;
}

bool PortMode(const Workbench& wb) {
    return wb.link.mode == TransportMode::PortIo;
}

void SetErr(Workbench& wb, bool err) {
    wb.link.status.ERR = err;
}

}  // namespace

uint16_t VendorStatus(const Workbench& wb) {
    return GetU16(wb.link.keySector.data() + 24);
}
uint32_t ReturnedValue(const Workbench& wb) {
    return GetU32(wb.link.keySector.data() + 26);
}
bool VscSucceeded(const Workbench& wb) {
    return VendorStatus(wb) == 0 && !wb.link.Aborted() && wb.link.keyStatusRead;
}

void EnableVsc(Workbench& wb) {
    TaskFile tf;
    tf.command = kVscEnableCommand;
    tf.features = kVscEnableFeatures;
    tf.lbaMid = kVscEnableLbaMid;
    tf.lbaHigh = kVscEnableLbaHigh;
    tf.device = 0xA0;
    SendNonData(wb, tf, RegisterForm::Lba48);
    if (!wb.link.status.ERR) return;
    // Second try: a SMART READ LOG of address 0xBB without data switches some firmware.
    SendNonData(wb, SmartLog(0xD5, 0, 0xBB), RegisterForm::Lba48);
}

void ReadKeyStatus(Workbench& wb) {
    const TaskFile tf = SmartLog(0xD5, 1, kKeyLog);
    uint8_t* key = wb.link.keySector.data();
    if (PortMode(wb)) {
        WaitReady(wb);
        WriteTaskFile(wb, tf, RegisterForm::Lba48);
        WaitReady(wb);
        const bool offered = !wb.link.status.ERR && wb.link.status.DRQ;
        if (!wb.link.status.ERR) ReadSectors(wb, key, 1);
        wb.link.keyStatusRead = offered && !wb.link.status.ERR && !wb.link.Aborted();
        SetErr(wb, !wb.link.keyStatusRead);
        return;
    }
    // A failed pass-through read leaves zeros: the status sector then reads as zeros.
    wb.link.keyStatusRead = SendDataIn(wb, tf, RegisterForm::Lba48, 1, key);
}

uint32_t WriteKeySector(Workbench& wb) {
    const TaskFile tf = SmartLog(0xD6, 1, kKeyLog);
    bool failed;
    if (PortMode(wb)) {
        WriteTaskFile(wb, tf, RegisterForm::Lba48);
        WaitReady(wb);
        // The key goes out without testing ERR or DRQ first.
        WriteSectors(wb, wb.link.keySector.data(), 1);
        failed = wb.link.status.ERR || wb.link.Aborted();
    } else {
        failed = !SendDataOut(wb, tf, RegisterForm::Lba48, 1, wb.link.keySector.data());
    }
    ReadKeyStatus(wb);
    wb.link.keyExchanged = !failed && wb.link.keyStatusRead;
    failed = failed || wb.link.status.ERR;
    const uint16_t status = VendorStatus(wb);
    if (status != 0 && status != 0xFFFF) failed = true;
    SetErr(wb, failed);
    return ReturnedValue(wb);
}

bool WriteKeySectorOnly(Workbench& wb) {
    const TaskFile tf = SmartLog(0xD6, 1, kKeyLog);
    if (!PortMode(wb)) return SendDataOut(wb, tf, RegisterForm::Lba48, 1, wb.link.keySector.data());
    WriteTaskFile(wb, tf, RegisterForm::Lba48);
    WaitReady(wb);
    WriteSectors(wb, wb.link.keySector.data(), 1);
    WaitReady(wb);
    return !wb.link.status.ERR && !wb.link.Aborted();
}

void BuildKey(Workbench& wb, const uint16_t* words, int count) {
    wb.link.keySector.fill(0);
    for (int i = 0; i < count; ++i) PutU16(wb.link.keySector.data() + 2 * i, words[i]);
}

uint32_t SendKey8(Workbench& wb, uint16_t w0, uint16_t w1, uint16_t w2, uint16_t w3, uint16_t w4,
                  uint16_t w5, uint16_t w6, uint16_t w7) {
    const uint16_t words[8] = {w0, w1, w2, w3, w4, w5, w6, w7};
    BuildKey(wb, words, 8);
    return WriteKeySector(wb);
}

uint32_t SendKey16(Workbench& wb, const uint16_t (&words)[16]) {
    BuildKey(wb, words, 16);
    return WriteKeySector(wb);
}

void ReadVscData(Workbench& wb, uint8_t sectors) {
    SendDataIn(wb, SmartLog(0xD5, sectors, kDataLog), RegisterForm::Lba48, sectors);
}

void WriteVscData(Workbench& wb, uint8_t sectors) {
    SendDataOut(wb, SmartLog(0xD6, sectors, kDataLog), RegisterForm::Lba48, sectors);
}

}  // namespace qm
