#include "script/ui/uScript.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QSplitter>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include "common/Format.h"
#include "common/Workbench.h"
#include "defects/ui/uProgress.h"
#include "gui/AnsiText.h"
#include "gui/ErrorBox.h"
#include "gui/FormPlacement.h"
#include "hexview/HexView.h"
#include "script/ScriptExport.h"
#include "script/ScriptText.h"
#include "script/ScriptsIni.h"
#include "script/StepRun.h"
#include "vendor/Modules.h"

namespace qm {
namespace {

// The status pictures: a green tick (passed), a red cross (failed), a grey
// dash (not run).
QIcon StatusIcon(int index) {
    QPixmap p(16, 16);
    p.fill(Qt::transparent);
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    const QColor fill = index == kIconPassed   ? QColor(40, 160, 60)
                        : index == kIconFailed ? QColor(210, 40, 40)
                                               : QColor(150, 150, 150);
    g.setPen(QPen(fill.darker(140), 1));
    g.setBrush(fill);
    g.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    g.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    if (index == kIconPassed) {
        g.drawPolyline(QPolygonF({QPointF(4.5, 8.5), QPointF(7, 11), QPointF(11.5, 5.5)}));
    } else if (index == kIconFailed) {
        g.drawLine(QPointF(5.5, 5.5), QPointF(10.5, 10.5));
        g.drawLine(QPointF(10.5, 5.5), QPointF(5.5, 10.5));
    } else {
        g.drawLine(QPointF(5, 8), QPointF(11, 8));
    }
    return QIcon(p);
}

QByteArray Bytes(const StepRecord& r) {
    return QByteArray(reinterpret_cast<const char*>(r.data()), static_cast<qsizetype>(r.size()));
}

}  // namespace

ScriptListModel::ScriptListModel(ScriptEditor& editor, QObject* parent)
    : QAbstractTableModel(parent), editor_(editor) {
    for (int i : {kIconPassed, kIconFailed, kIconNotRun})
        icons_[static_cast<size_t>(i)] = StatusIcon(i);
}

int ScriptListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(editor_.steps.size());
}

int ScriptListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant ScriptListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(editor_.steps.size())) return {};
    const ScriptStep& s = editor_.steps[static_cast<size_t>(index.row())];
    switch (role) {
        case Qt::DisplayRole:
            return FromAnsi(index.column() == 0 ? s.caption : s.description);
        case Qt::DecorationRole:
            if (index.column() == 0 && s.icon > 0) return icons_[static_cast<size_t>(s.icon)];
            return {};
        case Qt::ForegroundRole: {
            const StepColour c = ScriptRowColour(s.caption, s.record);
            if (c == StepColour::Default) return {};
            const Rgb rgb = StepColourRgb(c);
            return QColor(rgb.r, rgb.g, rgb.b);
        }
        default:
            return {};
    }
}

QVariant ScriptListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    return section == 0 ? QStringLiteral("ID") : QStringLiteral("Description");
}

void ScriptListModel::Reset() {
    beginResetModel();
    endResetModel();
}

void ScriptListModel::RowChanged(int row) {
    if (row < 0 || row >= rowCount()) return;
    emit dataChanged(index(row, 0), index(row, 1));
}

