// The script module: each layout read and written back, modules refused
// before they can cause reads or writes outside a record, captions, colours
// and module ids.
#include <gtest/gtest.h>

#include "ScriptRig.h"
#include "common/Format.h"

namespace qm::test {
namespace {

TEST(ScriptModule, EachLayoutWrittenBackChangesOnlyWhatAWriteChanges) {
    for (ScriptLayout layout :
         {ScriptLayout::Royl, ScriptLayout::Legacy30, ScriptLayout::LegacyShort}) {
        SCOPED_TRACE(LayoutInfo(layout).name);
        const ScriptLayoutInfo& info = LayoutInfo(layout);
        const ModuleImage original = ScriptImage(
            layout, {{0xDC, 2, 3, 3, 0}, {0x2401, 3, 3, 3, 0x7611}, {0xA1, 0xFFFF, 0, 0}}, 0, 4, 2,
            5000);
        ScriptedHost host;
        Workbench wb{host};
        wb.flags.scriptRoyl = layout != ScriptLayout::Royl;
        ScriptEditor ed(wb);
        ed.buffer = original;
        std::string why;
        ASSERT_EQ(ed.Parse(why), ParseOutcome::Parsed) << why;
        EXPECT_EQ(ed.layout, layout);
        EXPECT_EQ(wb.flags.scriptRoyl, layout == ScriptLayout::Royl);
        EXPECT_EQ(ed.recordSize, info.defaultRecordSize);
        EXPECT_EQ(ed.maxSteps, static_cast<int64_t>((original.size() - info.firstStepOffset) /
                                                    info.defaultRecordSize));
        ASSERT_EQ(Ids(ed), (std::vector<uint16_t>{0xDC, 0x2401, 0xA1}));
        EXPECT_EQ(ed.steps[0].icon, kIconPassed);
        EXPECT_EQ(ed.steps[1].icon, kIconFailed);
        EXPECT_EQ(ed.steps[2].icon, kIconNotRun);
        EXPECT_EQ(ed.selected, 1);

        ed.Serialize();
        // What a write changes: the record size 0 becomes the default, the
        // PTM start time is cleared, the tail after the last step is zeroed.
        ModuleImage expected = original;
        PutU16(expected.data() + info.headerOffset + 2, info.defaultRecordSize);
        if (layout != ScriptLayout::LegacyShort) PutU32(expected.data() + info.headerOffset + 4, 0);
        const size_t end = info.firstStepOffset + 3 * info.defaultRecordSize;
        std::fill(expected.begin() + static_cast<ptrdiff_t>(end), expected.end(), uint8_t{0});
        EXPECT_EQ(ed.buffer, expected);
    }
}

TEST(ScriptModule, LegacyShortPtmTimeIsTheFirstStepsBytes) {
    ScriptedHost host;
    Workbench wb{host};
    ScriptEditor ed(wb);
    ed.buffer = ScriptImage(ScriptLayout::LegacyShort, {{0xDC}});
    std::string why;
    ASSERT_EQ(ed.Parse(why), ParseOutcome::Parsed);
    EXPECT_EQ(ed.ptmStartTime, 0x000100DCu);  // TEST_ID 0xDC, ARG0 1: 65756 s
    EXPECT_EQ(ed.Caption(), "Self Scan Script - 28 - All: 1, Cur: 1, PTM Start Time:18:15:56");
}

TEST(ScriptModule, CurrentStepOutsideTheListShowsAsOne) {
    ScriptedHost host;
    Workbench wb{host};
    ScriptEditor ed(wb);
    std::string why;
    for (uint16_t stored : {0, 4, 3}) {
        ed.buffer = ScriptImage(ScriptLayout::Royl, {{0xA1}, {0xA2}, {0xDC}}, 0, 2, stored);
        ASSERT_EQ(ed.Parse(why), ParseOutcome::Parsed);
        EXPECT_EQ(ed.currentStep, stored == 3 ? 3 : 1);
        EXPECT_EQ(ed.selected, ed.currentStep - 1);
    }
    ed.buffer = ScriptImage(ScriptLayout::Royl, {}, 0, 2, 7);
    ASSERT_EQ(ed.Parse(why), ParseOutcome::Parsed);
    EXPECT_EQ(ed.selected, -1);
    EXPECT_EQ(ed.Caption(), "Self Scan Script - 28 - All: 0, Cur: 1, PTM Start Time:00:00:00");
    ed.selected = -1;
    ed.steps.push_back(ed.NewStep(StepRecord(0x88, 0xDC)));
    ed.Serialize();
    EXPECT_EQ(GetU16(ed.buffer.data() + 0x30), 0) << "no row selected: current step 0";
}

TEST(ScriptModule, RefusesModulesWhoseRecordsCannotHoldTheFields) {
    ScriptedHost host;
    Workbench wb{host};
    ScriptEditor ed(wb);
    std::string why;
    ed.buffer = ScriptImage(ScriptLayout::Royl, {{0xA1}, {0xDC}});
    ASSERT_EQ(ed.Parse(why), ParseOutcome::Parsed);
    struct Case {
        ModuleImage image;
        const char* what;
    };
    ModuleImage cut = ScriptImage(ScriptLayout::Royl, {});
    cut.resize(0x34);
    const Case cases[] = {
        {ScriptImage(ScriptLayout::Royl, {{0xA1}}, 1), "record size 1"},
        {ScriptImage(ScriptLayout::Legacy30, {{0xA1}}, 0x69), "record size below 0x6A"},
        {ScriptImage(ScriptLayout::LegacyShort, {{0xA1}}, 0x55), "record size below 0x56"},
        {cut, "header cut short"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ed.buffer = c.image;
        why.clear();
        EXPECT_EQ(ed.Parse(why), ParseOutcome::Refused);
        EXPECT_FALSE(why.empty());
        EXPECT_TRUE(ed.buffer.empty()) << "Write then refuses, as after a failed read";
        EXPECT_EQ(ed.steps.size(), 2u) << "the list stays";
    }
    // A record larger than any key sector still parses; a step count past
    // the module is cut at its end.
    ed.buffer = ScriptImage(ScriptLayout::LegacyShort, {{0xA1}, {0xA2}, {0xA3}}, 600, 3);
    ASSERT_EQ(ed.Parse(why), ParseOutcome::Parsed);
    EXPECT_EQ(ed.maxSteps, 2);
    EXPECT_EQ(ed.steps.size(), 2u);
    EXPECT_EQ(ed.steps[0].record.size(), 600u);
}

TEST(ScriptModule, RowColours) {
    auto colour = [](const char* caption, uint16_t success = 2, uint8_t op = 0) {
        StepRecord r(0x88, 0);
        PutU16(r.data() + kStepGotoSuccess, success);
        r[4] = op;
        return StepColourName(ScriptRowColour(caption, r));
    };
    EXPECT_STREQ(colour("2405"), "red");
    EXPECT_STREQ(colour("240A"), "teal");
    EXPECT_STREQ(colour("2434"), "default");
    EXPECT_STREQ(colour("B9"), "green");
    EXPECT_STREQ(colour("BB"), "maroon");
    EXPECT_STREQ(colour("34D7"), "olive");
    EXPECT_STREQ(colour("DC"), "blue");
    EXPECT_STREQ(colour("EEEE"), "lime");
    EXPECT_STREQ(colour("C4", 2, 0x6A), "red");
    EXPECT_STREQ(colour("C4", 2, 0x60), "teal");
    EXPECT_STREQ(colour("A1", 0xFFFF), "fuchsia");
    EXPECT_STREQ(colour("zz"), "fuchsia");  // not a number: test id 0
}

TEST(ScriptModule, ModuleIdsThatDoNotFitTheHeaderAreRefused) {
    EXPECT_EQ(SelectorModuleId("ZZ"), 0x28u);
    EXPECT_EQ(SelectorModuleId(" 3b "), 0x3Bu);
    EXPECT_EQ(SelectorModuleId("12345"), 0x12345u);
    std::string why;
    ModuleImage older = ScriptImage(ScriptLayout::Legacy30, {{0xA1}});
    const ModuleImage before = older;
    EXPECT_FALSE(SetModuleId(older, 0x1100, why));
    EXPECT_EQ(older, before);
    ModuleImage royl = ScriptImage(ScriptLayout::Royl, {{0xA1}});
    EXPECT_FALSE(SetModuleId(royl, 0x12345, why));
    ASSERT_TRUE(SetModuleId(royl, 0x3B, why));
    EXPECT_EQ(ModuleIdOf(royl), 0x3B);
    EXPECT_TRUE(ModuleChecksumValid(royl));
    ASSERT_TRUE(SetModuleId(older, 0x3C, why));
    EXPECT_EQ(older[4], 0x3C);
    EXPECT_TRUE(ModuleChecksumValid(older));
}

}  // namespace
}  // namespace qm::test
