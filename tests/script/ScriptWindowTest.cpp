// The script window as the user meets it: opened from "Edit Script 28", the
// sample script read and listed, the hex pane, shortcuts by focus, a refused
// write, dropped files, and Run while the window is closed under it.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <fstream>

#include "app/Features.h"
#include "app/uMain.h"
#include "common/ScriptedHost.h"
#include "common/Workbench.h"
#include "defects/ui/uProgress.h"
#include "gui/FormPlacement.h"
#include "gui/QtHost.h"
#include "hexview/HexView.h"
#include "script/ui/uScript.h"
#include "vdrive/Mount.h"
#include "vendor/Modules.h"

using namespace qm;

namespace {

// The sample drive (or a folder with drive.ini text) on the primary channel.
struct Rig {
    QTemporaryDir dir;
    ScriptedHost host;
    Workbench wb{host};
    MountedDrive mounted;

    explicit Rig(const std::string& driveIni = "") {
        std::string folder;
        if (!driveIni.empty()) {
            std::ofstream(dir.filePath("drive.ini").toStdString()) << driveIni;
            folder = dir.path().toStdString();
        }
        std::string error;
        if (!MountVirtualDrive(folder, mounted, error)) qFatal("drive: %s", error.c_str());
        mounted.AttachTo(wb);
        wb.portIoReady = true;
        wb.link.mode = TransportMode::PortIo;
        wb.link.basePort = 0x1F0;
        wb.link.controlPort = 0x3F6;
        wb.programFolder = QM_DATA_DIR;
        wb.dataFilesFolder = dir.path().toStdString();  // SCRIPTS.INI of its own
        for (const char* f : {"Errors.ini", "ModDescr.ini"})
            QFile::copy(QStringLiteral(QM_DATA_DIR "/") + QString::fromLatin1(f), dir.filePath(f));
        wb.dataFolder = dir.filePath(QStringLiteral("data")).toStdString();
        host.onProcessMessages = [] { QCoreApplication::processEvents(); };
    }
    SaImage DriveModule(uint16_t id) const {
        const ServiceArea sa = mounted.drive->ServiceAreaNow();
        const SaImage* m = sa.Module(id);
        return m ? *m : SaImage();
    }
};

QColor Foreground(TfmScript& w, int row) {
    return w.Model()->data(w.Model()->index(row, 0), Qt::ForegroundRole).value<QColor>();
}

}  // namespace

class ScriptWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void editScriptButtonOpensOneWindow();
    void readListsTheSampleScript();
    void hexPaneAndShortcutsFollowTheFocus();
    void overflowIsRefusedBeforeAnythingIsWritten();
    void droppedFiles();
    void generatorsAndExportsFromTheMenu();
    void runSurvivesTheWindowClosingDuringTheWait();
    void closedWhileItsReadWaitsForTheDrive();
    void screenshot();
};

void ScriptWindowTest::editScriptButtonOpensOneWindow() {
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
    QTest::mouseClick(form.btScript, Qt::LeftButton);
    QPointer<TfmScript> script =
        qobject_cast<TfmScript*>(form.Window(QStringLiteral("FormScript")));
    QVERIFY(script);
    QTRY_COMPARE(
        script->windowTitle(),
        QStringLiteral("Self Scan Script - 28 - All: 1F, Cur: D, PTM Start Time:01:23:20"));
    QTest::mouseClick(form.btScript, Qt::LeftButton);
    QCOMPARE(form.Window(QStringLiteral("FormScript")), script.data());
    script->close();
    QTRY_VERIFY(!script);
}

void ScriptWindowTest::readListsTheSampleScript() {
    Rig rig;
    TfmScript w(rig.wb, nullptr, nullptr);
    w.show();
    QTRY_COMPARE(w.Model()->rowCount(), 31);
    QCOMPARE(w.windowTitle(),
             QStringLiteral("Self Scan Script - 28 - All: 1F, Cur: D, PTM Start Time:01:23:20"));
    QVERIFY(w.width() >= 550 && w.height() >= 400);
    QCOMPARE(w.lvScript->currentIndex().row(), 12);
    QVERIFY(w.heScript->toolTip().endsWith(QStringLiteral("Offset 68 - Error Code")));
    QCOMPARE(w.heScript->dataSize(), 0x88);
    QCOMPARE(w.Model()->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(),
             QStringLiteral("ID"));
    QCOMPARE(Foreground(w, 28), QColor(255, 0, 255));  // END steps: success goto 0xFFFF
    QCOMPARE(Foreground(w, 10), QColor(0, 128, 128));  // C8 with operation byte 01
    QVERIFY(!w.Model()->data(w.Model()->index(10, 0), Qt::DecorationRole).isNull());

    w.lvScript->setCurrentIndex(w.Model()->index(10, 0));
    QCOMPARE(w.windowTitle(), QStringLiteral("Self Scan Script - 28 - Step: 11 (Bh)"));
    QCOMPARE(w.edStatus->text(),
             QStringLiteral("Self-test failed: read verify found an unrecoverable sector"));
    QCOMPARE(w.cbCustom->currentText(), QStringLiteral("Self-test: full surface verify"));
    w.close();
}

