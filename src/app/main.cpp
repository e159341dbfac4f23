// quillmark: the desktop program.
#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <string>

#include "app/Features.h"
#include "app/QuillmarkApplication.h"
#include "app/uMain.h"
#include "common/SimulatedClock.h"
#include "common/Workbench.h"
#include "drive/DeviceChange.h"
#include "gui/AnsiText.h"
#include "gui/FormPlacement.h"
#include "gui/QtHost.h"
#include "platform/Platform.h"
#include "vdrive/Mount.h"
#ifdef __linux__
#include "platform/linux/LinuxEnumerator.h"
#endif

namespace qm {
namespace {

struct Options {
    bool demo = false, api = false, virtualTime = false;
    std::string vdrive, screenshot, dataDir;
    QString click, then;
};

enum class Parsed { Run, Help, Bad };

// The program's options. On Help or Bad the text to print is in `text`.
Parsed ParseOptions(const QStringList& args, Options& o, QString& text) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("quillmark: the workbench for Western Digital drives"));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption demo(QStringLiteral("demo"),
                                  QStringLiteral("Mount the built-in sample drive (virtual)."));
    const QCommandLineOption vdrive(
        QStringLiteral("vdrive"), QStringLiteral("Mount a virtual drive read from a drive folder."),
        QStringLiteral("DIR"));
    const QCommandLineOption api(QStringLiteral("api"),
                                 QStringLiteral("Start in API mode instead of PIO mode."));
    const QCommandLineOption screenshot(
        QStringLiteral("screenshot"),
        QStringLiteral("Write a picture of the main window to FILE and exit (with a virtual "
                       "drive: after selecting it and identifying)."),
        QStringLiteral("FILE"));
    const QCommandLineOption dataDir(
        QStringLiteral("data-dir"),
        QStringLiteral("Read the data files (Errors.ini, ModDescr.ini, SCRIPTS.INI, pcidevs.ini, "
                       "pci.ini) from DIR instead of the program's folder (installed: "
                       "PREFIX/share/quillmark)."),
        QStringLiteral("DIR"));
    const QCommandLineOption click(
        QStringLiteral("click"),
        QStringLiteral("With --screenshot: press the main window's command button CAPTION first "
                       "and picture the window it opens."),
        QStringLiteral("CAPTION"));
    const QCommandLineOption then(
        QStringLiteral("then"),
        QStringLiteral("With --click: press the opened window's button CAPTION too (\"GO\" of "
                       "Test Servo runs the test) and picture the window when it is done."),
        QStringLiteral("CAPTION"));
    const QCommandLineOption virtualTime(
        QStringLiteral("virtual-time"),
        QStringLiteral("With a virtual drive: the drive and the program's clock run on one "
                       "simulated clock, so waits on the drive take no real time."));
    parser.addOptions({demo, vdrive, api, screenshot, dataDir, click, then, virtualTime});

    auto bad = [&](const QString& why) {
        text = QStringLiteral("quillmark: %1\nRun 'quillmark --help' for the options.\n").arg(why);
        return Parsed::Bad;
    };
    if (!parser.parse(args)) return bad(parser.errorText());
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        text = parser.helpText();
        return Parsed::Help;
    }
    if (!parser.positionalArguments().isEmpty())
        return bad(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments()[0]));
    o.demo = parser.isSet(demo);
    o.api = parser.isSet(api);
    if (parser.isSet(vdrive)) o.vdrive = ToLocalPath(parser.value(vdrive));
    if (parser.isSet(screenshot)) o.screenshot = ToLocalPath(parser.value(screenshot));
    if (parser.isSet(dataDir)) {
        if (!QFileInfo(parser.value(dataDir)).isDir())
            return bad(QStringLiteral("--data-dir: no such folder: %1").arg(parser.value(dataDir)));
        o.dataDir = ToLocalPath(parser.value(dataDir));
    }
    if (parser.isSet(click)) o.click = parser.value(click);
    if (parser.isSet(then)) o.then = parser.value(then);
    o.virtualTime = parser.isSet(virtualTime);
    if (!o.click.isEmpty() && o.screenshot.empty())
        return bad(QStringLiteral("--click goes with --screenshot"));
    if (!o.then.isEmpty() && o.click.isEmpty())
        return bad(QStringLiteral("--then goes with --click"));
    if (o.virtualTime && !o.demo && o.vdrive.empty())
        return bad(QStringLiteral("--virtual-time needs a virtual drive (--demo or --vdrive)"));
    if (o.demo && !o.vdrive.empty())
        return bad(QStringLiteral("give --demo or --vdrive, not both"));
    return Parsed::Run;
}

