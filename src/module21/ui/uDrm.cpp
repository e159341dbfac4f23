#include "module21/ui/uDrm.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDialog>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QResizeEvent>
#include <QShowEvent>
#include <QSplitter>
#include <QStyle>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include "common/Files.h"
#include "common/Format.h"
#include "common/Workbench.h"
#include "gui/AnsiText.h"
#include "gui/ErrorBox.h"
#include "gui/FormPlacement.h"
#include "hexview/HexView.h"
#include "module21/ui/ufind.h"
#include "module21/ui/ureplace.h"
#include "vendor/Modules.h"

#ifndef QM_VERSION
#define QM_VERSION "0.0.0"
#endif

namespace qm {
namespace {

struct ColumnDef {
    const char* caption;
    int width;  // 0: the rest of the list
    Qt::Alignment align;
};

constexpr int kColumns = 8;
constexpr int kFlagsColumn = 7;
constexpr ColumnDef kColumnDefs[kColumns] = {
    {"ID", 60, Qt::AlignLeft},      {"Name", 0, Qt::AlignLeft},     {"Value", 45, Qt::AlignRight},
    {"Worst", 45, Qt::AlignRight},  {"Thresh", 45, Qt::AlignRight}, {"RAW", 150, Qt::AlignRight},
    {"Health", 110, Qt::AlignLeft}, {"Flags", 102, Qt::AlignLeft},
};

constexpr const char* kEntryRuler = "ID -FLG- VL WR ---------RAW--------";
constexpr const char* kEntryRulerHint =
    "ID - attribute number\nFLG - flags\nVL - current value\nWR - worst value\nTH - "
    "threshold\nRAW - raw value";
constexpr const char* kWarrantyPage = "https://support-en.wd.com/app/warrantystatusweb";

// The program's version as major.minor.release.build.
QString FileVersion() {
    QStringList parts = QString::fromLatin1(QM_VERSION).split(u'.');
    while (parts.size() < 4) parts << QStringLiteral("0");
    return parts.mid(0, 4).join(u'.');
}

// The about box; its hint is shown in a message when it is double-clicked.
class AboutBox : public QDialog {
  public:
    AboutBox(QWidget* parent, Host& host, const std::string& osText)
        : QDialog(parent), host_(host) {
        setObjectName(QStringLiteral("AboutBox"));
        setWindowTitle(QStringLiteral("About Quillmark - ") + FromAnsi(osText));
        setToolTip(QStringLiteral("Module 21 Editor: sections, attributes, find and replace"));
        auto* image = new QLabel(this);
        image->setObjectName(QStringLiteral("imLogo"));
        image->setPixmap(style()->standardIcon(QStyle::SP_DriveHDIcon).pixmap(64, 64));
        auto* title =
            new QLabel(QStringLiteral("Quillmark Module 21 Editor ") + FileVersion(), this);
        title->setObjectName(QStringLiteral("laVersion"));
        QFont bold = title->font();
        bold.setBold(true);
        title->setFont(bold);
        auto* text = new QLabel(
            QStringLiteral("A service workbench for Western Digital hard drives."), this);
        auto* ok = new QPushButton(QStringLiteral("OK"), this);
        ok->setObjectName(QStringLiteral("btOK"));
        ok->setDefault(true);
        auto* warranty = new QPushButton(QStringLiteral("Warranty"), this);
        warranty->setObjectName(QStringLiteral("btWarranty"));
        warranty->setToolTip(QStringLiteral("WDC Warranty Check for End User"));
        connect(ok, &QPushButton::clicked, this, &QDialog::accept);
        connect(warranty, &QPushButton::clicked, this,
                [] { QDesktopServices::openUrl(QUrl(QString::fromLatin1(kWarrantyPage))); });
        auto* grid = new QGridLayout(this);
        grid->addWidget(image, 0, 0, 2, 1);
        grid->addWidget(title, 0, 1);
        grid->addWidget(text, 1, 1);
        auto* buttons = new QHBoxLayout;
        buttons->addStretch();
        buttons->addWidget(warranty);
        buttons->addWidget(ok);
        grid->addLayout(buttons, 2, 0, 1, 2);
    }

  protected:
    void mouseDoubleClickEvent(QMouseEvent*) override { host_.MessageBox(ToAnsi(toolTip())); }

