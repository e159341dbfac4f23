#include "gui/FormPlacement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QWidget>

namespace qm {
namespace {

QRect CentredOn(const QRect& area, QSize size) {
    size = size.boundedTo(area.size());
    return QRect(area.x() + (area.width() - size.width()) / 2,
                 area.y() + (area.height() - size.height()) / 2, size.width(), size.height());
}

// Saves the placement of the window it is installed on when that window hides.
class PlacementTracker : public QObject {
  public:
    PlacementTracker(FormPlacement& store, QWidget& window, QString name)
        : QObject(&window), store_(store), name_(std::move(name)) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if ((event->type() == QEvent::Hide || event->type() == QEvent::Close) &&
            watched == parent())
            store_.Save(*static_cast<QWidget*>(watched), name_);
        return false;
    }

  private:
    FormPlacement& store_;
    QString name_;
};

}  // namespace

FormPlacement::FormPlacement()
#ifdef Q_OS_WIN
    : settings_(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                            QStringLiteral("Quillmark"),
                                            QStringLiteral("Quillmark")))
#else
    : settings_(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                            QStringLiteral("Quillmark"),
                                            QStringLiteral("Quillmark")))
#endif
{
}

FormPlacement::FormPlacement(const QString& iniFile)
    : settings_(std::make_unique<QSettings>(iniFile, QSettings::IniFormat)) {}

FormPlacement::~FormPlacement() = default;

QString FormPlacement::FileName() const {
    return settings_->fileName();
}

bool FormPlacement::Has(const QString& name) const {
    return settings_->contains(name + QStringLiteral("/Width"));
}

void FormPlacement::Restore(QWidget& window, const QString& name) {
    const QSize minimum = window.minimumSize();
    QScreen* primary = QGuiApplication::primaryScreen();
    const QRect desktop = primary ? primary->availableGeometry() : QRect(0, 0, 1024, 768);

    if (Has(name)) {
        settings_->beginGroup(name);
        QRect r(settings_->value(QStringLiteral("Left")).toInt(),
                settings_->value(QStringLiteral("Top")).toInt(),
                settings_->value(QStringLiteral("Width")).toInt(),
                settings_->value(QStringLiteral("Height")).toInt());
        const bool maximized = settings_->value(QStringLiteral("Maximized")).toBool();
        settings_->endGroup();
        r.setSize(r.size().expandedTo(minimum));
        // A place on a screen that is gone (or a damaged entry) is not used:
        // the window must at least show its title area on some screen.
        const QRect grip(r.topLeft(), QSize(qMin(r.width(), 100), 30));
        bool onScreen = false;
        for (QScreen* s : QGuiApplication::screens())
            if (s->availableGeometry().intersects(grip)) onScreen = true;
        if (!primary) onScreen = true;  // no screen information: trust the entry
        if (!onScreen) r = CentredOn(desktop, r.size());
        window.setGeometry(r);
        if (maximized) window.setWindowState(window.windowState() | Qt::WindowMaximized);
        return;
    }
    window.setGeometry(CentredOn(desktop, window.size().expandedTo(minimum)));
}

void FormPlacement::Save(const QWidget& window, const QString& name) {
    const QRect r = window.normalGeometry().isValid() ? window.normalGeometry() : window.geometry();
    settings_->beginGroup(name);
    settings_->setValue(QStringLiteral("Left"), r.x());
    settings_->setValue(QStringLiteral("Top"), r.y());
    settings_->setValue(QStringLiteral("Width"), r.width());
    settings_->setValue(QStringLiteral("Height"), r.height());
    settings_->setValue(QStringLiteral("Maximized"), window.isMaximized());
    settings_->endGroup();
    settings_->sync();
}

void FormPlacement::Track(QWidget& window, const QString& name) {
    Restore(window, name);
    window.installEventFilter(new PlacementTracker(*this, window, name));
}

}  // namespace qm
