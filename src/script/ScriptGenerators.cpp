#include "script/ScriptGenerators.h"

#include <algorithm>
#include <cstring>

#include "common/Bytes.h"
#include "common/Format.h"
#include "common/Workbench.h"
#include "defects/Lookups.h"
#include "vendor/Modules.h"

namespace qm {
namespace {

constexpr size_t kFieldBytes = 0x44;  // TEST_ID, ARG0, ARG1..ARG16
constexpr size_t kE6EntryBytes = 68;
constexpr size_t kE6TableEnd = 0x200;
constexpr size_t kE6Tail = 24;  // the bytes at the end of 0xE6 that hold no entry
constexpr size_t kPtmEntryBytes = 192;
constexpr size_t kPtmEntryRead = 28;

// A source module, read with every access checked against its length.
struct Source {
    uint16_t id;
    ModuleImage image;

    bool Has(size_t at, size_t n) const { return at <= image.size() && n <= image.size() - at; }
    uint8_t U8(size_t at) const { return image[at]; }
    uint16_t U16(size_t at) const { return GetU16(image.data() + at); }
    uint32_t U32(size_t at) const { return GetU32(image.data() + at); }
    // Where the data starts: the header length of a ROYL image (0 when the
    // image is too short to say), 0x18 for an older one.
    size_t Base() const {
        if (!IsRoylImage(image)) return 0x18;
        return Has(6, 2) ? U16(6) : image.size();
    }
    std::string TooShort(const char* what, size_t at) const {
        return Format(
            "Module %04X is shorter than its tables claim: %s at offset 0x%zX lies past its end "
            "(%zu bytes). The generator stopped; the steps made so far stay.",
            id, what, at, image.size());
    }
};

class Builder {
  public:
    Builder(ScriptEditor& ed, const GeneratorIo& io) : ed_(ed), io_(io), describer_(ed.Bench()) {}

    GenerateResult result;

    bool Read(Source& s) {
        s.image.clear();
        return io_.readModule && io_.readModule(s.id, s.image) && !s.image.empty();
    }
    bool Include(uint16_t testId) { return io_.include && io_.include(testId); }

    // A new step from Insert, with its caption and description set for
    // `testId`; `zero` first clears the first `zero` bytes (0: none, the
    // record size: the whole record).
    StepRecord& Add(uint16_t testId, size_t zero = 0) {
        const int p = ed_.Insert(describer_);
        ++result.added;
        ScriptStep& s = ed_.steps[static_cast<size_t>(p)];
        std::fill_n(s.record.begin(), std::min(zero, s.record.size()), uint8_t{0});
        SetStepU16(s.record, kStepTestId, testId);
        s.caption = StepCaption(testId);
        s.description = StepDescription(describer_, testId);
        return s.record;
    }
    ScriptStep& Last() { return ed_.steps[static_cast<size_t>(ed_.selected)]; }
    size_t Whole() const { return ed_.recordSize; }
    // The step's own number (its row + 1), for the three gotos.
    uint16_t OwnNumber() const { return static_cast<uint16_t>(ed_.selected + 1); }

    void ArcoDescription(ScriptStep& s) {
        const uint8_t op = s.record.size() > 4 ? s.record[4] : 0;
        s.description = Format("%02X - ", op) + ArcoName(ed_.Bench(), op);
    }
    const TestDescriber& Describer() const { return describer_; }
    ScriptEditor& Editor() { return ed_; }

