// TfmSmart as the user sees it: captions, rows, colours, the popup menu's
// exports, the verdict in the log and caption, and closing during a read.
#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <QPointer>
#include <QTableWidget>
#include <QtTest>

#include "common/ScriptedHost.h"
#include "common/Workbench.h"
#include "smart/SmartData.h"
#include "smart/ui/uSmart.h"
#include "vdrive/Mount.h"
#include "vdrive/SampleSmart.h"
#include "vdrive/VirtualPortIo.h"

using namespace qm;

namespace {

// The bench with a drive folder ("" for the sample drive) on the virtual
// primary channel, and a host that records the log.
struct Rig {
    ScriptedHost host;
    Workbench wb{host};
    MountedDrive mounted;

    explicit Rig(const std::string& folder = "") {
        std::string error;
        if (!MountVirtualDrive(folder, mounted, error)) qFatal("drive: %s", error.c_str());
        mounted.AttachTo(wb);
        wb.portIoReady = true;
        wb.link.mode = TransportMode::PortIo;
        wb.link.basePort = 0x1F0;
        wb.link.controlPort = 0x3F6;
    }
};

std::string Drives(const char* name) {
    return std::string(QM_SMART_DRIVES) + "/" + name;
}

int RowOf(const TfmSmart& w, const char* id) {
    for (int r = 0; r < w.lvSmart->rowCount(); ++r)
        if (w.lvSmart->item(r, 0)->text() == QLatin1String(id)) return r;
    return -1;
}

QColor Fg(const TfmSmart& w, int row, SmartColumn c) {
    return w.lvSmart->item(row, static_cast<int>(c))->foreground().color();
}

// Shows the window and waits until its first read has reported.
bool ShowAndRead(TfmSmart& w, Rig& rig, size_t logLines = 1) {
    w.show();
    return QTest::qWaitFor([&] { return rig.host.logLines.size() >= logLines && !w.Busy(); },
                           10000);
}

}  // namespace

class SmartWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void listLayoutBeforeAnyRead() {
        Rig rig;
        TfmSmart w(rig.wb);
        QCOMPARE(w.windowTitle(), QStringLiteral("S.M.A.R.T."));
        QCOMPARE(w.size(), QSize(726, 448));
        const char* captions[] = {"ID",    "Name", "Value",  "Worst",
                                  "Tresh", "RAW",  "Health", "Flags"};
        const int widths[] = {37, 258, 53, 53, 53, 86, 74};
        for (int c = 0; c < 8; ++c) {
            QTableWidgetItem* h = w.lvSmart->horizontalHeaderItem(c);
            QCOMPARE(h->text(), QString::fromLatin1(captions[c]));
            const bool right = c >= 2 && c <= 5;
            QCOMPARE(bool(h->textAlignment() & Qt::AlignRight), right);
            if (c < 7) QCOMPARE(w.lvSmart->columnWidth(c), widths[c]);
        }
        QVERIFY(w.lvSmart->horizontalHeader()->stretchLastSection());
        QVERIFY(w.lvSmart->showGrid());
        QVERIFY(w.lvSmart->font().bold());
        QCOMPARE(w.lvSmart->font().pixelSize(), 14);
        QCOMPARE(w.lvSmart->toolTip(), QString::fromStdString(SmartFlagsLegend()));
        QStringList items;
        for (QAction* a : w.pmSmart->actions())
            items << a->text() + "|" + a->shortcut().toString(QKeySequence::PortableText);
        QCOMPARE(items, QStringList({"Refresh|Ctrl+R", "Copy|Ctrl+C", "To Log|Ctrl+L",
                                     "To Log RAW Only|"}));
        QCOMPARE(w.lvSmart->rowCount(), 0);
        QVERIFY(rig.host.logLines.empty());  // nothing is read before the window shows
    }

    void showingReadsRowsColoursAndVerdict() {
        Rig rig;
        TfmSmart w(rig.wb);
        QVERIFY(ShowAndRead(w, rig));
        QCOMPARE(rig.host.logLines, std::vector<std::string>{"S.M.A.R.T. status - GOOD"});
        QCOMPARE(w.windowTitle(), QStringLiteral("S.M.A.R.T. status - GOOD"));
        QCOMPARE(size_t(w.lvSmart->rowCount()), SampleSmartAttributes().size());

        const int t = RowOf(w, "194");
        QVERIFY(t >= 0);
        QCOMPARE(w.lvSmart->item(t, 1)->text(), QStringLiteral("HDA Temperature °C (Cur/Max/Min)"));
        QCOMPARE(w.lvSmart->item(t, 5)->text(), QStringLiteral("45/20/38°C"));
        QVERIFY(w.lvSmart->item(t, 5)->textAlignment() & Qt::AlignRight);
        QCOMPARE(Fg(w, t, SmartColumn::Name), QColor(0, 0, 255));
        QCOMPARE(Fg(w, t, SmartColumn::Raw), QColor(0, 0, 255));
        QCOMPARE(Fg(w, t, SmartColumn::Value), QColor(0, 128, 128));
        QCOMPARE(Fg(w, t, SmartColumn::Threshold), QColor(128, 128, 0));
        QCOMPARE(Fg(w, t, SmartColumn::Id), QColor(0, 0, 0));
        QCOMPARE(Fg(w, t, SmartColumn::Worst), QColor(0, 0, 0));
        QCOMPARE(Fg(w, t, SmartColumn::Flags), QColor(0, 0, 0));
        QCOMPARE(Fg(w, RowOf(w, "3"), SmartColumn::Name), QColor(0, 128, 0));
        // Reallocated sectors at 0: purple, not the alarm red.
        QCOMPARE(Fg(w, RowOf(w, "5"), SmartColumn::Raw), QColor(128, 0, 128));
        // Health: 10 stars green, 5 stars (id 198, worst 253) olive.
        QCOMPARE(Fg(w, RowOf(w, "1"), SmartColumn::Health), QColor(0, 128, 0));
        QCOMPARE(w.lvSmart->item(RowOf(w, "198"), 6)->text(), QStringLiteral("*****"));
        QCOMPARE(Fg(w, RowOf(w, "198"), SmartColumn::Health), QColor(128, 128, 0));
        // QM_SMART_SCREENSHOT=FILE keeps a picture of the window for the docs.
        const QString shot = qEnvironmentVariable("QM_SMART_SCREENSHOT");
        if (!shot.isEmpty()) QVERIFY(w.grab().save(shot));
    }

    void oddRowsOfACraftedDrive() {
        Rig rig(Drives("crafted"));
        TfmSmart w(rig.wb);
        QVERIFY(ShowAndRead(w, rig));
        QCOMPARE(w.lvSmart->rowCount(), 10);
        // The id listed twice, each with its own threshold.
        QCOMPARE(w.lvSmart->item(3, 4)->text(), QStringLiteral("0"));
        QCOMPARE(w.lvSmart->item(4, 4)->text(), QStringLiteral("7"));
        QCOMPARE(w.lvSmart->item(5, 1)->text(), QStringLiteral("HDA Temperature %øC at WrCom"));
        const int odd = RowOf(w, "255");
        QCOMPARE(w.lvSmart->item(odd, 1)->text(), QStringLiteral("Unknown Attributes"));
        QCOMPARE(w.lvSmart->item(odd, 6)->text(), QStringLiteral("*"));
        QCOMPARE(Fg(w, odd, SmartColumn::Health), QColor(255, 0, 0));
        QVERIFY(w.lvSmart->item(odd, 6)->font().bold());
        QCOMPARE(Fg(w, RowOf(w, "5"), SmartColumn::Name), QColor(255, 0, 0));
    }

    void failedReadKeepsTheListAndSaysBad() {
        Rig rig;
        TfmSmart w(rig.wb);
        QVERIFY(ShowAndRead(w, rig));
        const int rows = w.lvSmart->rowCount();
        // Another drive answers now: no S.M.A.R.T. data, status failing.
        DriveContent c = VirtualDrive::SampleContent();
        c.smartData.clear();
        c.smartFailing = true;
        VirtualDrive drive(c);
        VirtualPortIo io(&drive);
        rig.wb.portIo = &io;
        w.miRefresh->trigger();
        QCOMPARE(w.lvSmart->rowCount(), rows);
        QCOMPARE(rig.host.logLines.back(), std::string("S.M.A.R.T. status - BAD"));
        QCOMPARE(w.windowTitle(), QStringLiteral("S.M.A.R.T. status - BAD"));
        rig.wb.portIo = rig.mounted.portIo.get();
    }

    void copyKeepsTheDegreeSignAndTheLogDoesNot() {
        Rig rig;
        TfmSmart w(rig.wb);
        QVERIFY(ShowAndRead(w, rig));
        const size_t rows = SampleSmartAttributes().size();

        rig.wb.link.abort = true;  // the exports clear a stale flag first
        w.miCopy->trigger();
        const QString copied = QGuiApplication::clipboard()->text();
        QCOMPARE(copied.count(u'\n'), qsizetype(rows));
        QVERIFY(copied.contains(QStringLiteral(" 45/20/38°C ******     Pf S  \n")));

        w.miToLog->trigger();
        const std::string& logged = rig.host.logLines.back();
        QCOMPARE(logged.front(), '\n');
        QCOMPARE(std::count(logged.begin(), logged.end(), '\n'), long(rows + 1));
        QVERIFY(logged.find('\xB0') == std::string::npos);
        QVERIFY(logged.find(" 45/20/38`C ******     Pf S  \n") != std::string::npos);

        w.miLogRAWOnly->trigger();
        const std::string& raw = rig.host.logLines.back();
        QVERIFY(raw.find("\n 194 HDA Temperature `C (Cur/Max/Min)         45/20/38`C\n") !=
                std::string::npos);
        QCOMPARE(std::count(raw.begin(), raw.end(), '\n'), long(rows + 1));
    }

    void closingDuringAReadStopsItAndFreesTheWindow() {
        Rig rig;
        QPointer<TfmSmart> w = new TfmSmart(rig.wb);
        // The user closes the window while the drive is being read.
        rig.host.onProcessMessages = [&] {
            if (rig.host.processMessagesCalls == 3 && w) w->close();
        };
        w->show();
        QTRY_VERIFY_WITH_TIMEOUT(w.isNull(), 10000);
        QVERIFY(rig.wb.link.Aborted());
        // A stopped read is no verdict about the drive.
        QVERIFY(rig.host.logLines.empty());
    }

    void closingWhenIdleFreesTheWindow() {
        Rig rig;
        QPointer<TfmSmart> w = new TfmSmart(rig.wb);
        QVERIFY(ShowAndRead(*w, rig));
        w->close();
        QVERIFY(rig.wb.link.Aborted());
        QTRY_VERIFY_WITH_TIMEOUT(w.isNull(), 5000);
    }
};

QTEST_MAIN(SmartWindowTest)
#include "SmartWindowTest.moc"
