#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QPrinter>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "hexview/HexView.h"

using qm::HexView;

namespace {

QByteArray Counting(int n) {
    QByteArray a(n, '\0');
    for (int i = 0; i < n; ++i) a[i] = static_cast<char>(i);
    return a;
}

QColor PixelIn(const QImage& img, const QRect& r) {
    // Sample the left edge of the cell, clear of the glyphs.
    return img.pixelColor(r.left() + 1, r.top() + 1);
}

}  // namespace

class HexViewTest : public QObject {
    Q_OBJECT
  private:
    void key(HexView& v, int k, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(&v, static_cast<Qt::Key>(k), mods);
    }
    void type(HexView& v, const char* text) { QTest::keyClicks(&v, text); }

  private slots:
    void layoutShowsSixteenBytesARowAndMarksChanges() {
        HexView v;
        v.resize(700, 300);
        v.loadData(Counting(64));
        v.show();
        QCOMPARE(v.bytesPerRow(), 16);
        const QRect r0 = v.byteRect(0, false), r16 = v.byteRect(16, false);
        QCOMPARE(r16.left(), r0.left());
        QVERIFY(r16.top() > r0.top());
        QVERIFY(v.byteRect(1, false).left() > r0.right());
        QVERIFY(v.byteRect(0, true).left() > v.byteRect(15, false).right());
        QVERIFY(r0.top() > 0);  // the ruler is above the first row

        QSignalSpy modified(&v, &HexView::modifiedChanged);
        QSignalSpy changed(&v, &HexView::bytesChanged);
        v.model().write(5, qm::ByteBlock{0xAA});
        v.setCursorPosition(40);
        QCOMPARE(modified.count(), 1);
        QCOMPARE(modified.at(0).at(0).toBool(), true);
        QImage img = v.viewport()->grab().toImage();
        QCOMPARE(PixelIn(img, v.byteRect(5, false)), QColor(255, 255, 168));
        QCOMPARE(PixelIn(img, v.byteRect(5, true)), QColor(255, 255, 168));
        QCOMPARE(PixelIn(img, v.byteRect(6, false)), QColor(Qt::white));
        // Maroon glyph pixels in the changed cell, none in an unchanged one.
        auto hasMaroon = [&](const QRect& r) {
            for (int y = r.top(); y <= r.bottom(); ++y)
                for (int x = r.left(); x <= r.right(); ++x) {
                    QColor c = img.pixelColor(x, y);
                    if (c.red() > 100 && c.green() < 60 && c.blue() < 60) return true;
                }
            return false;
        };
        QVERIFY(hasMaroon(v.byteRect(5, false)));
        QVERIFY(!hasMaroon(v.byteRect(7, false)));

        v.markUnmodified();
        QVERIFY(!v.isModified());
        QCOMPARE(modified.count(), 2);
        QCOMPARE(changed.count(), 1);  // clearing the marks changes no byte
        img = v.viewport()->grab().toImage();
        QCOMPARE(PixelIn(img, v.byteRect(5, false)), QColor(Qt::white));
    }

