#include "smart/ui/uSmart.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QFont>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <QScreen>
#include <QShowEvent>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "common/Workbench.h"
#include "gui/AnsiText.h"
#include "gui/FormPlacement.h"
#include "smart/SmartRead.h"

namespace qm {
namespace {

struct ColumnDef {
    const char* caption;
    int width;  // 0: the rest of the list
    Qt::Alignment align;
};

constexpr ColumnDef kColumns[kSmartColumnCount] = {
    {"ID", 37, Qt::AlignLeft},     {"Name", 258, Qt::AlignLeft},  {"Value", 53, Qt::AlignRight},
    {"Worst", 53, Qt::AlignRight}, {"Tresh", 53, Qt::AlignRight}, {"RAW", 86, Qt::AlignRight},
    {"Health", 74, Qt::AlignLeft}, {"Flags", 0, Qt::AlignLeft},
};

QColor ToQColor(SmartColor c) {
    return QColor(c.r, c.g, c.b);
}

}  // namespace

TfmSmart::TfmSmart(Workbench& wb, FormPlacement* placement, QWidget* parent)
    : QWidget(parent, Qt::Window), wb_(wb) {
    setObjectName(QStringLiteral("fmSmart"));
    setWindowTitle(QStringLiteral("S.M.A.R.T."));

    lvSmart = new QTableWidget(0, kSmartColumnCount, this);
    lvSmart->setObjectName(QStringLiteral("lvSmart"));
    lvSmart->setShowGrid(true);
    lvSmart->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvSmart->setSelectionMode(QAbstractItemView::SingleSelection);
    lvSmart->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvSmart->setWordWrap(false);
    lvSmart->verticalHeader()->hide();
    lvSmart->verticalHeader()->setDefaultSectionSize(18);
    lvSmart->horizontalHeader()->setHighlightSections(false);
    lvSmart->horizontalHeader()->setStretchLastSection(true);
    // Bold 14 px MS Sans Serif, or the nearest narrow face this system has:
    // the column widths are made for its metrics.
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                      QStringLiteral("DejaVu Sans Condensed")});
    font.setPixelSize(14);
    font.setBold(true);
    lvSmart->setFont(font);
    // The selection stays visible when the list loses the focus.
    QPalette pal = lvSmart->palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight,
                 pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                 pal.color(QPalette::Active, QPalette::HighlightedText));
    lvSmart->setPalette(pal);
    for (int c = 0; c < kSmartColumnCount; ++c) {
        auto* header = new QTableWidgetItem(QString::fromLatin1(kColumns[c].caption));
        header->setTextAlignment(kColumns[c].align | Qt::AlignVCenter);
        lvSmart->setHorizontalHeaderItem(c, header);
        if (kColumns[c].width) lvSmart->setColumnWidth(c, kColumns[c].width);
    }
    lvSmart->setToolTip(FromAnsi(SmartFlagsLegend()));

    pmSmart = new QMenu(this);
    pmSmart->setObjectName(QStringLiteral("pmSmart"));
    auto item = [&](const char* name, const char* caption, const QKeySequence& key,
                    void (TfmSmart::*handler)()) {
        QAction* a = pmSmart->addAction(QString::fromLatin1(caption));
        a->setObjectName(QString::fromLatin1(name));
        if (!key.isEmpty()) a->setShortcut(key);
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        addAction(a);  // the shortcuts work while the menu is closed
        connect(a, &QAction::triggered, this, handler);
        return a;
    };
    miRefresh =
        item("Refresh1", "Refresh", QKeySequence(Qt::CTRL | Qt::Key_R), &TfmSmart::Refresh1Click);
    miCopy = item("miCopy", "Copy", QKeySequence(Qt::CTRL | Qt::Key_C), &TfmSmart::miCopyClick);
    miToLog =
        item("miToLog", "To Log", QKeySequence(Qt::CTRL | Qt::Key_L), &TfmSmart::miToLogClick);
    miLogRAWOnly =
        item("miLogRAWOnly", "To Log RAW Only", QKeySequence(), &TfmSmart::miLogRAWOnlyClick);
    lvSmart->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lvSmart, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { pmSmart->popup(lvSmart->viewport()->mapToGlobal(pos)); });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(lvSmart);

    resize(kWidth, kHeight);
    if (placement) {
        placement->Track(*this, QStringLiteral("FormSmart"));
    } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect r(QPoint(0, 0), size());
        r.moveCenter(screen->availableGeometry().center());
        move(r.topLeft());
    }
}

