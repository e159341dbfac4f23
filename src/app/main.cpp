// quillmark: the desktop program.
#include <QApplication>
#include <QElapsedTimer>
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

const char kUsage[] =
    "usage: quillmark [options]\n"
    "  --demo              mount the built-in sample drive (virtual)\n"
    "  --vdrive DIR        mount a virtual drive read from a drive folder\n"
    "  --api               start in API mode instead of PIO mode\n"
    "  --screenshot FILE   write a picture of the main window to FILE and exit\n"
    "                      (with a virtual drive: after selecting it and identifying)\n"
    "  --click CAPTION     with --screenshot: press the main window's command button\n"
    "                      CAPTION first and picture the window it opens\n"
    "  -h, --help          this text\n";

struct Options {
    bool demo = false, api = false, help = false;
    std::string vdrive, screenshot;
    QString click;
};

bool ParseOptions(const QStringList& args, Options& o) {
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= args.size()) {
                std::fprintf(stderr, "quillmark: %s needs a value\n", qPrintable(a));
                return false;
            }
            into = ToLocalPath(args[++i]);
            return true;
        };
        if (a == QLatin1String("--demo"))
            o.demo = true;
        else if (a == QLatin1String("--api"))
            o.api = true;
        else if (a == QLatin1String("-h") || a == QLatin1String("--help"))
            o.help = true;
        else if (a == QLatin1String("--vdrive")) {
            if (!value(o.vdrive)) return false;
        } else if (a == QLatin1String("--screenshot")) {
            if (!value(o.screenshot)) return false;
        } else if (a == QLatin1String("--click")) {
            if (i + 1 >= args.size()) {
                std::fprintf(stderr, "quillmark: --click needs a value\n");
                return false;
            }
            o.click = args[++i];
        } else {
            std::fprintf(stderr, "quillmark: unknown option '%s'\n", qPrintable(a));
            return false;
        }
    }
    if (!o.click.isEmpty() && o.screenshot.empty()) {
        std::fprintf(stderr, "quillmark: --click goes with --screenshot\n");
        return false;
    }
    if (o.demo && !o.vdrive.empty()) {
        std::fprintf(stderr, "quillmark: give --demo or --vdrive, not both\n");
        return false;
    }
    return true;
}

// Writes the picture; on a virtual drive first selects the first row and
// identifies the drive there. Real hardware is left alone. With a button to
// click, the window that button opens is pictured once its work is done.
int TakeScreenshot(TfmMain& form, bool virtualDrive, const std::string& file,
                   const QString& click) {
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
    if (!ParseOptions(QCoreApplication::arguments(), options)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (options.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }

    QtHost host;
    // A picture taken by a script must not wait for someone to close a box.
    if (!options.screenshot.empty())
        host.messageBox = [](const std::string& text) {
            std::fprintf(stderr, "quillmark: %s\n", text.c_str());
        };

    Workbench wb(host);
    wb.programFolder = platform::ProgramFolder();
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
            rc = TakeScreenshot(form, virtualDrive, options.screenshot, options.click);
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
