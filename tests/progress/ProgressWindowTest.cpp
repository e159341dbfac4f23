// The progress monitor window and the main window's "Self Scan Log": what
// the user sees, the auto-close, the one instance, and a window closed while
// its own poll reads the drive.
#include <QCoreApplication>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <fstream>

#include "app/Features.h"
#include "app/uMain.h"
#include "common/Bytes.h"
#include "common/ScriptedHost.h"
#include "common/Workbench.h"
#include "defects/ui/uProgress.h"
#include "gui/FormPlacement.h"
#include "gui/QtHost.h"
#include "vdrive/Mount.h"
#include "vendor/Vsc.h"

using namespace qm;

namespace {

std::string Frame(uint8_t background, uint16_t progress) {
    std::string s(512, '\0');
    auto* p = reinterpret_cast<uint8_t*>(s.data());
    p[0x36] = background;
    PutU16(p + 0x68, progress);
    PutU16(p + 0x190, 0xA1);
    p[0x198] = 2;
    PutU16(p + 0x194, 0x19);
    return s;
}

// A drive folder (recorded status frames, or none for the drive's own runs)
// on the virtual primary channel, the repository's description files.
struct Rig {
    QTemporaryDir dir;
    ScriptedHost host;
    Workbench wb{host};
    MountedDrive mounted;

    explicit Rig(const std::string& frames, const std::string& ini = "") {
        std::ofstream(dir.filePath("drive.ini").toStdString()) << "[Identity]\nModel=WDC T\n"
                                                               << ini;
        if (!frames.empty())
            std::ofstream(dir.filePath("status-frames.bin").toStdString(), std::ios::binary)
                << frames;
        std::string error;
        if (!MountVirtualDrive(dir.path().toStdString(), mounted, error))
            qFatal("drive: %s", error.c_str());
        mounted.AttachTo(wb);
        wb.portIoReady = true;
        wb.link.mode = TransportMode::PortIo;
        wb.link.basePort = 0x1F0;
        wb.link.controlPort = 0x3F6;
        wb.programFolder = QM_DATA_DIR;
        host.onProcessMessages = [] { QCoreApplication::processEvents(); };
        EnableVsc(wb);
    }
};

}  // namespace

class ProgressWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void pollShowsTheStatusAndAutoCloses();
    void oneInstanceAndTheTitleComesBack();
    void closedWhileItsPollReadsTheDrive();
    void failedReadsEndTheWait();
    void selfScanLogButtonWritesBothReports();
    void screenshot();
};

void ProgressWindowTest::pollShowsTheStatusAndAutoCloses() {
    Rig rig(Frame(6, 100) + Frame(6, 1234) + Frame(0, 1000));
    ProgressMonitor monitor(rig.wb);
    monitor.ShowProgress(true);
    QPointer<TfmProgress> form = monitor.Form();
    QVERIFY(form && form->isVisible());
    QVERIFY(!form->edAta->isVisible() && !form->edDBSCode->isVisible());
    QCOMPARE(form->edStatus->toolTip(),
             QStringLiteral("ExtErr, ExtErrCode, SecondaryEcode, StatusFlg1, Initiator Code"));
    QString progressSeen;
    QObject::connect(form->tiProgress, &QTimer::timeout, form, [&] {
        if (form->edProgress->text() == QStringLiteral("123.4%   "))
            progressSeen = form->edStep1->text();
    });
    QVERIFY(monitor.WaitProgress());
    QVERIFY(!monitor.Form());
    QTRY_VERIFY(!form);  // freed once the closing poll has returned
    QCOMPARE(progressSeen, QStringLiteral("Self-test: read channel threshold calibration "
                                          "CGAIN CAL"));
}

void ProgressWindowTest::oneInstanceAndTheTitleComesBack() {
    Rig rig(Frame(6, 10));
    QCoreApplication::setApplicationName(QStringLiteral("Quillmark"));
    ProgressMonitor monitor(rig.wb);
    monitor.ShowProgress(false);
    TfmProgress* first = monitor.Form();
    QTRY_VERIFY(first->windowTitle().size() > QStringLiteral("Progress ").size());
    QVERIFY(first->windowTitle().startsWith(QStringLiteral("Progress ")));
    QCOMPARE(QCoreApplication::applicationName(), first->windowTitle().mid(9));
    QCOMPARE(first->edCurState->text(), QStringLiteral("06 00 (ACTIVE) PST test in progress"));
    QCOMPARE(first->edActn->text(), QStringLiteral("Execute File"));
    monitor.ShowProgress(false);
    QCOMPARE(monitor.Form(), first);
    QVERIFY(first->Busy());
    first->close();
    QVERIFY(!monitor.Form());
    QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Quillmark"));
    QVERIFY(monitor.WaitProgress());  // no monitor: nothing to wait for
}