  private:
    Host& host_;
};

QTableWidgetItem* Cell(const std::string& text, int column) {
    auto* cell = new QTableWidgetItem(FromAnsi(text));
    cell->setTextAlignment(kColumnDefs[column].align | Qt::AlignVCenter);
    cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return cell;
}

}  // namespace

TfmDrm::TfmDrm(Workbench& wb, FormPlacement* placement, QWidget* parent, std::string osText)
    : QWidget(parent, Qt::Window), wb_(wb), osText_(std::move(osText)) {
    setObjectName(QStringLiteral("fmDrm"));
    setWindowTitle(QStringLiteral("Module 21 Editor"));
    QFont font;
    // Tahoma, or the nearest narrow face this system has: the column widths
    // are made for its metrics.
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("Arial"), QStringLiteral("DejaVu Sans Condensed")});
    font.setPixelSize(16);
    setFont(font);

    pcDrm = new QTabWidget(this);
    pcDrm->setObjectName(QStringLiteral("pcDrm"));
    BuildHexTab();
    BuildAttributesTab();
    pcDrm->setCurrentWidget(tsAttributes);

    la1 = new QLabel(this);
    la1->setObjectName(QStringLiteral("la1"));
    btOpen2 = new QPushButton(QStringLiteral("Read"), this);
    btOpen2->setObjectName(QStringLiteral("btOpen2"));
    btSave2 = new QPushButton(QStringLiteral("Write"), this);
    btSave2->setObjectName(QStringLiteral("btSave2"));
    btSave2->setEnabled(false);
    connect(btOpen2, &QPushButton::clicked, this, &TfmDrm::btOpen2Click);
    connect(btSave2, &QPushButton::clicked, this, &TfmDrm::btSave2Click);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(la1, 1);
    bottom->addWidget(btOpen2);
    bottom->addWidget(btSave2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pcDrm, 1);
    layout->addLayout(bottom);

    // Dropped files are taken from creation until the window is destroyed.
    setAcceptDrops(true);

    resize(kWidth, kHeight);
    if (placement) placement->Track(*this, QStringLiteral("FormDrm"));
}

TfmDrm::~TfmDrm() = default;

void TfmDrm::BuildHexTab() {
    tsHex = new QWidget;
    tsHex->setObjectName(QStringLiteral("tsHex"));
    heData = new HexView(tsHex);
    heData->setObjectName(QStringLiteral("heData"));
    heData->setRulerVisible(true);
    // A dropped file is the module's business, not the pane's.
    heData->setLoadDroppedFiles(false);
    connect(heData, &HexView::fileDropped, this, &TfmDrm::WMDropFiles);

    cbSections = new QComboBox(tsHex);
    cbSections->setObjectName(QStringLiteral("cbSections"));
    cbSections->setPlaceholderText(QStringLiteral("Select Section"));
    cbSections->setEnabled(false);
    cbSub = new QComboBox(tsHex);
    cbSub->setObjectName(QStringLiteral("cbSub"));
    cbSub->setPlaceholderText(QStringLiteral("Sub Section"));
    cbSub->setEnabled(false);
    connect(cbSections, &QComboBox::currentIndexChanged, this, [this] {
        if (!filling_) cbSectionsChange();
    });
    connect(cbSub, &QComboBox::currentIndexChanged, this, [this] {
        if (!filling_) cbSubChange();
    });

    pmHex = new QMenu(this);
    pmHex->setObjectName(QStringLiteral("pmHex"));
    auto item = [&](const char* name, const char* caption, const QKeySequence& key,
                    void (TfmDrm::*handler)(), bool inMenu = true) {
        auto* a = new QAction(QString::fromLatin1(caption), this);
        a->setObjectName(QString::fromLatin1(name));
        if (!key.isEmpty()) a->setShortcut(key);
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        tsHex->addAction(a);  // the shortcuts work while the menu is closed
        if (inMenu) pmHex->addAction(a);
        connect(a, &QAction::triggered, this, handler);
        return a;
    };
    miHexCopy = new QAction(QStringLiteral("Copy"), this);
    miHexCopy->setObjectName(QStringLiteral("miHexCopy"));
    miHexCopy->setShortcut(QKeySequence(QStringLiteral("Ctrl+C")));
    miHexCopy->setShortcutContext(Qt::WidgetShortcut);  // the pane takes the key itself
    heData->addAction(miHexCopy);
    pmHex->addAction(miHexCopy);
    connect(miHexCopy, &QAction::triggered, heData, &HexView::copy);
    miPaste = new QAction(QStringLiteral("Paste"), this);
    miPaste->setObjectName(QStringLiteral("miPaste"));
    miPaste->setShortcut(QKeySequence(QStringLiteral("Ctrl+V")));
    miPaste->setShortcutContext(Qt::WidgetShortcut);
    heData->addAction(miPaste);
    pmHex->addAction(miPaste);
    connect(miPaste, &QAction::triggered, heData, [this] { heData->paste(); });
    acEditFind = item("acEditFind", "Find...", QKeySequence(QStringLiteral("Ctrl+F")),
                      &TfmDrm::acEditFindExecute);
    acEditReplace = item("acEditReplace", "Replace...", QKeySequence(QStringLiteral("Ctrl+H")),
                         &TfmDrm::acEditReplaceExecute);
    acFileSaveAs = item("acFileSaveAs", "Save As...", {}, &TfmDrm::acFileSaveAsExecute);
    miLoadFrom = item("miLoadFrom", "Load From...", {}, &TfmDrm::miLoadFromClick);
    // "Find Next" works by its key only, once a search has been entered.
    acEditFindNext = item("acEditFindNext", "Find Next", QKeySequence(QStringLiteral("F3")),
                          &TfmDrm::acEditFindNextExecute, false);
    acEditFindNext->setEnabled(false);
    heData->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(heData, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { pmHex->popup(heData->mapToGlobal(pos)); });

    auto* lists = new QHBoxLayout;
    lists->addWidget(cbSections, 1);
    lists->addWidget(cbSub, 1);
    auto* layout = new QVBoxLayout(tsHex);
    layout->addWidget(heData, 1);
    layout->addLayout(lists);
    pcDrm->addTab(tsHex, QStringLiteral("Hex"));
}

