#include "defects/ui/uServoTest.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

#include "common/Workbench.h"
#include "defects/ui/uViewDef.h"
#include "gui/AnsiText.h"
#include "gui/ErrorBox.h"
#include "gui/FormPlacement.h"
#include "render/JpegWriter.h"

namespace qm {
namespace {

constexpr qint64 kRepaintMs = 40;  // how often a run shows its progress

}  // namespace

TfmServoTest::TfmServoTest(Workbench& wb, FormPlacement* placement, QWidget* parent)
    : QWidget(parent, Qt::Window), wb_(wb) {
    setObjectName(QStringLiteral("fmServoTest"));
    setWindowTitle(QStringLiteral("Test Servo"));

    Im32 = new TImage32(canvas_, this);
    Im32->setObjectName(QStringLiteral("Im32"));
    Im32->setToolTip(QStringLiteral("Double Click for Save to File"));
    Im32->installEventFilter(this);
    pmServo = new QMenu(this);
    pmServo->setObjectName(QStringLiteral("pmServo"));
    miSavetoFile = pmServo->addAction(QStringLiteral("Save to File"));
    miSavetoFile->setObjectName(QStringLiteral("miSavetoFile"));
    miClear = pmServo->addAction(QStringLiteral("Clear"));
    miClear->setObjectName(QStringLiteral("miClear"));
    connect(miSavetoFile, &QAction::triggered, this, &TfmServoTest::miSavetoFileClick);
    connect(miClear, &QAction::triggered, this, &TfmServoTest::miClearClick);
    Im32->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Im32, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { pmServo->popup(Im32->mapToGlobal(pos)); });
    connect(Im32, &TImage32::resized, this, &TfmServoTest::FormResize);

    auto button = [&](const char* name, const char* caption) {
        auto* b = new QPushButton(QString::fromLatin1(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        return b;
    };
    auto edit = [&](const char* name, const char* text, int width) {
        auto* e = new QLineEdit(QString::fromLatin1(text), this);
        e->setObjectName(QString::fromLatin1(name));
        e->setFixedWidth(width);
        return e;
    };
    btGo = button("btGo", "GO");
    edStart = edit("edStart", "0", 70);
    edTracks = edit("edTracks", "", 70);
    btTracks = button("btTracks", ">");
    cbFromZones = new QCheckBox(QStringLiteral("Z"), this);
    cbFromZones->setObjectName(QStringLiteral("cbFromZones"));
    cbFromZones->setToolTip(QStringLiteral("Use Zone Map for current Head (only in ROYL)"));
    edStep = edit("edStep", "0", 50);
    edHeads = edit("edHeads", "", 30);
    btHeads = button("btHeads", ">");
    cbType = new QComboBox(this);
    cbType->setObjectName(QStringLiteral("cbType"));
    for (const char* name : kServoOpNames) cbType->addItem(FromAnsi(name));
    cbType->setCurrentIndex(kServoReadTrack);
    edTimeOut = edit("edTimeOut", "100", 45);
    edTimeOut->setToolTip(QStringLiteral("\"0\"  to Disable"));
    for (QPushButton* b : {btTracks, btHeads}) b->setFixedWidth(24);
    connect(btGo, &QPushButton::clicked, this, &TfmServoTest::btGoClick);
    connect(btTracks, &QPushButton::clicked, this, &TfmServoTest::btTracksClick);
    connect(btHeads, &QPushButton::clicked, this, &TfmServoTest::btHeadsClick);
    connect(edHeads, &QLineEdit::textChanged, this, &TfmServoTest::edHeadsChange);

    // Head boxes: no caption, 15 pixels wide, top-right on the bitmap, hidden
    // until the head count is known. They only choose the heads to test.
    for (int h = 0; h < kServoMaxHeads; ++h) {
        auto* c = new QCheckBox(Im32);
        c->setObjectName(QStringLiteral("cbHead%1").arg(h));
        c->setChecked(true);
        c->hide();
        cbHeads[static_cast<size_t>(h)] = c;
    }

    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(6, 4, 6, 4);
    bar->setSpacing(4);
    auto labelled = [&](const char* caption, QWidget* w) {
        auto* l = new QLabel(QString::fromLatin1(caption), this);
        l->setBuddy(w);
        bar->addWidget(l);
        bar->addWidget(w);
    };
    bar->addWidget(btGo);
    bar->addSpacing(8);
    labelled("Start ", edStart);
    labelled("Tracks ", edTracks);
    bar->addWidget(btTracks);
    bar->addWidget(cbFromZones);
    labelled("Step ", edStep);
    labelled("Heads", edHeads);
    bar->addWidget(btHeads);
    bar->addWidget(cbType);
    labelled("TimeOut", edTimeOut);
    bar->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Im32, 1);
    layout->addLayout(bar);

    resize(820, 600);
    if (placement) {
        placement->Track(*this, QStringLiteral("FormServo"));
    } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect r(QPoint(0, 0), size());
        r.moveCenter(screen->availableGeometry().center());
        move(r.topLeft());
    }
    canvas_.Resize(Im32->width(), Im32->height());
    canvas_.Fill(kServoBackground);
}

TfmServoTest::~TfmServoTest() {
    wb_.host.SetTimingPriority(false);
}

ServoSettings TfmServoTest::Settings() const {
    ServoSettings s;
    s.start = ToAnsi(edStart->text());
    s.tracks = ToAnsi(edTracks->text());
    s.step = ToAnsi(edStep->text());
    s.heads = ToAnsi(edHeads->text());
    s.timeOut = ToAnsi(edTimeOut->text());
    s.type = cbType->currentIndex();
    s.fromZones = cbFromZones->isChecked();
    for (int h = 0; h < kServoMaxHeads; ++h)
        s.headChecked[static_cast<size_t>(h)] = cbHeads[static_cast<size_t>(h)]->isChecked();
    return s;
}

