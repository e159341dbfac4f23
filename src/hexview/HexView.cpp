#include "hexview/HexView.h"

#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QScrollBar>
#include <algorithm>
#include <array>

#include "common/Cp1252.h"

namespace qm {

namespace {

const QColor kChangedText(128, 0, 0);      // maroon
const QColor kChangedBack(255, 255, 168);  // light yellow
const QColor kOffsetText(0, 0, 128);       // navy
const QColor kRulerBack(232, 232, 232);
const QColor kRulerText(80, 80, 80);

// Unicode of each code page 1252 byte, and the inverse for typing and pasting.
const std::array<char16_t, 256>& Cp1252Table() {
    static const std::array<char16_t, 256> t = [] {
        std::array<char16_t, 256> a{};
        for (int i = 0; i < 256; ++i) a[i] = HexModel::toUnicode(static_cast<uint8_t>(i));
        return a;
    }();
    return t;
}

int Cp1252Byte(char16_t u) {
    return UnicodeToCp1252(u);
}

bool Printable(uint8_t c) {
    if (c < 0x20 || c == 0x7F) return false;
    return Cp1252Assigned(c);
}

// Two hex digits per byte, plain and nibble-swapped, built once.
const QString& HexCell(uint8_t b, bool swapped) {
    static const std::array<QString, 512> cells = [] {
        std::array<QString, 512> a;
        const char* d = "0123456789ABCDEF";
        for (int i = 0; i < 256; ++i) {
            a[i] = QString(QChar(d[i >> 4])) + QChar(d[i & 15]);
            a[256 + i] = QString(QChar(d[i & 15])) + QChar(d[i >> 4]);
        }
        return a;
    }();
    return cells[(swapped ? 256 : 0) + b];
}

const QString& CharCell(uint8_t c) {
    static const std::array<QString, 256> cells = [] {
        std::array<QString, 256> a;
        for (int i = 0; i < 256; ++i)
            a[i] = Printable(static_cast<uint8_t>(i))
                       ? QString(QChar(HexModel::toUnicode(static_cast<uint8_t>(i))))
                       : QStringLiteral(".");
        return a;
    }();
    return cells[c];
}

bool DefaultPrintDialog(QPrinter& printer, QWidget* parent) {
    QPrintDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace

// ---------------------------------------------------------------- setup

HexView::HexView(QWidget* parent) : QAbstractScrollArea(parent) {
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setFocusPolicy(Qt::StrongFocus);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setAutoFillBackground(true);
    QPalette pal = viewport()->palette();
    pal.setColor(QPalette::Base, Qt::white);
    pal.setColor(QPalette::Text, Qt::black);
    viewport()->setPalette(pal);
    printDialog_ = DefaultPrintDialog;
    model_.setChangeListener([this](const HexChange& c) { onModelChange(c); });
    model_.setCaretListener([this] { onModelCaret(); });
    relayout();
}

HexView::~HexView() {
    model_.setChangeListener(nullptr);
    model_.setCaretListener(nullptr);
}

int HexView::Layout::cellX(int col) const {
    return col * 2 * charW + (col / unit) * unitGap;
}

HexView::Layout HexView::layoutFor(const QFont& font, QPaintDevice* device, bool withRuler) const {
    Layout L;
    QFontMetrics fm(font, device);
    L.charW = std::max(1, fm.horizontalAdvance(QLatin1Char('0')));
    L.lineH = fm.height() + 2;
    L.ascent = fm.ascent() + 1;
    L.margin = L.charW / 2;
    L.unit = model_.bytesPerUnit();
    L.unitGap = L.charW;
    int digits = 1;
    for (qint64 v = std::max<qint64>(model_.size(), 1); v > 15; v >>= 4) ++digits;
    L.offsetDigits = std::max(8, digits);
    const int bpr = bytesPerRow();
    L.offsetX = L.margin;
    L.hexX = L.offsetX + (2 + L.offsetDigits) * L.charW + 2 * L.charW;
    L.charX = L.hexX + L.cellX(bpr - 1) + 2 * L.charW + 2 * L.charW;
    L.width = L.charX + bpr * L.charW + L.charW;
    L.rulerH = withRuler ? L.lineH + 2 : 0;
    return L;
}

void HexView::relayout() {
    layout_ = layoutFor(font(), viewport(), ruler_);
    updateScrollBars();
    updateGeometry();
    viewport()->update();
}

qint64 HexView::rowCount() const {
    // A block that can grow keeps a caret place after its last byte.
    const qint64 places = model_.size() + (model_.fixedSize() ? 0 : 1);
    return std::max<qint64>(1, (places + bytesPerRow() - 1) / bytesPerRow());
}

int HexView::visibleRows() const {
    return std::max(1, (viewport()->height() - layout_.rulerH) / layout_.lineH);
}

qint64 HexView::topRow() const {
    return verticalScrollBar()->value();
}

void HexView::updateScrollBars() {
    const int vis = visibleRows();
    const qint64 maxTop = std::max<qint64>(0, rowCount() - (singleRow_ ? 1 : vis));
    verticalScrollBar()->setRange(0, static_cast<int>(std::min<qint64>(maxTop, INT_MAX)));
    verticalScrollBar()->setPageStep(vis);
    verticalScrollBar()->setSingleStep(1);
    horizontalScrollBar()->setRange(0, std::max(0, layout_.width - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setSingleStep(layout_.charW);
}

QSize HexView::sizeHint() const {
    const int frame = 2 * frameWidth();
    const int rows = singleRow_ ? 1 : 16;
    int w = layout_.width + frame;
    if (!singleRow_) w += verticalScrollBar()->sizeHint().width();
    return QSize(w, layout_.rulerH + rows * layout_.lineH + frame);
}

QRect HexView::byteRect(qint64 pos, bool charColumn) const {
    const qint64 row = pos / bytesPerRow() - topRow();
    const int col = static_cast<int>(pos % bytesPerRow());
    const int y = layout_.rulerH + static_cast<int>(row) * layout_.lineH;
    const int x =
        (charColumn ? layout_.charX + col * layout_.charW : layout_.hexX + layout_.cellX(col)) -
        horizontalScrollBar()->value();
    return QRect(x, y, charColumn ? layout_.charW : 2 * layout_.charW, layout_.lineH);
}

// ---------------------------------------------------------------- modes

void HexView::setFixedSize(bool on) {
    model_.setFixedSize(on);
    if (on) insertMode_ = false;
    if (on && model_.caret() >= model_.size()) model_.setCursorPosition(model_.caret());
    relayout();
}

void HexView::setSingleRow(bool on) {
    singleRow_ = on;
    const auto policy = on ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded;
    setVerticalScrollBarPolicy(policy);
    setHorizontalScrollBarPolicy(policy);
    setSizePolicy(QSizePolicy::Preferred, on ? QSizePolicy::Fixed : QSizePolicy::Expanding);
    relayout();
    ensureCaretVisible();
}

void HexView::setInsertMode(bool on) {
    insertMode_ = on && !model_.fixedSize();
    viewport()->update();
}

void HexView::setRulerVisible(bool on) {
    ruler_ = on;
    relayout();
}

bool HexView::setBytesPerUnit(int n) {
    if (!check(model_.setBytesPerUnit(n))) return false;
    relayout();
    return true;
}

void HexView::setUnicode(bool on) {
    model_.setUnicode(on);
    viewport()->update();
}

void HexView::setSwapNibbles(bool on) {
    model_.setSwapNibbles(on);
    viewport()->update();
}

// ---------------------------------------------------------------- content

void HexView::loadData(const QByteArray& bytes) {
    model_.load(reinterpret_cast<const uint8_t*>(bytes.constData()),
                static_cast<size_t>(bytes.size()));
}

QByteArray HexView::data() const {
    return QByteArray(reinterpret_cast<const char*>(model_.data()),
                      static_cast<qsizetype>(model_.size()));
}

bool HexView::loadFile(const QString& path) {
    return check(model_.loadFile(path.toStdString()));
}

bool HexView::saveFile(const QString& path) {
    return check(model_.saveFile(path.toStdString()));
}

bool HexView::setDataSize(qint64 size) {
    return check(model_.setDataSize(size));
}

QByteArray HexView::saveData() {
    const QByteArray bytes = data();
    markUnmodified();
    return bytes;
}

void HexView::markUnmodified() {
    model_.markUnmodified();
    if (lastModified_) {
        lastModified_ = false;
        emit modifiedChanged(false);
    }
}

bool HexView::check(bool ok) {
    if (!ok) {
        lastError_ = QString::fromStdString(model_.lastError());
        emit refused(lastError_);
    }
    return ok;
}

// ---------------------------------------------------------------- caret

void HexView::setCursorPosition(qint64 pos) {
    model_.setCursorPosition(pos);
}
void HexView::setSelectionStart(qint64 pos) {
    model_.setSelectionStart(pos);
}
void HexView::setSelectionEnd(qint64 pos) {
    model_.setSelectionEnd(pos);
}
void HexView::selectAll() {
    model_.selectAll();
}

void HexView::setCharColumnActive(bool on) {
    inChars_ = on;
    nibble_ = 0;
    viewport()->update();
}

void HexView::moveTo(qint64 pos, bool extend) {
    model_.moveCaret(pos, extend);
}

void HexView::ensureCaretVisible() {
    const qint64 row = model_.caret() / bytesPerRow();
    const qint64 top = topRow();
    const int vis = singleRow_ ? 1 : visibleRows();
    if (row < top)
        verticalScrollBar()->setValue(static_cast<int>(row));
    else if (row >= top + vis)
        verticalScrollBar()->setValue(static_cast<int>(row - vis + 1));
    const QRect r = byteRect(model_.caret(), inChars_);
    if (r.left() < 0)
        horizontalScrollBar()->setValue(horizontalScrollBar()->value() + r.left());
    else if (r.right() > viewport()->width())
        horizontalScrollBar()->setValue(horizontalScrollBar()->value() + r.right() -
                                        viewport()->width() + layout_.charW);
}

void HexView::onModelChange(const HexChange& c) {
    // The offset column widens when the block passes a power of 16.
    Layout L = layoutFor(font(), viewport(), ruler_);
    if (L.offsetDigits != layout_.offsetDigits)
        relayout();
    else
        updateScrollBars();
    viewport()->update();
    if (!c.marksOnly) emit bytesChanged(c.pos, c.removed, c.inserted);
    if (model_.isModified() != lastModified_) {
        lastModified_ = model_.isModified();
        emit modifiedChanged(lastModified_);
    }
}

void HexView::onModelCaret() {
    nibble_ = 0;
    pastEnd_ = false;
    amendable_ = false;
    if (!singleRow_ || verticalScrollBar()->maximum() > 0) ensureCaretVisible();
    viewport()->update();
    const qint64 caret = model_.cursorPosition();
    if (caret != lastCaret_) {
        lastCaret_ = caret;
        emit cursorMoved(caret);
    }
    if (model_.selectionStart() != lastSelStart_ || model_.selectionLength() != lastSelLen_) {
        lastSelStart_ = model_.selectionStart();
        lastSelLen_ = model_.selectionLength();
        emit selectionChanged();
    }
}

// ---------------------------------------------------------------- find / replace

QByteArray HexView::textToBytes(const QString& text, bool ignoreCase) const {
    QByteArray cp;
    if (!toCp1252(text, cp)) return {};
    ByteBlock b = model_.textToBytes(std::string_view(cp.constData(), cp.size()), ignoreCase);
    return QByteArray(reinterpret_cast<const char*>(b.data()), static_cast<qsizetype>(b.size()));
}

static ByteBlock ToBlock(const QByteArray& a) {
    return ByteBlock(reinterpret_cast<const uint8_t*>(a.constData()),
                     reinterpret_cast<const uint8_t*>(a.constData()) + a.size());
}

qint64 HexView::find(const QByteArray& needle, qint64 from, qint64 to, bool ignoreCase) const {
    return model_.find(ToBlock(needle), from, to, ignoreCase);
}

bool HexView::replaceSelection(const QByteArray& bytes) {
    return check(model_.replaceSelection(ToBlock(bytes)));
}

bool HexView::deleteSelection() {
    return check(model_.deleteSelection());
}

qint64 HexView::replaceAll(const QByteArray& needle, const QByteArray& replacement,
                           bool ignoreCase) {
    model_.clearSelection();
    const qint64 n = model_.replaceAll(ToBlock(needle), ToBlock(replacement), ignoreCase);
    if (n == 0 && !model_.lastError().empty()) check(false);
    return n;
}

bool HexView::undo() {
    return model_.undo();
}
bool HexView::redo() {
    return model_.redo();
}

// ---------------------------------------------------------------- clipboard

QString HexView::selectionAsHexText() const {
    return QString::fromStdString(model_.toHexText(model_.selectedBytes()));
}

void HexView::copy() {
    if (model_.selectionLength() == 0) return;
    QApplication::clipboard()->setText(selectionAsHexText());
}

bool HexView::paste() {
    return pasteText(QApplication::clipboard()->text());
}

bool HexView::pasteText(const QString& text) {
    ByteBlock bytes;
    if (inChars_) {
        QByteArray cp;
        if (!toCp1252(text, cp)) {
            lastError_ = tr("The text holds characters outside code page 1252");
            emit refused(lastError_);
            return false;
        }
        bytes = model_.textToBytes(std::string_view(cp.constData(), cp.size()), false);
        if (bytes.empty() && !cp.isEmpty()) {
            lastError_ = tr("The text holds characters the translation has no byte for");
            emit refused(lastError_);
            return false;
        }
    } else if (!model_.fromHexText(text.toStdString(), bytes)) {
        lastError_ = tr("The clipboard holds no hex text");
        emit refused(lastError_);
        return false;
    }
    if (bytes.empty()) return true;
    const bool sel = model_.selectionLength() > 0;
    const qint64 at = sel ? model_.selectionStart() : model_.caret();
    if (insertMode_) {
        if (sel) return check(model_.replaceSelection(bytes));
        return check(model_.insert(at, bytes));
    }
    return check(model_.write(at, bytes));
}

// ---------------------------------------------------------------- typing

bool HexView::typeHexDigit(int digit) {
    if (model_.selectionLength() > 0) {
        const qint64 start = model_.selectionStart();
        if (insertMode_ && !model_.deleteSelection()) return check(false);
        model_.moveCaret(start, false);
    }
    const qint64 at = model_.caret();
    const bool swap = model_.swapNibbles();
    // The first typed digit is the one shown first: the high nibble, or the
    // low one when nibbles are swapped.
    const bool high = (nibble_ == 0) != swap;
    const int shift = high ? 4 : 0;
    if (nibble_ == 0) {
        if (pastEnd_) return refuseAtEnd();
        uint8_t b = (insertMode_ || at >= model_.size()) ? 0 : model_.at(at);
        b = static_cast<uint8_t>((b & ~(0x0F << shift)) | (digit << shift));
        bool ok = (insertMode_ || at >= model_.size()) ? model_.insert(at, &b, 1)
                                                       : model_.write(at, &b, 1);
        if (!check(ok)) return false;
        model_.moveCaret(at, false);
        nibble_ = 1;
        amendable_ = true;
    } else {
        uint8_t b = model_.at(at);
        b = static_cast<uint8_t>((b & ~(0x0F << shift)) | (digit << shift));
        const bool ok = amendable_ ? model_.amendByte(at, b) : model_.write(at, &b, 1);
        if (!check(ok)) return false;
        stepOn(at);
    }
    viewport()->update();
    return true;
}

bool HexView::typeChar(const ByteBlock& bytes) {
    if (model_.selectionLength() > 0) {
        if (insertMode_) return check(model_.replaceSelection(bytes));
        model_.moveCaret(model_.selectionStart(), false);
    }
    if (pastEnd_) return refuseAtEnd();
    const qint64 at = model_.caret();
    bool ok = insertMode_ ? model_.insert(at, bytes) : model_.write(at, bytes);
    if (!check(ok)) return false;
    stepOn(at + static_cast<qint64>(bytes.size()) - 1);
    return true;
}

// After the byte at `at` was typed: on to the next one. The last byte of a
// fixed-size block keeps the caret, and further typing is refused until the
// caret moves.
void HexView::stepOn(qint64 at) {
    model_.moveCaret(at + 1, false);
    if (model_.fixedSize() && at + 1 >= model_.size()) pastEnd_ = true;
}

bool HexView::refuseAtEnd() {
    lastError_ = tr("The block ends here; its size is fixed");
    emit refused(lastError_);
    return false;
}

bool HexView::event(QEvent* e) {
    if (e->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(e);
        if ((k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab) &&
            !(k->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            setCharColumnActive(!inChars_);
            ensureCaretVisible();
            return true;
        }
    } else if (e->type() == QEvent::ShortcutOverride) {
        // Editing keys belong to the control while it has the focus.
        auto* k = static_cast<QKeyEvent*>(e);
        if (k == QKeySequence::Copy || k == QKeySequence::Paste || k == QKeySequence::Undo ||
            k == QKeySequence::Redo || k == QKeySequence::SelectAll ||
            (!k->text().isEmpty() && k->text().at(0).isPrint() &&
             !(k->modifiers() & (Qt::ControlModifier | Qt::AltModifier)))) {
            e->accept();
            return true;
        }
    } else if (e->type() == QEvent::FontChange) {
        relayout();
    }
    return QAbstractScrollArea::event(e);
}

void HexView::keyPressEvent(QKeyEvent* e) {
    const bool shift = e->modifiers() & Qt::ShiftModifier;
    const bool ctrl = e->modifiers() & Qt::ControlModifier;
    const qint64 bpr = bytesPerRow();
    const qint64 caret = model_.caret();
    const qint64 page = bpr * (singleRow_ ? 1 : visibleRows());

    if (e == QKeySequence::Copy) return copy();
    if (e == QKeySequence::Paste) return (void)paste();
    if (e == QKeySequence::Undo) return (void)undo();
    if (e == QKeySequence::Redo) return (void)redo();
    if (e == QKeySequence::SelectAll) return selectAll();

    switch (e->key()) {
        case Qt::Key_Left:
            return moveTo(caret - 1, shift);
        case Qt::Key_Right:
            return moveTo(caret + 1, shift);
        case Qt::Key_Up:
            if (caret >= bpr) moveTo(caret - bpr, shift);
            return;
        case Qt::Key_Down:
            if (caret + bpr <= model_.size()) moveTo(caret + bpr, shift);
            return;
        case Qt::Key_PageUp: {
            const int vis = singleRow_ ? 1 : visibleRows();
            verticalScrollBar()->setValue(verticalScrollBar()->value() - vis);
            return moveTo(caret >= page ? caret - page : caret % bpr, shift);
        }
        case Qt::Key_PageDown: {
            const int vis = singleRow_ ? 1 : visibleRows();
            verticalScrollBar()->setValue(verticalScrollBar()->value() + vis);
            qint64 to = caret + page;
            while (to > model_.size() && to - bpr >= caret) to -= bpr;
            return moveTo(to, shift);
        }
        case Qt::Key_Home:
            return moveTo(ctrl ? 0 : caret - caret % bpr, shift);
        case Qt::Key_End:
            return moveTo(ctrl ? model_.size()
                               : std::min<qint64>(caret - caret % bpr + bpr - 1, model_.size()),
                          shift);
        case Qt::Key_Insert:
            if (!shift && !ctrl) setInsertMode(!insertMode_);
            return;
        case Qt::Key_Delete:
            if (model_.selectionLength() > 0) {
                deleteSelection();
            } else if (caret < model_.size()) {
                check(model_.remove(caret, 1));
            }
            return;
        case Qt::Key_Backspace:
            if (model_.selectionLength() > 0) {
                deleteSelection();
            } else if (caret > 0 && check(model_.remove(caret - 1, 1))) {
                model_.moveCaret(caret - 1, false);
            }
            return;
        default:
            break;
    }

    const QString text = e->text();
    if (text.size() == 1 && !ctrl && !(e->modifiers() & Qt::AltModifier) && text[0].isPrint()) {
        if (inChars_) {
            // Through the character translation; two bytes in Unicode mode.
            QByteArray cp;
            if (!toCp1252(text, cp)) return;
            const ByteBlock b = model_.textToBytes(std::string_view(cp.constData(), 1), false);
            if (!b.empty()) typeChar(b);
            return;
        }
        const char c = text[0].toLatin1();
        const int digit = (c >= '0' && c <= '9')   ? c - '0'
                          : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                          : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                                   : -1;
        if (digit >= 0) typeHexDigit(digit);
        return;
    }
    QAbstractScrollArea::keyPressEvent(e);
}

// ---------------------------------------------------------------- mouse

bool HexView::hitTest(const QPoint& pt, qint64& pos, bool& chars, int& nibble) const {
    const Layout& L = layout_;
    const int x = pt.x() + horizontalScrollBar()->value();
    const int y = pt.y() - L.rulerH;
    if (y < 0) return false;
    const qint64 row = topRow() + y / L.lineH;
    const int bpr = bytesPerRow();
    int col;
    nibble = 0;
    if (x >= L.charX - L.charW) {
        chars = true;
        col = std::clamp((x - L.charX) / L.charW, 0, bpr - 1);
        if (x < L.charX) col = 0;
    } else {
        chars = false;
        const int hx = x - L.hexX;
        col = 0;
        for (int c = 0; c < bpr; ++c)
            if (hx >= L.cellX(c)) col = c;
        nibble = (hx - L.cellX(col)) >= L.charW ? 1 : 0;
        if (hx < 0) nibble = 0;
    }
    pos = row * bpr + col;
    return true;
}

void HexView::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return QAbstractScrollArea::mousePressEvent(e);
    qint64 pos;
    bool chars;
    int nib;
    if (!hitTest(e->position().toPoint(), pos, chars, nib)) return;
    const bool extend = e->modifiers() & Qt::ShiftModifier;
    inChars_ = chars;
    moveTo(pos, extend);
    if (!extend && !chars && nib == 1 && model_.caret() < model_.size()) nibble_ = 1;
    viewport()->update();
}

void HexView::mouseMoveEvent(QMouseEvent* e) {
    if (!(e->buttons() & Qt::LeftButton)) return;
    qint64 pos;
    bool chars;
    int nib;
    if (hitTest(e->position().toPoint(), pos, chars, nib) && pos != model_.caret())
        moveTo(pos, true);
}

void HexView::focusInEvent(QFocusEvent* e) {
    focused_ = true;
    viewport()->update();
    QAbstractScrollArea::focusInEvent(e);
}

void HexView::focusOutEvent(QFocusEvent* e) {
    focused_ = false;
    viewport()->update();
    QAbstractScrollArea::focusOutEvent(e);
}

void HexView::resizeEvent(QResizeEvent* e) {
    QAbstractScrollArea::resizeEvent(e);
    updateScrollBars();
}

// ---------------------------------------------------------------- drop

static QString DroppedFile(const QMimeData* mime) {
    if (!mime || !mime->hasUrls() || mime->urls().isEmpty()) return {};
    return mime->urls().first().toLocalFile();
}

void HexView::dragEnterEvent(QDragEnterEvent* e) {
    if (!DroppedFile(e->mimeData()).isEmpty()) e->acceptProposedAction();
}

void HexView::dragMoveEvent(QDragMoveEvent* e) {
    if (!DroppedFile(e->mimeData()).isEmpty()) e->acceptProposedAction();
}

void HexView::dropEvent(QDropEvent* e) {
    const QString path = DroppedFile(e->mimeData());
    if (path.isEmpty()) return;
    e->acceptProposedAction();
    emit fileDropped(path);
    if (!loadDropped_) return;
    // A fixed-size block only takes a file of its own length.
    if (fixedSize() && QFileInfo(path).size() != dataSize()) {
        lastError_ = tr("%1 does not have the block's size of %2 bytes")
                         .arg(QFileInfo(path).fileName())
                         .arg(dataSize());
        emit refused(lastError_);
        return;
    }
    loadFile(path);
}

// ---------------------------------------------------------------- painting

void HexView::paintRows(QPainter& p, const Layout& L, qint64 firstRow, int rows, int y0, int xShift,
                        bool screen) const {
    const QPalette& pal = viewport()->palette();
    const int bpr = bytesPerRow();
    const qint64 size = model_.size();
    const uint8_t* data = model_.data();
    const bool swap = model_.swapNibbles();
    const bool unicode = model_.unicode();
    const qint64 selStart = model_.selectionStart();
    const qint64 selEnd = model_.selectionEnd();  // start - 1 when nothing is selected
    const qint64 total = rowCount();
    const int cellW = 2 * L.charW;

    for (int r = 0; r < rows && firstRow + r < total; ++r) {
        const qint64 rowStart = (firstRow + r) * bpr;
        const int y = y0 + r * L.lineH;
        const int base = y + L.ascent;
        p.setPen(kOffsetText);
        p.drawText(L.offsetX - xShift, base,
                   QStringLiteral("0x") + QString::number(rowStart, 16)
                                              .toUpper()
                                              .rightJustified(L.offsetDigits, QLatin1Char('0')));
        for (int col = 0; col < bpr; ++col) {
            const qint64 pos = rowStart + col;
            if (pos >= size) break;
            const uint8_t b = data[pos];
            const bool sel = screen && pos >= selStart && pos <= selEnd;
            const bool chg = model_.isChanged(pos);
            const int hx = L.hexX + L.cellX(col) - xShift;
            const int cx = L.charX + col * L.charW - xShift;
            QColor fg = pal.color(QPalette::Text);
            if (sel || chg) {
                const QColor bg = sel ? pal.color(QPalette::Highlight) : kChangedBack;
                fg = sel ? pal.color(QPalette::HighlightedText) : kChangedText;
                // A selection runs on across the gap to the next selected byte.
                int w = cellW;
                if (sel && col + 1 < bpr && pos + 1 <= selEnd) w = L.cellX(col + 1) - L.cellX(col);
                p.fillRect(hx, y, w, L.lineH, bg);
                p.fillRect(cx, y, L.charW, L.lineH, bg);
            }
            p.setPen(fg);
            p.drawText(hx, base, HexCell(b, swap));
            if (!unicode) {
                p.drawText(cx, base, CharCell(model_.charOfByte(b)));
            } else if (col % 2 == 0) {
                // UTF-16LE: one character for each pair of bytes, shown on the first.
                const QChar u(static_cast<char16_t>(b | (pos + 1 < size ? data[pos + 1] << 8 : 0)));
                p.drawText(cx, base,
                           u.isPrint() && !u.isSurrogate() ? QString(u) : QStringLiteral("."));
            }
        }
        if (!screen) continue;
        const qint64 caret = model_.caret();
        if (caret < rowStart || caret >= rowStart + bpr) continue;
        const int col = static_cast<int>(caret - rowStart);
        const QColor caretColor = pal.color(QPalette::Text);
        QRect hexCell(L.hexX + L.cellX(col) - xShift + nibble_ * L.charW, y, L.charW, L.lineH);
        QRect charCell(L.charX + col * L.charW - xShift, y, L.charW, L.lineH);
        const QRect& active = inChars_ ? charCell : hexCell;
        const QRect& passive =
            inChars_ ? QRect(hexCell.x() - nibble_ * L.charW, y, cellW, L.lineH) : charCell;
        p.setPen(QPen(caretColor, 1, Qt::DotLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(passive.adjusted(0, 0, -1, -1));
        if (insertMode_) {
            p.fillRect(active.x(), y, 2, L.lineH, caretColor);
        } else {
            p.setPen(QPen(caretColor, 1, focused_ ? Qt::SolidLine : Qt::DashLine));
            p.drawRect(active.adjusted(0, 0, -1, -1));
        }
    }
}

static void PaintRuler(QPainter& p, int width, int height, int ascent, int hexX, int charX,
                       int charW, int bpr, const std::function<int(int)>& cellX, int xShift) {
    p.fillRect(0, 0, width, height, kRulerBack);
    p.setPen(kRulerText);
    const char* d = "0123456789ABCDEF";
    for (int col = 0; col < bpr; ++col) {
        p.drawText(hexX + cellX(col) - xShift, ascent,
                   QString(QChar(d[(col >> 4) & 15])) + QChar(d[col & 15]));
        p.drawText(charX + col * charW - xShift, ascent, QString(QChar(d[col & 15])));
    }
    p.drawLine(0, height - 1, width, height - 1);
}

void HexView::paintEvent(QPaintEvent*) {
    QPainter p(viewport());
    p.setFont(font());
    const Layout& L = layout_;
    const int xShift = horizontalScrollBar()->value();
    const int vis = (viewport()->height() - L.rulerH + L.lineH - 1) / L.lineH;
    // Only the rows in sight are drawn, whatever the size of the block.
    paintRows(p, L, topRow(), vis, L.rulerH, xShift, true);
    if (ruler_)
        PaintRuler(
            p, viewport()->width(), L.rulerH, L.ascent, L.hexX, L.charX, L.charW, bytesPerRow(),
            [&](int c) { return L.cellX(c); }, xShift);
}

// ---------------------------------------------------------------- printing

bool HexView::print() {
    QPrinter printer(QPrinter::HighResolution);
    if (!printDialog_ || !printDialog_(printer, this)) return false;
    return printTo(printer);
}

bool HexView::printToPdf(const QString& path) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    return printTo(printer);
}

bool HexView::printTo(QPrinter& printer) {
    QPainter p;
    if (!p.begin(&printer)) {
        lastError_ = tr("Cannot print to %1")
                         .arg(printer.outputFileName().isEmpty() ? printer.printerName()
                                                                 : printer.outputFileName());
        emit refused(lastError_);
        return false;
    }
    QFont f = font();
    p.setFont(f);
    // Pages show the ruler and the offsets, never the caret or the selection.
    const Layout L = layoutFor(f, &printer, true);
    const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
    const double scale = L.width > page.width() ? double(page.width()) / L.width : 1.0;
    const int pageH = static_cast<int>(page.height() / scale);
    const int rowsPerPage = std::max(1, (pageH - L.rulerH) / L.lineH);
    const qint64 total = rowCount();
    p.scale(scale, scale);
    for (qint64 first = 0; first < total; first += rowsPerPage) {
        if (first > 0) printer.newPage();
        PaintRuler(
            p, L.width, L.rulerH, L.ascent, L.hexX, L.charX, L.charW, bytesPerRow(),
            [&](int c) { return L.cellX(c); }, 0);
        paintRows(p, L, first, rowsPerPage, L.rulerH, 0, false);
    }
    p.end();
    return true;
}

// ---------------------------------------------------------------- code page

QString HexView::fromCp1252(const QByteArray& bytes) {
    QString s;
    s.reserve(bytes.size());
    for (char c : bytes) s.append(QChar(Cp1252Table()[static_cast<uint8_t>(c)]));
    return s;
}

bool HexView::toCp1252(const QString& text, QByteArray& out) {
    out.clear();
    out.reserve(text.size());
    for (QChar c : text) {
        const int b = Cp1252Byte(c.unicode());
        if (b < 0) {
            out.clear();
            return false;
        }
        out.append(static_cast<char>(b));
    }
    return true;
}

}  // namespace qm
