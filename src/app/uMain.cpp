#include "app/uMain.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QSocketNotifier>
#include <QSplitter>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>

#include "common/Format.h"
#include "drive/DeviceChange.h"
#include "drive/DriveEnum.h"
#include "drive/Identify.h"
#include "drive/PciScan.h"
#include "drive/Transport.h"
#include "drive/uATA.h"
#include "drive/uAtaPass.h"
#include "gui/AnsiText.h"
#include "gui/ErrorBox.h"
#include "gui/FormPlacement.h"
#include "platform/Platform.h"

namespace qm {
namespace {

enum ButtonIndex { kReset, kIdentify, kViewSmart, kUnlock, kServo, kScript, kDrm, kSsLog };

std::string PortIoFailureMessage(const PortIo* io) {
#ifdef _WIN32
    (void)io;
    return "Initialize WinRing0 ERROR!";
#else
    std::string reason = io ? io->FailureReason() : std::string();
    if (!io) reason = "no port-I/O backend in this build";
    return reason.empty() ? "Initialize port I/O ERROR!" : "Initialize port I/O ERROR!\n" + reason;
#endif
}

}  // namespace

// One of the main window's own drive operations: the buttons are off while
// it runs, and on again at its end unless the user dropped or replaced the
// selection meanwhile.
class TfmMain::Operation {
  public:
    explicit Operation(TfmMain& form) : form_(form), epoch_(form.selectionEpoch_) {
        ++form_.busy_;
        // A stop left over from a closed feature window must not end this
        // operation before it starts.
        form_.wb_.link.abort = false;
        form_.ApplyButtons();
    }
    ~Operation() {
        --form_.busy_;
        if (form_.selectionEpoch_ == epoch_) form_.wanted_.fill(true);
        form_.ApplyButtons();
    }
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;

  private:
    TfmMain& form_;
    uint64_t epoch_;
};

TfmMain::TfmMain(Workbench& wb, FormPlacement& placement, QWidget* parent)
    : QWidget(parent, Qt::Window), wb_(wb), placement_(placement) {
    setObjectName(QStringLiteral("fmMain"));
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);

    lbControllers = new QListWidget;
    lbControllers->setObjectName(QStringLiteral("lbControllers"));
    lbControllers->setFont(fixed);
    lbControllers->setMinimumHeight(100);
    lbControllers->setSelectionMode(QAbstractItemView::SingleSelection);

    meLog = new QPlainTextEdit;
    meLog->setObjectName(QStringLiteral("meLog"));
    meLog->setFont(fixed);
    meLog->setReadOnly(true);
    meLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    splitter = new QSplitter(Qt::Vertical);
    splitter->setObjectName(QStringLiteral("splitter"));
    splitter->addWidget(lbControllers);
    splitter->addWidget(meLog);
    splitter->setChildrenCollapsible(false);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({140, 300});

    rbAPI = new QRadioButton(QStringLiteral("API"));
    rbAPI->setObjectName(QStringLiteral("rbAPI"));
    rbPIO = new QRadioButton(QStringLiteral("PIO"));
    rbPIO->setObjectName(QStringLiteral("rbPIO"));
    rbPIO->setChecked(true);
    auto* modes = new QVBoxLayout;
    modes->addWidget(rbAPI);
    modes->addWidget(rbPIO);
    modes->addStretch();