void TfmDrm::BuildAttributesTab() {
    tsAttributes = new QWidget;
    tsAttributes->setObjectName(QStringLiteral("tsAttributes"));
    SmartList = new QTableWidget(0, kColumns, tsAttributes);
    SmartList->setObjectName(QStringLiteral("SmartList"));
    SmartList->setShowGrid(true);
    SmartList->setSelectionBehavior(QAbstractItemView::SelectRows);
    SmartList->setSelectionMode(QAbstractItemView::SingleSelection);
    SmartList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    SmartList->setWordWrap(false);
    SmartList->verticalHeader()->hide();
    SmartList->verticalHeader()->setDefaultSectionSize(20);
    SmartList->horizontalHeader()->setHighlightSections(false);
    for (int c = 0; c < kColumns; ++c) {
        auto* header = new QTableWidgetItem(QString::fromLatin1(kColumnDefs[c].caption));
        header->setTextAlignment(kColumnDefs[c].align | Qt::AlignVCenter);
        SmartList->setHorizontalHeaderItem(c, header);
        if (kColumnDefs[c].width)
            SmartList->setColumnWidth(c, kColumnDefs[c].width);
        else
            SmartList->horizontalHeader()->setSectionResizeMode(c, QHeaderView::Stretch);
    }
    SmartList->horizontalHeaderItem(kFlagsColumn)->setToolTip(FromAnsi(DrmFlagsLegend()));
    connect(SmartList, &QTableWidget::itemChanged, this, &TfmDrm::SmartListItemChanged);
    connect(SmartList, &QTableWidget::itemSelectionChanged, this, &TfmDrm::SmartListChange);

    pmSmart = new QMenu(this);
    pmSmart->setObjectName(QStringLiteral("pmSmart"));
    miCopy = pmSmart->addAction(QStringLiteral("Copy"), this, &TfmDrm::miCopyClick);
    miCopy->setObjectName(QStringLiteral("miCopy"));
    miHexValue = pmSmart->addAction(QStringLiteral("Hex Value"));
    miHexValue->setObjectName(QStringLiteral("miHexValue"));
    miHexValue->setCheckable(true);
    miHexValue->setChecked(true);
    connect(miHexValue, &QAction::triggered, this, &TfmDrm::miHexValueClick);
    pmSmart->addSeparator();
    miAbout = pmSmart->addAction(QStringLiteral("About"), this, &TfmDrm::miAboutClick);
    miAbout->setObjectName(QStringLiteral("miAbout"));
    SmartList->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(SmartList, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { pmSmart->popup(SmartList->viewport()->mapToGlobal(pos)); });

    heAtt = new HexView;
    heAtt->setObjectName(QStringLiteral("heAtt"));
    heAtt->setSingleRow(true);
    heAtt->setRulerVisible(false);
    heAtt->setLoadDroppedFiles(false);
    heAtt->loadData(QByteArray(static_cast<int>(kDrmSlotSize), '\0'));
    heAtt->setFixedSize(true);
    connect(heAtt, &HexView::bytesChanged, this, &TfmDrm::heAttChange);
    laAtt = new QLabel(QString::fromLatin1(kEntryRuler));
    laAtt->setObjectName(QStringLiteral("laAtt"));
    laAtt->setToolTip(QString::fromLatin1(kEntryRulerHint));

    auto* entry = new QWidget;
    auto* entryLayout = new QVBoxLayout(entry);
    entryLayout->setContentsMargins(0, 0, 0, 0);
    entryLayout->addWidget(heAtt);
    entryLayout->addWidget(laAtt);
    entryLayout->addStretch();
    splitter = new QSplitter(Qt::Vertical, tsAttributes);
    splitter->setObjectName(QStringLiteral("splitter"));
    splitter->addWidget(SmartList);
    splitter->addWidget(entry);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 0);
    auto* layout = new QVBoxLayout(tsAttributes);
    layout->addWidget(splitter);
    pcDrm->addTab(tsAttributes, QStringLiteral("Attributes"));
}

