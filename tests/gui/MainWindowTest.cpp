// The main window as the user drives it: lists, selections, the log lines,
// the button enabling, the device-change event and the faults around them.
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <memory>

#include "GuiFakes.h"
#include "app/QuillmarkApplication.h"
#include "app/uMain.h"
#include "common/Files.h"
#include "common/Workbench.h"
#include "drive/DeviceChange.h"
#include "drive/Identify.h"
#include "gui/AnsiText.h"
#include "gui/FormPlacement.h"
#include "gui/QtHost.h"
#include "platform/Platform.h"
#include "vdrive/Mount.h"

using namespace qm;
using namespace qm::test;

namespace {

// A bench with the sample drive mounted for port I/O and crafted
// pass-through seams, the host's boxes recorded, and a private placement file.
struct Rig {
    QTemporaryDir dir;
    QtHost host;
    std::vector<std::string> boxes, errorBoxes;
    Workbench wb{host};
    MountedDrive mounted;
    FakeEnumerator enumerator;
    FakeDeviceIo deviceIo;
    RefusedPortIo refused;
    std::unique_ptr<FormPlacement> placement;
    std::unique_ptr<TfmMain> form;

    explicit Rig(bool portIoWorks = true) {
        host.messageBox = [this](const std::string& text) { boxes.push_back(text); };
        host.errorBox = [this](const std::string& text) { errorBoxes.push_back(text); };
        host.openDialog = host.saveDialog = [](DialogState&) { return false; };
        std::string error;
        if (!MountVirtualDrive("", mounted, error)) qFatal("sample drive: %s", error.c_str());
        mounted.AttachTo(wb);
        if (!portIoWorks) wb.portIo = &refused;
        wb.deviceIo = &deviceIo;
        wb.enumerator = &enumerator;
        wb.programFolder = dir.path().toStdString();
        placement = std::make_unique<FormPlacement>(dir.filePath(QStringLiteral("placement.ini")));
        enumerator.entries = {
            FakeEnumerator::Drive("WDC WD5000AAKS-00V1A0 SN:WD-WCAWF1234567", "/dev/fake0",
                                  kBusSata),
            FakeEnumerator::Drive("WD Elements 25A2 SN:575833314135", "/dev/fake1", kBusUsb),
        };
        deviceIo.present = {"/dev/fake0", "/dev/fake1"};
    }

    TfmMain& Start() {
        form = std::make_unique<TfmMain>(wb, *placement);
        host.SetLogView(form->meLog);
        form->show();
        return *form;
    }

    QStringList Log() const {
        const QString text = form->meLog->toPlainText();
        return text.isEmpty() ? QStringList() : text.split(u'\n');
    }
    QStringList Rows() const {
        QStringList rows;
        for (int i = 0; i < form->lbControllers->count(); ++i)
            rows << form->lbControllers->item(i)->text();
        return rows;
    }
    // The eight buttons in the order of the window's table.
    QList<bool> Buttons() const {
        QList<bool> on;
        for (QPushButton* b : {form->btReset, form->btIdentify, form->btViewSmart, form->btUnlock,
                               form->btServo, form->btScript, form->btDrm, form->btSsLog})
            on << b->isEnabled();
        return on;
    }
    void Select(int row) { form->lbControllers->setCurrentRow(row); }
};

const QList<bool> kAllOn(8, true);
const QList<bool> kAllOff(8, false);

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void startUp();
    void pioRowsSelectTheirPorts();
    void pioRowOwnedByAKernelDriverWarns();
    void identifyLogsTheDrive();
    void identifyRunsAfterALeftoverStop();
    void apiBusTypeChoosesThePassThrough();
    void apiReopenClosesTheOldHandleOfThatMode();
    void failedIdentifyStillLogsTheLabels();
    void openFailureNamesTheDriveAndKeepsButtons();
    void buttonsFollowSelectionAndMode();
    void deviceChangeInPioTouchesNothing();
    void deviceChangeInApiDisablesExactlyFour();
    void deviceChangesArriveFromTheSource();
    void vanishedDriveIsNamedWhenSelected();
    void portIoRefusedLeavesApiUsable();
    void modeSwitchStopsARunningIdentify();
    void closingStopsARunningIdentify();
    void doubleClickIdentifiesThenOpensDefects();
    void featureWindowsOpenOnce();
    void fileErrorInAFeatureShowsTheErrorBox();
};