    struct ButtonDef {
        QPushButton** slot;
        const char* name;
        const char* hint;
        void (TfmMain::*handler)();
        int row, column;
    };
    const ButtonDef defs[8] = {
        {&btReset, "btReset", "Power On Reset Immediate", &TfmMain::btResetClick, 1, 3},
        {&btIdentify, "btIdentify", "Identify", &TfmMain::btIdentifyClick, 0, 0},
        {&btViewSmart, "btViewSmart", "View S.M.A.R.T.", &TfmMain::btViewSmartClick, 0, 1},
        {&btUnlock, "btUnlock", "View Defects", &TfmMain::btUnlockClick, 0, 2},
        {&btServo, "btServo", "Servo Test", &TfmMain::btServoClick, 1, 0},
        {&btScript, "btScript", "Edit Script 28", &TfmMain::btScriptClick, 1, 1},
        {&btDrm, "btDrm", "Edit 21 DRM ", &TfmMain::btDrmClick, 1, 2},
        {&btSsLog, "btSsLog", "Self Scan Log", &TfmMain::btSsLogClick, 0, 3},
    };
    auto* grid = new QGridLayout;
    for (int i = 0; i < 8; ++i) {
        const ButtonDef& d = defs[i];
        auto* b = new QPushButton(QString::fromLatin1(d.hint).trimmed());
        b->setObjectName(QString::fromLatin1(d.name));
        b->setToolTip(QString::fromLatin1(d.hint));
        // Narrow windows clip the captions rather than grow past the minimum width.
        b->setMinimumWidth(40);
        b->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        b->setEnabled(false);
        *d.slot = b;
        buttons_[static_cast<size_t>(i)] = b;
        grid->addWidget(b, d.row, d.column);
        connect(b, &QPushButton::clicked, this, d.handler);
    }
    for (int c = 0; c < 4; ++c) grid->setColumnStretch(c, 1);

    auto* bottom = new QHBoxLayout;
    bottom->addLayout(modes);
    bottom->addSpacing(8);
    bottom->addLayout(grid, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter, 1);
    layout->addLayout(bottom);

    connect(rbPIO, &QRadioButton::toggled, this, [this](bool on) {
        if (on) rbPIOClick();
    });
    connect(rbAPI, &QRadioButton::toggled, this, [this](bool on) {
        if (on) rbAPIClick();
    });
    connect(lbControllers, &QListWidget::currentRowChanged, this, [this] {
        if (!filling_) lbControllersClick();
    });
    connect(lbControllers, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem*) { lbControllersDblClick(); });

    setMinimumSize(500, 300);
    resize(780, 520);
    placement_.Track(*this, QStringLiteral("FormMain"));

    FormCreate();
}

TfmMain::~TfmMain() = default;

void TfmMain::FormCreate() {
    const std::string os = platform::OperatingSystemText();
    setWindowTitle(QStringLiteral("Quillmark - ") + FromAnsi(os));
    is64_ = os.size() >= 4 && os.compare(os.size() - 4, 4, " x64") == 0;
    wb_.portIoReady = wb_.portIo && wb_.portIo->InitializeOls();
    if (!wb_.portIoReady) wb_.host.MessageBox(PortIoFailureMessage(wb_.portIo));
}

void TfmMain::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Shown by the program (not restored by the window manager): fill the list.
    if (!event->spontaneous()) FormShow();
}

void TfmMain::closeEvent(QCloseEvent* event) {
    // Ends any wait of a running operation, so the program can end.
    wb_.link.abort = true;
    QWidget::closeEvent(event);
    emit closed();
}

void TfmMain::FormShow() {
    if (rbAPI->isChecked())
        FillDrives(false);
    else
        FillControllers();
}

void TfmMain::EnableButtons(bool enable) {
    wanted_.fill(enable);
    ApplyButtons();
}

void TfmMain::ApplyButtons() {
    for (size_t i = 0; i < buttons_.size(); ++i) buttons_[i]->setEnabled(busy_ == 0 && wanted_[i]);
}

void TfmMain::SelectionChanged() {
    ++selectionEpoch_;
    if (busy_ > 0) wb_.link.abort = true;
}

void TfmMain::FillControllers() {
    filling_ = true;
    lbControllers->setEnabled(false);
    rbAPI->setEnabled(false);
    rbPIO->setEnabled(false);
    lbControllers->clear();
    ScanPciControllers(wb_);
    for (const PCIDevDesc& c : wb_.controllers)
        lbControllers->addItem(FromAnsi(ControllerRowText(c)));
    lbControllers->setEnabled(true);
    rbAPI->setEnabled(true);
    rbPIO->setEnabled(true);
    filling_ = false;
    if (wb_.controllers.empty()) Log("No disk controller found");
}