TfmScript::TfmScript(Workbench& wb, FormPlacement* placement, ProgressMonitor* progress,
                     QWidget* parent)
    : QWidget(parent, Qt::Window), wb_(wb), progress_(progress), editor_(wb) {
    setObjectName(QStringLiteral("fmScript"));
    setWindowTitle(QStringLiteral("Self Scan Script"));
    setMinimumSize(kMinWidth, kMinHeight);
    setAcceptDrops(true);

    cbModId = new QComboBox(this);
    cbModId->setObjectName(QStringLiteral("cbModId"));
    cbModId->setEditable(true);
    cbModId->addItems({QStringLiteral("28"), QStringLiteral("3B"), QStringLiteral("3C"),
                       QStringLiteral("3D"), QStringLiteral("3E"), QStringLiteral("3F")});
    cbModId->setToolTip(QStringLiteral("Select PST Sequence Table"));
    cbModId->setMinimumContentsLength(5);

    auto button = [this](const char* name, const QString& caption, const char* hint,
                         void (TfmScript::*handler)()) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        if (hint) b->setToolTip(QString::fromLatin1(hint));
        b->setAutoDefault(false);
        if (handler) connect(b, &QPushButton::clicked, this, handler);
        return b;
    };
    btRead = button("btRead", QStringLiteral("Read"), nullptr, &TfmScript::btReadClick);
    btWrite = button("btWrite", QStringLiteral("Write"), nullptr, &TfmScript::btWriteClick);
    btUp = button("btUp", QString(), "Move Up", &TfmScript::btUpClick);
    btUp->setIcon(style()->standardIcon(QStyle::SP_ArrowUp));
    btDown = button("btDown", QString(), "Move Down", &TfmScript::btDownClick);
    btDown->setIcon(style()->standardIcon(QStyle::SP_ArrowDown));
    btRun = button("btRun", QStringLiteral("Run"), nullptr, &TfmScript::btRunClick);
    btTrx = button("btTrx", QStringLiteral("to TREX"), nullptr, &TfmScript::ExporttoTRX1Click);
    btWriteToIni = button("btWriteToIni", QString(), "Write to INI current Test",
                          &TfmScript::btWriteToIniClick);
    btWriteToIni->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));

    cbStep = new QCheckBox(QStringLiteral("Step"), this);
    cbStep->setObjectName(QStringLiteral("cbStep"));
    cbStep->setToolTip(QStringLiteral("Correct GoTo Steps"));
    cbStep->setChecked(true);

    cbFamily = new QComboBox(this);
    cbFamily->setObjectName(QStringLiteral("cbFamily"));
    cbFamily->setEditable(true);
    cbFamily->setEditText(QStringLiteral("Work"));
    cbFamily->setMinimumContentsLength(10);
    connect(cbFamily, &QComboBox::currentTextChanged, this, &TfmScript::cbFamilyChange);
    cbCustom = new QComboBox(this);
    cbCustom->setObjectName(QStringLiteral("cbCustom"));
    cbCustom->setEditable(true);
    cbCustom->setEditText(QStringLiteral("Test Description"));
    cbCustom->setMaxVisibleItems(16);
    cbCustom->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cbCustom->setMinimumContentsLength(20);

    edStatus = new QLineEdit(this);
    edStatus->setObjectName(QStringLiteral("edStatus"));
    edStatus->setReadOnly(true);
    auto* lbStatus = new QLabel(QStringLiteral("Status"), this);
    lbStatus->setBuddy(edStatus);

    model_ = new ScriptListModel(editor_, this);
    lvScript = new QTableView(this);
    lvScript->setObjectName(QStringLiteral("lvScript"));
    lvScript->setModel(model_);
    lvScript->setShowGrid(true);
    lvScript->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvScript->setSelectionMode(QAbstractItemView::SingleSelection);
    lvScript->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvScript->setWordWrap(false);
    lvScript->setTabKeyNavigation(false);
    lvScript->verticalHeader()->hide();
    lvScript->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    lvScript->verticalHeader()->setDefaultSectionSize(18);
    lvScript->horizontalHeader()->setHighlightSections(false);
    lvScript->horizontalHeader()->setStretchLastSection(true);
    lvScript->setColumnWidth(0, 60);
    QPalette pal = lvScript->palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight,
                 pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                 pal.color(QPalette::Active, QPalette::HighlightedText));
    lvScript->setPalette(pal);
    connect(lvScript->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { lvScriptChange(current.row()); });

    heScript = new HexView(this);
    heScript->setObjectName(QStringLiteral("heScript"));
    heScript->setFixedSize(true);
    heScript->setLoadDroppedFiles(false);
    connect(heScript, &HexView::bytesChanged, this, [this] { heScriptChange(); });
    connect(heScript, &HexView::fileDropped, this, &TfmScript::DropFile);

    // The list's commands. Each shortcut belongs to the control that has the
    // focus: Ctrl+V clears the step's log in the list and pastes in the pane.
    pmScript = new QMenu(this);
    pmScript->setObjectName(QStringLiteral("pmScript"));
    auto item = [this](QMenu* menu, QWidget* owner, const char* name, const char* caption,
                       const QKeySequence& key, void (TfmScript::*handler)()) {
        QAction* a = menu->addAction(QString::fromLatin1(caption));
        a->setObjectName(QString::fromLatin1(name));
        if (!key.isEmpty()) a->setShortcut(key);
        a->setShortcutContext(Qt::WidgetShortcut);
        owner->addAction(a);
        if (handler)
            connect(a, &QAction::triggered, this, handler);
        else
            a->setEnabled(false);
        return a;
    };
    miArco = item(pmScript, lvScript, "miArco", "Create ARCO Script", {},
                  &TfmScript::CreateArcoScript1Click);
    miFromE6 = item(pmScript, lvScript, "miFromE6", "Create Selfscan Script from E6", {},
                    &TfmScript::CreateScriptFromE61Click);
    miFromPtm = item(pmScript, lvScript, "miFromPtm", "Create Script from DVT PTM History", {},
                     &TfmScript::CreateScriptFromPtm1Click);
    miFromDir = item(pmScript, lvScript, "miFromDir", "Create DVT Script from DIR", {},
                     &TfmScript::CreateScriptFromDir1Click);
    pmScript->addSeparator();
    miUpgrade = item(pmScript, lvScript, "Upgrade1", "Upgrade Script", QKeySequence("Ctrl+U"),
                     &TfmScript::Upgrade1Click);
    pmScript->addSeparator();
    miClearStepLog = item(pmScript, lvScript, "ClearCurrentStepLog1", "Clear Current Step Log",
                          QKeySequence("Ctrl+V"), &TfmScript::ClearCurrentStepLog1Click);
    miClearScriptLog = item(pmScript, lvScript, "ClearScriptLog1", "Clear Script Log",
                            QKeySequence("Shift+Del"), &TfmScript::ClearScriptLog1Click);
    pmScript->addSeparator();
    miGoodStep = item(pmScript, lvScript, "SetGoodStep1", "Set Good Step to Step_by_Step",
                      QKeySequence("Ctrl+E"), &TfmScript::SetGoodStep1Click);
    miErrorToEnd = item(pmScript, lvScript, "SetErrorStepEnd1", "Set Eror Step to END",
                        QKeySequence("Ctrl+Z"), &TfmScript::SetErrorStepEnd1Click);
    miErrorToStop = item(pmScript, lvScript, "SetErrorStepStop1", "Set Eror Step to STOP",
                         QKeySequence("Ctrl+S"), &TfmScript::SetErrorStepStop1Click);
    pmScript->addSeparator();
    miInsert = item(pmScript, lvScript, "Insert1", "Insert", QKeySequence("Ins"),
                    &TfmScript::Insert1Click);
    miDelete = item(pmScript, lvScript, "Delete1", "Delete", QKeySequence("Del"),
                    &TfmScript::Delete1Click);
    miClear = item(pmScript, lvScript, "Clear1", "Clear", QKeySequence("Ctrl+Del"),
                   &TfmScript::Clear1Click);
    pmScript->addSeparator();
    miImportIni = item(pmScript, lvScript, "ImportfromINI1", "Import from INI", {}, nullptr);
    miExportIni = item(pmScript, lvScript, "ExporttoINI1", "Export to INI", {},
                       &TfmScript::ExporttoINI1Click);
    miExportTrx = item(pmScript, lvScript, "ExporttoTRX1", "Export to TRX", {},
                       &TfmScript::ExporttoTRX1Click);
    lvScript->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lvScript, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { pmScript->popup(lvScript->viewport()->mapToGlobal(pos)); });

    pmHex = new QMenu(this);
    pmHex->setObjectName(QStringLiteral("pmHex"));
    miCopy = item(pmHex, heScript, "Copy1", "Copy", QKeySequence("Ctrl+C"), nullptr);
    miCopy->setEnabled(true);
    connect(miCopy, &QAction::triggered, heScript, &HexView::copy);
    miPaste = item(pmHex, heScript, "Past1", "Past", QKeySequence("Ctrl+V"), nullptr);
    miPaste->setEnabled(true);
    connect(miPaste, &QAction::triggered, heScript, [this] { heScript->paste(); });
    heScript->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(heScript, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { pmHex->popup(heScript->mapToGlobal(pos)); });

    auto* top = new QHBoxLayout;
    top->addWidget(cbModId);
    top->addWidget(btRead);
    top->addWidget(btWrite);
    top->addWidget(cbStep);
    top->addSpacing(8);
    top->addWidget(btUp);
    top->addWidget(btDown);
    top->addSpacing(8);
    top->addWidget(btRun);
    top->addWidget(btTrx);
    top->addStretch(1);
    auto* tests = new QHBoxLayout;
    tests->addWidget(cbFamily);
    tests->addWidget(cbCustom, 1);
    tests->addWidget(btWriteToIni);
    auto* status = new QHBoxLayout;
    status->addWidget(lbStatus);
    status->addWidget(edStatus, 1);
    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(lvScript);
    split->addWidget(heScript);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    split->setChildrenCollapsible(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(4);
    layout->addLayout(top);
    layout->addLayout(tests);
    layout->addLayout(status);
    layout->addWidget(split, 1);

    resize(640, 560);
    if (placement) {
        placement->Track(*this, QStringLiteral("FormScript"));
    } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect r(QPoint(0, 0), size());
        r.moveCenter(screen->availableGeometry().center());
        move(r.topLeft());
    }
}

