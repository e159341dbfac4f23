#pragma once
// TfmMain: the main window. It starts port I/O, lists the controller channels
// (PIO) or the operating system's drives (API), turns the user's pick into
// the drive link, identifies the drive and opens the feature windows. Its
// log pane meLog is where every part of the program writes.
#include <QPointer>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "common/Workbench.h"

class QListWidget;
class QListWidgetItem;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSplitter;

namespace qm {

class DeviceChangeSource;
class FormPlacement;
class ProgressMonitor;
class TfmMain;

// What the feature buttons run. Each feature sets its own in
// RegisterFeatureWindows (app/Features.cpp). The main window wraps the
// defect viewer, the self-scan log and the power-on reset in its own
// disable/enable of the buttons.
struct FeatureHooks {
    std::function<void(TfmMain&)> reset;        // btReset: power-on reset
    std::function<void(TfmMain&)> viewSmart;    // btViewSmart: S.M.A.R.T. window
    std::function<void(TfmMain&)> viewDefects;  // btUnlock: defect viewer
    std::function<void(TfmMain&)> servo;        // btServo: servo test window
    std::function<void(TfmMain&)> script;       // btScript: script editor
    std::function<void(TfmMain&)> drm;          // btDrm: module 0x21 editor
    std::function<void(TfmMain&)> ssLog;        // btSsLog: self-scan and surface-log reports
};

class TfmMain : public QWidget {
    Q_OBJECT

  public:
    // FormCreate runs here: caption, port-I/O start-up (its failure box goes
    // through the bench's host).
    TfmMain(Workbench& wb, FormPlacement& placement, QWidget* parent = nullptr);
    ~TfmMain() override;

    Workbench& Bench() { return wb_; }
    FormPlacement& Placement() { return placement_; }
    // The progress monitor of the program (its one window and its flags),
    // for the features that start background jobs on the drive.
    ProgressMonitor& Progress() { return *progress_; }
    FeatureHooks features;

    // One modeless instance per name: created by `create` on first use,
    // brought to the front when showing, otherwise shown. A window that
    // deletes itself on close is created afresh next time (the slot clears
    // itself); one that only hides keeps its state.
    QWidget* OpenWindow(const QString& name, const std::function<QWidget*()>& create);
    // The open instance of a feature window, or null.
    QWidget* Window(const QString& name) const;

    // Feeds the source's events to DeviceChange: from a descriptor the event
    // loop watches, or polled when the source has none. Not owned; null stops.
    void WatchDeviceChanges(DeviceChangeSource* source);
    static constexpr int kDevicePollMs = 500;

    // Log a whole line (through the host, which writes meLog).
    void Log(const std::string& line) { wb_.host.Log(line); }
    // True while one of the main window's own drive operations runs.
    bool Busy() const { return busy_ > 0; }

    // Whether the program runs on a 64-bit system (the caption's " x64"):
    // there a device change in either pass-through mode refills the list;
    // elsewhere only in SCSI pass-through mode. Set at creation.
    bool Is64() const { return is64_; }
    void SetIs64(bool is64) { is64_ = is64; }

    // Components.
    QListWidget* lbControllers = nullptr;
    QSplitter* splitter = nullptr;
    QPlainTextEdit* meLog = nullptr;
    QRadioButton* rbAPI = nullptr;
    QRadioButton* rbPIO = nullptr;
    QPushButton* btReset = nullptr;
    QPushButton* btIdentify = nullptr;
    QPushButton* btViewSmart = nullptr;
    QPushButton* btUnlock = nullptr;
    QPushButton* btServo = nullptr;
    QPushButton* btScript = nullptr;
    QPushButton* btDrm = nullptr;
    QPushButton* btSsLog = nullptr;

  public slots:
    void FormShow();
    void rbPIOClick();
    void rbAPIClick();
    void lbControllersClick();
    void lbControllersDblClick();
    void btResetClick();
    void btIdentifyClick();
    void btViewSmartClick();
    void btUnlockClick();
    void btServoClick();
    void btScriptClick();
    void btDrmClick();
    void btSsLogClick();
    // The operating system's device-change event: 7 device nodes changed,
    // 0x8000 device arrived, 0x8004 device removed.
    void DeviceChange(uint32_t eventCode);

  signals:
    // The window was closed: the program ends.
    void closed();

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void FormCreate();
    // The one operation that enables or disables the eight command buttons.
    void EnableButtons(bool enable);
    void ApplyButtons();
    void FillControllers();  // PCI scan
    // Drive enumeration. With keepWhenNone, an enumeration that finds
    // nothing leaves the rows as they were.
    void FillDrives(bool keepWhenNone);
    void SelectionChanged();  // the rows changed under a running operation
    void RunFeature(const std::function<void(TfmMain&)>& hook, const char* hint, bool guarded);
    std::string DriveName(int row) const;

    class Operation;
    friend class Operation;

    Workbench& wb_;
    FormPlacement& placement_;
    bool is64_ = false;
    bool shown_ = false;
    bool filling_ = false;  // rows being replaced: not a user's pick
    int rowAtPress_ = -1;   // the current row when the mouse went down on the list
    int busy_ = 0;
    // Bumped whenever the selection the running operation talks to is
    // dropped or replaced; an operation that sees it change does not
    // re-enable the buttons at its end.
    uint64_t selectionEpoch_ = 0;
    std::array<bool, 8> wanted_{};  // button states outside operations
    std::array<QPushButton*, 8> buttons_{};
    std::map<QString, QPointer<QWidget>> windows_;
    std::unique_ptr<ProgressMonitor> progress_;
    DeviceChangeSource* deviceChanges_ = nullptr;
    QObject* deviceWatch_ = nullptr;
};

}  // namespace qm
