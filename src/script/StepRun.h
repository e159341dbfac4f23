#pragma once
// Running one script step on its own: the step's record goes to the drive in
// a key sector (action 0x0019, function 3), and the progress monitor follows
// the test. The log notes start and end as "Test XX_YY - Start" and
// "Test XX_YY End - ", XX the test id and YY its second number.
#include <cstdint>
#include <string>

#include "script/ScriptModule.h"

namespace qm {

struct Workbench;

constexpr uint16_t kStepRunAction = 0x0019;
constexpr uint16_t kStepRunFunction = 0x0003;
// The record follows the two words; the key sector holds 508 bytes of it.
constexpr size_t kStepRunRecordMax = 508;

// The low 16 bits of ARG1 for the calibration and directory tests, ARG0 for
// every other test id. Bytes past the record's end read as 0.
uint16_t StepRunSecondNumber(const StepRecord& record);
std::string StepRunStartLine(const StepRecord& record);
std::string StepRunEndLine(const StepRecord& record);

// Puts the action, the function and the record (at most 508 bytes) at the
// start of the key-sector buffer (the rest of it stays as it was), switches
// VSC mode on and sends the key without reading its status back. What the
// enable and the write return is not looked at: the monitor shows the run.
void SendStepRunKey(Workbench& wb, const StepRecord& record);

}  // namespace qm