// ------------------------------------------------------------------ lifecycle

void TfmDrm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    AlignEntryRuler();
    // Every showing by the program reads the module (coming back from the
    // task bar is no new showing).
    if (!event->spontaneous())
        QTimer::singleShot(0, this, [this] {
            if (isVisible()) btOpen2Click();
        });
}

void TfmDrm::AlignEntryRuler() {
    // The ruler names the twelve bytes of the entry pane: same font, and it
    // starts under the first hex digit.
    laAtt->setFont(heAtt->font());
    // One row of bytes, no taller (a scroll area asks for more by default).
    heAtt->setFixedHeight(heAtt->sizeHint().height());
    const QPoint first =
        heAtt->viewport()->mapTo(laAtt->parentWidget(), heAtt->byteRect(0, false).topLeft());
    laAtt->setContentsMargins(std::max(0, first.x() - laAtt->x()), 0, 0, 0);
}

void TfmDrm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    AlignEntryRuler();
}

void TfmDrm::closeEvent(QCloseEvent* event) {
    // Only hidden: the module, the lists and the records stay.
    wb_.link.abort = true;
    loaded_ = false;
    event->accept();
}

void TfmDrm::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TfmDrm::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty() || !urls.first().isLocalFile()) return;
    event->acceptProposedAction();
    WMDropFiles(urls.first().toLocalFile());
}

// ------------------------------------------------------------------ read, write, drop

void TfmDrm::btOpen2Click() {
    if (busy_) return;
    ++busy_;
    wb_.link.abort = false;
    image_.clear();
    bool ok = false;
    CatchFileErrors(wb_.host, [&] { ok = ReadModuleOrFile(wb_, kDrmModuleId, image_); });
    --busy_;
    if (ok && !image_.empty()) {
        imageValid_ = true;
        OpenHex();
        OpenAtt();
        return;
    }
    // The lists still show the last module, which the empty image no longer
    // holds: nothing may be edited or written until the next good read.
    imageValid_ = false;
    loaded_ = false;
    btSave2->setEnabled(false);
}

void TfmDrm::btSave2Click() {
    if (busy_ || !imageValid_ || image_.empty()) return;
    // The pane goes back over the (sub)section it shows; with no section
    // shown (an empty one chosen) the image is written as it is.
    if (viewValid_) {
        const ByteBlock& pane = heData->model().bytes();
        std::string why;
        if (!CopyPaneToDrmView(image_, view_, pane.data(), pane.size(), false, why)) {
            wb_.host.MessageBox(why);
            return;
        }
    }
    ++busy_;
    std::string message;
    bool ok = false;
    CatchFileErrors(wb_.host, [&] { ok = WriteDrmModule(wb_, image_, message); });
    --busy_;
    if (!ok && !message.empty()) wb_.host.MessageBox(message);
}

