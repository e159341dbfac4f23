#include "hexview/HexModel.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include <unistd.h>

namespace qm {
namespace {

ByteBlock B(std::string_view s) {
    return ByteBlock(s.begin(), s.end());
}
std::string S(const ByteBlock& b) {
    return std::string(b.begin(), b.end());
}

class HexModelTest : public ::testing::Test {
  protected:
    HexModel m;
    std::vector<HexChange> changes;
    void SetUp() override {
        m.setChangeListener([this](const HexChange& c) { changes.push_back(c); });
    }
};

// ---------------------------------------------------------------- find

TEST_F(HexModelTest, FindRespectsRangeAndEndsOfData) {
    m.load(B("abcXYZabcXY"));
    EXPECT_EQ(m.find(B("abc"), 0, m.size(), false), 0);
    EXPECT_EQ(m.find(B("abc"), 1, m.size(), false), 6);
    // A match must lie wholly inside [from, to).
    EXPECT_EQ(m.find(B("abc"), 1, 8, false), -1);
    EXPECT_EQ(m.find(B("abc"), 1, 9, false), 6);
    // Match touching the last byte; a needle running past the end is no match.
    EXPECT_EQ(m.find(B("XY"), 7, m.size(), false), 9);
    EXPECT_EQ(m.find(B("XYZ"), 4, m.size(), false), -1);
    EXPECT_EQ(m.find(B("Y"), 10, m.size(), false), 10);
    // Bounds outside the data are clamped, not trusted.
    EXPECT_EQ(m.find(B("abc"), -50, 1000, false), 0);
    EXPECT_EQ(m.find(B("abc"), 100, 200, false), -1);
    EXPECT_EQ(m.find(B("abc"), 5, 2, false), -1);
    EXPECT_EQ(m.find(ByteBlock{}, 0, m.size(), false), -1);
    EXPECT_EQ(m.find(B("abcXYZabcXYZ!"), 0, m.size(), false), -1);
}

TEST_F(HexModelTest, FindIgnoringCaseFoldsCodePage1252) {
    // "Ærø ŠKODA" with Æ=C6 ø=F8 Š=8A; a lone 0xD7 (multiplication sign) is no letter.
    m.load(ByteBlock{'x', 0xC6, 'R', 0xD8, ' ', 0x8A, 'k', 'O', 'd', 'A', 0xD7, 0xF7});
    EXPECT_EQ(m.find(ByteBlock{0xE6, 'r', 0xF8}, 0, m.size(), true), 1);
    EXPECT_EQ(m.find(ByteBlock{0xE6, 'r', 0xF8}, 0, m.size(), false), -1);
    EXPECT_EQ(m.find(ByteBlock{0x9A, 'k', 'o', 'd', 'a'}, 0, m.size(), true), 5);
    EXPECT_EQ(m.find(ByteBlock{0xD7}, 0, m.size(), true), 10);
    EXPECT_EQ(m.find(ByteBlock{0xF7}, 0, m.size(), true), 11);
    // Both cases of the first byte are candidates, the earliest wins.
    m.load(B("..Ab..aB.."));
    EXPECT_EQ(m.find(B("ab"), 0, m.size(), true), 2);
    EXPECT_EQ(m.find(B("ab"), 3, m.size(), true), 6);
    EXPECT_EQ(m.find(B("ab"), 3, 7, true), -1);
    EXPECT_EQ(m.find(B("b."), 0, m.size(), true), 3);
}

TEST_F(HexModelTest, FindNextFromLastByteFindsOverlappingMatches) {
    m.load(B("aaaaXaXaXa"));
    for (bool ic : {false, true}) {
        std::vector<int64_t> hits;
        for (int64_t at = m.find(B("aa"), 0, m.size(), ic); at >= 0;
             at = m.find(B("aa"), at + 1, m.size(), ic))
            hits.push_back(at);
        EXPECT_EQ(hits, (std::vector<int64_t>{0, 1, 2})) << ic;
        // "aXa" overlaps itself: a search resumed on the match's last byte sees it.
        EXPECT_EQ(m.find(B("aXa"), 3, m.size(), ic), 3);
        EXPECT_EQ(m.find(B("aXa"), 5, m.size(), ic), 5);
        EXPECT_EQ(m.find(B("aXa"), 7, m.size(), ic), 7);
    }
}

TEST_F(HexModelTest, FindOnEmptyData) {
    m.load(ByteBlock{});
    EXPECT_EQ(m.find(B("a"), 0, 10, false), -1);
    EXPECT_EQ(m.find(B("a"), 0, 10, true), -1);
    EXPECT_EQ(m.replaceAll(B("a"), B("b"), false), 0);
    EXPECT_EQ(m.cursorPosition(), 0);
    EXPECT_EQ(m.selectionLength(), 0);
    EXPECT_FALSE(m.deleteSelection());
}

// ---------------------------------------------------------------- text to bytes

TEST_F(HexModelTest, TextToBytesLowerCasesTranslatesAndWidens) {
    EXPECT_EQ(m.textToBytes("AbC", false), B("AbC"));
    EXPECT_EQ(m.textToBytes("AbC\xC9", true), B("abc\xE9"));
    EXPECT_TRUE(m.textToBytes("", false).empty());

    m.setUnicode(true);
    EXPECT_EQ(m.textToBytes("Ab", true), (ByteBlock{'a', 0, 'b', 0}));
    // The euro sign of code page 1252 is U+20AC in UTF-16.
    EXPECT_EQ(m.textToBytes("\x80", false), (ByteBlock{0xAC, 0x20}));
    m.setUnicode(false);

    // A translation showing byte 0x10 as 'A' and nothing as 'B'.
    std::array<uint8_t, 256> t{};
    for (int i = 0; i < 256; ++i) t[i] = static_cast<uint8_t>(i);
    t[0x10] = 'A';
    t['A'] = '.';
    t['B'] = '.';
    m.setCharTranslation(t);
    EXPECT_EQ(m.charOfByte(0x10), 'A');
    EXPECT_EQ(m.byteOfChar('A'), 0x10);
    EXPECT_EQ(m.textToBytes("A", false), (ByteBlock{0x10}));
    // A character no byte shows as converts to nothing, never to a shorter needle.
    EXPECT_TRUE(m.textToBytes("AB", false).empty());
}

// ---------------------------------------------------------------- hex text

TEST_F(HexModelTest, HexTextFollowsUnitsAndNibbleSwap) {
    const ByteBlock b{0x12, 0x34, 0xAB, 0xCD, 0x0F};
    EXPECT_EQ(m.toHexText(b), "12 34 AB CD 0F");
    ASSERT_TRUE(m.setBytesPerUnit(2));
    EXPECT_EQ(m.toHexText(b), "1234 ABCD 0F");
    ASSERT_TRUE(m.setBytesPerUnit(4));
    EXPECT_EQ(m.toHexText(b), "1234ABCD 0F");
    EXPECT_FALSE(m.setBytesPerUnit(3));
    EXPECT_FALSE(m.setBytesPerUnit(0));
    EXPECT_EQ(m.bytesPerUnit(), 4);
    m.setSwapNibbles(true);
    EXPECT_EQ(m.toHexText(b), "2143BADC F0");

    ByteBlock out;
    ASSERT_TRUE(m.fromHexText("2143 badc F0", out));
    EXPECT_EQ(out, b);
    m.setSwapNibbles(false);
    ASSERT_TRUE(m.fromHexText("0x1234, 0xAB\ncd\t0f", out));
    EXPECT_EQ(out, b);
    EXPECT_FALSE(m.fromHexText("12 3", out));
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(m.fromHexText("12 G4", out));
    ASSERT_TRUE(m.fromHexText("", out));
    EXPECT_TRUE(out.empty());
}

// ---------------------------------------------------------------- edits and undo

TEST_F(HexModelTest, ReplaceAndDeleteSelectionUndoAndRedo) {
    m.load(B("0123456789"));
    m.setSelectionStart(2);
    m.setSelectionEnd(4);
    EXPECT_EQ(m.selectionStart(), 2);
    EXPECT_EQ(m.selectionEnd(), 4);
    EXPECT_EQ(m.selectionLength(), 3);
    EXPECT_EQ(m.cursorPosition(), 4);
    EXPECT_EQ(S(m.selectedBytes()), "234");

    ASSERT_TRUE(m.replaceSelection(B("ab")));
    EXPECT_EQ(S(m.bytes()), "01ab56789");
    EXPECT_EQ(m.selectionLength(), 0);
    EXPECT_EQ(m.cursorPosition(), 4);  // just after the replacement
    EXPECT_TRUE(m.isChanged(2));
    EXPECT_TRUE(m.isChanged(3));
    EXPECT_FALSE(m.isChanged(4));

    m.setSelectionStart(6);
    m.setSelectionEnd(8);
    ASSERT_TRUE(m.deleteSelection());
    EXPECT_EQ(S(m.bytes()), "01ab56");
    EXPECT_TRUE(m.isModified());

    ASSERT_TRUE(m.undo());
    EXPECT_EQ(S(m.bytes()), "01ab56789");
    ASSERT_TRUE(m.undo());
    EXPECT_EQ(S(m.bytes()), "0123456789");
    EXPECT_FALSE(m.isModified());
    EXPECT_EQ(m.changedCount(), 0);
    EXPECT_FALSE(m.undo());
    ASSERT_TRUE(m.redo());
    ASSERT_TRUE(m.redo());
    EXPECT_EQ(S(m.bytes()), "01ab56");
    EXPECT_FALSE(m.redo());

    // A new edit after an undo drops the redo branch.
    m.undo();
    m.write(0, B("Z"));
    EXPECT_FALSE(m.canRedo());
    EXPECT_EQ(S(m.bytes()), "Z1ab56789");
}

TEST_F(HexModelTest, AmendByteJoinsTheStepThatPutTheByte) {
    m.load(B("abc"));
    m.write(1, B("\x40"));
    ASSERT_TRUE(m.amendByte(1, 0x4F));
    EXPECT_EQ(m.undoDepth(), 1u);
    EXPECT_EQ(m.at(1), 0x4F);
    m.undo();
    EXPECT_EQ(S(m.bytes()), "abc");
    m.redo();
    EXPECT_EQ(m.at(1), 0x4F);
    // Another byte, or a step already saved, makes a step of its own.
    ASSERT_TRUE(m.amendByte(2, 'C'));
    EXPECT_EQ(m.undoDepth(), 2u);
    m.markUnmodified();
    ASSERT_TRUE(m.amendByte(2, 'D'));
    EXPECT_EQ(m.undoDepth(), 3u);
    m.undo();
    EXPECT_EQ(S(m.bytes()), "aOC");
    // Past the last byte it is a plain write, which appends.
    ASSERT_TRUE(m.amendByte(3, 'x'));
    EXPECT_EQ(S(m.bytes()), "aOCx");
    EXPECT_EQ(m.undoDepth(), 3u);
}

TEST_F(HexModelTest, EditsOutsideTheDataAreRefused) {
    m.load(B("abc"));
    EXPECT_FALSE(m.write(4, B("x")));
    EXPECT_FALSE(m.write(-1, B("x")));
    EXPECT_FALSE(m.remove(1, 3));
    EXPECT_FALSE(m.insert(5, B("x")));
    EXPECT_FALSE(m.lastError().empty());
    EXPECT_EQ(S(m.bytes()), "abc");
    EXPECT_FALSE(m.canUndo());
    // Writing across the end grows a block that may grow.
    ASSERT_TRUE(m.write(2, B("XYZ")));
    EXPECT_EQ(S(m.bytes()), "abXYZ");
    m.undo();
    EXPECT_EQ(S(m.bytes()), "abc");
}

TEST_F(HexModelTest, FixedSizeRefusesEveryChangeOfLength) {
    m.load(B("abcdef"));
    m.setFixedSize(true);
    EXPECT_FALSE(m.setDataSize(10));
    EXPECT_FALSE(m.setDataSize(3));
    EXPECT_FALSE(m.insert(0, B("x")));
    EXPECT_FALSE(m.remove(0, 1));
    EXPECT_FALSE(m.write(4, B("XYZ")));  // would run past the end: refused whole
    m.setSelectionStart(1);
    m.setSelectionEnd(2);
    EXPECT_FALSE(m.replaceSelection(B("x")));
    EXPECT_FALSE(m.deleteSelection());
    EXPECT_EQ(m.replaceAll(B("c"), B("cc"), false), 0);
    EXPECT_EQ(S(m.bytes()), "abcdef");
    EXPECT_FALSE(m.isModified());
    // Same-length edits are fine; the caret never reaches the append slot.
    EXPECT_TRUE(m.replaceSelection(B("XY")));
    EXPECT_EQ(m.replaceAll(B("e"), B("E"), false), 1);
    EXPECT_EQ(S(m.bytes()), "aXYdEf");
    m.moveCaret(100, false);
    EXPECT_EQ(m.caret(), 5);
}

TEST_F(HexModelTest, SetDataSizeGrowsWithZerosAndShrinks) {
    m.load(B("ab"));
    ASSERT_TRUE(m.setDataSize(5));
    EXPECT_EQ(m.bytes(), (ByteBlock{'a', 'b', 0, 0, 0}));
    EXPECT_TRUE(m.isChanged(4));
    EXPECT_FALSE(m.isChanged(1));
    ASSERT_TRUE(m.setDataSize(1));
    EXPECT_EQ(S(m.bytes()), "a");
    EXPECT_FALSE(m.setDataSize(-1));
    m.undo();
    m.undo();
    EXPECT_EQ(S(m.bytes()), "ab");
    ASSERT_TRUE(m.setDataSize(0));
    EXPECT_EQ(m.size(), 0);
    EXPECT_EQ(m.cursorPosition(), 0);
}

TEST_F(HexModelTest, ChangedMarksAndMarkUnmodified) {
    m.load(B("0123456789"));
    EXPECT_FALSE(m.isModified());
    m.write(3, B("x"));
    m.insert(0, B("ZZ"));  // marks move with their bytes
    EXPECT_TRUE(m.isChanged(0));
    EXPECT_TRUE(m.isChanged(1));
    EXPECT_TRUE(m.isChanged(5));
    EXPECT_EQ(m.changedCount(), 3);
    EXPECT_FALSE(m.isChanged(-1));
    EXPECT_FALSE(m.isChanged(100));

    m.markUnmodified();
    EXPECT_FALSE(m.isModified());
    EXPECT_EQ(m.changedCount(), 0);

    // Undoing past the reference brings back bytes that differ from it.
    m.undo();
    EXPECT_TRUE(m.isModified());
    EXPECT_EQ(S(m.bytes()), "012x456789");
    EXPECT_EQ(m.changedCount(), 0);  // an insert undone leaves no differing bytes
    m.undo();
    EXPECT_TRUE(m.isChanged(3));
    m.redo();
    m.redo();
    EXPECT_FALSE(m.isModified());

    ByteBlock saved = m.save();
    EXPECT_EQ(S(saved), "ZZ012x456789");
    EXPECT_FALSE(m.isModified());
    m.load(B("new"));
    EXPECT_FALSE(m.canUndo());
    EXPECT_EQ(m.changedCount(), 0);
}

TEST_F(HexModelTest, EveryChangeIsNotified) {
    m.load(B("abcdef"));
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_TRUE(changes[0].reset);
    changes.clear();
    m.write(1, B("X"));
    m.insert(2, B("YY"));
    m.remove(0, 1);
    m.undo();
    ASSERT_EQ(changes.size(), 4u);
    EXPECT_EQ(changes[0].pos, 1);
    EXPECT_EQ(changes[0].removed, 1);
    EXPECT_EQ(changes[0].inserted, 1);
    EXPECT_EQ(changes[1].removed, 0);
    EXPECT_EQ(changes[1].inserted, 2);
    EXPECT_EQ(changes[2].removed, 1);
    EXPECT_EQ(changes[2].inserted, 0);
    // Undo of a delete reports the bytes coming back.
    EXPECT_EQ(changes[3].pos, 0);
    EXPECT_EQ(changes[3].removed, 0);
    EXPECT_EQ(changes[3].inserted, 1);
    changes.clear();
    m.write(0, nullptr, 0);  // no bytes, no change
    EXPECT_TRUE(changes.empty());

    // Listeners see the state after the change, the modified flag included.
    std::vector<bool> seen;
    m.load(B("xy"));
    m.setChangeListener([&](const HexChange&) { seen.push_back(m.isModified()); });
    m.write(0, B("z"));
    m.undo();
    m.redo();
    EXPECT_EQ(seen, (std::vector<bool>{true, false, true}));
}

// ---------------------------------------------------------------- replace all

TEST_F(HexModelTest, ReplaceAllIsOneUndoStep) {
    m.load(B("xAbxabxxABab"));
    EXPECT_EQ(m.replaceAll(B("ab"), B("123"), true), 4);
    EXPECT_EQ(S(m.bytes()), "x123x123xx123123");
    EXPECT_TRUE(m.isChanged(1));
    EXPECT_FALSE(m.isChanged(4));
    EXPECT_EQ(m.changedCount(), 12);
    m.undo();
    EXPECT_EQ(S(m.bytes()), "xAbxabxxABab");  // original case restored
    EXPECT_EQ(m.changedCount(), 0);
    m.redo();
    EXPECT_EQ(S(m.bytes()), "x123x123xx123123");

    // Matches do not overlap; shrinking and deleting replacements work too.
    m.load(B("aaaaa"));
    EXPECT_EQ(m.replaceAll(B("aa"), B("b"), false), 2);
    EXPECT_EQ(S(m.bytes()), "bba");
    m.load(B("-a-a-"));
    EXPECT_EQ(m.replaceAll(B("a"), ByteBlock{}, false), 2);
    EXPECT_EQ(S(m.bytes()), "---");
    EXPECT_EQ(m.replaceAll(B("zz"), B("y"), false), 0);
    EXPECT_EQ(m.replaceAll(ByteBlock{}, B("y"), false), 0);
}

TEST_F(HexModelTest, ReplaceAllKeepsEarlierMarksAndRestoresThem) {
    m.load(B("..ab..ab.."));
    m.write(0, B("!"));
    EXPECT_EQ(m.replaceAll(B("ab"), B("Q"), false), 2);
    EXPECT_EQ(S(m.bytes()), "!.Q..Q..");
    EXPECT_TRUE(m.isChanged(0));
    EXPECT_TRUE(m.isChanged(2));
    EXPECT_TRUE(m.isChanged(5));
    EXPECT_EQ(m.changedCount(), 3);
    m.undo();
    EXPECT_EQ(S(m.bytes()), "!.ab..ab..");
    EXPECT_TRUE(m.isChanged(0));
    EXPECT_EQ(m.changedCount(), 1);
}

// ---------------------------------------------------------------- caret

TEST_F(HexModelTest, CursorAndSelectionAreClamped) {
    m.load(B("abcd"));
    m.setCursorPosition(99);
    EXPECT_EQ(m.cursorPosition(), 3);
    m.setCursorPosition(-5);
    EXPECT_EQ(m.cursorPosition(), 0);
    // The append slot is a caret place, reported as the last byte.
    m.moveCaret(4, false);
    EXPECT_EQ(m.caret(), 4);
    EXPECT_EQ(m.cursorPosition(), 3);
    m.setSelectionStart(3);
    m.setSelectionEnd(1);  // backwards selects the same bytes
    EXPECT_EQ(m.selectionStart(), 1);
    EXPECT_EQ(m.selectionEnd(), 3);
    EXPECT_EQ(m.selectionLength(), 3);
    m.setSelectionEnd(50);
    EXPECT_EQ(m.selectionEnd(), 3);
    m.selectAll();
    EXPECT_EQ(m.selectionLength(), 4);
    m.clearSelection();
    EXPECT_EQ(m.selectionLength(), 0);
    EXPECT_EQ(m.selectionEnd(), m.selectionStart() - 1);
}

// ---------------------------------------------------------------- files

TEST_F(HexModelTest, FilesLoadSaveAndFailCleanly) {
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("qm_hexmodel_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string file = (dir / "block.bin").string();

    m.load(B("ROYL\x01\x02"));
    m.write(4, B("\x7F"));
    ASSERT_TRUE(m.saveFile(file));
    EXPECT_FALSE(m.isModified());
    EXPECT_EQ(m.changedCount(), 0);

    HexModel other;
    ASSERT_TRUE(other.loadFile(file));
    EXPECT_EQ(S(other.bytes()), "ROYL\x7F\x02");

    EXPECT_FALSE(other.loadFile((dir / "missing.bin").string()));
    EXPECT_NE(other.lastError().find("missing.bin"), std::string::npos);
    EXPECT_EQ(S(other.bytes()), "ROYL\x7F\x02");  // unchanged by the failure
    EXPECT_FALSE(other.loadFile(dir.string()));   // a folder is no file

    other.write(0, B("r"));
    EXPECT_FALSE(other.saveFile((dir / "no" / "such" / "x.bin").string()));
    EXPECT_TRUE(other.isModified());  // nothing was saved
    fs::remove_all(dir);
}

}  // namespace
}  // namespace qm
