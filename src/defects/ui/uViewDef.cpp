#include "defects/ui/uViewDef.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

#include "common/Workbench.h"
#include "gui/ErrorBox.h"
#include "gui/FormPlacement.h"
#include "render/JpegWriter.h"
#include "vendor/Modules.h"

namespace qm {

TImage32::TImage32(QtCanvas& canvas, QWidget* parent) : QWidget(parent), canvas_(canvas) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::CrossCursor);
    setMinimumSize(1, 1);
}

void TImage32::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    p.drawImage(QPoint(0, 0), canvas_.Image());
}

void TImage32::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    emit resized();
}

TfmViewDef::TfmViewDef(Workbench& wb, FormPlacement* placement, QWidget* parent)
    : QWidget(parent, Qt::Window), wb_(wb) {
    setObjectName(QStringLiteral("fmViewDef"));
    setWindowTitle(QStringLiteral("Graph View"));
    setMinimumSize(kMinWidth, kMinHeight);

    Im32 = new TImage32(canvas_, this);
    Im32->setObjectName(QStringLiteral("Im32"));
    pmImage = new QMenu(this);
    miSaveToFile = pmImage->addAction(QStringLiteral("Save To File"));
    miSaveToFile->setObjectName(QStringLiteral("miSaveToFile"));
    connect(miSaveToFile, &QAction::triggered, this, &TfmViewDef::miSaveToFileClick);
    Im32->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Im32, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { pmImage->popup(Im32->mapToGlobal(pos)); });
    connect(Im32, &TImage32::resized, this, &TfmViewDef::FormCanResize);

    auto button = [&](const char* name, const char* caption, void (TfmViewDef::*handler)()) {
        auto* b = new QPushButton(QString::fromLatin1(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        connect(b, &QPushButton::clicked, this, handler);
        return b;
    };
    auto box = [&](const char* name, const char* caption, bool checked,
                   void (TfmViewDef::*handler)()) {
        auto* c = new QCheckBox(QString::fromLatin1(caption), this);
        c->setObjectName(QString::fromLatin1(name));
        c->setChecked(checked);
        connect(c, &QCheckBox::clicked, this, handler);
        return c;
    };
    btShow = button("btShow", "View", &TfmViewDef::btShowClick);
    btClear = button("btClear", "Clear", &TfmViewDef::btClearClick);
    cbShowZones = box("cbShowZones", "View Zones", true, &TfmViewDef::cbShowZonesClick);
    cbShowDefects = box("cbShowDefects", "View Sectors", true, &TfmViewDef::cbShowDefectsClick);
    cbTracks = box("cbTracks", "View Tracks", false, &TfmViewDef::cbTracksClick);
    cbOptimized = box("cbOptimized", "Antialiasing", true, &TfmViewDef::cbOptimizedClick);
    rb1 = box("rb1", "Black", true, &TfmViewDef::rb1Click);
    cbWedges = box("cbWedges", "Wedge", false, &TfmViewDef::rb1Click);
    rbPList = new QRadioButton(QStringLiteral("P-List"), this);
    rbPList->setObjectName(QStringLiteral("rbPList"));
    rbPList->setChecked(true);
    connect(rbPList, &QRadioButton::clicked, this, &TfmViewDef::rbPListClick);
    rbGList = new QRadioButton(QStringLiteral("G-List"), this);
    rbGList->setObjectName(QStringLiteral("rbGList"));
    connect(rbGList, &QRadioButton::clicked, this, &TfmViewDef::rbGListClick);
    btScreen = button("btScreen", "SreenShot", &TfmViewDef::miSaveToFileClick);

    // Head boxes: no caption, 15 pixels wide, top-right on the bitmap, hidden
    // until the window knows the head count.
    for (int h = 0; h < kMaxMapHeads; ++h) {
        auto* c = new QCheckBox(Im32);
        c->setObjectName(QStringLiteral("cbHead%1").arg(h));
        c->setChecked(true);
        c->hide();
        connect(c, &QCheckBox::clicked, this, &TfmViewDef::cbHeadClick);
        cbHeads[static_cast<size_t>(h)] = c;
    }

    auto* bar = new QGridLayout;
    bar->setContentsMargins(6, 4, 6, 4);
    bar->setHorizontalSpacing(10);
    bar->setVerticalSpacing(2);
    bar->addWidget(btShow, 0, 0);
    bar->addWidget(btClear, 1, 0);
    bar->addWidget(cbShowZones, 0, 1);
    bar->addWidget(cbShowDefects, 1, 1);
    bar->addWidget(cbTracks, 0, 2);
    bar->addWidget(cbOptimized, 1, 2);
    bar->addWidget(rb1, 0, 3);
    bar->addWidget(cbWedges, 1, 3);
    bar->addWidget(rbPList, 0, 4);
    bar->addWidget(rbGList, 1, 4);
    bar->setColumnStretch(5, 1);
    bar->addWidget(btScreen, 0, 6, 2, 1, Qt::AlignVCenter);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Im32, 1);
    layout->addLayout(bar);

    resize(800, 640);
    if (placement) {
        placement->Track(*this, QStringLiteral("FormViewDef"));
    } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect r(QPoint(0, 0), size());
        r.moveCenter(screen->availableGeometry().center());
        move(r.topLeft());
    }
    // FormCreate: the bitmap at Im32's size, in the background colour.
    canvas_.Resize(Im32->width(), Im32->height());
    canvas_.Fill(MapBackground(rb1->isChecked()));
}

