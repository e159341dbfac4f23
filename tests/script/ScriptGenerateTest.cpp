// The generators on crafted source modules: each branch, the include
// prompts, the family's ARCO block, and source modules that are refused or
// shorter than their tables claim.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "ScriptRig.h"
#include "script/ScriptGenerators.h"

namespace qm::test {
namespace {

using G = std::vector<uint16_t>;

// A ROYL module image (header length 0x30) of `bytes` bytes.
ModuleImage Royl(uint16_t id, size_t bytes) {
    ModuleImage m(bytes, 0);
    PutU32(m.data(), 0x4C594F52);
    PutU16(m.data() + 6, 0x30);
    PutU16(m.data() + 8, id);
    return m;
}

class ScriptGenerate : public ::testing::Test {
  protected:
    // Three steps already there (the second selected), 44 steps of room.
    void SetUp() override {
        wb.programFolder = QM_DATA_DIR;
        ed.buffer =
            ScriptImage(ScriptLayout::Royl, {{0xA1, 2, 3, 3}, {0xA2, 3, 3, 3}, {0xDC}}, 0, 12, 2);
        std::string why;
        ASSERT_EQ(ed.Parse(why), ParseOutcome::Parsed) << why;
        io.readModule = [this](uint16_t id, ModuleImage& image) {
            reads.push_back(id);
            const auto m = modules.find(id);
            if (m == modules.end()) return false;
            image = m->second;
            return true;
        };
        io.include = [this](uint16_t id) {
            asked.push_back(id);
            return include.count(id) > 0;
        };
    }
    GenerateResult Run(ScriptGenerator kind) { return GenerateScript(ed, kind, io); }
    const StepRecord& R(size_t i) const { return ed.steps.at(i).record; }
    uint32_t Arg(size_t i, int n) const { return StepU32(R(i), StepArgOffset(n)); }
    G At(size_t i) const { return Gotos(ed.steps.at(i)); }