void TfmServoTest::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (event->spontaneous()) return;  // back from the task bar
    QTimer::singleShot(0, this, &TfmServoTest::FormShow);
}

void TfmServoTest::FormShow() {
    if (!isVisible() || state_.running || closeRequested_) return;
    DrawGrid();
    btTracksClick();
    btHeadsClick();
    if (wb_.defects.roylFormat) cbFromZones->setChecked(true);
    cbType->setCurrentIndex(kServoReadTrack);
}

void TfmServoTest::DrawGrid() {
    DrawServoGrid(canvas_, ToAnsi(edTracks->text()), wb_.defects.zones, zones_);
    Im32->update();
}

void TfmServoTest::PlaceHeadBoxes() {
    for (int h = 0; h < kServoMaxHeads; ++h)
        cbHeads[static_cast<size_t>(h)]->setGeometry(Im32->width() - 55, 15 * h + 4, 15, 15);
}

// Boxes and labels of heads 0..heads-1 (at most ten).
void TfmServoTest::ShowHeads(int heads) {
    const int n = std::clamp(heads, 0, kServoMaxHeads);
    PlaceHeadBoxes();
    for (int h = 0; h < kServoMaxHeads; ++h) cbHeads[static_cast<size_t>(h)]->setVisible(h < n);
    DrawServoHeadLabels(canvas_, n);
    Im32->update();
}

void TfmServoTest::btTracksClick() {
    // Drive commands of their own would cut into a running operation's.
    if (state_.running) return;
    wb_.link.abort = false;
    btTracks->setEnabled(false);
    zones_ = 0;
    if (!wb_.host.ShiftDown()) {
        int z = 0;
        if (LoadServoZoneTable(wb_, 0, z)) zones_ = z;
        if (zones_ > 0)
            edTracks->setText(
                FromAnsi(ServoTracksText(wb_.defects.zones[static_cast<size_t>(zones_ - 1)].end)));
    }
    btTracks->setEnabled(true);
    DrawGrid();
}

void TfmServoTest::btHeadsClick() {
    if (state_.running) return;
    wb_.link.abort = false;
    btHeads->setEnabled(false);
    int heads = 0;
    if (ReadServoHeadCount(wb_, heads)) {
        edHeads->setText(QString::number(heads));
        ShowHeads(heads);
    }
    btHeads->setEnabled(true);
}

void TfmServoTest::edHeadsChange() {
    const int heads = ServoHeadsFromField(ToAnsi(edHeads->text()));
    for (QCheckBox* c : cbHeads) c->hide();
    ClearServoLabelArea(canvas_);
    DrawGrid();
    ShowHeads(heads);
}

void TfmServoTest::FormResize() {
    PlaceHeadBoxes();
    if (canvas_.Width() == Im32->width() && canvas_.Height() == Im32->height()) return;
    canvas_.Resize(Im32->width(), Im32->height());
    DrawGrid();
    ShowHeads(ServoHeadsFromField(ToAnsi(edHeads->text())));
    edStep->setText(QStringLiteral("0"));
}

void TfmServoTest::miClearClick() {
    DrawGrid();
}

void TfmServoTest::miSavetoFileClick() {
    CatchFileErrors(wb_.host, [&] {
        const std::vector<uint8_t> jpeg = EncodeJpeg(canvas_.Image());
        saveDialog_.fileName = "Servo.jpg";
        if (wb_.host.RunSaveDialog(saveDialog_) && !saveDialog_.fileName.empty()) {
            if (jpeg.empty())
                throw FileError(saveDialog_.fileName + ": the picture could not be encoded");
            WriteFileAtomicOrThrow(saveDialog_.fileName, jpeg);
        }
    });
}

bool TfmServoTest::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Im32 && event->type() == QEvent::MouseButtonDblClick) {
        miSavetoFileClick();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TfmServoTest::btGoClick() {
    if (state_.running) {
        // STOP. Once it reads "GO" again the run is only winding down: a
        // click then must not start a second run inside the first.
        if (btGo->text() == QLatin1String("STOP")) {
            wb_.link.abort = true;
            state_.stopRequested = true;
            btGo->setText(QStringLiteral("GO"));
        }
        return;
    }
    ServoHooks hooks;
    hooks.onStarted = [this] {
        btGo->setText(QStringLiteral("STOP"));
        closeRequested_ = false;
        lastRepaint_ = 0;
    };
    hooks.setStepText = [this](const std::string& t) { edStep->setText(FromAnsi(t)); };
    hooks.setTracksText = [this](const std::string& t) { edTracks->setText(FromAnsi(t)); };
    hooks.onZoneTable = [this](int z) { zones_ = z; };
    hooks.onOperation = [this](const ServoOpRecord&) {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        if (now - lastRepaint_ >= kRepaintMs) {
            lastRepaint_ = now;
            Im32->update();
        }
    };
    report_ = ServoRunReport{};
    CatchFileErrors(wb_.host, [&] {
        RunServoTest(wb_, canvas_, Settings(), state_, hooks, wrroPath, &report_);
    });
    state_.running = false;
    btGo->setText(QStringLiteral("GO"));
    Im32->update();
    if (closeRequested_) QTimer::singleShot(0, this, &QWidget::close);
}

void TfmServoTest::closeEvent(QCloseEvent* event) {
    wb_.host.SetTimingPriority(false);
    if (state_.running) {
        // The run frees the window once it has stopped.
        wb_.link.abort = true;
        state_.stopRequested = true;
        closeRequested_ = true;
        event->ignore();
        return;
    }
    event->accept();
    deleteLater();
}

}  // namespace qm
