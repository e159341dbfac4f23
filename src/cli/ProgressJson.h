#pragma once
// The JSON of one progress-monitor poll, shared by `progress` and every
// command that follows a job on the drive:
// {"readOk", "busy", ["elapsed",] "fields": {...}, "text": {...}}.
#include "cli/CliJson.h"
#include "defects/ProgressPoll.h"

namespace qm {

Json ProgressPollJson(const ProgressPoll& poll, bool withElapsed);
// One JSON Lines record (compact, one line) on out.
void WriteJsonLine(std::ostream& out, const Json& body);

}  // namespace qm