void ScriptWindowTest::hexPaneAndShortcutsFollowTheFocus() {
    Rig rig;
    TfmScript w(rig.wb, nullptr, nullptr);
    w.show();
    QTRY_COMPARE(w.Model()->rowCount(), 31);
    w.lvScript->setCurrentIndex(w.Model()->index(0, 0));
    // Bytes typed into the pane are the step's at once.
    w.heScript->setCursorPosition(0x48);
    QVERIFY(w.heScript->pasteText(QStringLiteral("FF FF")));
    QCOMPARE(StepU16(w.Editor().steps[0].record, kStepGotoSuccess), 0xFFFF);
    QCOMPARE(Foreground(w, 0), QColor(255, 0, 255));

    QSignalSpy cleared(w.miClearStepLog, &QAction::triggered);
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.lvScript->setFocus();
    QTest::keyClick(w.lvScript, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(cleared.count(), 1);
    QCOMPARE(StepU16(w.Editor().steps[0].record, 0x68), kStepNotRun);
    QVERIFY(w.Model()->data(w.Model()->index(0, 0), Qt::DecorationRole).isNull());
    QCOMPARE(static_cast<uint8_t>(w.heScript->data().at(0x68)), 0xFF);

    QApplication::clipboard()->setText(QStringLiteral("5A"));
    w.heScript->setFocus();
    w.heScript->setCursorPosition(2);
    QTest::keyClick(w.heScript, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(cleared.count(), 1);  // Ctrl+V in the pane is Past
    QCOMPARE(w.Editor().steps[0].record[2], 0x5A);
    w.close();
}

void ScriptWindowTest::overflowIsRefusedBeforeAnythingIsWritten() {
    Rig rig;
    TfmScript w(rig.wb, nullptr, nullptr);
    w.show();
    QTRY_COMPARE(w.Model()->rowCount(), 31);
    const SaImage before = rig.DriveModule(0x28);
    for (int i = 0; i < 14; ++i) w.Insert1Click();
    QCOMPARE(w.Model()->rowCount(), 45);
    w.btWriteClick();
    QCOMPARE(rig.host.messageBoxes, std::vector<std::string>{"Test Count Overflow! Max Count: 44"});
    QCOMPARE(w.lvScript->currentIndex().row(), 43);
    QVERIFY(rig.DriveModule(0x28) == before);
    // A selector that is not hex writes module 28, as it always has.
    w.Delete1Click();
    w.cbModId->setEditText(QStringLiteral("ZZ"));
    rig.host.messageBoxes.clear();
    w.btWriteClick();
    QVERIFY(rig.host.messageBoxes.empty());
    QCOMPARE(rig.DriveModule(0x28).size(), before.size());
    QVERIFY(rig.DriveModule(0x28) != before);
    w.close();
}

void ScriptWindowTest::generatorsAndExportsFromTheMenu() {
    Rig rig;
    TfmScript w(rig.wb, nullptr, nullptr);
    w.show();
    QTRY_COMPARE(w.Model()->rowCount(), 31);
    for (QAction* a :
         {w.miArco, w.miFromE6, w.miFromPtm, w.miFromDir, w.miExportIni, w.miExportTrx})
        QVERIFY(a->isEnabled());
    QVERIFY(!w.miImportIni->isEnabled());

    // ARCO with test 2403 confirmed in the open dialog: eight steps where the
    // selected row (13) was.
    rig.host.openAnswers = {"any.rpm"};
    w.miArco->trigger();
    QCOMPARE(w.Model()->rowCount(), 39);
    QCOMPARE(w.Model()->data(w.Model()->index(12, 0), Qt::DisplayRole).toString(),
             QStringLiteral("2403"));
    QCOMPARE(w.Model()->data(w.Model()->index(12, 1), Qt::DisplayRole).toString(),
             QStringLiteral("6F - Head/zone adaptive setup"));
    QCOMPARE(w.lvScript->currentIndex().row(), 19);
    QCOMPARE(rig.host.dialogsShown.back().filter, std::string("Module 2403|*2403*.rpm|All|*.*"));

    // "to TREX": the save dialog proposes PST.trx; the file is written.
    const QString trx = QDir(rig.dir.path()).filePath(QStringLiteral("out.trx"));
    rig.host.saveAnswers = {trx.toStdString()};
    w.btTrx->click();
    QCOMPARE(rig.host.dialogsShown.back().fileName, std::string("PST.trx"));
    QFile f(trx);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(f.readAll().startsWith("command ExternalTest\r\n"));
    // A file that cannot be written: the standard error box, no half file.
    rig.host.saveAnswers = {
        QDir(rig.dir.path()).filePath(QStringLiteral("no/PST.ini")).toStdString()};
    w.miExportIni->trigger();
    QCOMPARE(rig.host.errorBoxes.size(), size_t{1});
    QVERIFY(!QFile::exists(QDir(rig.dir.path()).filePath(QStringLiteral("no"))));
    w.close();
}

void ScriptWindowTest::droppedFiles() {
    Rig rig;
    TfmScript w(rig.wb, nullptr, nullptr);
    w.show();
    QTRY_COMPARE(w.Model()->rowCount(), 31);
    w.DropFile(QStringLiteral(QM_SOURCE_DIR "/tests/cli/fixtures/script.txt"));
    QCOMPARE(w.Model()->rowCount(), 6);
    QCOMPARE(rig.host.messageBoxes.size(), 1u);
    QVERIFY(QString::fromStdString(rig.host.messageBoxes[0]).contains(QStringLiteral("\nLine 5:")));
    w.DropFile(
        QStringLiteral(QM_SOURCE_DIR "/tests/fixtures/older-script-drive/modules/~id28.rpm"));
    QCOMPARE(w.Model()->rowCount(), 6);  // an older module dropped is no text script
    QCOMPARE(rig.host.messageBoxes.size(), 2u);
    w.close();
}

void ScriptWindowTest::runSurvivesTheWindowClosingDuringTheWait() {
    Rig rig("[Identity]\nModel=WDC T\n[Timing]\nTestRunMs=400\n");
    ProgressMonitor monitor(rig.wb);
    QPointer<TfmScript> w = new TfmScript(rig.wb, nullptr, &monitor);
    w->show();
    QTRY_COMPARE(w->Model()->rowCount(), 31);
    w->lvScript->setCurrentIndex(w->Model()->index(4, 0));  // A1, ARG1 0x12
    int clicks = 0;
    QTimer::singleShot(100, w, [&] {
        QVERIFY(monitor.Form() && w->Running());
        w->btRunClick();  // a second Run while the first waits: ignored
        ++clicks;
        w->close();
    });
    w->btRunClick();
    QCOMPARE(clicks, 1);
    QCOMPARE(rig.host.logLines,
             (std::vector<std::string>{"Test A1_12 - Start", "Test A1_12 End - "}));
    QVERIFY(!monitor.Form());  // the monitor closed itself at the end
    QTRY_VERIFY(!w);
}

void ScriptWindowTest::closedWhileItsReadWaitsForTheDrive() {
    Rig rig("[Identity]\nModel=WDC T\n[Faults]\nStuckBusy=1\n");
    QPointer<TfmScript> w = new TfmScript(rig.wb, nullptr, nullptr);
    bool wasBusy = false;
    QTimer::singleShot(150, w, [&] {
        wasBusy = w->Busy();
        w->close();
    });
    w->show();
    QTRY_VERIFY(!w);
    QVERIFY(wasBusy);
}

// With QM_SCREENSHOT_DIR set: the sample script as the documentation shows it.
void ScriptWindowTest::screenshot() {
    const QByteArray out = qgetenv("QM_SCREENSHOT_DIR");
    if (out.isEmpty()) QSKIP("QM_SCREENSHOT_DIR not set");
    Rig rig;
    TfmScript w(rig.wb, nullptr, nullptr);
    w.resize(680, 600);
    w.show();
    QTRY_COMPARE(w.Model()->rowCount(), 31);
    w.lvScript->scrollTo(w.Model()->index(6, 0), QAbstractItemView::PositionAtTop);
    QTest::qWait(200);
    QVERIFY(w.grab().save(QDir(QString::fromLocal8Bit(out)).filePath("script.png")));
    w.close();
}

QTEST_MAIN(ScriptWindowTest)
#include "ScriptWindowTest.moc"