    void keyboardNavigation() {
        HexView v;
        v.resize(700, 200);
        v.loadData(Counting(1000));
        v.show();
        v.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&v));
        v.setFocus();
        key(v, Qt::Key_Right);
        key(v, Qt::Key_Right);
        QCOMPARE(v.cursorPosition(), 2);
        key(v, Qt::Key_Down);
        QCOMPARE(v.cursorPosition(), 18);
        key(v, Qt::Key_Up);
        key(v, Qt::Key_Up);  // no row above: stays
        QCOMPARE(v.cursorPosition(), 2);
        key(v, Qt::Key_Left);
        key(v, Qt::Key_Left);
        key(v, Qt::Key_Left);
        QCOMPARE(v.cursorPosition(), 0);
        key(v, Qt::Key_End);
        QCOMPARE(v.cursorPosition(), 15);
        key(v, Qt::Key_Home);
        QCOMPARE(v.cursorPosition(), 0);

        const qint64 page = 16 * v.visibleRows();
        key(v, Qt::Key_PageDown);
        QCOMPARE(v.cursorPosition(), page);
        key(v, Qt::Key_PageUp);
        QCOMPARE(v.cursorPosition(), 0);

        key(v, Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(v.cursorPosition(), 999);
        QVERIFY(v.topRow() > 0);  // scrolled to keep the caret in sight
        QVERIFY(v.topRow() + v.visibleRows() > 999 / 16);
        key(v, Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(v.cursorPosition(), 0);
        QCOMPARE(v.topRow(), 0);

        // Shift extends the selection from where it started.
        key(v, Qt::Key_Right, Qt::ShiftModifier);
        key(v, Qt::Key_Down, Qt::ShiftModifier);
        QCOMPARE(v.selectionStart(), 0);
        QCOMPARE(v.selectionEnd(), 17);
        QCOMPARE(v.selectionLength(), 18);
        key(v, Qt::Key_Left);
        QCOMPARE(v.selectionLength(), 0);

        QVERIFY(!v.charColumnActive());
        key(v, Qt::Key_Tab);
        QVERIFY(v.charColumnActive());
        QVERIFY(v.hasFocus());  // Tab stays in the control
        key(v, Qt::Key_Backtab, Qt::ShiftModifier);
        QVERIFY(!v.charColumnActive());
    }

    void typingHexAndCharacters() {
        HexView v;
        v.loadData(QByteArray(4, '\0'));
        v.show();
        QSignalSpy changed(&v, &HexView::bytesChanged);
        type(v, "4f");
        QCOMPARE(v.data().at(0), char(0x4F));
        QCOMPARE(v.cursorPosition(), 1);
        QCOMPARE(changed.count(), 2);
        QCOMPARE(v.model().undoDepth(), size_t(1));  // one byte, one undo step
        type(v, "zq");                               // not hex: ignored
        QCOMPARE(v.cursorPosition(), 1);

        v.setSwapNibbles(true);
        type(v, "12");  // shown low nibble first
        QCOMPARE(v.data().at(1), char(0x21));
        v.setSwapNibbles(false);

        key(v, Qt::Key_Tab);
        type(v, "Hi");
        QCOMPARE(v.data().mid(2, 2), QByteArray("Hi"));
        // Typing past the end of a block that may grow appends.
        type(v, "!");
        QCOMPARE(v.data(), QByteArray("\x4F\x21Hi!", 5));

        key(v, Qt::Key_Home);
        key(v, Qt::Key_Insert);
        QVERIFY(v.insertMode());
        type(v, "<");
        QCOMPARE(v.data(), QByteArray("<\x4F\x21Hi!", 6));
        key(v, Qt::Key_Tab);
        type(v, "7");  // insert mode: a new byte, first nibble
        QCOMPARE(v.data().size(), 7);
        QCOMPARE(v.data().at(1), char(0x70));
        QVERIFY(v.onSecondNibble());

        // Undo takes back each edit in turn.
        for (int i = 0; i < 3; ++i) key(v, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(v.data(), QByteArray("\x4F\x21Hi", 4));
        key(v, Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(v.data(), QByteArray("\x4F\x21Hi!", 5));

        key(v, Qt::Key_Home, Qt::ControlModifier);
        key(v, Qt::Key_Delete);
        QCOMPARE(v.data(), QByteArray("\x21Hi!", 4));
        key(v, Qt::Key_Right);
        key(v, Qt::Key_Backspace);
        QCOMPARE(v.data(), QByteArray("Hi!", 3));
        QCOMPARE(v.cursorPosition(), 0);
    }

    void unicodeModeTypesAndShowsPairs() {
        HexView v;
        v.resize(700, 200);
        v.loadData(QByteArray(8, '\0'));
        v.setUnicode(true);
        v.show();
        key(v, Qt::Key_Tab);
        type(v, "Az");
        QCOMPARE(v.data(), QByteArray("A\0z\0\0\0\0\0", 8));
        QCOMPARE(v.cursorPosition(), 4);
        QCOMPARE(v.textToBytes(QString::fromUtf8("\xE2\x82\xAC"), false), QByteArray("\xAC\x20"));
        // The second byte of a pair shows no character of its own.
        const QImage img = v.viewport()->grab().toImage();
        auto ink = [&](const QRect& r) {
            int n = 0;
            for (int y = r.top(); y <= r.bottom(); ++y)
                for (int x = r.left(); x < r.right(); ++x)
                    n += img.pixelColor(x, y).lightness() < 128;
            return n;
        };
        QVERIFY(ink(v.byteRect(0, true)) > 0);
        QCOMPARE(ink(v.byteRect(1, true)), 0);
        QVERIFY(ink(v.byteRect(2, true)) > 0);
        QCOMPARE(v.saveData().size(), 8);
        QVERIFY(!v.isModified());
    }

    void fixedSizeRefusesGrowth() {
        HexView v;
        v.loadData(QByteArray("abcd"));
        v.setFixedSize(true);
        v.show();
        QSignalSpy refused(&v, &HexView::refused);
        key(v, Qt::Key_Insert);
        QVERIFY(!v.insertMode());
        key(v, Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(v.model().caret(), 3);  // no append slot
        key(v, Qt::Key_Tab);
        type(v, "XYZ");
        QCOMPARE(v.data(), QByteArray("abcX"));
        QCOMPARE(v.dataSize(), 4);
        key(v, Qt::Key_Delete);
        key(v, Qt::Key_Backspace);
        QCOMPARE(v.data(), QByteArray("abcX"));
        QVERIFY(!v.setDataSize(8));
        QVERIFY(refused.count() >= 3);
        QVERIFY(!v.lastError().isEmpty());
    }

    void copyAsHexTextAndPaste() {
        HexView v;
        v.loadData(Counting(32));
        v.show();
        v.setSelectionStart(0x10);
        v.setSelectionEnd(0x12);
        QCOMPARE(v.selectionAsHexText(), QString("10 11 12"));
        v.copy();
        QCOMPARE(QApplication::clipboard()->text(), QString("10 11 12"));
        v.setBytesPerUnit(2);
        QCOMPARE(v.selectionAsHexText(), QString("1011 12"));
        v.setBytesPerUnit(1);

        v.setCursorPosition(2);
        QVERIFY(v.paste());  // overwrites at the caret
        QCOMPARE(v.data().mid(0, 6), QByteArray("\x00\x01\x10\x11\x12\x05", 6));
        QCOMPARE(v.dataSize(), 32);
        QVERIFY(v.model().isChanged(2));

        v.setInsertMode(true);
        v.setCursorPosition(0);
        QVERIFY(v.pasteText("0xAB cd"));
        QCOMPARE(v.data().mid(0, 3), QByteArray("\xAB\xCD\x00", 3));
        QCOMPARE(v.dataSize(), 34);

        QSignalSpy refused(&v, &HexView::refused);
        QVERIFY(!v.pasteText("hello"));
        QCOMPARE(refused.count(), 1);
        v.setCharColumnActive(true);
        QVERIFY(v.pasteText("hi"));
        QCOMPARE(v.data().mid(2, 2), QByteArray("hi"));
        QVERIFY(!v.pasteText(QString::fromUtf8("\xE2\x88\x9E")));  // no such code page character
        QCOMPARE(refused.count(), 2);
    }

    void pasteLargerThanFixedBlockIsRefused() {
        HexView v;
        v.loadData(QByteArray("1234"));
        v.setFixedSize(true);
        v.setCursorPosition(2);
        QSignalSpy refused(&v, &HexView::refused);
        QVERIFY(!v.pasteText("AA BB CC"));
        QCOMPARE(v.data(), QByteArray("1234"));
        QCOMPARE(refused.count(), 1);
        QVERIFY(v.pasteText("AA BB"));  // fits exactly
        QCOMPARE(v.data(), QByteArray("12\xAA\xBB"));
    }

    void singleRowMode() {
        HexView v;
        v.setSingleRow(true);
        v.loadData(Counting(40));
        v.show();
        QCOMPARE(v.bytesPerRow(), 12);
        QCOMPARE(v.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QCOMPARE(v.horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QCOMPARE(v.byteRect(12, false).left(), v.byteRect(0, false).left());
        QVERIFY(!v.verticalScrollBar()->isVisible());
        HexView multi;
        QVERIFY(v.sizeHint().height() < multi.sizeHint().height() / 4);
        // Moving on keeps the caret's row in the one row shown.
        v.setCursorPosition(30);
        QCOMPARE(v.topRow(), 2);
        key(v, Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(v.topRow(), 0);
    }

    void findReplaceThroughTheControl() {
        HexView v;
        v.loadData(QByteArray("Ab..ab..AB"));
        const QByteArray needle = v.textToBytes("AB", true);
        QCOMPARE(needle, QByteArray("ab"));
        QVERIFY(v.textToBytes(QString::fromUtf8("\xE2\x88\x9E"), false).isEmpty());
        QCOMPARE(v.find(needle, 0, v.dataSize(), true), 0);
        QCOMPARE(v.find(needle, 1, v.dataSize(), true), 4);
        QCOMPARE(v.find(needle, 1, v.dataSize(), false), 4);
        QCOMPARE(v.find(needle, 5, v.dataSize(), true), 8);
        v.setSelectionStart(4);
        v.setSelectionEnd(5);
        QVERIFY(v.replaceSelection("XYZ"));
        QCOMPARE(v.data(), QByteArray("Ab..XYZ..AB"));
        QVERIFY(v.undo());
        v.setSelectionStart(0);
        v.setSelectionEnd(1);
        QVERIFY(v.deleteSelection());
        QCOMPARE(v.data(), QByteArray("..ab..AB"));
        QCOMPARE(v.replaceAll("ab", "_", true), 2);
        QCOMPARE(v.data(), QByteArray(".._.._"));
    }

    void droppedFileIsAnnouncedAndLoaded() {
        QTemporaryDir dir;
        const QString path = dir.filePath("mod21.bin");
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("ROYL\x01\x02", 6);
        }
        HexView v;
        v.loadData("old");
        v.show();
        QSignalSpy dropped(&v, &HexView::fileDropped);
        auto drop = [&](const QString& file) {
            QMimeData mime;
            mime.setUrls({QUrl::fromLocalFile(file)});
            QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton,
                                  Qt::NoModifier);
            QApplication::sendEvent(v.viewport(), &enter);
            QDropEvent ev(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(v.viewport(), &ev);
            return enter.isAccepted();
        };
        v.setLoadDroppedFiles(false);
        QVERIFY(drop(path));
        QCOMPARE(dropped.count(), 1);
        QCOMPARE(dropped.at(0).at(0).toString(), path);
        QCOMPARE(v.data(), QByteArray("old"));

        v.setLoadDroppedFiles(true);
        v.setFixedSize(true);
        QSignalSpy refused(&v, &HexView::refused);
        drop(path);  // six bytes do not fit a fixed block of three
        QCOMPARE(v.data(), QByteArray("old"));
        QCOMPARE(refused.count(), 1);
        v.setFixedSize(false);
        drop(path);
        QCOMPARE(v.data(), QByteArray("ROYL\x01\x02", 6));
        QVERIFY(!v.isModified());
        drop(dir.filePath("gone.bin"));
        QCOMPARE(refused.count(), 2);
        QCOMPARE(v.data(), QByteArray("ROYL\x01\x02", 6));
    }

    void printingUsesTheInjectedDialog() {
        QTemporaryDir dir;
        HexView v;
        v.loadData(Counting(300));
        int asked = 0;
        v.setPrintDialogRunner([&](QPrinter&, QWidget*) {
            ++asked;
            return false;
        });
        QVERIFY(!v.print());  // cancelled
        QCOMPARE(asked, 1);

        const QString pdf = dir.filePath("out.pdf");
        v.setPrintDialogRunner([&](QPrinter& p, QWidget* parent) {
            ++asked;
            if (parent != &v) return false;
            p.setOutputFormat(QPrinter::PdfFormat);
            p.setOutputFileName(pdf);
            return true;
        });
        QVERIFY(v.print());
        QCOMPARE(asked, 2);
        QFile f(pdf);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.read(5) == "%PDF-");

        const QString direct = dir.filePath("direct.pdf");
        QVERIFY(v.printToPdf(direct));
        QVERIFY(QFileInfo(direct).size() > 1000);
        QVERIFY(!v.printToPdf(dir.filePath("no/such/folder/x.pdf")));
        QVERIFY(!v.lastError().isEmpty());
    }

    void mouseAndEmptyData() {
        HexView v;
        v.resize(700, 300);
        v.loadData(Counting(64));
        v.show();
        QTest::mouseClick(v.viewport(), Qt::LeftButton, Qt::NoModifier,
                          v.byteRect(20, true).center());
        QCOMPARE(v.cursorPosition(), 20);
        QVERIFY(v.charColumnActive());
        QTest::mouseClick(v.viewport(), Qt::LeftButton, Qt::ShiftModifier,
                          v.byteRect(35, false).center());
        QCOMPARE(v.selectionStart(), 20);
        QCOMPARE(v.selectionEnd(), 35);
        QVERIFY(!v.charColumnActive());

        // Empty data: every key and query is harmless.
        v.loadData(QByteArray());
        for (int k : {Qt::Key_Left, Qt::Key_Right, Qt::Key_Down, Qt::Key_PageDown, Qt::Key_End,
                      Qt::Key_Delete, Qt::Key_Backspace})
            key(v, k);
        QCOMPARE(v.cursorPosition(), 0);
        QCOMPARE(v.selectionLength(), 0);
        v.setCursorPosition(100);
        QCOMPARE(v.cursorPosition(), 0);
        QVERIFY(!v.deleteSelection());
        QVERIFY(!v.viewport()->grab().isNull());
        type(v, "a");  // the first nibble of a new byte
        QCOMPARE(v.dataSize(), 1);
    }

    void largeBlockScrollsToTheEnd() {
        HexView v;
        v.resize(700, 400);
        v.loadData(QByteArray(8 << 20, '\x55'));
        v.show();
        key(v, Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(v.model().caret(), qint64(8 << 20));  // the append slot
        QCOMPARE(v.verticalScrollBar()->value(), v.verticalScrollBar()->maximum());
        QVERIFY(v.byteRect(v.model().caret(), false).bottom() <= v.viewport()->height());
        QVERIFY(!v.viewport()->grab().isNull());
        QVERIFY(v.byteRect(0, false).left() > 0);
    }
};

QTEST_MAIN(HexViewTest)
#include "HexViewTest.moc"
