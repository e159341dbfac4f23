#include "defects/ProgressPoll.h"

#include <algorithm>

#include "common/Format.h"
#include "common/Workbench.h"
#include "vendor/Vsc.h"

namespace qm {

StatusRead ReadMonitorStatus(Workbench& wb) {
    if (wb.link.status.BSY || wb.link.Aborted()) return StatusRead::Skipped;
    wb.link.keySector.fill(0);
    ReadKeyStatus(wb);
    if (wb.link.keyStatusRead) return StatusRead::Ok;
    // Whatever a failed read left behind is not the drive's answer.
    wb.link.keySector.fill(0);
    return StatusRead::Failed;
}

void DecodeMonitorStatus(Workbench& wb, bool readOk, ProgressPoll& poll) {
    poll.readOk = readOk;
    poll.fields = ParseStatusSector(wb.link.keySector.data());
    poll.busy = DriveStillWorking(poll.fields);
    DescribeStatus(wb, poll.fields, poll.texts);
}

std::string FollowLine(const ProgressPoll& p) {
    const StatusTexts& t = p.texts;
    return p.elapsed + " " + t.edCurState + " | " + t.edProgress + " | " + t.edStep + " | " +
           t.edStep1 + " | " + t.edActn + " | LBA " + t.edLba + " | Cyl " + t.edTrack + " | Head " +
           t.edHead + " | Zone " + t.edZone + " | Servo " + t.edServo + " | Temp " + t.edDtemp +
           " " + t.edJtemp + " " + t.edCtemp + " " + t.edFtemp + " | " + t.edStatus + " | " +
           t.edStatusTxt + " | DBS " + t.edDBSCode;
}

bool ShownTextsDiffer(const StatusTexts& a, const StatusTexts& b) {
    StatusTexts x = a;
    x.edAta = b.edAta;
    return !(x == b);
}

FollowResult FollowProgress(Workbench& wb, const FollowOptions& options,
                            const std::function<void(const ProgressPoll&, bool changed)>& onPoll) {
    Host& host = wb.host;
    const int64_t frequency = std::max<int64_t>(1, host.CounterFrequency());
    const int64_t start = host.Counter();
    auto millisSinceStart = [&] { return (host.Counter() - start) * 1000 / frequency; };
    const int64_t interval = std::max<uint32_t>(1, options.intervalMs);

    FollowResult result;
    ProgressPoll poll;
    bool first = true;
    int64_t next = 0;  // ms since start of the next poll
    for (;;) {
        // Wait for the poll's time in short slices, so a Ctrl+C ends the wait at once.
        for (int64_t now = millisSinceStart(); now < next; now = millisSinceStart()) {
            host.ProcessMessages();
            if (wb.link.Aborted()) return result;
            host.Sleep(static_cast<uint32_t>(std::min<int64_t>(next - now, 50)));
        }
        next += interval;
        wb.link.abort = false;
        host.ProcessMessages();
        if (wb.link.Aborted()) return result;
        const StatusRead read = ReadMonitorStatus(wb);
        if (read == StatusRead::Skipped) continue;
        if (wb.link.Aborted()) return result;

        const StatusTexts before = poll.texts;
        DecodeMonitorStatus(wb, read == StatusRead::Ok, poll);
        poll.elapsedMs = millisSinceStart();
        poll.elapsed = FormatElapsed(static_cast<uint64_t>(poll.elapsedMs / 1000));
        ++result.polls;
        result.last = poll;
        onPoll(poll, first || ShownTextsDiffer(before, poll.texts));
        first = false;
        if (options.untilIdle && !poll.busy) {
            result.end = poll.readOk ? FollowEnd::Idle : FollowEnd::ReadFailed;
            return result;
        }
        // Behind by more than a period (a slow drive): start the schedule again from now.
        const int64_t now = millisSinceStart();
        if (now > next + interval) next = now;
    }
}

}  // namespace qm
