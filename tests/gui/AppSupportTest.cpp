// The pieces around the windows: the placement store, the Qt host, the
// event boundary's error box and the code-page conversion.
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <stdexcept>

#include "app/QuillmarkApplication.h"
#include "gui/AnsiText.h"
#include "gui/FormPlacement.h"
#include "gui/QtHost.h"

using namespace qm;

namespace {

class Thrower : public QObject {
  public:
    int delivered = 0;
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User)
            throw std::runtime_error("Cannot create file \"x.rpm\": Permission denied");
        if (e->type() == QEvent::User + 1) {
            ++delivered;
            return true;
        }
        return QObject::event(e);
    }
};

}  // namespace

class AppSupportTest : public QObject {
    Q_OBJECT

  private slots:
    void placementCentresTheFirstTime();
    void placementRoundTrip();
    void placementIgnoresAPlaceOffEveryScreen();
    void nameFiltersFromDialogFilters();
    void hostLogKeepsEarlyLines();
    void fileErrorShowsOneBoxAndGoesOn();
    void codePage1252();
};

void AppSupportTest::placementCentresTheFirstTime() {
    QTemporaryDir dir;
    FormPlacement store(dir.filePath("p.ini"));
    QWidget w;
    w.setMinimumSize(500, 300);
    w.resize(200, 100);  // below the minimum
    store.Restore(w, "FormMain");
    QCOMPARE(w.size(), QSize(500, 300));
    const QRect desktop = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY(qAbs(w.geometry().center().x() - desktop.center().x()) <= 1);
    QVERIFY(qAbs(w.geometry().center().y() - desktop.center().y()) <= 1);
    QVERIFY(!store.Has("FormMain"));
}

void AppSupportTest::placementRoundTrip() {
    QTemporaryDir dir;
    const QString file = dir.filePath("p.ini");
    {
        FormPlacement store(file);
        QWidget w;
        store.Track(w, "FormServo");
        w.setGeometry(40, 50, 610, 420);
        w.show();
        w.hide();  // hiding saves
        QVERIFY(store.Has("FormServo"));
    }
    FormPlacement again(file);
    QWidget w;
    again.Restore(w, "FormServo");
    QCOMPARE(w.geometry(), QRect(40, 50, 610, 420));
    QSettings raw(file, QSettings::IniFormat);
    QCOMPARE(raw.value("FormServo/Width").toInt(), 610);
}

void AppSupportTest::placementIgnoresAPlaceOffEveryScreen() {
    QTemporaryDir dir;
    const QString file = dir.filePath("p.ini");
    {
        QSettings raw(file, QSettings::IniFormat);
        raw.setValue("FormMain/Left", 40000);
        raw.setValue("FormMain/Top", 40000);
        raw.setValue("FormMain/Width", 640);
        raw.setValue("FormMain/Height", 10);  // below the minimum too
    }
    FormPlacement store(file);
    QWidget w;
    w.setMinimumSize(500, 300);
    store.Restore(w, "FormMain");
    QCOMPARE(w.size(), QSize(640, 300));
    const QRect desktop = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY(desktop.contains(w.geometry().center()));
}

void AppSupportTest::nameFiltersFromDialogFilters() {
    QCOMPARE(QtNameFilters("Module files (*.rpm)|*.rpm|All files (*.*)|*.*"),
             QStringList({"Module files (*.rpm)", "All files (*)"}));
    QCOMPARE(QtNameFilters("Pictures|*.jpg;*.jpeg"), QStringList({"Pictures (*.jpg *.jpeg)"}));
    QCOMPARE(QtNameFilters(""), QStringList());
    QCOMPARE(QtNameFilters("Dangling"), QStringList());  // a name without patterns
}

void AppSupportTest::hostLogKeepsEarlyLines() {
    QtHost host;
    host.Log("before the window");
    QPlainTextEdit pane;
    host.SetLogView(&pane);
    host.Log("Temperature 45\xB0");
    QCOMPARE(pane.toPlainText(), QString::fromUtf8("before the window\nTemperature 45\u00B0"));
}

void AppSupportTest::fileErrorShowsOneBoxAndGoesOn() {
    auto* app = static_cast<QuillmarkApplication*>(QCoreApplication::instance());
    QStringList shown;
    app->errorBox = [&](const QString& text) { shown << text; };
    Thrower t;
    QEvent e(QEvent::User);
    QVERIFY(!QCoreApplication::sendEvent(&t, &e));
    QCOMPARE(shown, QStringList({"Cannot create file \"x.rpm\": Permission denied"}));
    // The program goes on: the next event is delivered as usual.
    QEvent other(static_cast<QEvent::Type>(QEvent::User + 1));
    QVERIFY(QCoreApplication::sendEvent(&t, &other));
    QCOMPARE(t.delivered, 1);
    QCOMPARE(shown.size(), 1);
    app->errorBox = nullptr;
}

void AppSupportTest::codePage1252() {
    const std::string bytes = "\x80\x8A\x9F\xB0\xE9\x81";
    const QString text = FromAnsi(bytes);
    QCOMPARE(text, QString::fromUtf8("\u20AC\u0160\u0178\u00B0\u00E9\u0081"));
    QCOMPARE(ToAnsi(text), bytes);
    QCOMPARE(ToAnsi(QString::fromUtf8("\u4E2D")), std::string("?"));
}

int main(int argc, char** argv) {
    QuillmarkApplication app(argc, argv);
    AppSupportTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "AppSupportTest.moc"