void MainWindowTest::startUp() {
    Rig rig;
    TfmMain& form = rig.Start();
    QCOMPARE(form.windowTitle(),
             QStringLiteral("Quillmark - ") + FromAnsi(platform::OperatingSystemText()));
    QVERIFY(rig.wb.portIoReady);
    QVERIFY(rig.boxes.empty());
    QVERIFY(form.rbPIO->isChecked());
    QVERIFY(!form.rbAPI->isChecked());
    QCOMPARE(form.rbAPI->text(), QStringLiteral("API"));
    QCOMPARE(form.rbPIO->text(), QStringLiteral("PIO"));
    QCOMPARE(rig.Buttons(), kAllOff);
    QCOMPARE(form.btDrm->toolTip(), QStringLiteral("Edit 21 DRM "));
    QCOMPARE(form.btUnlock->toolTip(), QStringLiteral("View Defects"));
    QVERIFY(form.lbControllers->font().fixedPitch() ||
            QFontInfo(form.lbControllers->font()).fixedPitch());
    QVERIFY(form.lbControllers->minimumHeight() >= 100);
    QCOMPARE(form.meLog->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QVERIFY(form.width() >= 500 && form.height() >= 300);
    QCOMPARE(form.minimumSize(), QSize(500, 300));
}

void MainWindowTest::pioRowsSelectTheirPorts() {
    Rig rig;
    rig.Start();
    // The virtual machine's one controller: legacy IDE, both channels.
    QCOMPARE(rig.Rows(), QStringList({"01F0/03F6 - Int ATA: Intel 82371AB/EB/MB PIIX4 IDE",
                                      "0170/0376 - Int ATA: Intel 82371AB/EB/MB PIIX4 IDE"}));
    rig.Select(1);
    QCOMPARE(rig.Log().last(), QStringLiteral("Port: 170,376"));
    QCOMPARE(rig.wb.link.basePort, 0x170);
    QCOMPARE(rig.wb.link.controlPort, 0x376);
    rig.Select(0);
    QCOMPARE(rig.Log().last(), QStringLiteral("Port: 1f0,3f6"));
    QCOMPARE(rig.wb.link.mode, TransportMode::PortIo);
    QVERIFY(!rig.wb.link.deviceSelect);
    QCOMPARE(rig.Buttons(), kAllOn);
}

void MainWindowTest::pioRowOwnedByAKernelDriverWarns() {
    Rig rig;
    rig.Start();
    rig.wb.controllers.at(1).kernelDriver = "ata_piix";
    rig.Select(1);
    const QStringList log = rig.Log();
    QCOMPARE(log.at(log.size() - 2), QStringLiteral("Port: 170,376"));
    QVERIFY(log.last().startsWith(QStringLiteral("Warning: the kernel driver ata_piix owns")));
    rig.Select(0);
    QCOMPARE(rig.Log().last(), QStringLiteral("Port: 1f0,3f6"));
}

void MainWindowTest::identifyLogsTheDrive() {
    Rig rig;
    TfmMain& form = rig.Start();
    rig.Select(0);
    QTest::mouseClick(form.btIdentify, Qt::LeftButton);
    const DriveIdentity id = rig.wb.identity;
    QVERIFY(!id.model.empty());
    QVERIFY(!id.serial.empty());
    QVERIFY(!id.firmware.empty());
    QCOMPARE(rig.Log().last(), FromAnsi(id.model + " FW:" + id.firmware + " SN:" + id.serial));
    QCOMPARE(rig.Buttons(), kAllOn);
}

void MainWindowTest::identifyRunsAfterALeftoverStop() {
    // A feature window that closed during its operation leaves the stop
    // raised; the next identify must still reach the drive.
    Rig rig;
    TfmMain& form = rig.Start();
    rig.Select(0);
    rig.wb.link.abort = true;
    form.btIdentifyClick();
    QVERIFY(!rig.wb.identity.model.empty());
}

void MainWindowTest::apiBusTypeChoosesThePassThrough() {
    Rig rig;
    TfmMain& form = rig.Start();
    form.rbAPI->click();
    QCOMPARE(rig.wb.link.mode, TransportMode::AtaPassThrough);
    QCOMPARE(rig.Rows(), QStringList({"WDC WD5000AAKS-00V1A0 SN:WD-WCAWF1234567",
                                      "WD Elements 25A2 SN:575833314135"}));
    QCOMPARE(rig.Buttons(), kAllOff);

    rig.Select(0);  // SATA (11)
    QCOMPARE(rig.Log().last(), QStringLiteral("Bus Type:SATA"));
    QCOMPARE(rig.wb.link.mode, TransportMode::AtaPassThrough);
    QCOMPARE(rig.deviceIo.open.at(rig.wb.link.ataHandle), std::string("/dev/fake0"));

    rig.Select(1);  // USB (7)
    QCOMPARE(rig.Log().last(), QStringLiteral("Bus Type:USB"));
    QCOMPARE(rig.wb.link.mode, TransportMode::ScsiPassThrough);
    QCOMPARE(rig.deviceIo.open.at(rig.wb.link.scsiHandle), std::string("/dev/fake1"));
    QVERIFY(rig.boxes.empty());
    QCOMPARE(rig.Buttons(), kAllOn);
}

void MainWindowTest::apiReopenClosesTheOldHandleOfThatMode() {
    Rig rig;
    rig.enumerator.entries.push_back(FakeEnumerator::Drive("Second SATA", "/dev/fake2", kBusSata));
    rig.deviceIo.present.insert("/dev/fake2");
    TfmMain& form = rig.Start();
    form.rbAPI->click();
    rig.Select(0);
    const DeviceHandle first = rig.wb.link.ataHandle;
    rig.Select(1);  // SCSI mode: the ATA handle stays open
    QVERIFY(rig.deviceIo.closed.empty());
    rig.Select(2);
    QCOMPARE(rig.deviceIo.closed, std::vector<DeviceHandle>{first});
    QCOMPARE(rig.deviceIo.open.at(rig.wb.link.ataHandle), std::string("/dev/fake2"));
    // A mode change keeps the handle until the next pick in that mode.
    form.rbPIO->click();
    QCOMPARE(rig.deviceIo.open.size(), size_t(2));
}

void MainWindowTest::failedIdentifyStillLogsTheLabels() {
    Rig rig;
    TfmMain& form = rig.Start();
    form.rbAPI->click();
    rig.Select(0);
    rig.wb.identity = {"old", "old", "old"};
    QTest::mouseClick(form.btIdentify, Qt::LeftButton);
    const QStringList log = rig.Log();
    QCOMPARE(log.last(), QStringLiteral(" FW: SN:"));
    QVERIFY(log[log.size() - 2].startsWith(QStringLiteral("IOCTL_ATA_PASS_THROUGH ")));
    QVERIFY(rig.wb.identity.model.empty() && rig.wb.identity.serial.empty());
    QCOMPARE(rig.Buttons(), kAllOn);
}

void MainWindowTest::openFailureNamesTheDriveAndKeepsButtons() {
    Rig rig;
    rig.deviceIo.present.erase("/dev/fake1");
    // An entry the enumeration could not open: no name, no path.
    rig.enumerator.entries.push_back(TST_PhysicalDrive{});
    TfmMain& form = rig.Start();
    form.rbAPI->click();
    rig.Select(1);
    QCOMPARE(rig.boxes, std::vector<std::string>{"WD Elements 25A2 SN:575833314135"});
    QCOMPARE(rig.wb.link.scsiHandle, kInvalidDeviceHandle);
    QCOMPARE(rig.Log().last(), QStringLiteral("Cannot open /dev/fake1: No such file or directory"));
    QCOMPARE(rig.Buttons(), kAllOn);
    // An empty box would tell the user nothing.
    rig.Select(2);
    QCOMPARE(rig.boxes.back(), std::string("Disk 2"));
    QCOMPARE(rig.wb.link.ataHandle, kInvalidDeviceHandle);
    QCOMPARE(rig.Buttons(), kAllOn);
}

void MainWindowTest::buttonsFollowSelectionAndMode() {
    Rig rig;
    TfmMain& form = rig.Start();
    QCOMPARE(rig.Buttons(), kAllOff);
    rig.Select(0);
    QCOMPARE(rig.Buttons(), kAllOn);
    rig.Select(-1);
    QCOMPARE(rig.Buttons(), kAllOff);
    rig.Select(1);
    form.rbAPI->click();
    QCOMPARE(rig.Buttons(), kAllOff);
    QVERIFY(form.lbControllers->isEnabled());
    rig.Select(0);
    QCOMPARE(rig.Buttons(), kAllOn);
    form.rbPIO->click();
    QCOMPARE(rig.Buttons(), kAllOff);
    QCOMPARE(rig.wb.link.mode, TransportMode::PortIo);
    QCOMPARE(rig.Rows().size(), 2);
    QVERIFY(rig.Rows()[0].startsWith(QStringLiteral("01F0/03F6 - ")));
}

void MainWindowTest::deviceChangeInPioTouchesNothing() {
    Rig rig;
    TfmMain& form = rig.Start();
    rig.Select(0);
    const QStringList rows = rig.Rows();
    const int calls = rig.enumerator.calls;
    for (uint32_t code : {kDeviceArrival, kDeviceRemoveComplete, kDeviceNodesChanged, 0x18u})
        form.DeviceChange(code);
    QCOMPARE(rig.Rows(), rows);
    QCOMPARE(form.lbControllers->currentRow(), 0);
    QCOMPARE(rig.Buttons(), kAllOn);
    QCOMPARE(rig.enumerator.calls, calls);
}

void MainWindowTest::deviceChangeInApiDisablesExactlyFour() {
    Rig rig;
    TfmMain& form = rig.Start();
    form.rbAPI->click();
    rig.Select(0);
    QCOMPARE(rig.Buttons(), kAllOn);
    rig.enumerator.entries.push_back(FakeEnumerator::Drive("New Disk", "/dev/fake2", kBusSata));
    form.DeviceChange(kDeviceArrival);
    // btReset btIdentify btViewSmart btUnlock btServo btScript btDrm btSsLog
    QCOMPARE(rig.Buttons(), QList<bool>({true, false, false, false, false, true, true, true}));
    if (form.Is64()) QCOMPARE(rig.Rows().size(), 3);

    // Any other event code: no new listing, the same four go off.
    rig.Select(1);
    const int calls = rig.enumerator.calls;
    form.DeviceChange(0x18);
    QCOMPARE(rig.enumerator.calls, calls);
    QCOMPARE(rig.Buttons(), QList<bool>({true, false, false, false, false, true, true, true}));
}

void MainWindowTest::deviceChangesArriveFromTheSource() {
    Rig rig;
    TfmMain& form = rig.Start();
    QueuedDeviceChangeSource source;
    form.WatchDeviceChanges(&source);
    form.rbAPI->click();
    rig.Select(0);
    rig.enumerator.entries.pop_back();
    source.Push(kDeviceRemoveComplete);
    QTRY_COMPARE_WITH_TIMEOUT(rig.form->btIdentify->isEnabled(), false, 5000);
    if (form.Is64()) QCOMPARE(rig.Rows().size(), 1);
    form.WatchDeviceChanges(nullptr);
}

void MainWindowTest::vanishedDriveIsNamedWhenSelected() {
    Rig rig;
    TfmMain& form = rig.Start();
    form.rbAPI->click();
    // Every disk goes away: the list keeps its rows, the table is empty.
    rig.enumerator.entries.clear();
    rig.wb.link.mode = TransportMode::ScsiPassThrough;  // a refill also on 32-bit systems
    form.DeviceChange(kDeviceRemoveComplete);
    QCOMPARE(rig.Rows().size(), 2);
    QCOMPARE(rig.Log().last(), QStringLiteral("No drive found"));
    rig.Select(0);
    QCOMPARE(rig.boxes, std::vector<std::string>{"WDC WD5000AAKS-00V1A0 SN:WD-WCAWF1234567"});
    QCOMPARE(rig.Log().last(), QStringLiteral("Cannot open WDC WD5000AAKS-00V1A0 "
                                              "SN:WD-WCAWF1234567: the drive is no longer listed"));
    QCOMPARE(rig.Log()[rig.Log().size() - 2], QStringLiteral("Bus Type:UNKNOWN"));
    QCOMPARE(rig.wb.link.ataHandle, kInvalidDeviceHandle);
    // Identify on it fails in the open and says so; the window stays usable.
    form.btIdentifyClick();
    QCOMPARE(rig.Log().last(), QStringLiteral(" FW: SN:"));
    QCOMPARE(rig.Buttons(), kAllOn);
}

void MainWindowTest::portIoRefusedLeavesApiUsable() {
    Rig rig(false);
    TfmMain& form = rig.Start();
    QVERIFY(!rig.wb.portIoReady);
#ifdef _WIN32
    QCOMPARE(rig.boxes, std::vector<std::string>{"Initialize WinRing0 ERROR!"});
#else
    QCOMPARE(rig.boxes,
             std::vector<std::string>{"Initialize port I/O ERROR!\nports refused: run as root"});
#endif
    QVERIFY(rig.Rows().isEmpty());
    QCOMPARE(rig.Log().last(), QStringLiteral("No disk controller found"));
    form.rbAPI->click();
    QCOMPARE(rig.Rows().size(), 2);
    rig.Select(0);
    QCOMPARE(rig.Buttons(), kAllOn);
    // Empty list in API mode too.
    rig.enumerator.entries.clear();
    form.rbPIO->click();
    form.rbAPI->click();
    QVERIFY(rig.Rows().isEmpty());
    QCOMPARE(rig.Log().last(), QStringLiteral("No drive found"));
}

void MainWindowTest::modeSwitchStopsARunningIdentify() {
    // The secondary channel of the virtual controller is empty: status reads
    // float high and the identify waits until it is stopped.
    Rig rig;
    TfmMain& form = rig.Start();
    rig.Select(1);
    bool sawBusy = false;
    QTimer::singleShot(50, &form, [&] {
        sawBusy = form.Busy() && !form.btIdentify->isEnabled() && !form.btReset->isEnabled();
        form.rbAPI->click();
    });
    form.btIdentifyClick();
    QVERIFY(sawBusy);
    QVERIFY(!form.Busy());
    QCOMPARE(rig.Log().last(), QStringLiteral(" FW: SN:"));
    // The list now holds the drives, nothing is selected: the buttons stay off.
    QCOMPARE(rig.Rows().size(), 2);
    QCOMPARE(rig.Buttons(), kAllOff);
    rig.Select(0);
    QCOMPARE(rig.Buttons(), kAllOn);
}

void MainWindowTest::closingStopsARunningIdentify() {
    // Closing the window must end the program even while a wait runs.
    Rig rig;
    TfmMain& form = rig.Start();
    bool closed = false;
    QObject::connect(&form, &TfmMain::closed, [&] { closed = true; });
    rig.Select(1);  // the empty channel
    QTimer::singleShot(50, &form, [&] { form.close(); });
    form.btIdentifyClick();
    QVERIFY(closed);
    QVERIFY(!form.Busy());
    QCOMPARE(rig.Log().last(), QStringLiteral(" FW: SN:"));
}

void MainWindowTest::doubleClickIdentifiesThenOpensDefects() {
    Rig rig;
    TfmMain& form = rig.Start();
    QStringList seen;
    form.features.viewDefects = [&](TfmMain& m) {
        seen << rig.Log().last();
        seen << (m.btIdentify->isEnabled() ? "on" : "off");
    };
    rig.Select(0);
    QListWidgetItem* item = form.lbControllers->item(0);
    const QRect r = form.lbControllers->visualItemRect(item);
    QTest::mouseClick(form.lbControllers->viewport(), Qt::LeftButton, {}, r.center());
    QTest::mouseDClick(form.lbControllers->viewport(), Qt::LeftButton, {}, r.center());
    QCOMPARE(seen.size(), 2);
    QVERIFY(seen[0].contains(QStringLiteral(" FW:")) &&
            !seen[0].startsWith(QStringLiteral(" FW:")));
    QCOMPARE(seen[1], QStringLiteral("off"));  // the defect viewer runs with the buttons off
    QCOMPARE(rig.Buttons(), kAllOn);

    // No selection that the buttons accept: a double click does nothing.
    seen.clear();
    form.rbAPI->click();
    form.lbControllersDblClick();
    QVERIFY(seen.isEmpty());
}

void MainWindowTest::featureWindowsOpenOnce() {
    Rig rig;
    TfmMain& form = rig.Start();
    int created = 0;
    form.features.viewSmart = [&](TfmMain& m) {
        m.OpenWindow(QStringLiteral("FormSmart"), [&] {
            ++created;
            auto* w = new QWidget(&m, Qt::Window);
            w->setAttribute(Qt::WA_DeleteOnClose);
            return w;
        });
    };
    rig.Select(0);
    form.btViewSmart->click();
    form.btViewSmart->click();
    QCOMPARE(created, 1);
    QWidget* w = form.Window(QStringLiteral("FormSmart"));
    QVERIFY(w && w->isVisible());
    QCOMPARE(rig.Buttons(), kAllOn);  // opening a window leaves the buttons alone
    w->close();
    QTRY_VERIFY(form.Window(QStringLiteral("FormSmart")) == nullptr);
    form.btViewSmart->click();
    QCOMPARE(created, 2);

    // A feature not built in says so instead of doing nothing.
    form.btServo->click();
    QCOMPARE(rig.Log().last(), QStringLiteral("Servo Test: not available in this build"));
}

void MainWindowTest::fileErrorInAFeatureShowsTheErrorBox() {
    Rig rig;
    TfmMain& form = rig.Start();
    form.features.reset = [](TfmMain&) { throw FileError("~id33.rpm: Permission denied"); };
    rig.Select(0);
    form.btReset->click();  // nothing may be thrown through the button's slot
    QCOMPARE(rig.errorBoxes, std::vector<std::string>{"~id33.rpm: Permission denied"});
    QVERIFY(rig.boxes.empty());
    QCOMPARE(rig.Buttons(), kAllOn);  // the operation ended; the buttons are back
}

int main(int argc, char** argv) {
    QuillmarkApplication app(argc, argv);
    MainWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "MainWindowTest.moc"