void TfmDrm::WMDropFiles(const QString& path) {
    if (busy_ || !QFileInfo::exists(path)) return;
    CatchFileErrors(wb_.host, [&] {
        std::vector<uint8_t> bytes = ReadFileBytesOrThrow(ToLocalPath(path));
        image_ = std::move(bytes);
        imageValid_ = !image_.empty();
        OpenHex();
        OpenAtt();
    });
}

// ------------------------------------------------------------------ sections

void TfmDrm::ParseDirectory() {
    dir_ = ParseDrmDirectory(image_);
    const QString file = QFileInfo(FromLocalPath(openDialog_.fileName)).fileName();
    setWindowTitle(QStringLiteral("Module 21 Editor - ") + file);
    la1->setText(QString::fromLatin1(dir_.label()));
}

void TfmDrm::LogProblems(const std::vector<std::string>& problems) {
    for (const std::string& p : problems) wb_.host.Log("Module 21: " + p);
}

void TfmDrm::OpenHex() {
    filling_ = true;
    cbSections->clear();
    cbSub->clear();
    filling_ = false;
    viewValid_ = false;
    ParseDirectory();
    LogProblems(dir_.problems);
    filling_ = true;
    for (const DrmSection& s : dir_.sections) cbSections->addItem(FromAnsi(s.item));
    filling_ = false;
    if (cbSections->count() == 0) {
        ShowEmptyView(la1->text());
        return;
    }
    filling_ = true;
    cbSections->setCurrentIndex(0);
    filling_ = false;
    cbSectionsChange();
    cbSections->setEnabled(true);
}

void TfmDrm::ShowEmptyView(const QString& status) {
    viewValid_ = false;
    heData->loadData(QByteArray());
    la1->setText(status);
}

void TfmDrm::cbSectionsChange() {
    const int index = cbSections->currentIndex();
    if (index < 0 || static_cast<size_t>(index) >= dir_.sections.size()) return;
    const DrmSection& s = dir_.sections[static_cast<size_t>(index)];
    filling_ = true;
    cbSub->clear();
    filling_ = false;
    cbSub->setEnabled(false);
    section_ = {};
    // An empty section, or one outside the image, shows nothing: the pane
    // must not keep the last view under this section's name.
    if (s.empty()) return ShowEmptyView(QStringLiteral("Section %1 is empty").arg(s.number));
    if (!s.inImage)
        return ShowEmptyView(QStringLiteral("Section %1 leaves the image").arg(s.number));
    section_ = ParseDrmSection(image_.data(), image_.size(), s);
    LogProblems(section_.problems);
    la1->setText(section_.readable
                     ? FromAnsi(section_.label)
                     : FromAnsi(section_.problems.empty() ? std::string() : section_.problems[0]));
    filling_ = true;
    for (const DrmSubsection& sub : section_.subsections)
        cbSub->addItem(QStringLiteral("Subsection %1").arg(sub.index));
    filling_ = false;
    if (cbSub->count() == 0) {
        cbSubChange();
        return;
    }
    filling_ = true;
    cbSub->setCurrentIndex(0);
    filling_ = false;
    cbSub->setEnabled(true);
    cbSubChange();
}

void TfmDrm::cbSubChange() {
    const int index = cbSections->currentIndex();
    if (index < 0 || static_cast<size_t>(index) >= dir_.sections.size()) return;
    const DrmSection& s = dir_.sections[static_cast<size_t>(index)];
    if (!s.usable()) return;
    const int sub = cbSub->isEnabledTo(tsHex) ? cbSub->currentIndex() : -1;
    DrmView view;
    std::string why;
    if (!ResolveDrmView(image_.data(), image_.size(), dir_, s.number, sub, view, why))
        return ShowEmptyView(FromAnsi(why));
    LoadView(view);
}

void TfmDrm::LoadView(const DrmView& view) {
    view_ = view;
    viewValid_ = true;
    heData->setDataSize(0);
    heData->loadData(QByteArray(reinterpret_cast<const char*>(image_.data() + view.offset),
                                static_cast<qsizetype>(view.size)));
}

