#pragma once
// The standard error box and the event boundary of the windows.
//
// No exception may cross a Qt slot or event handler: Qt's own frames are not
// built for it. Every handler that reaches file code runs its body through
// CatchFileErrors, which ends the handler and shows the one standard error
// box with the error's text; the program goes on.
#include <QString>
#include <exception>
#include <utility>

#include "common/Files.h"
#include "common/Host.h"

class QWidget;

namespace qm {

// A critical box captioned with the application's name.
void ShowErrorBox(QWidget* parent, const QString& text);

// Runs `body`; a FileError (or any other exception) it throws is shown in the
// host's standard error box. True when the body ran to its end.
template <class Body>
bool CatchFileErrors(Host& host, Body&& body) noexcept {
    try {
        std::forward<Body>(body)();
        return true;
    } catch (const FileError& e) {
        host.ErrorBox(e.what());
    } catch (const std::exception& e) {
        host.ErrorBox(e.what());
    } catch (...) {
        host.ErrorBox("Unknown error");
    }
    return false;
}

}  // namespace qm
