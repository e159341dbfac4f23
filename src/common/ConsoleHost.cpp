#include "common/ConsoleHost.h"

#include <ostream>
#include <thread>

namespace qm {

ConsoleHost::ConsoleHost(std::ostream& log, std::ostream& messages)
    : log_(log), messages_(messages) {}

void ConsoleHost::ProcessMessages() {
    if (interruptRequested) interruptRequested();
}

void ConsoleHost::Sleep(uint32_t milliseconds) {
    if (milliseconds == 0)
        std::this_thread::yield();
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

int64_t ConsoleHost::Counter() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int64_t ConsoleHost::CounterFrequency() {
    return 1000000000;
}

bool ConsoleHost::RunOpenDialog(DialogState& state) {
    if (openFile.empty()) return false;
    state.fileName = openFile;
    return true;
}

bool ConsoleHost::RunSaveDialog(DialogState& state) {
    if (saveFile.empty()) return false;
    state.fileName = saveFile;
    return true;
}

void ConsoleHost::MessageBox(const std::string& text) {
    // A box breaks its lines at "\r"; a terminal would write over them.
    std::string shown = text;
    for (char& c : shown)
        if (c == '\r') c = '\n';
    messages_ << shown << std::endl;
    if (captureMessage) captureMessage(text);
}

void ConsoleHost::Log(const std::string& line) {
    if (captureLog)
        captureLog(line);
    else
        log_ << line << '\n' << std::flush;
}

}  // namespace qm
