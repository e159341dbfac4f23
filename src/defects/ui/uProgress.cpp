#include "defects/ui/uProgress.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>
#include <QPixmap>
#include <QRegularExpression>
#include <QShowEvent>
#include <QTimer>
#include <QtMath>

#include "common/Workbench.h"
#include "gui/AnsiText.h"
#include "gui/FormPlacement.h"

namespace qm {
namespace {

// The system's long time format without its time-zone part: an elapsed
// time has no zone.
QString ElapsedText(QTime start) {
    static const QRegularExpression zone(QStringLiteral("\\s*t+\\s*"));
    QString format = QLocale::system().timeFormat(QLocale::LongFormat);
    format.replace(zone, QStringLiteral(" "));
    format = format.trimmed();
    if (format.isEmpty()) format = QStringLiteral("HH:mm:ss");
    const int ms = start.isValid() ? start.msecsTo(QTime::currentTime()) : 0;
    return QTime(0, 0).addMSecs(ms < 0 ? ms + 86'400'000 : ms).toString(format);
}

// A spinning platter: the disk, its hub and a read arm that moves in and out.
QPixmap* DrawFrame(int frame) {
    auto* p = new QPixmap(32, 32);
    p->fill(Qt::transparent);
    QPainter g(p);
    g.setRenderHint(QPainter::Antialiasing);
    g.setPen(QPen(QColor(60, 60, 70), 1));
    g.setBrush(QColor(190, 195, 205));
    g.drawEllipse(QPointF(15.5, 15.5), 14, 14);
    // A bright sector that turns with the frame.
    g.setPen(Qt::NoPen);
    g.setBrush(QColor(235, 238, 245));
    g.drawPie(QRectF(1.5, 1.5, 28, 28), -frame * 45 * 16, 30 * 16);
    g.setBrush(QColor(90, 90, 100));
    g.drawEllipse(QPointF(15.5, 15.5), 3, 3);
    const double swing = qDegreesToRadians(200.0 + 12.0 * std::abs((frame % 8) - 4));
    g.setPen(QPen(QColor(150, 40, 30), 2, Qt::SolidLine, Qt::RoundCap));
    g.drawLine(QPointF(29, 29), QPointF(29 + 17 * std::cos(swing), 29 + 17 * std::sin(swing)));
    return p;
}

}  // namespace

ProgressMonitor::ProgressMonitor(Workbench& wb, FormPlacement* placement)
    : wb_(wb), placement_(placement) {}

ProgressMonitor::~ProgressMonitor() {
    delete form_.data();
}

void ProgressMonitor::ShowProgress(bool autoClose) {
    if (!form_) form_ = new TfmProgress(*this, wb_, placement_);
    if (form_->isVisible()) {
        if (form_->isMinimized()) form_->showNormal();
        form_->raise();
        form_->activateWindow();
    } else {
        form_->show();
    }
    autoClose_ = autoClose;
    form_->busy_ = true;
}

bool ProgressMonitor::WaitProgress() {
    // The window may be closed (and freed) while messages run: only the
    // guarded reference is looked at.
    while (form_ && form_->busy_ && !wb_.link.Aborted()) {
        wb_.host.ProcessMessages();
        if (form_ && form_->busy_ && !wb_.link.Aborted()) wb_.host.Sleep(5);
    }
    return !wb_.link.Aborted();
}

TfmProgress::TfmProgress(ProgressMonitor& monitor, Workbench& wb, FormPlacement* placement)
    : QWidget(nullptr, Qt::Window), monitor_(monitor), wb_(wb) {
    setObjectName(QStringLiteral("fmProgress"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Progress "));
    savedTitle_ = QCoreApplication::applicationName();
    for (int i = 0; i < kFrames; ++i) ilHdd_[static_cast<size_t>(i)] = DrawFrame(i);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(8, 38, 8, 8);  // the animation sits at the top left
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(4);
    auto field = [this](const char* name, const char* hint = nullptr) {
        auto* e = new QLineEdit(this);
        e->setObjectName(QString::fromLatin1(name));
        e->setReadOnly(true);
        if (hint) e->setToolTip(QString::fromLatin1(hint));
        return e;
    };
    auto label = [this](const char* text, QLineEdit* buddy) {
        auto* l = new QLabel(QString::fromLatin1(text), this);
        l->setBuddy(buddy);
        return l;
    };
    edStep = field("edStep");
    edStep1 = field("edStep1");
    edActn = field("edActn");
    edProgress = field("edProgress");
    edLba = field("edLba");
    edTrack = field("edTrack");
    edHead = field("edHead");
    edZone = field("edZone");
    edServo = field("edServo");
    edStatus = field("edStatus", "ExtErr, ExtErrCode, SecondaryEcode, StatusFlg1, Initiator Code");
    edStatusTxt = field("edStatusTxt");
    edCurState = field("edCurState");
    edDtemp = field("edDtemp");
    edJtemp = field("edJtemp");
    edCtemp = field("edCtemp");
    edFtemp = field("edFtemp");
    edDBSCode = field("edDBSCode");
    edAta = field("edAta");

    int row = 0;
    grid->addWidget(label("PTM ", edStep), row, 0);
    grid->addWidget(edStep, row, 1);
    grid->addWidget(edStep1, row++, 2, 1, 3);
    grid->addWidget(label("Action Code", edActn), row, 0);
    grid->addWidget(edActn, row++, 1, 1, 4);
    grid->addWidget(label("Progress ", edProgress), row, 0);
    grid->addWidget(edProgress, row, 1);
    grid->addWidget(label("LBA ", edLba), row, 2);
    grid->addWidget(edLba, row++, 3, 1, 2);
    grid->addWidget(label("Virtual Cyl ", edTrack), row, 0);
    grid->addWidget(edTrack, row, 1);
    grid->addWidget(label("Virtual Head ", edHead), row, 2);
    grid->addWidget(edHead, row++, 3, 1, 2);
    grid->addWidget(label("Zone ", edZone), row, 0);
    grid->addWidget(edZone, row, 1);
    grid->addWidget(label("Servo ", edServo), row, 2);
    grid->addWidget(edServo, row++, 3, 1, 2);
    grid->addWidget(edStatus, row++, 0, 1, 5);
    grid->addWidget(edStatusTxt, row++, 0, 1, 5);
    grid->addWidget(edCurState, row++, 0, 1, 5);
    grid->addWidget(label("Drive Temp  ", edDtemp), row, 0);
    grid->addWidget(edDtemp, row, 1);
    grid->addWidget(label("Junction Temp  ", edJtemp), row, 2);
    grid->addWidget(edJtemp, row++, 3, 1, 2);
    grid->addWidget(label("Coil Temp  ", edCtemp), row, 0);
    grid->addWidget(edCtemp, row, 1);
    grid->addWidget(label("Flex Temp  ", edFtemp), row, 2);
    grid->addWidget(edFtemp, row++, 3, 1, 2);
    // Kept for the curious, hidden as the monitor ships.
    QLabel* dbs = label("DBS Code ", edDBSCode);
    grid->addWidget(dbs, row, 0);
    grid->addWidget(edDBSCode, row++, 1, 1, 4);
    QLabel* ata = label("Last ATA ", edAta);
    grid->addWidget(ata, row, 0);
    grid->addWidget(edAta, row++, 1, 1, 4);
    for (QWidget* w : {static_cast<QWidget*>(dbs), static_cast<QWidget*>(edDBSCode),
                       static_cast<QWidget*>(ata), static_cast<QWidget*>(edAta)})
        w->hide();
    grid->setColumnStretch(1, 2);
    grid->setColumnStretch(3, 1);
    grid->setColumnStretch(4, 1);
    resize(540, 330);

    tiProgress = new QTimer(this);
    tiProgress->setObjectName(QStringLiteral("tiProgress"));
    tiProgress->setInterval(kPollMs);
    connect(tiProgress, &QTimer::timeout, this, &TfmProgress::tiProgressTimer);
    if (placement) placement->Track(*this, QStringLiteral("FormProgress"));
}

TfmProgress::~TfmProgress() {
    for (QPixmap* p : ilHdd_) delete p;
    // Freed without a close (the program ends): the reference goes all the same.
    if (monitor_.form_ == this) monitor_.form_ = nullptr;
}

void TfmProgress::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TfmProgress::FormShow() {
    monitor_.start_ = QTime::currentTime();
    tiProgress->start();
    busy_ = true;
    frame_ = 0;
    shownFrame_ = 0;
    update();
}

void TfmProgress::closeEvent(QCloseEvent* event) {
    FormClose();
    QWidget::closeEvent(event);
}

void TfmProgress::FormClose() {
    QCoreApplication::setApplicationName(savedTitle_);
    busy_ = false;
    tiProgress->stop();
    if (monitor_.form_ == this) monitor_.form_ = nullptr;
}

void TfmProgress::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    QPainter g(this);
    g.drawPixmap(2, 1, *ilHdd_[static_cast<size_t>(shownFrame_)]);
}

void TfmProgress::tiProgressTimer() {
    wb_.link.abort = false;
    if (monitor_.form_ != this) return;
    if (isVisible()) {
        const QString elapsed = ElapsedText(monitor_.start_);
        setWindowTitle(QStringLiteral("Progress ") + elapsed);
        QCoreApplication::setApplicationName(elapsed);
        shownFrame_ = frame_;
        frame_ = (frame_ + 1) % kFrames;
        update();
    }
    // The status read lets messages run: the window may be closed, even
    // freed, before it returns.
    QPointer<TfmProgress> self(this);
    const StatusRead read = ReadMonitorStatus(wb_);
    if (read == StatusRead::Skipped) return;
    if (!self || monitor_.form_ != this) return;
    DecodeMonitorStatus(wb_, read == StatusRead::Ok, poll_);
    ShowTexts();
    if (!poll_.busy) {
        busy_ = false;
        if (monitor_.autoClose_) {
            tiProgress->stop();
            close();  // frees the window once this slot has returned
        }
    }
}

void TfmProgress::ShowTexts() {
    const StatusTexts& t = poll_.texts;
    const std::pair<QLineEdit*, const std::string*> fields[] = {
        {edAta, &t.edAta},           {edStatus, &t.edStatus},     {edStatusTxt, &t.edStatusTxt},
        {edCurState, &t.edCurState}, {edLba, &t.edLba},           {edTrack, &t.edTrack},
        {edHead, &t.edHead},         {edZone, &t.edZone},         {edDtemp, &t.edDtemp},
        {edJtemp, &t.edJtemp},       {edCtemp, &t.edCtemp},       {edServo, &t.edServo},
        {edDBSCode, &t.edDBSCode},   {edProgress, &t.edProgress}, {edFtemp, &t.edFtemp},
        {edStep, &t.edStep},         {edStep1, &t.edStep1},       {edActn, &t.edActn}};
    for (const auto& [edit, text] : fields) {
        const QString shown = FromAnsi(*text);
        if (edit->text() == shown) continue;
        edit->setText(shown);
        edit->setCursorPosition(0);  // long texts show their beginning
    }
    edStatusTxt->setToolTip(edStatusTxt->text());
    edDBSCode->setToolTip(edDBSCode->text());
}

}  // namespace qm