TfmSmart::~TfmSmart() = default;

void TfmSmart::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Coming back from the task bar is no new showing.
    if (event->spontaneous()) return;
    closing_ = false;
    // Read once the window is on the screen.
    QTimer::singleShot(0, this, &TfmSmart::FormShow);
}

void TfmSmart::FormShow() {
    if (isVisible()) ReadSmart();
}

void TfmSmart::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}

void TfmSmart::FormClose() {
    // A read in progress stops at its next check.
    wb_.link.abort = true;
    if (busy_) {
        // The read or export still runs below us; it frees the window when it returns.
        closing_ = true;
        return;
    }
    deleteLater();
}

void TfmSmart::OperationDone() {
    if (busy_) return;
    if (closing_) {
        deleteLater();
    } else if (readPending_) {
        readPending_ = false;
        QTimer::singleShot(0, this, &TfmSmart::ReadSmart);
    }
}

void TfmSmart::ReadSmart() {
    if (closing_) return;
    if (busy_) {
        readPending_ = true;
        return;
    }
    ++busy_;
    SmartListSink sink;
    sink.clear = [this] { ClearList(); };
    sink.add = [this](const SmartAttribute& a) { AddRow(MakeSmartRow(a)); };
    const SmartReadResult r = qm::ReadSmart(wb_, sink);
    --busy_;
    // A read stopped by the abort flag (the window closing) knows nothing
    // about the drive and reports nothing.
    if (r.verdict != SmartVerdict::Stopped && !closing_) {
        const std::string status = SmartStatusText(r.verdict == SmartVerdict::Good);
        wb_.host.Log(status);
        setWindowTitle(FromAnsi(status));
    }
    OperationDone();
}

void TfmSmart::Refresh1Click() {
    ReadSmart();
}

void TfmSmart::ClearList() {
    rows_.clear();
    lvSmart->setRowCount(0);
}

void TfmSmart::AddRow(const SmartRow& row) {
    const int r = lvSmart->rowCount();
    lvSmart->insertRow(r);
    const std::string* texts[kSmartColumnCount] = {&row.id,     &row.name,      &row.value,
                                                   &row.worst,  &row.threshold, &row.raw,
                                                   &row.health, &row.flags};
    for (int c = 0; c < kSmartColumnCount; ++c) {
        auto* cell = new QTableWidgetItem(FromAnsi(*texts[c]));
        cell->setTextAlignment(kColumns[c].align | Qt::AlignVCenter);
        const SmartCellStyle style = SmartCellStyleFor(row, static_cast<SmartColumn>(c));
        cell->setForeground(ToQColor(style.color));
        if (style.bold) {
            QFont f = lvSmart->font();
            f.setBold(true);
            cell->setFont(f);
        }
        lvSmart->setItem(r, c, cell);
    }
    rows_.push_back(row);
}

bool TfmSmart::ExportText(bool rawOnly, std::string& text) {
    // A copy: a Refresh let in while the rows are written must not pull them away.
    const std::vector<SmartRow> rows = rows_;
    ++busy_;
    const bool whole = SmartExportText(wb_, rows, rawOnly, text);
    --busy_;
    return whole && !closing_;
}

void TfmSmart::miCopyClick() {
    if (busy_ || closing_) return;
    std::string text;
    if (ExportText(false, text)) QGuiApplication::clipboard()->setText(FromAnsi(text));
    OperationDone();
}

void TfmSmart::LogExport(bool rawOnly) {
    if (busy_ || closing_) return;
    std::string text;
    if (ExportText(rawOnly, text)) wb_.host.Log(SmartLogText("\n" + text));
    OperationDone();
}

void TfmSmart::miToLogClick() {
    LogExport(false);
}

void TfmSmart::miLogRAWOnlyClick() {
    LogExport(true);
}

}  // namespace qm
