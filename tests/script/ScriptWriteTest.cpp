// Write through the drive: the round trip, and every write that must not
// happen (a list longer than the module, no module loaded, a module id that
// does not fit, a drive module of another size, a drive that refuses).
#include <gtest/gtest.h>

#include "ScriptRig.h"
#include "common/Files.h"
#include "common/Format.h"
#include "drive/Identify.h"
#include "vendor/Modules.h"

namespace qm::test {
namespace {

class ScriptWrite : public ::testing::Test {
  protected:
    void Read(uint16_t id = 0x28) {
        ed.selector = Format("%02X", id);
        ASSERT_TRUE(ReadModuleOrFile(rig.wb, id, ed.buffer));
        std::string why;
        ASSERT_EQ(ed.Parse(why), ParseOutcome::Parsed) << why;
    }
    DriveRig rig;
    ScriptEditor ed{rig.wb};
};

TEST_F(ScriptWrite, EditedScriptGoesToTheDriveAndComesBack) {
    rig.wb.identity = ParseIdentity(rig.drive->IdentifySector().data());
    Read();
    ASSERT_EQ(ed.steps.size(), 31u);
    EXPECT_EQ(ed.Caption(), "Self Scan Script - 28 - All: 1F, Cur: D, PTM Start Time:01:23:20");
    ed.Select(4);
    ed.Insert();
    std::string message;
    ASSERT_EQ(ed.Write(true, message), WriteOutcome::Written) << message;

    ScriptEditor back(rig.wb);
    ASSERT_TRUE(ReadModule(rig.wb, 0x28, back.buffer));
    EXPECT_TRUE(ModuleChecksumValid(back.buffer));
    std::string why;
    ASSERT_EQ(back.Parse(why), ParseOutcome::Parsed);
    EXPECT_EQ(back.steps.size(), 32u);
    EXPECT_EQ(back.storedCurrentStep, 6) << "the selected row is the current step";
    EXPECT_EQ(back.ptmStartTime, 0u);
    EXPECT_EQ(Gotos(back.steps[0]), (std::vector<uint16_t>{2, 31, 32})) << "gotos set to END";

    // The same script to an alternative table: another id in the header.
    ed.selector = "3C";
    ASSERT_EQ(ed.Write(false, message), WriteOutcome::Written) << message;
    EXPECT_EQ(ModuleIdOf(rig.DriveModule(0x3C)), 0x3C);
}

TEST_F(ScriptWrite, ListLongerThanTheModuleIsNotWritten) {
    Read();
    const SaImage before = rig.DriveModule(0x28);
    const ModuleImage buffer = ed.buffer;
    ed.Select(30);
    for (int i = 0; i < 14; ++i) ed.Insert();  // 45 steps, room for 44
    std::string message;
    EXPECT_EQ(ed.Write(true, message), WriteOutcome::Refused);
    EXPECT_EQ(message, "Test Count Overflow! Max Count: 44");
    EXPECT_EQ(ed.selected, 43);
    EXPECT_EQ(rig.DriveModule(0x28), before);
    EXPECT_EQ(ed.buffer, buffer);
    EXPECT_EQ(Gotos(ed.steps[0]), (std::vector<uint16_t>{2, 29, 29})) << "gotos untouched";
}

TEST_F(ScriptWrite, NothingWrittenWithoutAModuleOrWithAnIdThatDoesNotFit) {
    Read();
    const SaImage before = rig.DriveModule(0x28);
    std::string message;
    ed.selector = "12345";
    EXPECT_EQ(ed.Write(true, message), WriteOutcome::Refused);
    EXPECT_NE(message.find("does not fit"), std::string::npos) << message;
    // A failed read leaves the rows but no module.
    ed.selector = "7777";
    EXPECT_FALSE(ReadModuleOrFile(rig.wb, 0x7777, ed.buffer));
    EXPECT_EQ(ed.steps.size(), 31u);
    EXPECT_EQ(ed.Write(true, message), WriteOutcome::Refused);
    EXPECT_EQ(message, kNoModuleMessage);
    EXPECT_EQ(rig.DriveModule(0x28), before);
}

TEST_F(ScriptWrite, DriveModuleOfAnotherSizeOrARefusingDriveKeepsTheModule) {
    Read();
    const SaImage before = rig.DriveModule(0x28);
    DriveFaults faults;
    faults.moduleSectors[0x28] = 16;
    rig.drive->SetFaults(faults);
    std::string message;
    EXPECT_EQ(ed.Write(true, message), WriteOutcome::Refused);
    EXPECT_NE(message.find("8192 bytes"), std::string::npos) << message;
    faults = {};
    faults.moduleStatus[0x28] = 0x0105;
    rig.drive->SetFaults(faults);
    EXPECT_EQ(ed.Write(true, message), WriteOutcome::Failed);
    rig.drive->SetFaults({});
    EXPECT_EQ(rig.DriveModule(0x28), before);
}

TEST_F(ScriptWrite, ShiftSavesAModuleFile) {
    Read();
    std::filesystem::create_directories(rig.dataDir);
    rig.host.shift = true;
    rig.host.saveAnswers = {rig.dataDir + "/script.rpm"};
    std::string message;
    ASSERT_EQ(ed.Write(true, message), WriteOutcome::Written) << message;
    EXPECT_EQ(rig.host.dialogsShown.back().fileName, "~id0028.rpm");
    std::vector<uint8_t> saved;
    ASSERT_TRUE(ReadFileBytes(rig.dataDir + "/script.rpm", saved, message));
    EXPECT_EQ(saved, ed.buffer);
    EXPECT_TRUE(ModuleChecksumValid(saved));
    rig.host.saveAnswers = {""};
    EXPECT_EQ(ed.Write(true, message), WriteOutcome::Cancelled);
}

}  // namespace
}  // namespace qm::test
