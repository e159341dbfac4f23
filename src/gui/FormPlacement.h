#pragma once
// Remembers where each window was and how big it was, one entry per window
// name ("FormMain", "FormServo", ...). The store is the user's settings:
// an INI file in the user's configuration folder on Linux, the registry on
// Windows.
#include <QRect>
#include <QString>
#include <memory>

class QSettings;
class QWidget;

namespace qm {

class FormPlacement {
  public:
    // The user's settings.
    FormPlacement();
    // An INI file of its own (tests, portable setups).
    explicit FormPlacement(const QString& iniFile);
    ~FormPlacement();
    FormPlacement(const FormPlacement&) = delete;
    FormPlacement& operator=(const FormPlacement&) = delete;

    // Puts the window where it was last time, or, the first time (or when
    // that place is on no screen now), centres it at its present size. The
    // size never goes below the window's minimum size.
    void Restore(QWidget& window, const QString& name);
    // Remembers the window's normal (not maximised) place and whether it was maximised.
    void Save(const QWidget& window, const QString& name);
    // Restore now and Save whenever the window is hidden or closed: what a
    // window does in its constructor to take part.
    void Track(QWidget& window, const QString& name);

    bool Has(const QString& name) const;
    QString FileName() const;

  private:
    std::unique_ptr<QSettings> settings_;
};

}  // namespace qm
