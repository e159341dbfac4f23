#pragma once
// A host for tests: records log lines and message boxes, answers dialogs from
// a script, runs a fake high-resolution counter and lets a test hook into
// ProcessMessages (for example to set the abort flag after n polls).
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "common/Host.h"

namespace qm {

class ScriptedHost : public Host {
  public:
    std::vector<std::string> logLines;
    std::vector<std::string> messageBoxes;
    std::vector<std::string> errorBoxes;
    // Dialog answers, taken front first; an empty string means "cancel". No
    // answer left also means cancel.
    std::deque<std::string> openAnswers, saveAnswers;
    std::vector<DialogState> dialogsShown;
    bool shift = false, ctrl = false;

    // Fake counter: every Counter() call advances it by counterStep.
    int64_t counter = 0;
    int64_t counterStep = 0;
    int64_t frequency = 1000000;

    // SetTimingPriority calls in order (true: raised).
    std::vector<bool> priorityCalls;
    bool priorityRaised = false;

    uint64_t processMessagesCalls = 0;
    uint64_t sleepCalls = 0;
    std::function<void()> onProcessMessages;

    void ProcessMessages() override {
        ++processMessagesCalls;
        if (onProcessMessages) onProcessMessages();
    }
    void Sleep(uint32_t) override { ++sleepCalls; }
    int64_t Counter() override {
        int64_t now = counter;
        counter += counterStep;
        return now;
    }
    int64_t CounterFrequency() override { return frequency; }
    bool ShiftDown() override { return shift; }
    bool CtrlDown() override { return ctrl; }
    bool RunOpenDialog(DialogState& state) override { return Answer(openAnswers, state); }
    bool RunSaveDialog(DialogState& state) override { return Answer(saveAnswers, state); }
    void MessageBox(const std::string& text) override { messageBoxes.push_back(text); }
    void ErrorBox(const std::string& text) override { errorBoxes.push_back(text); }
    void Log(const std::string& line) override { logLines.push_back(line); }
    void SetTimingPriority(bool raised) override {
        priorityCalls.push_back(raised);
        priorityRaised = raised;
    }

  private:
    bool Answer(std::deque<std::string>& answers, DialogState& state) {
        dialogsShown.push_back(state);
        if (answers.empty()) return false;
        std::string a = answers.front();
        answers.pop_front();
        if (a.empty()) return false;
        state.fileName = a;
        return true;
    }
};

}  // namespace qm
