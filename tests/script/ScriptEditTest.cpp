// The editing rules row by row: Insert's and Delete's goto renumbering, the
// moves, the three goto commands, the log clearing and Upgrade Script.
#include <gtest/gtest.h>

#include <random>

#include "ScriptRig.h"
#include "vdrive/SampleServiceArea.h"

namespace qm::test {
namespace {

using G = std::vector<uint16_t>;

class ScriptEdit : public ::testing::Test {
  protected:
    // An editor holding the steps as given (ROYL, 44 steps of room).
    void Load(const std::vector<StepSpec>& steps, ScriptLayout layout = ScriptLayout::Royl) {
        ed.buffer = ScriptImage(layout, steps, 0, 12);
        std::string why;
        ASSERT_EQ(ed.Parse(why), ParseOutcome::Parsed) << why;
    }
    G At(size_t i) const { return Gotos(ed.steps.at(i)); }

    ScriptedHost host;
    Workbench wb{host};
    ScriptEditor ed{wb};
};

TEST_F(ScriptEdit, InsertRenumbersTheRowsAfterItByValue) {
    Load(
        {{0xA1, 4, 5, 1}, {0xA2, 3, 4, 5}, {0xA3, 4, 5, 1}, {0xA4, 5, 4, 0}, {0xDC, 0xFFFF, 2, 5}});
    ed.Select(1);
    ASSERT_EQ(ed.Insert(), 2);
    ASSERT_EQ(ed.steps.size(), 6u);
    EXPECT_EQ(ed.selected, 2);
    const ScriptStep& added = ed.steps[2];
    EXPECT_EQ(added.TestId(), 0xDC);
    EXPECT_EQ(added.caption, "DC");
    EXPECT_EQ(added.icon, kNoIcon);
    EXPECT_EQ(StepU16(added.record, kStepArg0), 1);
    EXPECT_EQ(StepU32(added.record, StepArgOffset(1)), 0x0Fu);
    EXPECT_EQ(StepU32(added.record, StepArgOffset(3)), 0x0Au);
    EXPECT_EQ(StepU16(added.record, 0x68), kStepNotRun);
    EXPECT_EQ(At(2), (G{4, 4, 4}));
    // Rows before it keep their gotos; rows after it move values below 5
    // (rows - 1), whichever direction they point.
    EXPECT_EQ(At(0), (G{4, 5, 1}));
    EXPECT_EQ(At(1), (G{3, 4, 5}));
    EXPECT_EQ(At(3), (G{5, 5, 2}));
    EXPECT_EQ(At(4), (G{5, 5, 0}));
    EXPECT_EQ(At(5), (G{0xFFFF, 3, 5}));

    ed.Select(-1);
    ASSERT_EQ(ed.Insert(), 0);
    EXPECT_EQ(At(0), (G{2, 2, 2}));
}

TEST_F(ScriptEdit, InsertNeedsAParsedModule) {
    ed.ResetForShow();
    EXPECT_EQ(ed.Insert(), -1);
    EXPECT_TRUE(ed.steps.empty());
}

TEST_F(ScriptEdit, DeleteRenumbersSuccessAndErrorButNotAbort) {
    Load(
        {{0xA1, 2, 5, 5}, {0xA2, 3, 5, 5}, {0xA3, 4, 5, 5}, {0xA4, 1, 0xFFFF, 5}, {0xA5, 0, 1, 5}});
    ed.Select(2);
    ed.Delete();
    EXPECT_EQ(Ids(ed), (std::vector<uint16_t>{0xA1, 0xA2, 0xA4, 0xA5}));
    EXPECT_EQ(ed.selected, 2);
    EXPECT_EQ(At(0), (G{2, 5, 5}));
    EXPECT_EQ(At(1), (G{3, 5, 5}));
    EXPECT_EQ(At(2), (G{0, 0xFFFF, 5}));
    EXPECT_EQ(At(3), (G{0, 0, 5}));
    ed.Select(3);
    ed.Delete();
    EXPECT_EQ(ed.selected, 2) << "the last row was deleted: the new last row";
}

TEST_F(ScriptEdit, DeletingAMarkerRenumbersOneRowMore) {
    Load({{0xA1, 3, 3, 3}, {0xEEEE, 3, 3, 3}, {0xA3, 3, 3, 3}});
    ed.Select(1);
    ed.Delete();
    EXPECT_EQ(At(0), (G{2, 2, 3}));
    EXPECT_EQ(At(1), (G{2, 2, 3}));
    Load({{0xEEEE, 3, 3, 3}, {0xA2, 3, 3, 3}});
    ed.Select(0);
    ed.Delete();
    EXPECT_EQ(At(0), (G{2, 2, 3})) << "a first-row marker renumbers from row 0";
}

TEST_F(ScriptEdit, MovesChangeOnlyTheNeighboursSuccessGoto) {
    Load({{0xA1, 0, 7, 7}, {0xA2, 5, 7, 7}, {0xA3, 0xFFFF, 7, 7}});
    ed.Select(1);
    ed.MoveUp();
    EXPECT_EQ(Ids(ed), (std::vector<uint16_t>{0xA2, 0xA1, 0xA3}));
    EXPECT_EQ(ed.selected, 0);
    EXPECT_EQ(At(0), (G{5, 7, 7})) << "the moved row keeps its gotos";
    EXPECT_EQ(At(1), (G{1, 7, 7}));
    ed.Select(1);
    ed.MoveDown();
    EXPECT_EQ(At(1), (G{0xFFFF, 7, 7})) << "stop stays stop";
    ed.Select(0);
    ed.MoveDown();
    EXPECT_EQ(At(0), (G{0xFFFF, 7, 7}));
    ed.Select(1);
    ed.MoveDown();
    EXPECT_EQ(Ids(ed), (std::vector<uint16_t>{0xA3, 0xA1, 0xA2}));
    EXPECT_EQ(At(1), (G{0, 7, 7}));
    ed.Select(2);
    ed.MoveDown();  // the last row stays
    EXPECT_EQ(ed.selected, 2);
    Load({{0xA1, 5, 7, 7}, {0xA2, 0, 7, 7}});
    ed.Select(0);
    ed.MoveDown();
    EXPECT_EQ(At(0), (G{0xFFFF, 7, 7})) << "0 goes down to 0xFFFF";
}

TEST_F(ScriptEdit, GotoCommands) {
    Load({{0xA1}, {0xA2}, {0xDC}, {0xDC}, {0xDC}});
    ed.SetGotosToEnd();
    EXPECT_EQ(At(0), (G{2, 4, 5}));
    EXPECT_EQ(At(1), (G{3, 4, 5}));
    for (size_t i = 2; i < 5; ++i) EXPECT_EQ(At(i), (G{0xFFFF, 0xFFFF, 0xFFFF}));
    ed.SetGotosToStop();
    EXPECT_EQ(At(0), (G{2, 0xFFFF, 0xFFFF}));
    EXPECT_EQ(At(3), (G{5, 0xFFFF, 0xFFFF}));
    EXPECT_EQ(At(4), (G{0xFFFF, 0xFFFF, 0xFFFF}));
    Load({{0xA1, 9, 8, 7}, {0xA2, 9, 8, 7}, {0xDC, 9, 8, 7}, {0xDC, 9, 8, 7}});
    ed.SetGotosStepByStep();
    EXPECT_EQ(At(0), (G{2, 8, 7}));
    EXPECT_EQ(At(1), (G{3, 8, 7}));
    EXPECT_EQ(At(2), (G{9, 8, 7})) << "an END step before the last is left alone";
    EXPECT_EQ(At(3), (G{0xFFFF, 0xFFFF, 0xFFFF}));
    Load({{0xA1, 2, 3, 3}, {0xA2, 3, 3, 3}, {0xA3, 0, 0, 0}});
    ed.SetGotosToEnd();
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(At(i), (G{0xFFFF, 0xFFFF, 0xFFFF}));
}

TEST_F(ScriptEdit, ClearingALogUsesTheLayoutsErrorCode) {
    Load({{0xA1, 2, 2, 2, 0x7611}, {0xA2, 3, 3, 3, 0}}, ScriptLayout::LegacyShort);
    std::fill(ed.steps[0].record.begin() + kStepResultArea, ed.steps[0].record.end(), 0x55);
    ed.Select(0);
    ed.ClearCurrentStepLog();
    const StepRecord& r = ed.steps[0].record;
    EXPECT_EQ(StepU16(r, 0x54), kStepNotRun);
    EXPECT_EQ(r[kStepResultArea], 0);
    EXPECT_EQ(r.back(), 0);
    EXPECT_EQ(Gotos(ed.steps[0]), (G{2, 2, 2}));
    EXPECT_EQ(ed.steps[0].icon, kNoIcon);
    EXPECT_EQ(ed.steps[1].icon, kIconPassed);
    ed.ClearScriptLog();
    EXPECT_EQ(StepU16(ed.steps[1].record, 0x54), kStepNotRun);
    EXPECT_EQ(ed.steps[1].icon, kNoIcon);
}

TEST_F(ScriptEdit, UpgradeBringsTheOldConventionScriptUpToDate) {
    DriveContent c;
    BuildSampleServiceArea(c);
    ed.buffer = c.serviceArea.modules.at(0x3B);
    std::string why;
    ASSERT_EQ(ed.Parse(why), ParseOutcome::Parsed);
    ed.Upgrade();
    EXPECT_EQ(Ids(ed),
              (std::vector<uint16_t>{0x3307, 0x3300, 0x3301, 0x2408, 0xB9, 0x2401, 0xBC, 0xD8,
                                     0x3421, 0xD1, 0x3402, 0x1420, 0xDC, 0xDC, 0xDC}));
    // Replaced ids keep their captions; rebuilt placeholders are zero-filled.
    EXPECT_EQ(ed.steps[1].caption, "D2");
    EXPECT_EQ(ed.steps[4].caption, "B000");
    const StepRecord& b9 = ed.steps[4].record;
    EXPECT_EQ(StepU32(b9, StepArgOffset(1)), 0x1291u);
    EXPECT_EQ(StepU32(b9, 0x34), 1u);
    EXPECT_EQ(StepU16(b9, 0x68), 0);
    EXPECT_EQ(StepU32(ed.steps[6].record, 0x20), 5000u);
    EXPECT_EQ(StepU16(ed.steps[8].record, 0x38), 0x10);
    EXPECT_EQ(StepU32(ed.steps[10].record, StepArgOffset(2)), 0u);  // 3402: no limits
    EXPECT_EQ(StepU32(ed.steps[10].record, StepArgOffset(3)), 0u);
    for (size_t k = 0; k < 3; ++k) {
        EXPECT_EQ(StepU32(ed.steps[12 + k].record, StepArgOffset(4)), 6 - 2 * k);
        EXPECT_EQ(Gotos(ed.steps[12 + k]), (G{0xFFFF, 0xFFFF, 0xFFFF}));
    }
    // The marker (row 6) and the END step (row 8) went: rows after each went
    // down by one in success and error, the row before the marker too.
    EXPECT_EQ(At(0), (G{2, 11, 11}));
    EXPECT_EQ(At(3), (G{5, 11, 11}));
    EXPECT_EQ(At(4), (G{0, 0, 0})) << "rebuilt placeholder";
    EXPECT_EQ(At(5), (G{7, 10, 11}));
    EXPECT_EQ(At(9), (G{9, 9, 11}));
    EXPECT_EQ(At(11), (G{11, 9, 11}));
}

TEST_F(ScriptEdit, UpgradeOnShortListsPutsTheEndStepsOnTop) {
    const std::vector<uint16_t> upgraded{0xD8, 0x3421, 0xDC, 0xDC, 0xDC};
    Load({});
    ed.Upgrade();
    ASSERT_EQ(Ids(ed), upgraded);
    for (size_t k = 0; k < 3; ++k)
        EXPECT_EQ(StepU32(ed.steps[2 + k].record, StepArgOffset(4)), 6 - 2 * k);
    Load({{0xDC}});
    ed.Upgrade();
    EXPECT_EQ(Ids(ed), upgraded);
    Load({{0xD8}, {0x3421}, {0xDC}, {0xDC}, {0xDC}});
    ed.Upgrade();
    EXPECT_EQ(Ids(ed), upgraded) << "an upgraded script stays as it is";
}

// Upgrade's deletions in one pass against Select + Delete row by row.
TEST_F(ScriptEdit, DeletionsInOnePassMatchDeletingRowByRow) {
    std::mt19937 rnd(7);
    const uint16_t ids[] = {0xA1, 0xDC, 0xEEEE, 0x2401};
    const uint16_t values[] = {0, 1, 2, 3, 5, 9, 0xFFFF};
    for (int round = 0; round < 200; ++round) {
        std::vector<StepSpec> specs(rnd() % 12);
        for (StepSpec& s : specs)
            s = {ids[rnd() % 4], values[rnd() % 7], values[rnd() % 7], values[rnd() % 7]};
        Load(specs);
        ScriptEditor naive(wb);
        naive.buffer = ed.buffer;
        std::string why;
        ASSERT_EQ(naive.Parse(why), ParseOutcome::Parsed);
        for (size_t i = 0; naive.steps.size() > 3 && i < naive.steps.size() - 3;) {
            naive.Select(static_cast<int>(i));
            const uint16_t id = naive.steps[i].TestId();
            if (id == 0xDC || id == 0xEEEE)
                naive.Delete();
            else
                ++i;
        }
        ed.DeleteEndAndMarkerSteps();
        ASSERT_EQ(Ids(ed), Ids(naive)) << "round " << round;
        for (size_t i = 0; i < ed.steps.size(); ++i)
            ASSERT_EQ(Gotos(ed.steps[i]), Gotos(naive.steps[i]))
                << "round " << round << " row " << i;
        ASSERT_EQ(ed.selected, naive.selected) << "round " << round;
    }
}

}  // namespace
}  // namespace qm::test
