#pragma once
// The application object. Handlers catch their own file errors
// (gui/ErrorBox.h); this is the last net behind them: an exception that still
// reaches the event loop is shown in the same standard error box, and the
// program goes on.
#include <QApplication>
#include <functional>

namespace qm {

class QuillmarkApplication : public QApplication {
  public:
    QuillmarkApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // Shows the standard error box (tests record it instead).
    std::function<void(const QString&)> errorBox;
    void ShowError(const QString& message);

  private:
    bool showingError_ = false;
};

}  // namespace qm