void TfmDrm::PatchPane(size_t imageOffset, size_t length) {
    if (!viewValid_) return;
    const size_t from = std::max<size_t>(imageOffset, view_.offset);
    const size_t to = std::min<size_t>(imageOffset + length, size_t{view_.offset} + view_.size);
    if (from >= to) return;
    const size_t rel = from - view_.offset;
    const size_t pane = static_cast<size_t>(heData->model().size());
    if (rel >= pane) return;
    const size_t n = std::min(to - from, pane - rel);
    heData->model().write(static_cast<int64_t>(rel), image_.data() + from, n);
}

// ------------------------------------------------------------------ attributes

void TfmDrm::OpenAtt() {
    if (busy_) return;
    ++busy_;
    loaded_ = false;
    table_ = {};
    rows_.clear();
    checked_.clear();
    filling_ = true;
    SmartList->setRowCount(0);
    filling_ = false;
    ParseDirectory();
    const DrmSection* s10 = dir_.Section(kDrmAttributeSection);
    if (!s10 || s10->empty()) {
        --busy_;
        return;
    }
    table_ = LocateDrmAttributes(image_.data(), image_.size(), dir_);
    LogProblems(table_.problems);
    if (!table_.present) {
        --busy_;
        return;
    }
    la1->setText(FromAnsi(table_.label));
    rows_ = DecodeDrmAttributes(table_);
    filling_ = true;
    SmartList->setRowCount(0);
    for (const DrmAttribute& a : rows_) {
        wb_.host.ProcessMessages();
        const DrmRowText t = MakeDrmRowText(a, hexRadix_);
        const int r = SmartList->rowCount();
        SmartList->insertRow(r);
        const std::string* texts[kColumns] = {&t.id,        &t.name, &t.value,  &t.worst,
                                              &t.threshold, &t.raw,  &t.health, &t.flags};
        for (int c = 0; c < kColumns; ++c) SmartList->setItem(r, c, Cell(*texts[c], c));
        QTableWidgetItem* id = SmartList->item(r, 0);
        id->setFlags(id->flags() | Qt::ItemIsUserCheckable);
        id->setCheckState(a.hidden() ? Qt::Unchecked : Qt::Checked);
        checked_.push_back(!a.hidden());
    }
    filling_ = false;
    if (imageValid_) btSave2->setEnabled(true);
    SmartList->resizeRowsToContents();
    loaded_ = imageValid_;
    --busy_;
}

void TfmDrm::SmartListItemChanged(QTableWidgetItem* item) {
    if (filling_ || !loaded_ || !item || item->column() != 0) return;
    const int r = item->row();
    if (r < 0 || static_cast<size_t>(r) >= rows_.size()) return;
    const bool checked = item->checkState() == Qt::Checked;
    if (checked == checked_[static_cast<size_t>(r)]) return;  // not a change of the check box
    checked_[static_cast<size_t>(r)] = checked;
    const DrmAttribute& a = rows_[static_cast<size_t>(r)];
    uint16_t after = 0;
    if (!SetDrmAttributeHidden(image_, table_, a.slot, !checked, nullptr, &after)) return;
    filling_ = true;
    SmartList->item(r, kFlagsColumn)->setText(FromAnsi(DrmFlagsWordText(after)));
    filling_ = false;
    PatchPane(a.slotOffset + 1, 2);
    SmartListChange();
}

void TfmDrm::SmartListChange() {
    const QList<QTableWidgetItem*> selected = SmartList->selectedItems();
    if (selected.isEmpty()) return;
    FillEntryPane(selected.first()->row());
}

void TfmDrm::FillEntryPane(int row) {
    if (row < 0 || static_cast<size_t>(row) >= rows_.size()) return;
    const size_t at = rows_[static_cast<size_t>(row)].slotOffset;
    if (at > image_.size() || image_.size() - at < kDrmSlotSize) return;
    filling_ = true;
    heAtt->setFixedSize(false);
    heAtt->loadData(QByteArray(reinterpret_cast<const char*>(image_.data() + at),
                               static_cast<qsizetype>(kDrmSlotSize)));
    heAtt->setFixedSize(true);
    filling_ = false;
}

void TfmDrm::heAttChange() {
    if (filling_ || !loaded_) return;
    const QList<QTableWidgetItem*> selected = SmartList->selectedItems();
    if (selected.isEmpty()) return;
    const int r = selected.first()->row();
    if (r < 0 || static_cast<size_t>(r) >= rows_.size()) return;
    const ByteBlock& entry = heAtt->model().bytes();
    if (entry.size() != kDrmSlotSize) return;
    const DrmAttribute& a = rows_[static_cast<size_t>(r)];
    if (WriteDrmAttributeEntry(image_, table_, a.slot, entry.data()))
        PatchPane(a.slotOffset, kDrmSlotSize);
}

