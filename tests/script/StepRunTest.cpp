// Running one step: the log lines, the key sector as it goes out, and a
// passing and a failing step followed to their end on the virtual drive.
#include <gtest/gtest.h>

#include "ScriptRig.h"
#include "defects/ProgressPoll.h"
#include "script/StepRun.h"
#include "vendor/Modules.h"

namespace qm::test {
namespace {

StepRecord Record(uint16_t id, uint16_t arg0, uint32_t arg1, size_t size = 0x88) {
    StepRecord r(size, 0);
    SetStepU16(r, kStepTestId, id);
    SetStepU16(r, kStepArg0, arg0);
    SetStepU32(r, StepArgOffset(1), arg1);
    return r;
}

TEST(StepRun, LogLinesCarryTheTestIdAndItsSecondNumber) {
    EXPECT_EQ(StepRunStartLine(Record(0x2405, 1, 0x00120034)), "Test 2405_34 - Start");
    EXPECT_EQ(StepRunStartLine(Record(0xDC, 2, 0x0F)), "Test DC_02 - Start");
    EXPECT_EQ(StepRunEndLine(Record(0xDC, 2, 0x0F)), "Test DC_02 End - ");
    EXPECT_EQ(StepRunStartLine(Record(0xA9, 0x100, 7)), "Test A9_100 - Start");
    EXPECT_EQ(StepRunStartLine(Record(0x290D, 1, 0x1234)), "Test 290D_1234 - Start");
    for (uint16_t id : {0x2400, 0x2500, 0x2905, 0x290C, 0x2A03, 0xA5})
        EXPECT_EQ(StepRunSecondNumber(Record(id, 5, 9)), 5) << std::hex << id;
    // A record too short for its arguments: what is missing reads as 0.
    EXPECT_EQ(StepRunSecondNumber(StepRecord{0xA1, 0, 0, 0, 0x34, 0x12}), 0x1234);
    EXPECT_EQ(StepRunSecondNumber(Record(0xDC, 7, 0, 3)), 0);
}

TEST(StepRun, KeyHoldsTheRecordAndNothingPastTheKeySector) {
    DriveRig rig;
    rig.wb.link.keySector.fill(0xAB);
    StepRecord small = Record(0xDC, 1, 0x0F, 8);
    SendStepRunKey(rig.wb, small);
    const auto& key = rig.wb.link.keySector;
    EXPECT_EQ(GetU16(key.data()), 0x19);
    EXPECT_EQ(GetU16(key.data() + 2), 3);
    EXPECT_TRUE(std::equal(small.begin(), small.end(), key.begin() + 4));
    EXPECT_EQ(key[12], 0xAB) << "the rest of the buffer is not zeroed";

    StepRecord large(600);
    for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<uint8_t>(i + 1);
    SendStepRunKey(rig.wb, large);
    EXPECT_TRUE(std::equal(large.begin(), large.begin() + 508, key.begin() + 4));
}

TEST(StepRun, PassingAndFailingStepsFollowedToTheirEnd) {
    DriveContent content = VirtualDrive::SampleContent();
    content.timing.testRunNanos = 40'000'000;
    content.timing.tests[0x2405] = {40'000'000, true, 0x7611};
    DriveRig rig(std::move(content));
    rig.host.counterStep = 2000;  // 2 ms of the host's clock per look
    ScriptEditor ed(rig.wb);
    ASSERT_TRUE(ReadModuleOrFile(rig.wb, 0x28, ed.buffer));
    std::string why;
    ASSERT_EQ(ed.Parse(why), ParseOutcome::Parsed);
    FollowOptions options;
    options.untilIdle = true;
    for (const auto& [row, result] : {std::pair{0, 0}, std::pair{14, 0x7611}}) {
        const StepRecord& r = ed.steps[static_cast<size_t>(row)].record;
        SendStepRunKey(rig.wb, r);
        bool sawRun = false;
        const FollowResult f = FollowProgress(rig.wb, options, [&](const ProgressPoll& p, bool) {
            sawRun = sawRun || (p.busy && p.fields.ptmId == StepU16(r, kStepTestId));
        });
        EXPECT_EQ(f.end, FollowEnd::Idle);
        EXPECT_TRUE(sawRun);
        EXPECT_EQ(f.last.fields.extErrCode, result);
    }
}

}  // namespace
}  // namespace qm::test
