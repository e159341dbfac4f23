// Find and replace of the module 0x21 editor's hex pane.
#include "module21/FindReplace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace qm {
namespace {

ByteBlock B(const std::string& s) {
    return ByteBlock(s.begin(), s.end());
}

FindRecord Find(const std::string& text, TextCheck check, HexModel& pane, bool ignoreCase = false) {
    FindRecord r;
    FindDialogOut(r, {text, check, ignoreCase});
    PrepareFind(r, pane);
    return r;
}

TEST(FindReplaceText, HexTestAndLenientConversion) {
    EXPECT_TRUE(IsHexText(" 4F 52 "));
    EXPECT_TRUE(IsHexText("abc"));
    EXPECT_FALSE(IsHexText("ROYL"));
    EXPECT_FALSE(IsHexText("4F, 52"));  // a comma makes it text
    EXPECT_FALSE(IsHexText("0x4F"));
    EXPECT_FALSE(IsHexText("   "));
    EXPECT_EQ(HexTextToBytes("4F 52", false), (ByteBlock{0x4F, 0x52}));
    EXPECT_EQ(HexTextToBytes("abc", false), (ByteBlock{0xAB}));    // the unpaired c is dropped
    EXPECT_EQ(HexTextToBytes("1 2 3", false), (ByteBlock{0x12}));  // blanks do not separate
    EXPECT_EQ(HexTextToBytes("4F,x52", true), (ByteBlock{0xF4, 0x25}));
}

TEST(FindReplaceText, DialogsStayGreyUntilTextIsStored) {
    FindRecord r;
    EXPECT_EQ(FindDialogIn(r).findIsText, TextCheck::Undecided);
    FindDialogOut(r, {"4F 52", TextCheck::Undecided, true});
    EXPECT_FALSE(r.isText);  // grey: decided by the hex test
    EXPECT_TRUE(r.ignoreCase);
    EXPECT_EQ(FindDialogIn(r).findIsText, TextCheck::Unchecked);
    FindDialogOut(r, {"4F 52", TextCheck::Checked, false});
    EXPECT_TRUE(r.isText);  // once decided, the stored flag wins over the hex test

    ReplaceRecord rr;
    ReplaceDialogFields f = ReplaceDialogIn(rr);
    EXPECT_EQ(f.replaceIsText, TextCheck::Undecided);
    f.findText = "ROYL";
    f.replaceText = "";
    f.replaceAll = true;
    ReplaceDialogOut(rr, f);
    EXPECT_TRUE(rr.findIsText);
    EXPECT_TRUE(rr.replaceAll);
    EXPECT_EQ(ReplaceDialogIn(rr).replaceIsText, TextCheck::Undecided);  // empty text stays grey
}

TEST(FindReplaceFind, FindNextStepsOnAndFindsOverlaps) {
    HexModel pane;
    pane.load(B("xAAAAyA"));
    FindRecord r = Find("AA", TextCheck::Undecided, pane);  // grey: "AA" is hex 0xAA
    EXPECT_EQ(r.data, ByteBlock{0xAA});
    EXPECT_EQ(FindNext(pane, r).outcome, SearchOutcome::NoMatch);

    r = Find("AA", TextCheck::Checked, pane);
    std::vector<int64_t> at;
    for (SearchResult s = FindNext(pane, r); s.outcome == SearchOutcome::Found;
         s = FindNext(pane, r))
        at.push_back(s.position);
    EXPECT_EQ(at, (std::vector<int64_t>{1, 2, 3}));
    EXPECT_EQ(pane.selectionLength(), 2);
    EXPECT_EQ(pane.cursorPosition(), 4);  // the caret on the match's last byte

    // A one-byte search steps past its selected one-byte match.
    pane.setCursorPosition(0);
    r = Find("A", TextCheck::Checked, pane);
    at.clear();
    for (SearchResult s = FindNext(pane, r); s.outcome == SearchOutcome::Found;
         s = FindNext(pane, r))
        at.push_back(s.position);
    EXPECT_EQ(at, (std::vector<int64_t>{1, 2, 3, 4, 6}));

    // Ignore case folds hex data too; units must fit the pane's bytes per unit.
    pane.setCursorPosition(0);
    r = Find("61", TextCheck::Unchecked, pane, true);
    EXPECT_EQ(FindNext(pane, r).position, 1);
    pane.setBytesPerUnit(2);
    pane.setCursorPosition(0);
    EXPECT_EQ(FindNext(pane, r).outcome, SearchOutcome::UnitError);
}

// The step-by-step loop: find from start, replace the selection, go on after
// the replacement.
ByteBlock LoopReplaceAll(ByteBlock data, const ByteBlock& f, const ByteBlock& r) {
    HexModel m;
    m.load(data);
    for (int64_t start = 0, p; (p = m.find(f, start, m.size(), false)) >= 0;
         start = p + static_cast<int64_t>(r.size())) {
        m.setSelectionStart(p);
        m.setSelectionEnd(p + static_cast<int64_t>(f.size()) - 1);
        if (r.empty())
            m.deleteSelection();
        else
            m.replaceSelection(r);
    }
    return m.bytes();
}

TEST(FindReplaceReplace, ReplaceAllMatchesTheLoopAndCounts) {
    const std::string text = "ROYLROYLxROYROYLyROYL";
    for (const std::string repl : {"", "LYOR", "Q", "ROYLROYL"}) {
        HexModel pane;
        pane.load(B(text));
        pane.setCursorPosition(10);  // "Replace All" starts at 0 wherever the caret is
        ReplaceRecord r;
        ReplaceDialogOut(r, {"ROYL", repl, TextCheck::Undecided, TextCheck::Checked, false, true});
        const ReplaceResult res = RunReplace(pane, r);
        ASSERT_EQ(res.outcome, ReplaceOutcome::Replaced) << repl;
        EXPECT_EQ(res.count, 4);
        EXPECT_EQ(res.message, "4 replacemets.");
        EXPECT_EQ(pane.bytes(), LoopReplaceAll(B(text), B("ROYL"), B(repl))) << repl;
        // In place (no longer replacements): the result over the start, the
        // old tail kept, as the pane written back over its section.
        if (repl.size() > 4) continue;
        ByteBlock in = B(text), expected = B(text);
        std::copy(pane.bytes().begin(), pane.bytes().end(), expected.begin());
        size_t newSize = 0;
        EXPECT_EQ(ReplaceAllInPlace(in.data(), in.size(), B("ROYL"), B(repl), false, newSize), 4);
        EXPECT_EQ(newSize, pane.bytes().size());
        EXPECT_EQ(in, expected) << repl;
    }
    // "Replace" starts at the caret and changes one match; hex on both sides.
    HexModel pane;
    pane.load(B("ROYLROYL"));
    pane.setCursorPosition(1);
    ReplaceRecord r;
    ReplaceDialogOut(
        r, {"52 4F", "41 42 43", TextCheck::Undecided, TextCheck::Undecided, false, false});
    const ReplaceResult one = RunReplace(pane, r);
    EXPECT_EQ(one.outcome, ReplaceOutcome::Replaced);
    EXPECT_EQ(one.position, 4);
    EXPECT_EQ(one.message, "");
    EXPECT_EQ(pane.bytes(), B("ROYLABCYL"));
    // No match: reported as such, nothing changes.
    ReplaceDialogOut(r, {"ZZZ", "Q", TextCheck::Undecided, TextCheck::Undecided, false, true});
    EXPECT_EQ(RunReplace(pane, r).outcome, ReplaceOutcome::NoMatch);
    EXPECT_EQ(pane.bytes(), B("ROYLABCYL"));
}

TEST(FindReplaceReplace, ReplacementsThatCannotWorkChangeNothing) {
    HexModel pane;
    pane.load(B("ROYLROYL"));
    ReplaceRecord r;
    // "Is text" unchecked and no hex digit: it would delete every match.
    ReplaceDialogOut(r, {"ROYL", "zz", TextCheck::Checked, TextCheck::Unchecked, false, true});
    EXPECT_EQ(RunReplace(pane, r).outcome, ReplaceOutcome::Refused);
    // A search that converts to no bytes matches nothing (and never loops).
    ReplaceDialogOut(r, {"xyz", "Q", TextCheck::Unchecked, TextCheck::Checked, false, true});
    EXPECT_EQ(RunReplace(pane, r).outcome, ReplaceOutcome::NoMatch);
    // A length change in a fixed-size pane is refused, one match or all.
    pane.setFixedSize(true);
    for (bool all : {false, true}) {
        ReplaceDialogOut(r, {"ROYL", "AB", TextCheck::Checked, TextCheck::Checked, false, all});
        EXPECT_EQ(RunReplace(pane, r).outcome, ReplaceOutcome::Refused);
    }
    EXPECT_EQ(pane.bytes(), B("ROYLROYL"));
    // Replacement bytes that do not fill whole units.
    pane.setFixedSize(false);
    pane.setBytesPerUnit(2);
    ReplaceDialogOut(r, {"ROYL", "ABC", TextCheck::Checked, TextCheck::Checked, false, true});
    const ReplaceResult unit = RunReplace(pane, r);
    EXPECT_EQ(unit.outcome, ReplaceOutcome::UnitError);
    EXPECT_EQ(unit.message, kReplaceUnitText);
}

}  // namespace
}  // namespace qm
