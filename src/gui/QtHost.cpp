#include "gui/QtHost.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QThread>

#include "gui/AnsiText.h"
#include "gui/ErrorBox.h"

namespace qm {

QStringList QtNameFilters(const std::string& filter) {
    QStringList out;
    const QStringList parts = FromAnsi(filter).split(u'|');
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString name = parts[i].trimmed();
        QStringList patterns = parts[i + 1].split(u';', Qt::SkipEmptyParts);
        for (QString& p : patterns) {
            p = p.trimmed();
            if (p == QLatin1String("*.*")) p = QStringLiteral("*");  // every file, dot or not
        }
        // Qt reads the patterns from the trailing parentheses of the name.
        static const QRegularExpression trailing(QStringLiteral("\\s*\\([^()]*\\)\\s*$"));
        name.remove(trailing);
        if (name.isEmpty()) name = QStringLiteral("Files");
        out << name + QStringLiteral(" (") + patterns.join(u' ') + u')';
    }
    return out;
}

QtHost::QtHost() {
    clock_.start();
}

void QtHost::SetLogView(QPlainTextEdit* view) {
    log_ = view;
    if (!log_) return;
    for (const std::string& line : pending_) log_->appendPlainText(FromAnsi(line));
    pending_.clear();
}

void QtHost::ProcessMessages() {
    QCoreApplication::processEvents();
}

void QtHost::Sleep(uint32_t milliseconds) {
    if (milliseconds == 0)
        QThread::yieldCurrentThread();
    else
        QThread::msleep(milliseconds);
}

int64_t QtHost::Counter() {
    return clock_.nsecsElapsed();
}

bool QtHost::ShiftDown() {
    return QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ShiftModifier);
}

bool QtHost::CtrlDown() {
    return QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ControlModifier);
}

bool QtHost::RunOpenDialog(DialogState& state) {
    return openDialog ? openDialog(state) : RunFileDialog(state, false);
}

bool QtHost::RunSaveDialog(DialogState& state) {
    return saveDialog ? saveDialog(state) : RunFileDialog(state, true);
}

bool QtHost::RunFileDialog(DialogState& state, bool save) {
    QFileDialog dialog(parent_, FromAnsi(state.title));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // Open: the file must exist. Save: the folder must exist (Qt refuses a
    // path into a missing folder), an existing file is confirmed before it is
    // overwritten, and hidden files are listed.
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (save) dialog.setFilter(dialog.filter() | QDir::Hidden);
    const QStringList filters = QtNameFilters(state.filter);
    if (!filters.isEmpty()) dialog.setNameFilters(filters);
    if (!state.defaultExt.empty()) dialog.setDefaultSuffix(FromAnsi(state.defaultExt));

    const QString proposed = FromLocalPath(state.fileName);
    QString folder = FromLocalPath(state.folder);
    if (folder.isEmpty() && !proposed.isEmpty()) folder = QFileInfo(proposed).absolutePath();
    if (!folder.isEmpty()) dialog.setDirectory(folder);
    if (!proposed.isEmpty()) dialog.selectFile(QFileInfo(proposed).fileName());

    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    state.fileName = ToLocalPath(dialog.selectedFiles().constFirst());
    return true;
}

void QtHost::MessageBox(const std::string& text) {
    if (messageBox) {
        messageBox(text);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(), FromAnsi(text),
                    QMessageBox::Ok, parent_);
    box.exec();
}

void QtHost::ErrorBox(const std::string& text) {
    if (errorBox) {
        errorBox(text);
        return;
    }
    ShowErrorBox(parent_, QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size())));
}

void QtHost::Log(const std::string& line) {
    if (log_)
        log_->appendPlainText(FromAnsi(line));
    else
        pending_.push_back(line);
}

}  // namespace qm
