// TfmServoTest as the user sees it, offscreen, on the sample drive with a
// simulated clock: controls, FormShow's fills, a run, STOP, GO while the run
// winds down, closing mid-run, saving, and a wrro.bin that cannot be made.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "common/Files.h"
#include "defects/ui/uServoTest.h"
#include "defects/ui/uViewDef.h"
#include "support/SimulatedBench.h"

using namespace qm;

namespace {

struct Rig {
    test::SimulatedBench bench;
    QTemporaryDir dir;
    Rig() {
        // The run lets the window's events through, as the desktop's host does.
        bench.host.onProcessMessages = [] { QCoreApplication::processEvents(); };
    }
    std::string Path(const char* name) const { return dir.filePath(name).toStdString(); }
};

bool Shown(TfmServoTest& w) {
    w.show();
    return QTest::qWaitFor([&] { return !w.edHeads->text().isEmpty(); }, 20000);
}

// Pixels of a colour in the plot (labels = false) or in the labels' corner.
int HeadPixels(TfmServoTest& w, Argb color, bool labels = false) {
    const QImage& img = w.Picture();
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            n += (x >= img.width() - 40) == labels && img.pixel(x, y) == color;
    return n;
}

void SmallRun(TfmServoTest& w, const char* end = "20000") {
    w.edStart->setText(QStringLiteral("0"));
    w.edTracks->setText(QString::fromLatin1(end));
    w.edStep->setText(QStringLiteral("1000"));
    w.cbFromZones->setChecked(false);
}

}  // namespace

class ServoWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void ControlsAsDesigned() {
        Rig rig;
        TfmServoTest w(rig.bench.wb);
        QCOMPARE(w.edTimeOut->toolTip(), QStringLiteral("\"0\"  to Disable"));
        QCOMPARE(w.cbType->itemText(9), QStringLiteral("WR-WRRO"));

        // FormShow: the end track and head count from the drive, Z checked
        // (the flag says ROYL), Read Track.
        w.cbType->setCurrentIndex(0);
        QVERIFY(Shown(w));
        QCOMPARE(w.edHeads->text(), QStringLiteral("4"));
        QVERIFY(w.edTracks->text().startsWith(u'$'));
        QCOMPARE(w.Zones(), 24);
        QVERIFY(w.cbFromZones->isChecked());
        QCOMPARE(w.cbType->currentIndex(), 4);
        for (int h = 0; h < kServoMaxHeads; ++h)
            QCOMPARE(w.cbHeads[static_cast<size_t>(h)]->isVisible(), h < 4);
        QVERIFY(HeadPixels(w, kServoHeadColors[3], true) > 0);  // "Head 3"

        // Heads typed as 12: ten boxes.
        w.edHeads->setText(QStringLiteral("12"));
        int shown = 0;
        for (QCheckBox* c : w.cbHeads) shown += c->isVisible();
        QCOMPARE(shown, 10);
    }

    void RunPlotsEachHeadAndSaves() {
        Rig rig;
        TfmServoTest w(rig.bench.wb);
        w.wrroPath = rig.Path("wrro.bin");
        QVERIFY(Shown(w));
        SmallRun(w);
        w.cbHeads[1]->setChecked(false);
        w.btGo->click();
        QVERIFY(!w.Running());
        QCOMPARE(w.btGo->text(), QStringLiteral("GO"));
        const ServoRunReport& r = w.LastRun();
        QVERIFY(r.started && !r.stopped);
        QCOMPARE(static_cast<int>(r.heads.size()), 4);
        QCOMPARE(r.heads[0].operations, 20);
        QVERIFY(!r.heads[1].tested);
        QVERIFY(HeadPixels(w, kServoHeadColors[2]) > 50);
        QCOMPARE(rig.bench.host.priorityCalls.front(), true);
        QCOMPARE(rig.bench.host.priorityRaised, false);

        // Double click: the window's save dialog with "Servo.jpg".
        rig.bench.host.saveAnswers.push_back(rig.Path("plot.jpg"));
        QTest::mouseDClick(w.Im32, Qt::LeftButton, {}, QPoint(10, 10));
        QCOMPARE(rig.bench.host.dialogsShown.back().fileName, std::string("Servo.jpg"));
        std::vector<uint8_t> jpeg;
        std::string error;
        QVERIFY(ReadFileBytes(rig.Path("plot.jpg"), jpeg, error));
        QVERIFY(jpeg.size() > 2 && jpeg[0] == 0xFF && jpeg[1] == 0xD8);
        QVERIFY(rig.bench.wb.saveDialog.fileName.empty());  // not the main window's dialog

        // Clear leaves the grid only.
        w.miClear->trigger();
        QCOMPARE(HeadPixels(w, kServoHeadColors[2]), 0);
    }

    void StopAndGoWhileWindingDown() {
        Rig rig;
        TfmServoTest w(rig.bench.wb);
        w.wrroPath = rig.Path("wrro.bin");
        QVERIFY(Shown(w));
        SmallRun(w, "200000");
        int ops = 0;
        auto& host = rig.bench.host;
        host.onProcessMessages = [&] {
            QCoreApplication::processEvents();
            if (w.Running() && ++ops == 300) {
                QCOMPARE(w.btGo->text(), QStringLiteral("STOP"));
                w.btGo->click();  // STOP
                QCOMPARE(w.btGo->text(), QStringLiteral("GO"));
                w.btGo->click();  // GO before the run has noticed: nothing
            }
        };
        w.btGo->click();
        QVERIFY(w.LastRun().stopped);
        QCOMPARE(static_cast<int>(w.LastRun().heads.size()), 1);
        QVERIFY(w.LastRun().heads[0].operations < 200);
        QVERIFY(!w.Running());
        QCOMPARE(w.btGo->text(), QStringLiteral("GO"));
        QCOMPARE(host.priorityRaised, false);
    }

    void CloseWhileRunningWaitsForTheRun() {
        Rig rig;
        QPointer<TfmServoTest> w = new TfmServoTest(rig.bench.wb);
        w->wrroPath = rig.Path("wrro.bin");
        QVERIFY(Shown(*w));
        SmallRun(*w, "200000");
        int polls = 0;
        bool stillOpen = false;
        rig.bench.host.onProcessMessages = [&] {
            QCoreApplication::processEvents();
            if (w && w->Running() && ++polls == 300) {
                w->close();
                stillOpen = w && w->isVisible();
            }
        };
        w->btGo->click();
        QVERIFY(stillOpen);
        QTRY_VERIFY(w.isNull());
    }

    void UnwritableWrroShowsTheErrorAndStartsNothing() {
        Rig rig;
        TfmServoTest w(rig.bench.wb);
        w.wrroPath = rig.Path("no-such-folder/wrro.bin");
        QVERIFY(Shown(w));
        SmallRun(w);
        w.btGo->click();
        QCOMPARE(rig.bench.host.errorBoxes.size(), size_t{1});
        QVERIFY(rig.bench.host.errorBoxes[0].find("wrro.bin") != std::string::npos);
        QVERIFY(!w.LastRun().started);
        QVERIFY(!w.Running());
        QCOMPARE(w.btGo->text(), QStringLiteral("GO"));
        QVERIFY(rig.bench.host.priorityCalls.empty());
        // The window stays usable: the next GO runs.
        w.wrroPath = rig.Path("wrro.bin");
        w.btGo->click();
        QVERIFY(w.LastRun().started);
    }
};

QTEST_MAIN(ServoWindowTest)
#include "ServoWindowTest.moc"