void ProgressWindowTest::closedWhileItsPollReadsTheDrive() {
    Rig rig(Frame(6, 10));
    ProgressMonitor monitor(rig.wb);
    monitor.ShowProgress(true);
    QPointer<TfmProgress> form = monitor.Form();
    form->tiProgress->stop();
    // The status read lets messages run; one of them frees the window.
    rig.host.onProcessMessages = [&] {
        if (form) delete form.data();
    };
    form->tiProgressTimer();
    QVERIFY(!form);
    QVERIFY(!monitor.Form());
    QVERIFY(monitor.WaitProgress());
}

void ProgressWindowTest::failedReadsEndTheWait() {
    // The drive's own run, whose status reads fail from the second one on:
    // the window shows zeros and the wait ends as if the job had.
    Rig rig("", "[Tests]\nA1=600000\n[Faults]\nFailStatusReads=2\n");
    SendKey8(rig.wb, 0x19, 3, 0xA1, 1, 0, 0, 0, 0);
    ProgressMonitor monitor(rig.wb);
    monitor.ShowProgress(false);
    QVERIFY(monitor.WaitProgress());
    QVERIFY(monitor.Form());  // without auto-close the window stays
    QCOMPARE(monitor.Form()->edProgress->text(), QStringLiteral("0.0%   "));
    QVERIFY(!monitor.Form()->LastPoll().readOk);
    monitor.Form()->close();
}

void ProgressWindowTest::selfScanLogButtonWritesBothReports() {
    QTemporaryDir dir;
    QtHost host;
    host.openDialog = host.saveDialog = [](DialogState&) { return false; };
    Workbench wb(host);
    MountedDrive mounted;
    std::string error;
    QVERIFY(MountVirtualDrive("", mounted, error));
    mounted.AttachTo(wb);
    wb.programFolder = QM_DATA_DIR;
    FormPlacement placement(dir.filePath(QStringLiteral("placement.ini")));
    TfmMain form(wb, placement);
    host.SetLogView(form.meLog);
    RegisterFeatureWindows(form);
    form.show();
    form.lbControllers->setCurrentRow(0);
    QTest::mouseClick(form.btSsLog, Qt::LeftButton);
    const QStringList log = form.meLog->toPlainText().split(u'\n');
    QVERIFY(log.contains(QStringLiteral("SelfScan Log:")));
    QVERIFY(log.contains(QStringLiteral("Test Count: 37  -  Test Time: 01:01:01:01")));
    QVERIFY(
        log.contains(QStringLiteral("Test1 ID: C8, Test Status: 3 , Abort Code: 7611 - "
                                    "Self-test failed: read verify found an unrecoverable "
                                    "sector")));
    QVERIFY(log.contains(QStringLiteral("Surface Log Errors by Head by Zone")));
    QVERIFY(log.contains(QStringLiteral("  Zn          H0         H1         H2         H3  ")));
    QVERIFY(form.btSsLog->isEnabled());
}

// With QM_SCREENSHOT_DIR set: the window as the documentation shows it, during
// a run of the drive's own.
void ProgressWindowTest::screenshot() {
    const QByteArray out = qgetenv("QM_SCREENSHOT_DIR");
    if (out.isEmpty()) QSKIP("QM_SCREENSHOT_DIR not set");
    Rig rig("", "[Tests]\nA1=8000\n[Status]\nPower=0x20\n");
    SendKey8(rig.wb, 0x19, 3, 0xA1, 0x12, 0, 0, 0, 0);
    ProgressMonitor monitor(rig.wb);
    monitor.ShowProgress(true);
    TfmProgress* form = monitor.Form();
    QTest::qWait(3100);
    QVERIFY(form->grab().save(QDir(QString::fromLocal8Bit(out)).filePath("progress.png")));
    form->close();
}

QTEST_MAIN(ProgressWindowTest)
#include "ProgressWindowTest.moc"