void TfmMain::FillDrives(bool keepWhenNone) {
    filling_ = true;
    lbControllers->setEnabled(false);
    rbAPI->setEnabled(false);
    rbPIO->setEnabled(false);
    int count = 0;
    if (wb_.enumerator)
        count = wb_.enumerator->EnumerateDrives(wb_.drives);
    else
        wb_.drives = DriveTable{};
    wb_.driveCount = std::clamp(count, 0, kMaxPhysicalDrives);
    if (wb_.driveCount > 0 || !keepWhenNone) {
        lbControllers->clear();
        for (int i = 0; i < wb_.driveCount; ++i)
            lbControllers->addItem(FromAnsi(wb_.drives[static_cast<size_t>(i)].displayName));
    }
    lbControllers->setEnabled(true);
    rbAPI->setEnabled(true);
    rbPIO->setEnabled(true);
    filling_ = false;
    if (wb_.driveCount == 0) Log("No drive found");
}

void TfmMain::rbPIOClick() {
    SelectionChanged();
    EnableButtons(false);
    wb_.link.mode = TransportMode::PortIo;
    FillControllers();
}

void TfmMain::rbAPIClick() {
    SelectionChanged();
    EnableButtons(false);
    wb_.link.mode = TransportMode::AtaPassThrough;
    // The rows of the other mode mean nothing here, so the list starts
    // empty even when no drive is found.
    FillDrives(false);
}

std::string TfmMain::DriveName(int row) const {
    if (row >= 0 && row < wb_.driveCount) {
        const TST_PhysicalDrive& d = wb_.drives[static_cast<size_t>(row)];
        if (!d.displayName.empty()) return d.displayName;
    }
    if (QListWidgetItem* item = lbControllers->item(row); item && !item->text().isEmpty())
        return ToAnsi(item->text());
    if (row >= 0 && row < wb_.driveCount &&
        !wb_.drives[static_cast<size_t>(row)].devicePath.empty())
        return wb_.drives[static_cast<size_t>(row)].devicePath;
    return "Disk " + std::to_string(row);
}

void TfmMain::lbControllersClick() {
    SelectionChanged();
    const int row = lbControllers->currentRow();
    if (row < 0) {
        EnableButtons(false);
        return;
    }
    if (rbPIO->isChecked()) {
        if (row >= static_cast<int>(wb_.controllers.size())) {
            EnableButtons(false);
            return;
        }
        const PCIDevDesc& c = wb_.controllers[static_cast<size_t>(row)];
        wb_.link.mode = TransportMode::PortIo;
        wb_.link.basePort = static_cast<uint16_t>(c.basePort);
        wb_.link.controlPort = static_cast<uint16_t>(c.controlPort);
        wb_.link.deviceSelect = false;
        SelectDevice(wb_, 0);
        Log(Format("Port: %x,%x", wb_.link.basePort, wb_.link.controlPort));
        if (!c.kernelDriver.empty())
            Log("Warning: the kernel driver " + c.kernelDriver +
                " owns this controller; the operating system may use the channel at the same "
                "time");
        EnableButtons(true);
        return;
    }

    // A row left over from an earlier listing has no entry any more.
    static const TST_PhysicalDrive kNoDrive{};
    const TST_PhysicalDrive& d =
        row < wb_.driveCount ? wb_.drives[static_cast<size_t>(row)] : kNoDrive;
    Log("Bus Type:" + BusTypeName(d.busType));
    const bool scsi = UsesScsiPassThrough(d.busType);
    wb_.link.mode = scsi ? TransportMode::ScsiPassThrough : TransportMode::AtaPassThrough;
    DeviceHandle& handle = scsi ? wb_.link.scsiHandle : wb_.link.ataHandle;
    if (handle != kInvalidDeviceHandle && wb_.deviceIo) wb_.deviceIo->Close(handle);
    handle = d.devicePath.empty() ? kInvalidDeviceHandle : OpenDrive(wb_, d.devicePath);
    if (handle == kInvalidDeviceHandle) {
        const std::string name = DriveName(row);
        if (d.devicePath.empty())
            Log("Cannot open " + name + ": the drive is no longer listed");
        else if (wb_.deviceIo)
            Log("Cannot open " + d.devicePath + ": " +
                wb_.deviceIo->ErrorText(wb_.deviceIo->LastError()));
        else
            Log("Cannot open " + d.devicePath + ": no pass-through backend in this build");
        wb_.host.MessageBox(name);
    }
    EnableButtons(true);
}

