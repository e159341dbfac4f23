#include "smart/SmartRead.h"

#include <cstring>

#include "common/Workbench.h"
#include "drive/Transport.h"

namespace qm {
namespace {

constexpr uint8_t kCmdSmart = 0xB0;

bool SmartDataIn(Workbench& wb, uint8_t feature, SmartSector& out) {
    // A failed transfer must not leave an older sector behind to be read as
    // this one (port I/O keeps whatever the sector buffer held).
    std::memset(wb.link.Sectors(), 0, kSmartSectorSize);
    const bool ok = SendDataIn(wb, SmartTaskFile(feature, wb.link.mode), RegisterForm::Lba28, 1);
    std::memcpy(out.data(), wb.link.Sectors(), kSmartSectorSize);
    return ok;
}

}  // namespace

TaskFile SmartTaskFile(uint8_t feature, TransportMode mode) {
    TaskFile tf;
    tf.features = feature;
    tf.lbaMid = 0x4F;
    tf.lbaHigh = 0xC2;
    tf.device = 0xA0;
    tf.command = kCmdSmart;
    const bool portIo = mode == TransportMode::PortIo;
    switch (feature) {
        case kSmartFeatureReadData:
            tf.sectorCount = 1;
            tf.lbaLow = 1;
            break;
        case kSmartFeatureReadThresholds:
            tf.sectorCount = 1;
            tf.lbaLow = portIo ? 0 : 1;
            break;
        case kSmartFeatureReturnStatus:
            tf.sectorCount = portIo ? 1 : 0;
            tf.lbaLow = portIo ? 1 : 0;
            break;
        default:  // ENABLE OPERATIONS and anything else: no count, no address
            break;
    }
    return tf;
}

bool SmartEnableOperations(Workbench& wb) {
    return SendNonData(wb, SmartTaskFile(kSmartFeatureEnable, wb.link.mode), RegisterForm::Lba28);
}

bool SmartReadData(Workbench& wb, SmartSector& out) {
    return SmartDataIn(wb, kSmartFeatureReadData, out);
}

bool SmartReadThresholds(Workbench& wb, SmartSector& out) {
    return SmartDataIn(wb, kSmartFeatureReadThresholds, out);
}

bool SmartStatusGood(Workbench& wb) {
    // ENABLE OPERATIONS goes first, but only RETURN STATUS judges: some
    // drives and bridges refuse ENABLE while S.M.A.R.T. is already on, and
    // still answer 4F/C2.
    SmartEnableOperations(wb);
    const bool ok = SendNonData(wb, SmartTaskFile(kSmartFeatureReturnStatus, wb.link.mode),
                                RegisterForm::Lba28);
    const ResultRegisters r = ReadResultRegisters(wb);
    if (!r.known && !wb.link.Aborted()) {
        // Registers the device never returned tell nothing: BAD, and why.
        wb.host.Log(kSmartStatusUnreadable);
        return false;
    }
    return ok && r.lbaMid == 0x4F && r.lbaHigh == 0xC2 && !wb.link.Aborted();
}

SmartReadResult ReadSmart(Workbench& wb, const SmartListSink& sink) {
    SmartReadResult result;
    wb.link.abort = false;
    bool read = SmartEnableOperations(wb) && !wb.link.Aborted();
    read = read && SmartReadData(wb, result.data) && !wb.link.Aborted();
    if (read) {
        result.thresholdsRead = SmartReadThresholds(wb, result.thresholds);
        // Thresholds of a failed transfer are no thresholds: show 0 rather
        // than whatever bytes the transfer left behind.
        if (!result.thresholdsRead) result.thresholds.fill(0);
        if (!wb.link.Aborted()) {
            result.listed = true;
            if (sink.clear) sink.clear();
            for (const SmartAttribute& a : DecodeSmartAttributes(result.data, result.thresholds)) {
                wb.host.ProcessMessages();
                if (wb.link.Aborted()) break;
                result.attributes.push_back(a);
                if (sink.add) sink.add(a);
            }
        }
    }
    if (wb.link.Aborted()) {
        result.verdict = SmartVerdict::Stopped;
        return result;
    }
    result.verdict = SmartStatusGood(wb) ? SmartVerdict::Good : SmartVerdict::Bad;
    // An abort during the status query itself is a stop, not a verdict.
    if (wb.link.Aborted()) result.verdict = SmartVerdict::Stopped;
    return result;
}

bool SmartExportText(Workbench& wb, const std::vector<SmartRow>& rows, bool rawOnly,
                     std::string& text) {
    wb.link.abort = false;
    text.clear();
    for (const SmartRow& row : rows) {
        text += rawOnly ? SmartExportRawLine(row) : SmartExportLine(row);
        wb.host.ProcessMessages();
        if (wb.link.Aborted()) return false;
    }
    return true;
}

}  // namespace qm