void TfmDrm::miCopyClick() {
    std::string text;
    for (int r = 0; r < SmartList->rowCount(); ++r) {
        DrmRowText row;
        std::string* cells[kColumns] = {&row.id,        &row.name, &row.value,  &row.worst,
                                        &row.threshold, &row.raw,  &row.health, &row.flags};
        for (int c = 0; c < kColumns; ++c) *cells[c] = ToAnsi(SmartList->item(r, c)->text());
        text += DrmCopyLine(row);
        wb_.host.ProcessMessages();
    }
    QApplication::clipboard()->setText(FromAnsi(text));
}

void TfmDrm::miHexValueClick() {
    hexRadix_ = miHexValue->isChecked();
    OpenAtt();
}

// ------------------------------------------------------------------ files

std::string TfmDrm::ProposedSectionFile() const {
    return Trim(ToAnsi(cbSections->currentText())) + ".bin";
}

void TfmDrm::acFileSaveAsExecute() {
    saveDialog_.fileName = ProposedSectionFile();
    if (!wb_.host.RunSaveDialog(saveDialog_)) return;
    const std::string path = saveDialog_.fileName;
    CatchFileErrors(wb_.host, [&] {
        WriteFileAtomicOrThrow(path, heData->model().bytes());
        heData->markUnmodified();
    });
}

void TfmDrm::miLoadFromClick() {
    // The proposal stays in the dialog even when it is cancelled (the
    // caption shows it from the next parse on).
    openDialog_.fileName = ProposedSectionFile();
    if (!wb_.host.RunOpenDialog(openDialog_)) return;
    const std::string path = openDialog_.fileName;
    CatchFileErrors(wb_.host, [&] {
        const std::vector<uint8_t> bytes = ReadFileBytesOrThrow(path);
        heData->loadData(QByteArray(reinterpret_cast<const char*>(bytes.data()),
                                    static_cast<qsizetype>(bytes.size())));
    });
}

void TfmDrm::miAboutClick() {
    if (runAboutBox) return runAboutBox();
    AboutBox box(this, wb_.host, osText_);
    box.exec();
}

// ------------------------------------------------------------------ find and replace

void TfmDrm::ReportSearch(const SearchResult& r) {
    if (r.outcome == SearchOutcome::NoMatch) wb_.host.MessageBox(kNoMatchText);
    if (r.outcome == SearchOutcome::UnitError) wb_.host.ErrorBox(kSearchUnitText);
}

void TfmDrm::acEditFindExecute() {
    FindDialogFields f = FindDialogIn(find_);
    bool ok = false;
    if (runFindDialog) {
        ok = runFindDialog(f);
    } else {
        TdlgFind dlg(this);
        dlg.SetFields(f);
        ok = dlg.exec() == QDialog::Accepted;
        if (ok) f = dlg.Fields();
    }
    if (!ok) return;
    FindDialogOut(find_, f);
    if (!PrepareFind(find_, heData->model())) return;
    acEditFindNext->setEnabled(true);
    acEditFindNextExecute();
}

void TfmDrm::acEditFindNextExecute() {
    ReportSearch(FindNext(heData->model(), find_));
}

void TfmDrm::acEditReplaceExecute() {
    ReplaceDialogFields f = ReplaceDialogIn(replace_);
    bool ok = false;
    if (runReplaceDialog) {
        ok = runReplaceDialog(f);
    } else {
        TdlgReplace dlg(this);
        dlg.SetFields(f);
        ok = dlg.exec() == QDialog::Accepted;
        if (ok) f = dlg.Fields();
    }
    if (!ok) return;
    ReplaceDialogOut(replace_, f);
    const ReplaceResult r = RunReplace(heData->model(), replace_);
    switch (r.outcome) {
        case ReplaceOutcome::Replaced:
            if (replace_.replaceAll) wb_.host.MessageBox(r.message);
            break;
        case ReplaceOutcome::NoMatch:
            wb_.host.ErrorBox(kNoMatchText);
            break;
        case ReplaceOutcome::UnitError:
        case ReplaceOutcome::Refused:
            wb_.host.ErrorBox(r.message);
            break;
    }
}

}  // namespace qm
