// Text scripts and dropped files, and SCRIPTS.INI.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "ScriptRig.h"
#include "common/Files.h"
#include "common/Ini.h"
#include "script/ScriptText.h"
#include "script/ScriptsIni.h"

namespace qm::test {
namespace {

namespace fs = std::filesystem;

class ScriptText : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("qm-script-text-" + std::to_string(std::random_device{}()));
        fs::create_directories(dir);
        wb.programFolder = QM_DATA_DIR;
        ed.buffer = ScriptTemplateModule();
        std::string why;
        ASSERT_EQ(ed.Parse(why), ParseOutcome::Parsed);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string File(const std::string& name, const std::string& bytes) {
        const std::string path = (dir / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    fs::path dir;
    ScriptedHost host;
    Workbench wb{host};
    ScriptEditor ed{wb};
};

TEST_F(ScriptText, FieldsLandInTheRecordAndJunkLinesAreReported) {
    const ImportReport r = ImportTextScript(ed,
                                            "[PST Sequence]\r\n"
                                            "  2401 , 1 , 340012,,5\r\n"
                                            "\r\n"
                                            "* a comment, A1,1\n"
                                            "6F 99,zz,123456789\n"
                                            "0,1,2\n"
                                            "DC,1,2,3,4,5,6,7,8,9,A,B,C,D,E,F,10,11,12,13,14\n"
                                            "8199");
    ASSERT_EQ(Ids(ed), (std::vector<uint16_t>{0x2401, 0x6F, 0xDC, 0x8199}));
    EXPECT_EQ(r.added, 4);
    ASSERT_EQ(r.problems.size(), 3u);
    EXPECT_EQ(r.problems[0].rfind("Line 1:", 0), 0u);
    EXPECT_EQ(r.problems[1].rfind("Line 6:", 0), 0u);
    EXPECT_EQ(r.problems[2].rfind("Line 7:", 0), 0u);

    const StepRecord& a = ed.steps[0].record;
    EXPECT_EQ(StepU16(a, kStepArg0), 1);
    EXPECT_EQ(StepU32(a, StepArgOffset(1)), 0x340012u);
    EXPECT_EQ(StepU32(a, StepArgOffset(2)), 0u) << "an empty field keeps its place";
    EXPECT_EQ(StepU32(a, StepArgOffset(3)), 5u);
    EXPECT_EQ(Gotos(ed.steps[0]), (std::vector<uint16_t>{2, 2, 2}));
    EXPECT_EQ(StepU16(a, 0x68), kStepNotRun);
    EXPECT_EQ(ed.steps[0].description, "Directory step: read-write test");

    const StepRecord& b = ed.steps[1].record;
    EXPECT_EQ(StepU16(b, kStepArg0), 0) << "not hex: 0";
    EXPECT_EQ(StepU32(b, StepArgOffset(1)), 0u) << "more than 32 bits: 0";
    EXPECT_EQ(StepU32(b, StepArgOffset(3)), 0u) << "Insert's ARG3 zeroed with the fields";

    // Fields past the 19th would land on the gotos and the result area.
    const StepRecord& c = ed.steps[2].record;
    EXPECT_EQ(StepU32(c, kStepPostAction), 0x12u);
    EXPECT_EQ(Gotos(ed.steps[2]), (std::vector<uint16_t>{4, 4, 4}));
    EXPECT_EQ(ed.steps[3].description, "Host sequence: adaptive verify");
}

TEST_F(ScriptText, DroppedFiles) {
    ImportReport report;
    std::string why;
    const ModuleImage templ = ScriptTemplateModule();
    EXPECT_EQ(DropScriptFile(ed, (dir / "none.txt").string(), &templ, report, why),
              DropOutcome::Nothing);

    const std::string module =
        File("m.rpm", std::string(reinterpret_cast<const char*>(
                                      ScriptImage(ScriptLayout::Royl, {{0xA1}, {0xDC}}).data()),
                                  2048));
    EXPECT_EQ(DropScriptFile(ed, module, &templ, report, why), DropOutcome::Module);
    EXPECT_EQ(ed.steps.size(), 2u);

    // An older-layout module is binary, not text: no junk steps.
    const ModuleImage older = ScriptImage(ScriptLayout::Legacy30, {{0xA1}});
    const std::string binary =
        File("old.rpm", std::string(reinterpret_cast<const char*>(older.data()), older.size()));
    EXPECT_EQ(DropScriptFile(ed, binary, &templ, report, why), DropOutcome::Refused);
    EXPECT_FALSE(why.empty());
    EXPECT_EQ(ed.steps.size(), 2u);

    const std::string text = File("s.txt", "A1,1,12\nDC,1\n");
    EXPECT_EQ(DropScriptFile(ed, text, nullptr, report, why), DropOutcome::Nothing)
        << "without a template the script stays";
    EXPECT_EQ(ed.steps.size(), 2u);
    EXPECT_EQ(DropScriptFile(ed, text, &templ, report, why), DropOutcome::Text);
    EXPECT_EQ(Ids(ed), (std::vector<uint16_t>{0xA1, 0xDC}));
    EXPECT_EQ(ed.buffer.size(), 12u * 512);
}

TEST_F(ScriptText, ScriptsIniKeepsItsOtherLines) {
    wb.dataFilesFolder = dir.string();
    File("SCRIPTS.INI", "; families\r\n[WD800]\r\nSetup=\r\n\r\n[wd5000]\r\nA=\r\n");
    std::string message;
    EXPECT_FALSE(AddScriptTest(wb, "  ", "X", message));
    EXPECT_EQ(message, kNeedNameMessage);
    EXPECT_FALSE(AddScriptTest(wb, "WD800", " ", message));
    ASSERT_TRUE(AddScriptTest(wb, "WD800", "Spin-up check", message));
    ASSERT_TRUE(AddScriptTest(wb, "WD5000", "a", message));  // there already
    ASSERT_TRUE(AddScriptTest(wb, "New", "T", message));
    std::string text;
    ASSERT_TRUE(ReadWholeFile((dir / "SCRIPTS.INI").string(), text));
    EXPECT_EQ(text,
              "; families\r\n[WD800]\r\nSetup=\r\nSpin-up check=\r\n\r\n[wd5000]\r\na=\r\n"
              "[New]\r\nT=\r\n");
    EXPECT_EQ(ScriptFamilies(wb), (std::vector<std::string>{"WD800", "wd5000", "New"}));
    EXPECT_EQ(ScriptFamilyTests(wb, "WD800"), (std::vector<std::string>{"Setup", "Spin-up check"}));
}

}  // namespace
}  // namespace qm::test
