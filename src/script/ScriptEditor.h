#pragma once
// The script editor's state and every editing rule, without a window: the
// ScriptBuffer (the module as read), the step list with its selection, and
// the commands of the script window and the command line.
//
// Goto renumbering, as the editor has always done it:
// - Insert renumbers the rows after the new one only, by value: each of their
//   three gotos that is neither 0 nor 0xFFFF and is below (rows - 1), counted
//   after the insertion, goes up by one.
// - Delete renumbers the rows from the deleted one's place on (one row
//   earlier when the deleted row's caption was "EEEE"): success and error
//   gotos that are neither 0 nor 0xFFFF go down by one; abort gotos stay.
// - Move Down / Move Up change only the neighbour's success goto (down: -1,
//   so 0 wraps to 0xFFFF; up: +1), never 0xFFFF and never the moved row's.
//
// Generators and imports build on Insert(): it returns the new row, already
// selected, so the caller can fill its record.
#include <cstdint>
#include <string>
#include <vector>

#include "script/ScriptModule.h"

namespace qm {

struct Workbench;

enum class ParseOutcome {
    Empty,    // no module in the buffer: nothing changed
    Parsed,   // the list holds the module's steps
    Refused,  // the module cannot be a script: list kept, buffer emptied, why says it
};

enum class WriteOutcome {
    Nothing,    // empty list: nothing to write
    Written,    // written to the drive or saved to a file
    Cancelled,  // the save dialog was cancelled
    Refused,    // nothing written; message says why (shown to the user)
    Failed,     // the drive refused or the write failed; message says why
};

class ScriptEditor {
  public:
    explicit ScriptEditor(Workbench& wb) : wb_(wb) {}

    Workbench& Bench() { return wb_; }

    // --- The module and the list --------------------------------------------
    ModuleImage buffer;  // the ScriptBuffer
    std::vector<ScriptStep> steps;
    int selected = -1;  // index of the selected row, -1 for none
    // The module selector's text: shown in captions as typed, read as hex.
    std::string selector = "28";

    // Set by Parse.
    ScriptLayout layout = ScriptLayout::Royl;
    bool legacy30 = false;  // the legacy-30 mark
    uint16_t recordSize = 0;
    int64_t maxSteps = 0;
    uint16_t storedCurrentStep = 0;  // as the header held it
    uint16_t currentStep = 0;        // as adjusted: 0 or past the list -> 1
    uint32_t ptmStartTime = 0;

    // Each showing of the window starts without a record size or maximum.
    void ResetForShow();

    // Parses the buffer into the list. A module whose record size is too
    // small for the step fields, or that is too short for its header, is
    // refused: the list stays, the buffer is emptied (so Write refuses).
    ParseOutcome Parse(std::string& why);
    // Writes the list back into the buffer: header (selected row + 1 as
    // current step, record size, PTM start time cleared), the records, zeros
    // to the end. The buffer keeps its length; the caller makes sure the
    // list fits (Write does).
    void Serialize();

    // The after-parse caption and the row caption.
    std::string Caption() const;
    std::string RowCaption() const;

    // --- Commands -------------------------------------------------------------
    // Inserts a new END step after the selected row (first when none) and
    // selects it; returns its index, or -1 when no module has been parsed.
    int Insert();
    // The same with the descriptions looked up through `describer` (many
    // steps in a row: ModDescr.ini is looked at once).
    int Insert(const TestDescriber& describer);
    void Delete();
    void MoveDown();
    void MoveUp();
    void Clear();
    void ClearStepLog(int index);
    void ClearCurrentStepLog() { ClearStepLog(selected); }
    void ClearScriptLog();
    void SetGotosToEnd();       // "Set Eror Step to END"
    void SetGotosToStop();      // "Set Eror Step to STOP"
    void SetGotosStepByStep();  // "Set Good Step to Step_by_Step"
    void Upgrade();             // "Upgrade Script"
    // Upgrade's last step: every END (0xDC) and marker (0xEEEE) step before
    // the last three rows is deleted as Delete does it; each examined row is
    // selected in turn.
    void DeleteEndAndMarkerSteps();
    void Select(int index);  // -1 or a valid row
    // Copies the hex pane's bytes into a row's record (record-size bytes).
    void PatchRecord(int index, const StepRecord& bytes);

    // Write: with correctGotos ("Step" checked) the gotos are set to END
    // first. Nothing is sent or saved when the list is longer than the
    // module holds ("Test Count Overflow! Max Count: N"; row N selected),
    // when no module is loaded, or when the selector's id does not fit the
    // module header. SHIFT saves a module file instead of the drive write; a
    // drive write is refused when the drive's module has another size.
    WriteOutcome Write(bool correctGotos, std::string& message);

    // The row's shown texts, refreshed from its record.
    void Describe(ScriptStep& step) const;
    ScriptStep NewStep(const StepRecord& record) const;

  private:
    int64_t InsertAt(int p, const TestDescriber& describer);
    Workbench& wb_;
};

// "Test Count Overflow! Max Count: N".
std::string OverflowMessage(int64_t maxSteps);
// "No script module loaded: Read first" (Write after a failed read).
extern const char* const kNoModuleMessage;

// Writes a script image (checksum fixed) as module `id`: SHIFT saves it to a
// file chosen in the save dialog; otherwise the image passes the module
// checks, is compared with the drive's current copy (another size is
// refused, nothing sent) and is written through the module journal.
WriteOutcome WriteScriptModule(Workbench& wb, uint16_t id, ModuleImage& image,
                               std::string& message);

}  // namespace qm