void TfmMain::lbControllersDblClick() {
    // The double click does what the two buttons do, when they could be pressed.
    if (Busy() || !wanted_[kIdentify] || lbControllers->currentRow() < 0) return;
    btIdentifyClick();
    btUnlockClick();
}

void TfmMain::btIdentifyClick() {
    Operation operation(*this);
    std::memset(wb_.link.Sectors(), 0, kSectorSize);
    IdentifyDevice(wb_);  // a drive that does not answer leaves the sector zeroed
    wb_.identity = ParseIdentity(wb_.link.Sectors());
    Log(IdentityLine(wb_.identity));
}

void TfmMain::RunFeature(const std::function<void(TfmMain&)>& hook, const char* hint,
                         bool guarded) {
    if (!hook) {
        Log(std::string(hint) + ": not available in this build");
        return;
    }
    // The event boundary: a file error ends the feature and is shown in the
    // standard error box; nothing is thrown through the button's slot.
    if (!guarded) {
        CatchFileErrors(wb_.host, [&] { hook(*this); });
        return;
    }
    Operation operation(*this);
    CatchFileErrors(wb_.host, [&] { hook(*this); });
}

void TfmMain::btResetClick() {
    RunFeature(features.reset, "Power On Reset Immediate", true);
}
void TfmMain::btViewSmartClick() {
    RunFeature(features.viewSmart, "View S.M.A.R.T.", false);
}
void TfmMain::btUnlockClick() {
    RunFeature(features.viewDefects, "View Defects", true);
}
void TfmMain::btServoClick() {
    RunFeature(features.servo, "Servo Test", false);
}
void TfmMain::btScriptClick() {
    RunFeature(features.script, "Edit Script 28", false);
}
void TfmMain::btDrmClick() {
    RunFeature(features.drm, "Edit 21 DRM", false);
}
void TfmMain::btSsLogClick() {
    RunFeature(features.ssLog, "Self Scan Log", true);
}

void TfmMain::DeviceChange(uint32_t eventCode) {
    if (rbPIO->isChecked()) return;
    if ((eventCode == kDeviceNodesChanged || eventCode == kDeviceArrival ||
         eventCode == kDeviceRemoveComplete) &&
        (is64_ || wb_.link.mode == TransportMode::ScsiPassThrough) && !filling_) {
        FillDrives(true);
    }
    // Whatever changed, the drive behind the selection may be another now.
    ++selectionEpoch_;
    for (ButtonIndex i : {kIdentify, kUnlock, kViewSmart, kServo}) wanted_[i] = false;
    ApplyButtons();
}

void TfmMain::WatchDeviceChanges(DeviceChangeSource* source) {
    delete deviceWatch_;
    deviceWatch_ = nullptr;
    deviceChanges_ = source;
    if (!source) return;
    auto deliver = [this] {
        if (!deviceChanges_) return;
        for (uint32_t code : deviceChanges_->Poll()) DeviceChange(code);
    };
    if (source->WaitHandle() >= 0) {
        auto* notifier = new QSocketNotifier(source->WaitHandle(), QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, deliver);
        deviceWatch_ = notifier;
    } else {
        auto* timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, deliver);
        timer->start(kDevicePollMs);
        deviceWatch_ = timer;
    }
}

QWidget* TfmMain::OpenWindow(const QString& name, const std::function<QWidget*()>& create) {
    QPointer<QWidget>& slot = windows_[name];
    if (!slot) {
        QWidget* w = create();
        if (!w) return nullptr;
        slot = w;
        w->show();
    } else if (slot->isVisible()) {
        if (slot->isMinimized()) slot->showNormal();
        slot->raise();
        slot->activateWindow();
    } else {
        slot->show();
    }
    return slot;
}

QWidget* TfmMain::Window(const QString& name) const {
    const auto it = windows_.find(name);
    return it == windows_.end() ? nullptr : it->second.data();
}

}  // namespace qm
