// PST.ini and PST.trx byte for byte (the save itself: the window and
// command-line tests).
#include <gtest/gtest.h>

#include "ScriptRig.h"
#include "script/ScriptExport.h"

namespace qm::test {
namespace {

class ScriptExport : public ::testing::Test {
  protected:
    // A default new step (no description: no data files) and a step with
    // large, small and zero arguments and a 100-character description.
    void SetUp() override {
        ed.buffer = ScriptTemplateModule();
        std::string why;
        ASSERT_EQ(ed.Parse(why), ParseOutcome::Parsed) << why;
        ed.Insert();
        ed.Insert();
        ScriptStep& s = ed.steps[1];
        StepRecord& r = s.record;
        std::fill_n(r.begin(), 0x44, uint8_t{0});
        PutU16(r.data(), 0x2401);
        PutU32(r.data() + StepArgOffset(1), 0xFFFFFFFF);
        PutU32(r.data() + StepArgOffset(2), 0x340012);
        PutU32(r.data() + StepArgOffset(3), 9);
        PutU32(r.data() + StepArgOffset(4), 10);
        PutU32(r.data() + StepArgOffset(16), 0x10);
        PutU32(r.data() + kStepPostAction, 2);
        s.description = std::string(70, 'a') + std::string(30, 'b');
    }

    ScriptedHost host;
    Workbench wb{host};
    ScriptEditor ed{wb};
};

TEST_F(ScriptExport, IniLinesAsWorkedOutByHand) {
    const std::string longKey = "2 " + std::string(70, 'a') + std::string(10, 'b');
    const std::string expected =
        "[PST Sequence]\r\n"
        "1                                        = DC,1,F,1,A,,,,,,,,,,,,,,\r\n" +
        longKey + " = 2401,0,FFFFFFFF,340012,9,A,,,,,,,,,,,,10,2\r\n";
    EXPECT_EQ(ScriptIniText(ed), expected);
}

TEST_F(ScriptExport, TrxLinesAsWorkedOutByHandWithAndWithoutCtrl) {
    const std::string head = "command ExternalTest\r\n\r\n  st totaltime\r\n  vscon\r\n\r\n";
    const std::string tail =
        "  sflog\r\n  tso off;ts totaltime\r\n"
        "  fprintf\"\\nTotal Time: %02d:%02d:%02d\\n\",Duration@totaltime/36000000,"
        "Duration@totaltime/600000 %60,Duration@totaltime/10000 %60\r\n"
        "  STDBY\r\n  fprintf\"\\nThe successful completion of "
        "selftest!!!\\n\";bell\r\necommand\r\n";
    const std::string step1cmd = "  xf 0xDC,1,0xF,1,0xA,0,0,0,0,0,0,0,0,0,0,0,0,0;msf\r\n\r\n";
    const std::string step2cmd =
        "  xf 0x2401,0,0xFFFFFFFF,0x340012,9,0xA,0,0,0,0,0,0,0,0,0,0,0,0x10;msf\r\n"
        "  ireset;waitb;vscon\r\n\r\n";
    // The title is cut to 80 as a whole: "2401 " and 75 characters.
    const std::string plain = head + "  fprintf \"\\nDC \\n\"\r\n" + step1cmd +
                              "  fprintf \"\\n2401 " + std::string(70, 'a') + std::string(5, 'b') +
                              "\\n\"\r\n" + step2cmd + tail;
    EXPECT_EQ(ScriptTrxText(ed, [] { return false; }), plain);

    // CTRL is asked once per step: held for the second one only.
    int asked = 0;
    const std::string ctrl = head + "  fprintf \"\\nDC \\n\"\r\n" + step1cmd +
                             "  fprintf \"\\n====== Test 2401,0,FFFF ======\\n\"\r\n" + step2cmd +
                             tail;
    EXPECT_EQ(ScriptTrxText(ed, [&] { return asked++ == 1; }), ctrl);
    EXPECT_EQ(asked, 2);

    // Only 1, 2, 4 and 8 have an action line.
    PutU32(ed.steps[1].record.data() + kStepPostAction, 0x10003);
    EXPECT_EQ(ScriptTrxText(ed, {}).find("ireset"), std::string::npos);
    PutU32(ed.steps[1].record.data() + kStepPostAction, 0x10008);
    EXPECT_NE(ScriptTrxText(ed, {}).find("  // Repeat Test\r\n"), std::string::npos);
}

}  // namespace
}  // namespace qm::test