  private:
    ScriptEditor& ed_;
    const GeneratorIo& io_;
    TestDescriber describer_;
};

void SetArg(StepRecord& r, int n, uint32_t v) {
    SetStepU32(r, StepArgOffset(n), v);
}

void SetGotos(StepRecord& r, uint16_t s, uint16_t e, uint16_t a) {
    SetStepU16(r, kStepGotoSuccess, s);
    SetStepU16(r, kStepGotoError, e);
    SetStepU16(r, kStepGotoAbort, a);
}

// --- ARCO ---------------------------------------------------------------

// Where a ROYL module keeps its 64-byte ARCO block, by drive family; 0 for
// a family of none of the groups.
size_t ArcoBlockOffset(uint16_t family) {
    switch (family) {
        case 0x78:
        case 0x8D:
            return 0x9B;
        case 0x7A:
        case 0x7D:
        case 0x7F:
        case 0x81:
        case 0x88:
        case 0x89:
        case 0x8A:
        case 0x8C:
        case 0x8F:
            return 0x93;
        case 0x97:
        case 0x9A:
        case 0xA4:
        case 0xA8:
            return 0x94;
        case 0x90:
        case 0x91:
        case 0x93:
        case 0x95:
        case 0x96:
        case 0xA5:
            return 0x9E;
        default:
            return 0;
    }
}

constexpr size_t kArcoBlockBytes = 64;

// The ARCO step of module m with test id t; false when the module was too
// short for its block (result.message says so).
bool ArcoStep(Builder& b, uint16_t family, uint16_t m, uint16_t t) {
    Source s{m, {}};
    uint8_t block[kArcoBlockBytes] = {};
    if (b.Read(s)) {
        size_t at = 0x8D;
        if (IsRoylImage(s.image)) {
            at = ArcoBlockOffset(family);
            if (at == 0) {
                if (!s.Has(0x93, 1)) {
                    b.result.message = s.TooShort("the ARCO block", 0x93);
                    return false;
                }
                at = s.U8(0x93) != 0 ? 0x93 : 0xB1;
            }
        }
        if (!s.Has(at, kArcoBlockBytes)) {
            b.result.message = s.TooShort("the ARCO block", at);
            return false;
        }
        std::memcpy(block, s.image.data() + at, kArcoBlockBytes);
    }
    if (block[0] == 0) return true;
    StepRecord& r = b.Add(t, kFieldBytes);
    SetStepU16(r, kStepArg0, 1);
    SetStepU32(r, kStepPostAction, 2);
    std::copy_n(block, std::min(kArcoBlockBytes, r.size() - 4), r.begin() + 4);
    b.ArcoDescription(b.Last());
    return true;
}

// An END step with its wait (a = 2) or stop (a = 1) arguments; the abort
// goto stays Insert's.
void EndTypeStep(Builder& b, uint32_t a) {
    StepRecord& r = b.Add(kEndStepId);
    SetStepU16(r, kStepArg0, static_cast<uint16_t>(a));
    SetArg(r, 1, 1);
    SetArg(r, 2, a);
    SetArg(r, 3, a == 2 ? 0xCBFFFF : 0x0A);
    SetArg(r, 4, 1);
    SetStepU16(r, kStepGotoSuccess, kGotoStop);
    SetStepU16(r, kStepGotoError, kGotoStop);
}

void ModuleArco(Builder& b) {
    Workbench& wb = b.Editor().Bench();
    Source drm{0x21, {}};
    uint16_t family = 0;
    if (b.Read(drm)) {
        const size_t base = drm.Base();
        if (!drm.Has(base + 4, 2)) {
            b.result.message = drm.TooShort("the drive family", base + 4);
            return;
        }
        family = drm.U16(base + 4);
    }
    wb.flags.familyCode = family;
    struct Item {
        uint16_t module, test;  // module 0: an END step, test its kind
    };
    static constexpr Item kSequence[] = {
        {0x2020, 0xC4}, {0x2050, 0xC4}, {0x2020, 0xC4},   {0, 2},         {0x2030, 0xC3},
        {0, 2},         {0x2010, 0xC8}, {0x20C0, 0x290B}, {0x2000, 0xC4}, {0x2060, 0xC4},
        {0x2040, 0xC4}, {0x2070, 0xC4}, {0x20B0, 0xC4},   {0, 1}};
    for (const Item& i : kSequence) {
        if (i.module == 0)
            EndTypeStep(b, i.test);
        else if (!ArcoStep(b, family, i.module, i.test))
            return;
    }
    b.Editor().Select(0);
}

void Arco(Builder& b) {
    ScriptEditor& ed = b.Editor();
    // The first new step takes the selected row's place.
    if (ed.selected >= 0) ed.Select(ed.selected - 1);
    if (!b.Include(0x2403)) {
        ModuleArco(b);
        return;
    }
    Source m47{0x47, {}};
    uint16_t v = 0;
    if (b.Read(m47)) {
        const size_t at = IsRoylImage(m47.image) ? 0x2E : 0x14;
        if (!m47.Has(at, 2)) {
            b.result.message = m47.TooShort("the head/zone pair", at);
            return;
        }
        v = m47.U16(at);
    }
    const uint16_t lo = v & 0xFF, hi = v >> 8;
    auto headZone = [&](StepRecord& r) {
        SetStepU16(r, 0x0C, lo);
        SetStepU16(r, 0x10, hi);
    };
    struct Adaptive {
        uint16_t test, arg0;
        uint32_t arg1, arg2, arg5;
        bool headZone;
    };
    static constexpr Adaptive kAdaptive[] = {{0x2403, 1, 0x6F, 0x19, 0x1C00FE, true},
                                             {0x2404, 1, 0x6A, 0x19, 0x1FFC00, true},
                                             {0x2403, 1, 0x6F, 0x19, 0x1C00FE, true},
                                             {0x2420, 0x90, 0x90, 0x80200000, 0, false}};
    for (const Adaptive& a : kAdaptive) {
        StepRecord& r = b.Add(a.test);
        SetStepU16(r, kStepArg0, a.arg0);
        SetArg(r, 1, a.arg1);
        SetArg(r, 2, a.arg2);
        if (a.headZone) {
            headZone(r);
        } else {
            SetArg(r, 3, 0);
            SetArg(r, 4, 0);
        }
        SetArg(r, 5, a.arg5);
        SetStepU16(r, kStepGotoError, kGotoStop);
        SetStepU16(r, kStepGotoAbort, kGotoStop);
        b.ArcoDescription(b.Last());
    }
    struct Table {
        uint16_t test, op;
        uint32_t post;
    };
    static constexpr Table kTables[] = {{0x2407, 0x46, 2}, {0x2408, 0x70, 0}, {0x2409, 0x4A, 2}};
    for (const Table& t : kTables) {
        StepRecord& r = b.Add(t.test, kFieldBytes);
        SetStepU16(r, kStepArg0, 1);
        SetStepU16(r, 0x04, t.op);
        SetStepU16(r, 0x08, 0x19);
        headZone(r);
        SetStepU32(r, kStepPostAction, t.post);
        b.ArcoDescription(b.Last());
    }
    b.Add(kEndStepId);
}

// --- E6 -----------------------------------------------------------------

bool SavesAfterwards(uint16_t id) {
    switch (id) {
        case 0xB9:
        case 0xBA:
        case 0xBB:
        case 0xBC:
        case 0xD2:
        case 0xD5:
        case 0x3300:
        case 0x3301:
        case 0x3305:
            return true;
        default:
            return id >= 0x34D1 && id <= 0x34D6;
    }
}

// The steps before and after the body, the body itself; false when the
// module ran out (result.message says where).
bool E6Steps(Builder& b, const Source& e6) {
    const size_t h = IsRoylImage(e6.image) ? 0x30 : 0x18;
    if (!e6.Has(h, 4)) {
        b.result.message = e6.TooShort("the log header", h);
        return false;
    }
    if ((e6.U32(h) & 0xFF) == 0) return false;
    auto table = [&](size_t k, uint32_t& v) {
        const size_t at = h + 4 + 4 * k;
        if (at + 4 > kE6TableEnd || !e6.Has(at, 4)) {
            b.result.message = e6.TooShort("the section table", at);
            return false;
        }
        v = e6.U32(at);
        return true;
    };
    uint32_t countAt = 0, firstAt = 0;
    if (!table(71, countAt) || !table(72, firstAt)) return false;
    if (countAt == 0) return true;

    const size_t whole = b.Whole();
    if (b.Include(0x3307)) {
        StepRecord& r = b.Add(0x3307, kFieldBytes);
        SetStepU16(r, kStepArg0, 1);
        const uint32_t args[16] = {0xFFFF, 8,    0x3FF, 0,     1,     0x3FF, 1,     1,
                                   1,      0x0F, 0x3FF, 0x3FF, 0x3FF, 0x3FF, 0x3FF, 0x3FF};
        for (int n = 1; n <= 16; ++n) SetArg(r, n, args[n - 1]);
        SetStepU32(r, kStepPostAction, 2);
    }
    for (uint16_t id : {uint16_t{0x1010}, uint16_t{0x3415}}) {
        if (!b.Include(id)) continue;
        StepRecord& r = b.Add(id, kFieldBytes);
        SetStepU16(r, kStepArg0, 1);
        SetStepU32(r, kStepPostAction, 2);
    }
    SetArg(b.Add(0xB1, whole), 15, 2);
    {
        StepRecord& r = b.Add(0xB1, kFieldBytes);
        SetArg(r, 15, 1);
    }
    SetStepU16(b.Add(0xD8, whole), kStepArg0, 1);
    if (b.Include(0x3421)) {
        StepRecord& r = b.Add(0x3421, whole);
        SetStepU16(r, kStepArg0, 1);
        SetStepU16(r, 0x04, 0x2001);
        SetStepU16(r, 0x38, 0x10);
    }

    // The body: the step heads the drive ran.
    if (!e6.Has(countAt, 4)) {
        b.result.message = e6.TooShort("the step count", countAt);
        return false;
    }
    const uint32_t count = e6.U32(countAt);
    size_t pos = firstAt;
    const size_t end = e6.image.size() > kE6Tail ? e6.image.size() - kE6Tail : 0;
    for (uint32_t i = 0; i < count && pos < end; ++i, pos += kE6EntryBytes) {
        if (!e6.Has(pos, kE6EntryBytes)) {
            b.result.message = e6.TooShort("a step head", pos);
            return false;
        }
        const uint8_t* entry = e6.image.data() + pos;
        const uint16_t id = GetU16(entry);
        if (id == 0) break;
        StepRecord& r = b.Add(id);
        std::copy_n(entry, std::min(kE6EntryBytes, r.size()), r.begin());
        if (StepU16(r, kStepArg0) == 0) SetStepU16(r, kStepArg0, 1);
        if (SavesAfterwards(id)) SetStepU32(r, kStepPostAction, 2);
        b.Last().caption = Format("%X", id);
    }

    if (b.Include(0x3422)) {
        StepRecord& r = b.Add(0x3422, whole);
        SetStepU16(r, kStepArg0, 1);
        SetStepU16(r, 0x04, 7);
        SetStepU16(r, 0x08, 0x64);
        SetStepU16(r, 0x0C, 2);
    }
    if (b.Include(0x3423)) {
        StepRecord& r = b.Add(0x3423, whole);
        SetStepU16(r, kStepArg0, 1);
        const std::pair<size_t, uint16_t> fields[] = {{0x04, 0}, {0x08, 1}, {0x0C, 2},
                                                      {0x10, 1}, {0x14, 2}, {0x1C, 0x10},
                                                      {0x24, 1}, {0x2C, 1}, {0x34, 3}};
        for (const auto& [at, v] : fields) SetStepU16(r, at, v);
    }
    if (b.Include(0x3426)) {
        StepRecord& r = b.Add(0x3426, whole);
        SetStepU16(r, kStepArg0, 1);
        SetStepU16(r, kStepPostAction, 2);
    }
    {
        StepRecord& r = b.Add(0xB9);
        SetStepU16(r, kStepArg0, 1);
        SetArg(r, 1, 0x1291);
        SetArg(r, 2, 0);
        SetArg(r, 3, 0);
        for (size_t at : {0x20, 0x28, 0x34}) SetStepU32(r, at, 1);
    }
    for (uint32_t wait : {2u, 4u, 6u}) {
        StepRecord& r = b.Add(kEndStepId);
        SetStepU16(r, kStepArg0, 1);
        SetArg(r, 1, 0x0F);
        SetArg(r, 2, 2);
        SetArg(r, 3, 0xCBFFFF);
        SetArg(r, 4, wait);
        SetArg(r, 5, 0);
        SetStepU16(r, kStepGotoSuccess, kGotoStop);
        SetStepU16(r, kStepGotoError, kGotoStop);
    }
    b.Editor().Select(0);
    return true;
}

void FromE6(Builder& b) {
    Source e6{0xE6, {}};
    if (b.Read(e6)) {
        const bool finish = E6Steps(b, e6);
        // A log without tests, or a module that ran out, changes nothing more.
        if (!finish) return;
    }
    ScriptEditor& ed = b.Editor();
    ed.ClearScriptLog();
    ed.SetGotosToEnd();
}

// --- PTM history and DIR ---------------------------------------------------

void FromPtmHistory(Builder& b) {
    Source ptm{0x1100, {}};
    if (!b.Read(ptm)) return;
    const size_t base = ptm.Base();
    // The walk ends at an entry without a test or at the end of the image.
    for (size_t pos = base + 0x22; ptm.Has(pos, kPtmEntryRead); pos += kPtmEntryBytes) {
        const uint16_t id = ptm.U16(pos + 8);
        if (id == 0) break;
        StepRecord& r = b.Add(id, kFieldBytes);
        b.Last().description = b.Describer().DescribeTest(id);
        SetStepU16(r, kStepArg0, ptm.U16(pos + 10));
        for (int n = 1; n <= 4; ++n) SetArg(r, n, ptm.U32(pos + 8 + 4 * static_cast<size_t>(n)));
        SetStepU32(r, kStepPostAction, 2);
        const uint16_t own = b.OwnNumber();
        SetGotos(r, own, own, own);
    }
}

void FromDir(Builder& b) {
    Source dir{0x01, {}};
    if (!b.Read(dir) || !IsRoylImage(dir.image) || !dir.Has(6, 2)) return;
    const size_t base = dir.U16(6);
    if (base == 0x18) return;
    if (!dir.Has(base, 3)) {
        b.result.message = dir.TooShort("the directory's entry count", base);
        return;
    }
    const uint16_t count = dir.U16(base);
    size_t pos = base + 2;
    const uint8_t longest = dir.U8(pos);
    for (uint32_t i = 0; i < count && pos < dir.image.size(); ++i) {
        uint8_t length = dir.U8(pos);
        if (length == 0) length = longest;
        // An entry longer than the first ends the walk; one too short to
        // hold its own id would never move it on.
        if (length > longest || length < 4) break;
        if (!dir.Has(pos, 4)) {
            b.result.message = dir.TooShort("a directory entry", pos);
            return;
        }
        const uint8_t words = dir.U8(pos + 1);
        const uint16_t module = dir.U16(pos + 2);
        const size_t size = ((static_cast<int>(length) - 10) % 4 != 0) ? 4 : 2;
        const size_t fields = 4 + size + 4 + 4 * static_cast<size_t>(words);
        if (!dir.Has(pos, fields)) {
            b.result.message = dir.TooShort("a directory entry", pos);
            return;
        }
        if ((module >> 8) == 0x25 && module != 0x2500) {
            const uint16_t test = static_cast<uint16_t>(0x2400 | (module & 0xFF));
            StepRecord& r = b.Add(test, kFieldBytes);
            b.Last().description = b.Describer().DescribeTest(test);
            SetStepU16(r, kStepArg0, 0);
            SetStepU32(r, kStepPostAction, 2);
            const uint16_t own = b.OwnNumber();
            SetGotos(r, own, own, own);
        }
        pos += length;
    }
}

}  // namespace

bool IncludePrompt(Workbench& wb, uint16_t testId) {
    DialogState& d = wb.openDialog;
    d.filter = Format("Module %.2X|*%.2X*.rpm|All|*.*", testId, testId);
    const bool yes = wb.host.RunOpenDialog(d);
    d.fileName.clear();
    d.filter = "All|*.*";
    return yes;
}

GeneratorIo WindowGeneratorIo(Workbench& wb) {
    GeneratorIo io;
    io.readModule = [&wb](uint16_t id, ModuleImage& image) {
        wb.openDialog.filter = Format("Module %.2X|*%.2X*.rpm|All|*.*", id, id);
        const bool read = ReadModuleOrFile(wb, id, image);
        wb.openDialog.fileName.clear();
        wb.openDialog.filter = "All|*.*";
        return read;
    };
    io.include = [&wb](uint16_t testId) { return IncludePrompt(wb, testId); };
    return io;
}

GenerateResult GenerateScript(ScriptEditor& editor, ScriptGenerator kind, const GeneratorIo& io) {
    Builder b(editor, io);
    if (editor.recordSize == 0) return b.result;
    switch (kind) {
        case ScriptGenerator::Arco:
            Arco(b);
            break;
        case ScriptGenerator::E6:
            FromE6(b);
            break;
        case ScriptGenerator::PtmHistory:
            FromPtmHistory(b);
            break;
        case ScriptGenerator::Dir:
            FromDir(b);
            break;
    }
    return b.result;
}

bool ParseGeneratorName(const std::string& name, ScriptGenerator& kind) {
    if (name == "arco")
        kind = ScriptGenerator::Arco;
    else if (name == "e6")
        kind = ScriptGenerator::E6;
    else if (name == "ptm")
        kind = ScriptGenerator::PtmHistory;
    else if (name == "dir")
        kind = ScriptGenerator::Dir;
    else
        return false;
    return true;
}

}  // namespace qm
