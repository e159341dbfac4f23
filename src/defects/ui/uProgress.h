#pragma once
// TfmProgress: the progress monitor. While the drive works on a background
// job the program started, it reads the drive's status sector five times a
// second and shows it decoded; with auto-close it closes itself as soon as
// the drive has left the background state.
//
// ProgressMonitor holds what the monitor keeps for the whole program: the
// one window (null while there is none), the auto-close flag and the start
// time. Whoever starts a job calls ShowProgress and then WaitProgress.
#include <QPointer>
#include <QString>
#include <QTime>
#include <QWidget>
#include <array>

#include "defects/ProgressPoll.h"

class QLabel;
class QLineEdit;
class QPixmap;
class QTimer;

namespace qm {

struct Workbench;
class FormPlacement;
class TfmProgress;

class ProgressMonitor {
  public:
    explicit ProgressMonitor(Workbench& wb, FormPlacement* placement = nullptr);
    ~ProgressMonitor();
    ProgressMonitor(const ProgressMonitor&) = delete;
    ProgressMonitor& operator=(const ProgressMonitor&) = delete;

    // Creates the window if there is none (saving the application's title),
    // brings it up, sets the auto-close flag and marks the job busy.
    void ShowProgress(bool autoClose);
    // Lets messages run while the window exists, the job is busy and the
    // transport abort flag is clear. False when the abort flag ended it.
    bool WaitProgress();

    TfmProgress* Form() const { return form_; }
    bool AutoClose() const { return autoClose_; }

  private:
    friend class TfmProgress;
    Workbench& wb_;
    FormPlacement* placement_;
    QPointer<TfmProgress> form_;
    bool autoClose_ = false;
    QTime start_;
};

class TfmProgress : public QWidget {
    Q_OBJECT

  public:
    TfmProgress(ProgressMonitor& monitor, Workbench& wb, FormPlacement* placement);
    ~TfmProgress() override;

    bool Busy() const { return busy_; }
    // The texts of the last poll (code page 1252).
    const ProgressPoll& LastPoll() const { return poll_; }

    static constexpr int kPollMs = 200;
    static constexpr int kFrames = 8;

    QLineEdit *edAta = nullptr, *edStatus = nullptr, *edStatusTxt = nullptr, *edCurState = nullptr,
              *edLba = nullptr, *edTrack = nullptr, *edHead = nullptr, *edZone = nullptr,
              *edDtemp = nullptr, *edJtemp = nullptr, *edCtemp = nullptr, *edServo = nullptr,
              *edDBSCode = nullptr, *edProgress = nullptr, *edFtemp = nullptr, *edStep = nullptr,
              *edStep1 = nullptr, *edActn = nullptr;
    QTimer* tiProgress = nullptr;

  public slots:
    void tiProgressTimer();

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    friend class ProgressMonitor;
    void FormShow();
    void FormClose();
    void ShowTexts();

    ProgressMonitor& monitor_;
    Workbench& wb_;
    QString savedTitle_;
    bool busy_ = false;
    int frame_ = 0, shownFrame_ = 0;
    std::array<QPixmap*, kFrames> ilHdd_{};  // the animation's 32 x 32 pictures
    ProgressPoll poll_;
};

}  // namespace qm
