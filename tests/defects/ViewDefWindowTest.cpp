// TfmViewDef as the user sees it, offscreen: controls, the first View on the
// sample drive, options redrawing, resizing, saving, closing mid-View, and
// the single instance opened from the main window.
#include <QAction>
#include <QCheckBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

#include "app/Features.h"
#include "app/uMain.h"
#include "common/ScriptedHost.h"
#include "common/Workbench.h"
#include "defects/ui/uViewDef.h"
#include "gui/FormPlacement.h"
#include "vdrive/Mount.h"

using namespace qm;

namespace {

struct Rig {
    ScriptedHost host;
    Workbench wb{host};
    MountedDrive mounted;
    QTemporaryDir dir;

    Rig() {
        std::string error;
        if (!MountVirtualDrive("", mounted, error)) qFatal("drive: %s", error.c_str());
        mounted.AttachTo(wb);
        wb.portIoReady = true;
        wb.link.mode = TransportMode::PortIo;
        wb.link.basePort = 0x1F0;
        wb.link.controlPort = 0x3F6;
    }
};

bool ShowAndView(TfmViewDef& w) {
    w.show();
    return QTest::qWaitFor([&] { return w.Heads() > 0 && !w.Busy(); }, 20000);
}

// Pixels of the map area (below the caption, left of the labels) that are
// mostly head 0's green.
int GreenPixels(TfmViewDef& w) {
    const QImage& img = w.Picture();
    int n = 0;
    for (int y = 30; y < img.height(); ++y)
        for (int x = 0; x < img.width() - 70; ++x) {
            const QColor c = img.pixelColor(x, y);
            n += c.green() > 160 && c.red() < 60 && c.blue() < 60;
        }
    return n;
}

}  // namespace

class ViewDefWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void ControlsAsDesigned() {
        Rig rig;
        TfmViewDef w(rig.wb);
        QCOMPARE(w.windowTitle(), QStringLiteral("Graph View"));
        QCOMPARE(w.minimumSize(), QSize(570, 467));
        QCOMPARE(w.btShow->text(), QStringLiteral("View"));
        QCOMPARE(w.btScreen->text(), QStringLiteral("SreenShot"));
        QCOMPARE(w.miSaveToFile->text(), QStringLiteral("Save To File"));
        QCOMPARE(w.Im32->cursor().shape(), Qt::CrossCursor);
        const std::pair<QAbstractButton*, bool> boxes[] = {
            {w.cbShowZones, true}, {w.cbShowDefects, true}, {w.cbTracks, false},
            {w.cbOptimized, true}, {w.rb1, true},           {w.cbWedges, false},
            {w.rbPList, true},     {w.rbGList, false}};
        for (const auto& [b, checked] : boxes) QCOMPARE(b->isChecked(), checked);
        QCOMPARE(w.rb1->text(), QStringLiteral("Black"));
        QCOMPARE(w.cbShowDefects->text(), QStringLiteral("View Sectors"));
    }

    void FirstViewDrawsTheSampleList() {
        Rig rig;
        TfmViewDef w(rig.wb);
        QVERIFY(ShowAndView(w));
        QCOMPARE(w.Heads(), 4);
        for (int h = 0; h < 10; ++h) QCOMPARE(w.cbHeads[h]->isVisible(), h < 4);
        QCOMPARE(w.cbHeads[0]->width(), 15);
        QCOMPARE(w.cbHeads[2]->y(), 34);
        QCOMPARE(w.cbHeads[0]->x(), w.Im32->width() - 55);
        QCOMPARE(w.LastView().entries, 20000u);
        QCOMPARE(int(w.LastView().passes.size()), 4);
        QVERIFY(w.btShow->isEnabled());
        QVERIFY(GreenPixels(w) > 200);
        QVERIFY(rig.host.messageBoxes.empty());
        QVERIFY(rig.host.logLines.empty());
    }

    void OptionsClearAndRedraw() {
        Rig rig;
        TfmViewDef w(rig.wb);
        QVERIFY(ShowAndView(w));
        const int green = GreenPixels(w);
        w.cbHeads[0]->click();  // head 0 unchecked: Clear, then View without it
        QVERIFY(QTest::qWaitFor([&] { return !w.Busy(); }, 20000));
        QVERIFY(GreenPixels(w) < green / 10);
        w.rb1->click();  // white background
        QVERIFY(QTest::qWaitFor([&] { return !w.Busy(); }, 20000));
        QCOMPARE(w.Picture().pixel(2, w.Picture().height() - 2), 0xFFFFFFFFu);
        w.rbGList->click();
        QVERIFY(QTest::qWaitFor([&] { return !w.Busy(); }, 20000));
        QCOMPARE(w.LastView().entries, 200u);
    }

    void ResizeErasesThePicture() {
        Rig rig;
        TfmViewDef w(rig.wb);
        QVERIFY(ShowAndView(w));
        w.resize(w.width() + 40, w.height() + 30);
        QVERIFY(QTest::qWaitFor([&] { return w.Picture().size() == w.Im32->size(); }, 5000));
        QCOMPARE(GreenPixels(w), 0);
        QCOMPARE(w.cbHeads[0]->x(), w.Im32->width() - 55);
    }

    void SaveWritesDefectsJpg() {
        Rig rig;
        TfmViewDef w(rig.wb);
        QVERIFY(ShowAndView(w));
        const std::string path = rig.dir.filePath(QStringLiteral("map.jpg")).toStdString();
        rig.host.saveAnswers = {"", path};
        w.btScreen->click();  // cancelled: nothing written
        QVERIFY(!QFile::exists(QString::fromStdString(path)));
        w.miSaveToFile->trigger();
        QCOMPARE(rig.host.dialogsShown.size(), size_t(2));
        QCOMPARE(rig.host.dialogsShown[1].fileName, std::string("Defects.jpg"));
        QCOMPARE(rig.host.dialogsShown[1].folder, std::string());
        const QImage saved(QString::fromStdString(path), "JPG");
        QCOMPARE(saved.size(), w.Picture().size());
    }

    void ClosingMidViewStopsAndReleasesTheList() {
        Rig rig;
        QPointer<TfmViewDef> w = new TfmViewDef(rig.wb);
        bool closed = false;
        // Close the window from inside the View's drive polling.
        rig.host.onProcessMessages = [&] {
            if (!closed && w && w->Busy() && !rig.wb.defects.defects.empty()) {
                closed = true;
                w->close();
            }
        };
        w->show();
        QVERIFY(QTest::qWaitFor([&] { return w.isNull(); }, 20000));
        QVERIFY(closed);
        QVERIFY(rig.wb.defects.defects.empty());
        QCOMPARE(rig.wb.defects.defects.capacity(), size_t(0));
    }

    void MainWindowOpensOneViewer() {
        Rig rig;
        FormPlacement placement(rig.dir.filePath(QStringLiteral("placement.ini")));
        TfmMain form(rig.wb, placement);
        RegisterFeatureWindows(form);
        form.show();
        form.btUnlockClick();
        QWidget* first = form.Window(QStringLiteral("FormViewDef"));
        QVERIFY(first && first->isVisible());
        form.btUnlockClick();
        QCOMPARE(form.Window(QStringLiteral("FormViewDef")), first);
        first->close();
        QVERIFY(
            QTest::qWaitFor([&] { return !form.Window(QStringLiteral("FormViewDef")); }, 20000));
        QVERIFY(placement.Has(QStringLiteral("FormViewDef")));
    }
};

QTEST_MAIN(ViewDefWindowTest)
#include "ViewDefWindowTest.moc"