TfmViewDef::~TfmViewDef() = default;

DefectViewOptions TfmViewDef::Options() const {
    DefectViewOptions o;
    o.list = rbGList->isChecked() ? DefectListKind::GList : DefectListKind::PList;
    o.showZones = cbShowZones->isChecked();
    o.showSectors = cbShowDefects->isChecked();
    o.showTracks = cbTracks->isChecked();
    o.antialias = cbOptimized->isChecked();
    o.black = rb1->isChecked();
    o.wedges = cbWedges->isChecked();
    for (int h = 0; h < kMaxMapHeads; ++h)
        o.headChecked[static_cast<size_t>(h)] = cbHeads[static_cast<size_t>(h)]->isChecked();
    return o;
}

void TfmViewDef::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (event->spontaneous()) return;  // back from the task bar
    closing_ = false;
    QTimer::singleShot(0, this, &TfmViewDef::FormShow);
}

void TfmViewDef::FormShow() {
    if (!isVisible() || busy_) return;
    wb_.link.abort = false;
    ++busy_;
    uint8_t count = 0;
    CatchFileErrors(wb_.host, [&] { count = ReadHeadCount(wb_); });
    --busy_;
    if (closing_) return OperationDone();
    heads_ = MapHeadCount(count);
    PlaceHeadBoxes();
    for (int h = 0; h < kMaxMapHeads; ++h) cbHeads[static_cast<size_t>(h)]->setVisible(h < heads_);
    DrawHeadLabels(canvas_, heads_);
    Im32->update();
    btShowClick();
}

void TfmViewDef::PlaceHeadBoxes() {
    for (int h = 0; h < kMaxMapHeads; ++h)
        cbHeads[static_cast<size_t>(h)]->setGeometry(Im32->width() - 55, 15 * h + 4, 15, 15);
}

void TfmViewDef::btClearClick() {
    canvas_.Resize(Im32->width(), Im32->height());
    ClearDefectMap(canvas_, rb1->isChecked(), heads_);
    Im32->update();
}

void TfmViewDef::FormCanResize() {
    PlaceHeadBoxes();
    // A new size erases the picture; the next View draws it again.
    if (canvas_.Width() != Im32->width() || canvas_.Height() != Im32->height()) btClearClick();
}

void TfmViewDef::btShowClick() {
    if (busy_ || closing_) return;
    ++busy_;
    btShow->setEnabled(false);
    report_ = DefectMapReport{};
    // A file error (a picked list or zone map that cannot be read) ends the
    // View in the standard error box; the button comes back either way.
    CatchFileErrors(wb_.host, [&] { ViewDefects(wb_, canvas_, Options(), heads_, &report_); });
    --busy_;
    btShow->setEnabled(true);
    Im32->update();
    OperationDone();
}

void TfmViewDef::Redraw() {
    if (busy_) {
        redrawPending_ = true;
        return;
    }
    btClearClick();
    btShowClick();
}

void TfmViewDef::rbPListClick() {
    Redraw();
}
void TfmViewDef::rbGListClick() {
    Redraw();
}
void TfmViewDef::cbTracksClick() {
    Redraw();
}
void TfmViewDef::cbShowDefectsClick() {
    Redraw();
}
void TfmViewDef::cbShowZonesClick() {
    Redraw();
}
void TfmViewDef::cbOptimizedClick() {
    Redraw();
}
void TfmViewDef::rb1Click() {
    Redraw();
}
void TfmViewDef::cbHeadClick() {
    Redraw();
}

void TfmViewDef::miSaveToFileClick() {
    if (closing_) return;
    CatchFileErrors(wb_.host, [&] {
        const std::vector<uint8_t> jpeg = EncodeJpeg(canvas_.Image());
        DialogState& d = wb_.saveDialog;
        d.folder.clear();
        d.fileName = "Defects.jpg";
        if (wb_.host.RunSaveDialog(d) && !d.fileName.empty()) {
            if (jpeg.empty()) throw FileError(d.fileName + ": the picture could not be encoded");
            WriteFileAtomicOrThrow(d.fileName, jpeg);
        }
    });
}

void TfmViewDef::closeEvent(QCloseEvent* event) {
    // A View in progress stops at its next check and frees the window when it returns.
    wb_.link.abort = true;
    closing_ = true;
    event->accept();
    OperationDone();
}

void TfmViewDef::OperationDone() {
    if (busy_) return;
    if (closing_) {
        // FormClose: the defect list goes with the window.
        std::vector<TDefectEntry>().swap(wb_.defects.defects);
        deleteLater();
    } else if (redrawPending_) {
        redrawPending_ = false;
        QTimer::singleShot(0, this, &TfmViewDef::Redraw);
    }
}

}  // namespace qm
