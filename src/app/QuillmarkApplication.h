#pragma once
// The application object. It is also the event boundary: a file error (any
// std::exception) thrown by a handler ends that handler, is shown in the one
// standard error box with the system's message text, and the program goes on.
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
