#pragma once
// TfmServoTest ("Test Servo"): the servo test window. Runs one media
// operation after another across the tracks of each checked head, plots how
// long each took (for WR-WRRO the drive's runout value) in a 32-bit bitmap
// (Im32) and saves the picture as a JPEG file.
#include <QWidget>
#include <array>
#include <string>

#include "common/Host.h"
#include "defects/ServoTest.h"
#include "render/QtCanvas.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QMenu;
class QPushButton;

namespace qm {

struct Workbench;
class FormPlacement;
class TImage32;

class TfmServoTest : public QWidget {
    Q_OBJECT

  public:
    // With a placement store the window comes back where it was last time
    // ("FormServo").
    explicit TfmServoTest(Workbench& wb, FormPlacement* placement = nullptr,
                          QWidget* parent = nullptr);
    ~TfmServoTest() override;

    // The bitmap as drawn so far.
    const QImage& Picture() { return canvas_.Image(); }
    bool Running() const { return state_.running; }
    // Zone count of the last zone-table read (0 when none).
    int Zones() const { return zones_; }
    // What the last run did.
    const ServoRunReport& LastRun() const { return report_; }
    // Where GO writes the WR-WRRO sectors: "wrro.bin" in the current folder.
    std::string wrroPath = "wrro.bin";

    TImage32* Im32 = nullptr;
    QMenu* pmServo = nullptr;
    QAction* miSavetoFile = nullptr;
    QAction* miClear = nullptr;
    QPushButton* btGo = nullptr;
    QLineEdit* edStart = nullptr;
    QLineEdit* edTracks = nullptr;
    QPushButton* btTracks = nullptr;
    QCheckBox* cbFromZones = nullptr;
    QLineEdit* edStep = nullptr;
    QLineEdit* edHeads = nullptr;
    QPushButton* btHeads = nullptr;
    QComboBox* cbType = nullptr;
    QLineEdit* edTimeOut = nullptr;
    std::array<QCheckBox*, kServoMaxHeads> cbHeads{};

  public slots:
    void FormShow();
    void btTracksClick();
    void btHeadsClick();
    void edHeadsChange();
    void btGoClick();
    void miClearClick();
    void miSavetoFileClick();

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void FormResize();
    void DrawGrid();
    void ShowHeads(int heads);
    void PlaceHeadBoxes();
    ServoSettings Settings() const;

    Workbench& wb_;
    QtCanvas canvas_;
    ServoRunState state_;
    ServoRunReport report_;
    DialogState saveDialog_;  // the window's own save dialog
    int zones_ = 0;
    bool closeRequested_ = false;
    qint64 lastRepaint_ = 0;
};

}  // namespace qm