TfmScript::~TfmScript() = default;

void TfmScript::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Coming back from the task bar is no new showing.
    if (event->spontaneous()) return;
    closing_ = false;
    QTimer::singleShot(0, this, &TfmScript::FormShow);
}

void TfmScript::FormShow() {
    if (!isVisible()) return;
    editor_.ResetForShow();
    QFont bold = lvScript->font();
    bold.setBold(true);
    lvScript->setFont(bold);
    // Built before the module is read: it follows the module parsed last.
    heScript->setToolTip(QString::fromLatin1(ScriptHexHint(wb_.flags.scriptRoyl).c_str()));
    CatchFileErrors(wb_.host, [this] {
        FillFamilies(QString());
        FillTests(cbFamily->currentText());
    });
    btReadClick();
}

void TfmScript::closeEvent(QCloseEvent* event) {
    event->accept();
    setAcceptDrops(false);
    // A module read or write below us stops at its next check; a step run
    // goes on (the monitor follows it). Either way the window goes when the
    // operation returns.
    if (busy_) wb_.link.abort = true;
    if (busy_ || running_) {
        closing_ = true;
        return;
    }
    deleteLater();
}

bool TfmScript::EndOperation() {
    --busy_;
    if (!closing_) return false;
    if (!busy_ && !running_) deleteLater();
    return true;
}

