#pragma once
// The hex editor control: shows a HexModel as rows of bytes with an offset
// column ("0x..."), a hex column, a character column and a ruler, and edits it
// from the keyboard, the mouse, the clipboard and dropped files.
#include <QAbstractScrollArea>
#include <QByteArray>
#include <QString>
#include <functional>

#include "hexview/HexModel.h"

class QPrinter;

namespace qm {

class HexView : public QAbstractScrollArea {
    Q_OBJECT
  public:
    static constexpr int kBytesPerRow = 16;
    static constexpr int kSingleRowBytes = 12;

    explicit HexView(QWidget* parent = nullptr);
    ~HexView() override;

    HexModel& model() { return model_; }
    const HexModel& model() const { return model_; }

    // --- Content -----------------------------------------------------------
    void loadData(const QByteArray& bytes);
    QByteArray data() const;
    bool loadFile(const QString& path);
    bool saveFile(const QString& path);
    QString lastError() const { return lastError_; }
    qint64 dataSize() const { return model_.size(); }
    bool setDataSize(qint64 size);
    bool isModified() const { return model_.isModified(); }
    void markUnmodified();
    // The bytes for the owner to store; the control is unmodified afterwards.
    QByteArray saveData();

    // --- Modes ---------------------------------------------------------------
    // Fixed size: no insert mode, nothing that changes the length.
    void setFixedSize(bool on);
    bool fixedSize() const { return model_.fixedSize(); }
    // One row of 12 bytes, no scroll bars.
    void setSingleRow(bool on);
    bool singleRow() const { return singleRow_; }
    int bytesPerRow() const { return singleRow_ ? kSingleRowBytes : kBytesPerRow; }
    void setInsertMode(bool on);
    bool insertMode() const { return insertMode_; }
    void setRulerVisible(bool on);
    bool rulerVisible() const { return ruler_; }
    bool setBytesPerUnit(int n);
    int bytesPerUnit() const { return model_.bytesPerUnit(); }
    void setSwapNibbles(bool on);
    bool swapNibbles() const { return model_.swapNibbles(); }
    // Characters as UTF-16LE: the character column shows a character for each
    // pair of bytes, typing writes two bytes, search text is widened.
    void setUnicode(bool on);
    bool unicode() const { return model_.unicode(); }

    // --- Caret and selection -----------------------------------------------
    qint64 cursorPosition() const { return model_.cursorPosition(); }
    void setCursorPosition(qint64 pos);
    qint64 selectionStart() const { return model_.selectionStart(); }
    qint64 selectionEnd() const { return model_.selectionEnd(); }
    qint64 selectionLength() const { return model_.selectionLength(); }
    void setSelectionStart(qint64 pos);
    void setSelectionEnd(qint64 pos);
    void selectAll();
    // The caret is in the character column rather than the hex column.
    bool charColumnActive() const { return inChars_; }
    void setCharColumnActive(bool on);
    // Second nibble of the caret byte is next to be typed.
    bool onSecondNibble() const { return nibble_ == 1; }

    // --- Find and replace --------------------------------------------------
    // Search text (code page 1252) to bytes; empty when the text cannot be
    // converted.
    QByteArray textToBytes(const QString& text, bool ignoreCase) const;
    qint64 find(const QByteArray& needle, qint64 from, qint64 to, bool ignoreCase) const;
    bool replaceSelection(const QByteArray& bytes);
    bool deleteSelection();
    qint64 replaceAll(const QByteArray& needle, const QByteArray& replacement, bool ignoreCase);
    bool undo();
    bool redo();

    // --- Clipboard -----------------------------------------------------------
    QString selectionAsHexText() const;
    void copy();
    bool paste();
    // Pastes `text` at the caret: hex text in the hex column, characters in
    // the character column. Overwrites, or inserts in insert mode.
    bool pasteText(const QString& text);

    // --- Printing ------------------------------------------------------------
    // Runs the print dialog on a printer; true to print. Tests replace it.
    using PrintDialogRunner = std::function<bool(QPrinter&, QWidget*)>;
    void setPrintDialogRunner(PrintDialogRunner runner) { printDialog_ = std::move(runner); }
    bool print();
    bool printTo(QPrinter& printer);
    bool printToPdf(const QString& path);

    // --- Dropped files -------------------------------------------------------
    // fileDropped is always emitted; the file is loaded too unless turned off.
    void setLoadDroppedFiles(bool on) { loadDropped_ = on; }
    bool loadDroppedFiles() const { return loadDropped_; }

    // --- Code page 1252 -------------------------------------------------------
    static QString fromCp1252(const QByteArray& bytes);
    // False when a character has no code page 1252 byte.
    static bool toCp1252(const QString& text, QByteArray& out);

    // Geometry, for tests and owners that place the control.
    QSize sizeHint() const override;
    QRect byteRect(qint64 pos, bool charColumn) const;
    qint64 topRow() const;
    int visibleRows() const;

  signals:
    // Every change of the bytes, in the coordinates before it; a reset
    // (load, replace-all) comes as pos 0, removed 0, inserted = new size.
    void bytesChanged(qint64 pos, qint64 removed, qint64 inserted);
    void cursorMoved(qint64 pos);
    void modifiedChanged(bool modified);
    void selectionChanged();
    void fileDropped(const QString& path);
    // An edit or file operation was refused or failed, with the reason.
    void refused(const QString& reason);

  protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dropEvent(QDropEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

  private:
    struct Layout {
        int charW = 8;
        int lineH = 16;
        int ascent = 12;
        int margin = 4;
        int offsetDigits = 8;
        int offsetX = 0;
        int hexX = 0;
        int charX = 0;
        int width = 0;
        int rulerH = 0;
        int unitGap = 8;
        int unit = 1;
        int cellX(int col) const;  // x of byte column `col` in the hex area, from hexX
    };
    Layout layoutFor(const QFont& font, QPaintDevice* device, bool withRuler) const;
    void relayout();
    void updateScrollBars();
    void ensureCaretVisible();
    qint64 rowCount() const;
    void paintRows(QPainter& p, const Layout& L, qint64 firstRow, int rows, int y0, int xShift,
                   bool screen) const;
    bool hitTest(const QPoint& pt, qint64& pos, bool& chars, int& nibble) const;
    void moveTo(qint64 pos, bool extend);
    bool typeHexDigit(int digit);
    bool typeChar(const ByteBlock& bytes);
    void stepOn(qint64 at);
    bool refuseAtEnd();
    bool check(bool ok);
    void onModelChange(const HexChange& c);
    void onModelCaret();

    HexModel model_;
    Layout layout_;
    bool singleRow_ = false;
    bool insertMode_ = false;
    bool ruler_ = true;
    bool inChars_ = false;
    int nibble_ = 0;
    bool pastEnd_ = false;
    bool amendable_ = false;  // the first digit of the caret byte was just typed
    bool loadDropped_ = true;
    bool focused_ = false;
    bool lastModified_ = false;
    qint64 lastCaret_ = -1;
    qint64 lastSelStart_ = -1;
    qint64 lastSelLen_ = -1;
    QString lastError_;
    PrintDialogRunner printDialog_;
};

}  // namespace qm
