#pragma once
// TfmViewDef ("Graph View"): the defect viewer. Draws the P-List or the
// G-List as a plan view of the platters in a 32-bit bitmap (Im32), with zone
// circles and wedge spokes under it, and saves the picture as a JPEG file.
#include <QWidget>
#include <array>

#include "defects/DefectMap.h"
#include "render/QtCanvas.h"

class QAction;
class QCheckBox;
class QMenu;
class QPushButton;
class QRadioButton;

namespace qm {

struct Workbench;
class FormPlacement;

// Im32: shows the canvas; its size is the bitmap's size.
class TImage32 : public QWidget {
    Q_OBJECT

  public:
    TImage32(QtCanvas& canvas, QWidget* parent);

  signals:
    void resized();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    QtCanvas& canvas_;
};

class TfmViewDef : public QWidget {
    Q_OBJECT

  public:
    // With a placement store the window comes back where it was last time
    // ("FormViewDef").
    explicit TfmViewDef(Workbench& wb, FormPlacement* placement = nullptr,
                        QWidget* parent = nullptr);
    ~TfmViewDef() override;

    // The bitmap as drawn so far.
    const QImage& Picture() { return canvas_.Image(); }
    // Heads shown (the head count when the window was shown: 10 for 0, at most 10).
    int Heads() const { return heads_; }
    // True while a View runs (it lets messages run while it reads the drive).
    bool Busy() const { return busy_ > 0; }
    // What the last View drew (passes, circles, arcs are not kept).
    const DefectMapReport& LastView() const { return report_; }

    static constexpr int kMinWidth = 570;
    static constexpr int kMinHeight = 467;

    TImage32* Im32 = nullptr;
    QMenu* pmImage = nullptr;
    QAction* miSaveToFile = nullptr;
    QPushButton* btShow = nullptr;
    QPushButton* btClear = nullptr;
    QCheckBox* cbShowZones = nullptr;
    QCheckBox* cbShowDefects = nullptr;
    QCheckBox* cbTracks = nullptr;
    QCheckBox* cbOptimized = nullptr;
    QCheckBox* rb1 = nullptr;
    QCheckBox* cbWedges = nullptr;
    QRadioButton* rbPList = nullptr;
    QRadioButton* rbGList = nullptr;
    QPushButton* btScreen = nullptr;
    std::array<QCheckBox*, kMaxMapHeads> cbHeads{};

  public slots:
    void FormShow();
    void btShowClick();
    void btClearClick();
    void miSaveToFileClick();
    // Every option box and head box: Clear, then View.
    void rbPListClick();
    void rbGListClick();
    void cbTracksClick();
    void cbShowDefectsClick();
    void cbShowZonesClick();
    void cbOptimizedClick();
    void rb1Click();
    void cbHeadClick();

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void FormCanResize();
    void Redraw();
    DefectViewOptions Options() const;
    void PlaceHeadBoxes();
    void OperationDone();

    Workbench& wb_;
    QtCanvas canvas_;
    DefectMapReport report_;
    int heads_ = 0;  // until FormShow has read the head count
    int busy_ = 0;
    bool closing_ = false;
    bool redrawPending_ = false;
};

}  // namespace qm