    ScriptedHost host;
    Workbench wb{host};
    ScriptEditor ed{wb};
    GeneratorIo io;
    std::map<uint16_t, ModuleImage> modules;
    std::set<uint16_t> include;
    std::vector<uint16_t> reads, asked;
};

TEST_F(ScriptGenerate, ArcoWithTest2403TakesTheHeadZonePairOfModule47) {
    include = {0x2403};
    modules[0x47] = Royl(0x47, 512);
    PutU16(modules[0x47].data() + 0x2E, 0x0302);
    EXPECT_TRUE(Run(ScriptGenerator::Arco).message.empty());
    // The selected row's place: the new steps come before the old second row.
    EXPECT_EQ(Ids(ed),
              (G{0xA1, 0x2403, 0x2404, 0x2403, 0x2420, 0x2407, 0x2408, 0x2409, 0xDC, 0xA2, 0xDC}));
    EXPECT_EQ(ed.selected, 8);
    EXPECT_EQ(Arg(1, 3), 2u);  // lo
    EXPECT_EQ(Arg(1, 4), 3u);  // hi
    EXPECT_EQ(At(1), (G{3, 0xFFFF, 0xFFFF}));
    EXPECT_EQ(StepU16(R(6), 0x10), 3);  // hi in the zeroed table steps too
    EXPECT_EQ(At(6), (G{8, 8, 8}));
    EXPECT_EQ(ed.steps[1].description, "6F - Head/zone adaptive setup");
    // The old rows after them renumbered by value, once per Insert that counts.
    EXPECT_EQ(At(9), (G{10, 10, 10}));

    // Module 0x47 refused: the pair is zero.
    modules.clear();
    ed.Select(-1);
    Run(ScriptGenerator::Arco);
    EXPECT_EQ(ed.steps[0].TestId(), 0x2403);
    EXPECT_EQ(Arg(0, 3), 0u);
}

TEST_F(ScriptGenerate, ModuleBasedArcoPlacesTheBlockByFamily) {
    ed.Clear();
    modules[0x21] = Royl(0x21, 512);
    PutU16(modules[0x21].data() + 0x30 + 4, 0x78);  // a family with its block at 0x9B
    auto arco = [&](uint16_t id, size_t at, uint8_t op) {
        ModuleImage m = Royl(id, 512);
        m[at] = op;
        m[at + 63] = 0x5A;
        modules[id] = m;
    };
    arco(0x2020, 0x9B, 0x60);
    arco(0x2030, 0x9B, 0x61);
    arco(0x2050, 0x93, 0x62);  // not where family 0x78 keeps it: no step
    arco(0x20B0, 0x9B, 0x00);  // first byte 0: no step
    arco(0x20C0, 0x9B, 0x6A);
    EXPECT_TRUE(Run(ScriptGenerator::Arco).message.empty());
    EXPECT_EQ(asked, (G{0x2403}));
    EXPECT_EQ(wb.flags.familyCode, 0x78);
    EXPECT_EQ(Ids(ed), (G{0xC4, 0xC4, 0xDC, 0xC3, 0xDC, 0x290B, 0xDC}));
    EXPECT_EQ(reads, (G{0x21, 0x2020, 0x2050, 0x2020, 0x2030, 0x2010, 0x20C0, 0x2000, 0x2060,
                        0x2040, 0x2070, 0x20B0}));
    EXPECT_EQ(ed.selected, 0);
    EXPECT_EQ(Arg(0, 1), 0x60u);
    EXPECT_EQ(StepU32(R(0), 0x40), 0x5A000000u);
    EXPECT_EQ(ed.steps[0].description, "60 - Head/zone adaptive 0");
    // END steps: wait (2) and stop (1); the abort goto stays Insert's.
    EXPECT_EQ(StepU16(R(2), kStepArg0), 2);
    EXPECT_EQ(Arg(2, 3), 0xCBFFFFu);
    EXPECT_EQ(At(2), (G{0xFFFF, 0xFFFF, 4}));
    EXPECT_EQ(Arg(6, 3), 0x0Au);

    // Another family: the block at 0x93 when its first byte is set, else 0xB1.
    ed.Clear();
    reads.clear();
    modules.clear();
    modules[0x21] = Royl(0x21, 512);
    PutU16(modules[0x21].data() + 0x30 + 4, 0x6E);
    arco(0x2020, 0x93, 0x60);
    arco(0x2030, 0xB1, 0x61);
    Run(ScriptGenerator::Arco);
    EXPECT_EQ(Ids(ed), (G{0xC4, 0xC4, 0xDC, 0xC3, 0xDC, 0xDC}));
}

// A self-scan log: the table at 0x34, the count at 0x2C0, the step heads
// from 0x2D0.
ModuleImage SelfScanLog(const std::vector<std::pair<uint16_t, uint16_t>>& body,
                        size_t bytes = 4096) {
    ModuleImage m = Royl(0xE6, bytes);
    PutU32(m.data() + 0x30, 80);
    PutU32(m.data() + 0x34 + 4 * 71, 0x2C0);
    PutU32(m.data() + 0x34 + 4 * 72, 0x2D0);
    PutU32(m.data() + 0x2C0, static_cast<uint32_t>(body.size()));
    for (size_t i = 0; i < body.size() && 0x2D0 + 68 * (i + 1) <= bytes; ++i) {
        PutU16(m.data() + 0x2D0 + 68 * i, body[i].first);
        PutU16(m.data() + 0x2D0 + 68 * i + 2, body[i].second);
        PutU32(m.data() + 0x2D0 + 68 * i + 0x40, 0x11223344);
    }
    return m;
}

TEST_F(ScriptGenerate, E6BuildsTheScriptTheDriveRan) {
    modules[0xE6] = SelfScanLog({{0xA1, 0}, {0xB9, 1}, {0x8001, 3}, {0, 0}, {0xA8, 1}});
    ed.Select(-1);
    EXPECT_TRUE(Run(ScriptGenerator::E6).message.empty());
    EXPECT_EQ(asked, (G{0x3307, 0x1010, 0x3415, 0x3421, 0x3422, 0x3423, 0x3426}));
    // Every prompt cancelled; the body ends at the entry without a test.
    EXPECT_EQ(Ids(ed),
              (G{0xB1, 0xB1, 0xD8, 0xA1, 0xB9, 0x8001, 0xB9, 0xDC, 0xDC, 0xDC, 0xA1, 0xA2, 0xDC}));
    EXPECT_EQ(StepU16(R(3), kStepArg0), 1);  // 0 becomes 1
    EXPECT_EQ(Arg(3, 16), 0x11223344u);
    EXPECT_EQ(StepU32(R(4), kStepPostAction), 2u);
    EXPECT_EQ(ed.steps[3].caption, "A1");
    EXPECT_EQ(ed.steps[5].caption, "8001");
    EXPECT_EQ(ed.selected, 0);
    // Logs cleared and END gotos over the whole list, old rows included.
    const size_t n = ed.steps.size();
    EXPECT_EQ(At(0), (G{2, static_cast<uint16_t>(n - 1), static_cast<uint16_t>(n)}));
    EXPECT_EQ(At(9), (G{11, 12, 13}));
    EXPECT_EQ(At(12), (G{0xFFFF, 0xFFFF, 0xFFFF}));
    EXPECT_EQ(StepU16(R(1), 0x68), kStepNotRun);

    // Every prompt confirmed.
    ed.Clear();
    include = {0x3307, 0x1010, 0x3415, 0x3421, 0x3422, 0x3423, 0x3426};
    Run(ScriptGenerator::E6);
    EXPECT_EQ(Ids(ed), (G{0x3307, 0x1010, 0x3415, 0xB1, 0xB1, 0xD8, 0x3421, 0xA1, 0xB9, 0x8001,
                          0x3422, 0x3423, 0x3426, 0xB9, 0xDC, 0xDC, 0xDC}));
}

TEST_F(ScriptGenerate, E6WithoutTestsOrUnreadable) {
    // The byte at H is 0: nothing at all changes, not even the gotos.
    ModuleImage idle = SelfScanLog({{0xA1, 1}});
    idle[0x30] = 0;
    modules[0xE6] = idle;
    Run(ScriptGenerator::E6);
    EXPECT_EQ(Ids(ed), (G{0xA1, 0xA2, 0xDC}));
    EXPECT_EQ(At(0), (G{2, 3, 3}));

    // Refused by the drive: only the logs and the END gotos.
    modules.clear();
    Run(ScriptGenerator::E6);
    EXPECT_EQ(Ids(ed), (G{0xA1, 0xA2, 0xDC}));
    EXPECT_EQ(At(0), (G{0xFFFF, 0xFFFF, 0xFFFF}));
    EXPECT_TRUE(asked.empty());
}

TEST_F(ScriptGenerate, PtmHistoryWalksToTheEmptyEntryOrTheImageEnd) {
    ModuleImage m = Royl(0x1100, 0x30 + 0x22 + 192 * 2 + 28);
    auto entry = [&](size_t i, uint16_t id, uint16_t arg0) {
        uint8_t* e = m.data() + 0x30 + 0x22 + 192 * i;
        PutU16(e + 8, id);
        PutU16(e + 10, arg0);
        PutU32(e + 12, 0x12);
        PutU32(e + 24, 0x99);
    };
    entry(0, 0xA1, 0);
    entry(1, 0x8128, 1);
    entry(2, 0xC4, 1);  // the last 28 bytes of the image, no zero entry after it
    modules[0x1100] = m;
    ed.Select(-1);
    EXPECT_TRUE(Run(ScriptGenerator::PtmHistory).message.empty());
    EXPECT_EQ(Ids(ed), (G{0xA1, 0x8128, 0xC4, 0xA1, 0xA2, 0xDC}));
    EXPECT_EQ(StepU16(R(0), kStepArg0), 0);  // 0 stays
    EXPECT_EQ(Arg(0, 1), 0x12u);
    EXPECT_EQ(Arg(0, 4), 0x99u);
    EXPECT_EQ(At(0), (G{1, 1, 1}));
    EXPECT_EQ(At(2), (G{3, 3, 3}));
    // [Desc] even for a host-sequence id (none there: empty).
    EXPECT_EQ(ed.steps[1].description, "");

    // The zero entry ends the walk.
    PutU16(m.data() + 0x30 + 0x22 + 192 + 8, 0);
    modules[0x1100] = m;
    ed.Clear();
    Run(ScriptGenerator::PtmHistory);
    EXPECT_EQ(Ids(ed), (G{0xA1}));
}

// A module directory: 16-byte entries (one u32 word each) after the count.
ModuleImage Directory(const std::vector<uint16_t>& ids, uint8_t longest = 16) {
    ModuleImage m = Royl(0x01, 0x30 + 2 + 16 * ids.size() + 512);
    PutU16(m.data() + 0x30, static_cast<uint16_t>(ids.size()));
    for (size_t i = 0; i < ids.size(); ++i) {
        uint8_t* e = m.data() + 0x32 + 16 * i;
        e[0] = i == 0 ? longest : 16;
        e[1] = 1;
        PutU16(e + 2, ids[i]);
    }
    return m;
}

TEST_F(ScriptGenerate, DirMakesA24StepForEvery25Module) {
    modules[0x01] = Directory({0x01, 0x2500, 0x2512, 0x2612, 0x25FF});
    EXPECT_TRUE(Run(ScriptGenerator::Dir).message.empty());
    EXPECT_EQ(Ids(ed), (G{0xA1, 0xA2, 0x2412, 0x24FF, 0xDC}));
    EXPECT_EQ(StepU16(R(2), kStepArg0), 0);
    EXPECT_EQ(At(2), (G{3, 3, 3}));
    EXPECT_EQ(At(3), (G{4, 4, 4}));

    // An entry longer than the first ends the walk.
    ModuleImage m = Directory({0x2501, 0x2502, 0x2503});
    m[0x32 + 16] = 20;
    modules[0x01] = m;
    ed.Clear();
    Run(ScriptGenerator::Dir);
    EXPECT_EQ(Ids(ed), (G{0x2401}));
}

TEST_F(ScriptGenerate, ZeroLengthDirectoryEntryEndsTheWalk) {
    // L0 0 and every entry 0 long: once, not 0xFFFF times the same entry.
    ModuleImage m = Directory({0x2512, 0x2513}, 0);
    PutU16(m.data() + 0x30, 0xFFFF);
    m[0x32 + 16] = 0;
    modules[0x01] = m;
    ed.Clear();
    Run(ScriptGenerator::Dir);
    EXPECT_TRUE(ed.steps.empty());
}

TEST_F(ScriptGenerate, ShortSourceModulesStopWithAMessageAndKeepTheSteps) {
    // The count says 5, the image ends inside the third step head (it starts
    // before the last 24 bytes).
    modules[0xE6] =
        SelfScanLog({{0xA1, 1}, {0xA2, 1}, {0xA8, 1}, {0xAA, 1}, {0xC3, 1}}, 0x2D0 + 68 * 2 + 40);
    ed.Clear();
    GenerateResult r = Run(ScriptGenerator::E6);
    EXPECT_NE(r.message.find("Module 00E6 is shorter than its tables claim"), std::string::npos)
        << r.message;
    EXPECT_EQ(Ids(ed), (G{0xB1, 0xB1, 0xD8, 0xA1, 0xA2}));

    // A directory whose entries run past the image.
    ModuleImage dir = Directory({0x2501, 0x2502});
    dir.resize(0x32 + 16 + 6);
    modules[0x01] = dir;
    ed.Clear();
    r = Run(ScriptGenerator::Dir);
    EXPECT_NE(r.message.find("Module 0001"), std::string::npos);
    EXPECT_EQ(Ids(ed), (G{0x2401}));

    // An ARCO module too short for its block.
    modules[0x21] = Royl(0x21, 512);
    modules[0x2020] = Royl(0x2020, 0x9B + 10);
    modules[0x2020][0x93] = 1;
    ed.Clear();
    r = Run(ScriptGenerator::Arco);
    EXPECT_NE(r.message.find("Module 2020"), std::string::npos);
    EXPECT_TRUE(ed.steps.empty());
}

}  // namespace
}  // namespace qm::test
