#pragma once
// The progress monitor's poll without its window: reading the status sector
// the way the monitor does, and following a background job by polling it at
// a fixed period (the command line's progress --follow and script runs).
#include <cstdint>
#include <functional>
#include <string>

#include "defects/StatusDecode.h"

namespace qm {

struct Workbench;

enum class StatusRead { Skipped, Ok, Failed };

// The drive-facing step of one poll: nothing (Skipped) while the last ATA
// status shows BSY or the abort flag is set; otherwise the key-sector buffer
// is zeroed and the status sector read into it. A read that fails leaves the
// buffer zeroed, so the poll shows zeros and the drive reads as idle.
StatusRead ReadMonitorStatus(Workbench& wb);

// One decoded poll.
struct ProgressPoll {
    bool readOk = false;
    bool busy = false;  // background state 5 or 6
    StatusFields fields;
    StatusTexts texts;
    int64_t elapsedMs = 0;
    std::string elapsed;  // hh:mm:ss since the follow began
};

// Decodes the status sector now in the key-sector buffer into poll; texts
// start from poll.texts (edStep1 keeps its text while the PTM id is 0, 0x7F
// or 0xFF).
void DecodeMonitorStatus(Workbench& wb, bool readOk, ProgressPoll& poll);

// The follow line of a poll (code page 1252):
// "hh:mm:ss {edCurState} | {edProgress} | {edStep} | {edStep1} | {edActn} |
//  LBA {edLba} | Cyl {edTrack} | Head {edHead} | Zone {edZone} | Servo
//  {edServo} | Temp {edDtemp} {edJtemp} {edCtemp} {edFtemp} | {edStatus} |
//  {edStatusTxt} | DBS {edDBSCode}" (one line).
std::string FollowLine(const ProgressPoll& poll);
// Whether two polls show different texts (the hidden edAta not counted).
bool ShownTextsDiffer(const StatusTexts& a, const StatusTexts& b);

struct FollowOptions {
    uint32_t intervalMs = 200;
    // End after the first poll whose background state is neither 5 nor 6
    // (the monitor's auto-close).
    bool untilIdle = false;
};

enum class FollowEnd {
    Idle,        // the drive left the background state
    ReadFailed,  // ... as far as a failed status read shows (zeros)
    Aborted,     // the abort flag (Ctrl+C, --timeout, a STOP) ended the wait
};

struct FollowResult {
    FollowEnd end = FollowEnd::Aborted;
    ProgressPoll last;
    uint64_t polls = 0;
};

// Polls every intervalMs, on a fixed schedule from the start (a slow read
// does not shift the later polls), letting host messages run while it
// waits. onPoll sees every poll that read the drive; `changed` is true for
// the first one and for each whose shown texts differ from the one before.
// Each poll first clears the abort flag, as the monitor does; the host's
// ProcessMessages raises it again for a pending Ctrl+C or time-out.
FollowResult FollowProgress(Workbench& wb, const FollowOptions& options,
                            const std::function<void(const ProgressPoll&, bool changed)>& onPoll);

}  // namespace qm