void TfmScript::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TfmScript::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty() || !urls.first().isLocalFile()) return;
    event->acceptProposedAction();
    // Only the first of several files counts; its whole path is used.
    DropFile(urls.first().toLocalFile());
}

void TfmScript::Message(const std::string& text) {
    wb_.host.MessageBox(text);
}

template <class Body>
void TfmScript::Command(Body&& body) {
    CatchFileErrors(wb_.host, std::forward<Body>(body));
    Refresh();
}

void TfmScript::Refresh() {
    refreshing_ = true;
    model_->Reset();
    if (editor_.selected >= 0) {
        const QModelIndex index = model_->index(editor_.selected, 0);
        lvScript->selectionModel()->setCurrentIndex(
            index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        lvScript->scrollTo(index);
    }
    refreshing_ = false;
    ShowSelected();
}

void TfmScript::ShowSelected() {
    const int row = editor_.selected;
    loading_ = true;
    if (row < 0) {
        heScript->loadData(QByteArray());
    } else {
        const ScriptStep& s = editor_.steps[static_cast<size_t>(row)];
        heScript->loadData(Bytes(s.record));
        cbCustom->setEditText(FromAnsi(StepDescription(wb_, s.TestId())));
        edStatus->setText(FromAnsi(
            StepStatusText(wb_, StepU16(s.record, LayoutInfo(editor_.layout).errorCodeOffset))));
        setWindowTitle(FromAnsi(editor_.RowCaption()));
    }
    loading_ = false;
}

void TfmScript::lvScriptChange(int row) {
    if (refreshing_) return;
    editor_.Select(row);
    ShowSelected();
}

void TfmScript::heScriptChange() {
    if (loading_ || editor_.selected < 0) return;
    const QByteArray bytes = heScript->data();
    editor_.PatchRecord(
        editor_.selected,
        StepRecord(reinterpret_cast<const uint8_t*>(bytes.constData()),
                   reinterpret_cast<const uint8_t*>(bytes.constData()) + bytes.size()));
    model_->RowChanged(editor_.selected);
}

void TfmScript::btReadClick() {
    if (busy_ || running_ || closing_) return;
    editor_.selector = ToAnsi(cbModId->currentText());
    const uint64_t id = SelectorModuleId(editor_.selector);
    if (id > 0xFFFF) {
        Message(Format("Module id %s is not a module id (four hex digits at most)",
                       editor_.selector.c_str()));
        return;
    }
    const uint16_t module = static_cast<uint16_t>(id);
    editor_.buffer.clear();
    bool read = false;
    ++busy_;
    wb_.link.abort = false;
    CatchFileErrors(wb_.host, [&] {
        wb_.openDialog.filter = Format("Module %.2X|*%.2X*.rpm|All|*.*", module, module);
        read = ReadModuleOrFile(wb_, module, editor_.buffer);
    });
    wb_.openDialog.filter.clear();
    wb_.openDialog.fileName.clear();
    if (EndOperation()) return;
    if (!read) {
        editor_.buffer.clear();
        if (!wb_.host.ShiftDown())
            wb_.host.Log(Format("Self Scan Script: module %04X could not be read", module));
        return;
    }
    lvScript->setFocus();
    std::string why;
    const bool parsed = editor_.Parse(why) == ParseOutcome::Parsed;
    Refresh();
    if (!parsed) {
        Message(why);
        return;
    }
    lvScript->resizeColumnToContents(0);
    if (lvScript->columnWidth(0) < 60) lvScript->setColumnWidth(0, 60);
    setWindowTitle(FromAnsi(editor_.Caption()));
}

void TfmScript::btWriteClick() {
    if (busy_ || running_ || closing_) return;
    editor_.selector = ToAnsi(cbModId->currentText());
    WriteOutcome outcome = WriteOutcome::Nothing;
    std::string message;
    ++busy_;
    wb_.link.abort = false;
    CatchFileErrors(wb_.host, [&] { outcome = editor_.Write(cbStep->isChecked(), message); });
    if (EndOperation()) return;
    Refresh();
    if (outcome == WriteOutcome::Refused || outcome == WriteOutcome::Failed) Message(message);
}

void TfmScript::btDownClick() {
    editor_.MoveDown();
    Refresh();
}

void TfmScript::btUpClick() {
    editor_.MoveUp();
    Refresh();
}

void TfmScript::btRunClick() {
    // One run at a time: a second click while the monitor follows the first
    // would send another test key in the middle of it.
    if (busy_ || running_ || closing_ || editor_.selected < 0) return;
    running_ = true;
    wb_.link.abort = false;
    btRun->setEnabled(false);
    const StepRecord record = editor_.steps[static_cast<size_t>(editor_.selected)].record;
    Workbench& wb = wb_;
    wb.host.Log(StepRunStartLine(record));
    SendStepRunKey(wb, record);
    if (progress_) {
        progress_->ShowProgress(true);
        progress_->WaitProgress();
    }
    // The main window's log, whatever happened to this window meanwhile.
    wb.host.Log(StepRunEndLine(record));
    running_ = false;
    if (closing_) {
        if (!busy_) deleteLater();
        return;
    }
    btRun->setEnabled(true);
}

void TfmScript::FillFamilies(const QString& keep) {
    filling_ = true;
    cbFamily->clear();
    for (const std::string& f : ScriptFamilies(wb_)) cbFamily->addItem(FromAnsi(f));
    if (!keep.isEmpty())
        cbFamily->setEditText(keep);
    else if (cbFamily->count() > 0)
        cbFamily->setCurrentIndex(0);
    else
        cbFamily->setEditText(QStringLiteral("Work"));
    filling_ = false;
}

void TfmScript::FillTests(const QString& family) {
    const QString text = cbCustom->currentText();
    cbCustom->clear();
    for (const std::string& t : ScriptFamilyTests(wb_, ToAnsi(family)))
        cbCustom->addItem(FromAnsi(t));
    cbCustom->setEditText(text);
}

void TfmScript::cbFamilyChange(const QString& text) {
    if (filling_) return;
    if (text.trimmed().isEmpty()) {
        Message(kNeedNameMessage);
        return;
    }
    CatchFileErrors(wb_.host, [&] { FillTests(text); });
}

void TfmScript::btWriteToIniClick() {
    const QString family = cbFamily->currentText();
    std::string message;
    CatchFileErrors(wb_.host, [&] {
        if (!AddScriptTest(wb_, ToAnsi(family), ToAnsi(cbCustom->currentText()), message)) {
            Message(message);
            return;
        }
        FillFamilies(family);
        FillTests(family);
    });
}

void TfmScript::Upgrade1Click() {
    Command([this] { editor_.Upgrade(); });
}
void TfmScript::ClearCurrentStepLog1Click() {
    editor_.ClearCurrentStepLog();
    model_->RowChanged(editor_.selected);
    ShowSelected();
}
void TfmScript::ClearScriptLog1Click() {
    Command([this] { editor_.ClearScriptLog(); });
}
void TfmScript::SetGoodStep1Click() {
    Command([this] { editor_.SetGotosStepByStep(); });
}
void TfmScript::SetErrorStepEnd1Click() {
    Command([this] { editor_.SetGotosToEnd(); });
}
void TfmScript::SetErrorStepStop1Click() {
    Command([this] { editor_.SetGotosToStop(); });
}
void TfmScript::Insert1Click() {
    Command([this] { editor_.Insert(); });
}
void TfmScript::Delete1Click() {
    Command([this] { editor_.Delete(); });
}
void TfmScript::Clear1Click() {
    Command([this] { editor_.Clear(); });
}

void TfmScript::Generate(ScriptGenerator kind) {
    if (busy_ || running_ || closing_) return;
    GenerateResult result;
    ++busy_;
    wb_.link.abort = false;
    CatchFileErrors(wb_.host,
                    [&] { result = GenerateScript(editor_, kind, WindowGeneratorIo(wb_)); });
    if (EndOperation()) return;
    Refresh();
    if (!result.message.empty()) Message(result.message);
}

void TfmScript::CreateArcoScript1Click() {
    Generate(ScriptGenerator::Arco);
}
void TfmScript::CreateScriptFromE61Click() {
    Generate(ScriptGenerator::E6);
}
void TfmScript::CreateScriptFromPtm1Click() {
    Generate(ScriptGenerator::PtmHistory);
}
void TfmScript::CreateScriptFromDir1Click() {
    Generate(ScriptGenerator::Dir);
}

void TfmScript::ExporttoINI1Click() {
    CatchFileErrors(wb_.host, [this] { ExportScript(editor_, ScriptExportKind::Ini); });
}
void TfmScript::ExporttoTRX1Click() {
    CatchFileErrors(wb_.host, [this] { ExportScript(editor_, ScriptExportKind::Trx); });
}

void TfmScript::DropFile(const QString& path) {
    if (busy_ || running_ || closing_) return;
    ImportReport report;
    std::string why;
    DropOutcome outcome = DropOutcome::Nothing;
    const ModuleImage templ = ScriptTemplateModule();
    CatchFileErrors(wb_.host, [&] {
        outcome = DropScriptFile(editor_, ToLocalPath(path), &templ, report, why);
    });
    if (outcome == DropOutcome::Nothing) return;
    Refresh();
    lvScript->resizeColumnToContents(0);
    if (lvScript->columnWidth(0) < 60) lvScript->setColumnWidth(0, 60);
    if (outcome == DropOutcome::Module) setWindowTitle(FromAnsi(editor_.Caption()));
    if (outcome == DropOutcome::Refused) Message(why);
    if (!report.problems.empty()) {
        std::string text;
        for (size_t i = 0; i < report.problems.size() && i < 20; ++i)
            text += (i ? "\n" : "") + report.problems[i];
        if (report.problems.size() > 20)
            text += Format("\n... and %zu more", report.problems.size() - 20);
        Message(text);
    }
}

}  // namespace qm
