#pragma once
// Reading S.M.A.R.T. with the ordinary ATA SMART commands (no vendor mode)
// over whichever transport the link uses.
#include <functional>
#include <string>
#include <vector>

#include "drive/TaskFile.h"
#include "smart/SmartData.h"

namespace qm {

struct Workbench;

// SMART sub-commands (the Features register of command 0xB0).
enum SmartFeature : uint8_t {
    kSmartFeatureReadData = 0xD0,
    kSmartFeatureReadThresholds = 0xD1,
    kSmartFeatureEnable = 0xD8,
    kSmartFeatureReturnStatus = 0xDA,
};

// The command registers of a SMART sub-command on the given transport.
TaskFile SmartTaskFile(uint8_t feature, TransportMode mode);

bool SmartEnableOperations(Workbench& wb);
// One sector into `out` (copied from the sector buffer whatever the outcome).
bool SmartReadData(Workbench& wb, SmartSector& out);
bool SmartReadThresholds(Workbench& wb, SmartSector& out);
// ENABLE OPERATIONS, then RETURN STATUS: good only when RETURN STATUS
// succeeded, the drive answers LBA Mid 0x4F / LBA High 0xC2 and no abort came
// (a refused ENABLE alone does not make it BAD).
// When the device gives no registers back, the status is BAD and the log
// says that it could not be read.
bool SmartStatusGood(Workbench& wb);
inline constexpr const char* kSmartStatusUnreadable =
    "S.M.A.R.T. status could not be read: the device returned no ATA registers";

enum class SmartVerdict { Good, Bad, Stopped };

struct SmartReadResult {
    bool listed = false;          // ENABLE and READ DATA worked: the list was rebuilt
    bool thresholdsRead = false;  // READ THRESHOLDS worked (else thresholds read as 0)
    SmartVerdict verdict = SmartVerdict::Bad;
    SmartSector data{}, thresholds{};
    std::vector<SmartAttribute> attributes;  // the rows listed (may stop early on abort)
};

// Callbacks of a read: `clear` runs once before the first row of a rebuilt
// list, `add` once per row. Either may be empty.
struct SmartListSink {
    std::function<void()> clear;
    std::function<void(const SmartAttribute&)> add;
};

// The whole read: clears the abort flag, enables S.M.A.R.T., reads data and
// thresholds, lists the attributes (letting messages run before each row) and
// queries the status. A failed ENABLE or READ DATA leaves the list alone and
// still asks the status. When the abort flag is raised (the window closing,
// an interrupt) the read stops at the next check and the verdict is Stopped:
// a stopped read says nothing about the drive. No log line is written; the
// caller reports the verdict.
SmartReadResult ReadSmart(Workbench& wb, const SmartListSink& sink = {});

// Export text of rows: the full lines or the RAW-only lines. Clears the abort
// flag first and lets messages run after each row. False when the abort flag
// was raised meanwhile: `text` then holds only the rows done so far, and the
// caller should not hand a cut listing on as if it were whole.
bool SmartExportText(Workbench& wb, const std::vector<SmartRow>& rows, bool rawOnly,
                     std::string& text);

}  // namespace qm