// Writes the picture; on a virtual drive first selects the first row and
// identifies the drive there. Real hardware is left alone. With a button to
// click, the window that button opens is pictured once its work is done.
int TakeScreenshot(TfmMain& form, bool virtualDrive, const std::string& file, const QString& click,
                   const QString& then) {
    if (virtualDrive && form.lbControllers->count() > 0) {
        form.lbControllers->setCurrentRow(0);
        if (form.btIdentify->isEnabled()) form.btIdentifyClick();
    }
    QCoreApplication::processEvents();
    QWidget* target = &form;
    if (!click.isEmpty()) {
        QPushButton* button = nullptr;
        for (QPushButton* b : form.findChildren<QPushButton*>())
            if (b->text() == click) button = b;
        if (!button || !button->isEnabled()) {
            std::fprintf(stderr, "quillmark: no enabled button '%s'\n", qPrintable(click));
            return 1;
        }
        const QWidgetList before = QApplication::topLevelWidgets();
        button->click();
        // The window does its first work from the event loop once it shows.
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 1000) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && !before.contains(w) && w->isWindow()) target = w;
        if (target == &form) {
            std::fprintf(stderr, "quillmark: '%s' opened no window\n", qPrintable(click));
            return 1;
        }
        if (!then.isEmpty()) {
            QPushButton* inner = nullptr;
            for (QPushButton* b : target->findChildren<QPushButton*>())
                if (b->text() == then && b->isEnabled()) inner = b;
            if (!inner) {
                std::fprintf(stderr, "quillmark: no enabled button '%s' in that window\n",
                             qPrintable(then));
                return 1;
            }
            inner->click();  // runs to its end (a servo run lets messages through meanwhile)
            QCoreApplication::processEvents();
        }
    }
    const QString path = FromLocalPath(file);
    if (!target->grab().save(path)) {
        std::fprintf(stderr, "quillmark: cannot write %s\n", file.c_str());
        return 1;
    }
    return 0;
}

int Main(int argc, char** argv) {
    QuillmarkApplication app(argc, argv);
    Options options;
    QString text;
    switch (ParseOptions(QCoreApplication::arguments(), options, text)) {
        case Parsed::Help:
            std::fputs(qPrintable(text), stdout);
            return 0;
        case Parsed::Bad:
            std::fputs(qPrintable(text), stderr);
            return 2;
        case Parsed::Run:
            break;
    }

    QtHost host;
    // A picture taken by a script must not wait for someone to close a box.
    if (!options.screenshot.empty())
        host.messageBox = [](const std::string& text) {
            std::fprintf(stderr, "quillmark: %s\n", text.c_str());
        };

    // The run of the servo test raises what the system allows an ordinary user.
    platform::TimingPriority priority;
    host.timingPriority = [&priority](bool raised) { priority.Set(raised); };
    // With --virtual-time the bench's counter and sleeps run on the drive's clock.
    SimulatedClock clock;
    SimulatedTimeHost simulatedHost(host, clock);
    Workbench wb(options.virtualTime ? static_cast<Host&>(simulatedHost) : host);
    wb.programFolder = platform::ProgramFolder();
    wb.dataFilesFolder = options.dataDir.empty() ? platform::DataFilesFolder() : options.dataDir;
    wb.dataFolder = platform::UserDataFolder();

    // The drive: a virtual one behind every seam, or the real backends.
    MountedDrive mounted;
    std::unique_ptr<PortIo> portIo;
    std::unique_ptr<DeviceIo> deviceIo;
    std::unique_ptr<DriveEnumerator> enumerator;
    const bool virtualDrive = options.demo || !options.vdrive.empty();
    if (virtualDrive) {
        std::string error;
        if (!MountVirtualDrive(options.vdrive, mounted, error)) {
            std::fprintf(stderr, "quillmark: drive folder refused: %s\n", error.c_str());
            if (options.screenshot.empty()) host.MessageBox("Drive folder refused: " + error);
            return 3;
        }
        mounted.AttachTo(wb);
        if (options.virtualTime) mounted.UseClock(clock);
    } else {
        portIo = platform::CreatePortIo();
        deviceIo = platform::CreateDeviceIo();
        enumerator = platform::CreateDriveEnumerator();
        wb.portIo = portIo.get();
        wb.deviceIo = deviceIo.get();
        wb.enumerator = enumerator.get();
    }

    // A picture for the documentation always shows the window at its
    // first-run size, whatever the user's own placement is.
    QTemporaryDir scratch;
    std::unique_ptr<FormPlacement> placement =
        options.screenshot.empty()
            ? std::make_unique<FormPlacement>()
            : std::make_unique<FormPlacement>(scratch.filePath(QStringLiteral("placement.ini")));
    std::unique_ptr<DeviceChangeSource> deviceChanges;  // outlives the window that watches it
    TfmMain form(wb, *placement);
    host.SetLogView(form.meLog);
    host.SetDialogParent(&form);
    RegisterFeatureWindows(form);
    // Disks coming and going (the real ones only; a virtual drive stays put).
#ifdef __linux__
    if (!virtualDrive) deviceChanges = UdevDeviceChangeSource::Create();
#endif
    form.WatchDeviceChanges(deviceChanges.get());

    if (options.api) {
        // Before the first show, which fills the list for the checked mode.
        const QSignalBlocker quiet(form.rbAPI);
        form.rbAPI->setChecked(true);
        wb.link.mode = TransportMode::AtaPassThrough;
    }

    QObject::connect(&form, &TfmMain::closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    app.setQuitOnLastWindowClosed(false);
    form.show();

    if (!options.screenshot.empty()) {
        int rc = 0;
        QTimer::singleShot(0, &form, [&] {
            rc =
                TakeScreenshot(form, virtualDrive, options.screenshot, options.click, options.then);
            QCoreApplication::exit(rc);
        });
        app.exec();
        return rc;
    }
    return app.exec();
}

}  // namespace
}  // namespace qm

int main(int argc, char** argv) {
    return qm::Main(argc, argv);
}
