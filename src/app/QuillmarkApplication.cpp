#include "app/QuillmarkApplication.h"

#include <cstdio>
#include <exception>

#include "gui/ErrorBox.h"

namespace qm {

QuillmarkApplication::QuillmarkApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Quillmark"));
    setOrganizationName(QStringLiteral("Quillmark"));
}

bool QuillmarkApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ShowError(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        ShowError(QStringLiteral("Unknown error"));
    }
    return false;
}

void QuillmarkApplication::ShowError(const QString& message) {
    // The box runs its own event loop; an error raised while it is open is
    // reported on the console rather than stacking a second box.
    if (showingError_) {
        std::fprintf(stderr, "quillmark: %s\n", message.toLocal8Bit().constData());
        return;
    }
    showingError_ = true;
    if (errorBox)
        errorBox(message);
    else
        ShowErrorBox(activeWindow(), message);
    showingError_ = false;
}

}  // namespace qm
