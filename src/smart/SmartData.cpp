#include "smart/SmartData.h"

#include <algorithm>
#include <cstdlib>

#include "common/Format.h"

namespace qm {
namespace {

struct AttrName {
    uint8_t id;
    const char* name;
};

// The attribute name table. Code page 1252: "\xB0" is the degree sign and
// "\xF8" the o with stroke. Double blanks in 204 and 218 are part of the text.
constexpr AttrName kAttrNames[] = {
    {0, "Invalid attribute identifier (not in used)"},
    {1, "Raw Read Error Count / OTF Errors (Maxtor)"},
    {2, "Throughput Performance Internally"},
    {3, "Spin Up Time"},
    {4, "Number of Spin-Up Times / Start/Stop Count"},
    {5, "Reallocated Sectors Count"},
    {6, "Read Channel Margin Test"},
    {7, "Seek Error Rate"},
    {8, "Seek Time Performance"},
    {9, "Power-On Hours Count (POH)"},
    {10, "Spin Retry Count"},
    {11, "ReCalibration Retry Count"},
    {12, "Start/stop count / Power cycle count (IBM)"},
    {13, "Soft Read Error Rate"},
    {96, "Average MRR (Maxtor)"},
    {97, "Minimum MRR (Maxtor)"},
    {98, "Maximum MRR (Maxtor)"},
    {99, "Average FHC (Maxtor)"},
    {100, "Erase/program cycles Count / Max Negative FHC (Maxtor)"},
    {101, "Maximum Positive FHC (Maxtor) flying height control ?"},
    {103, "Translation Table Rebuild"},
    {170, "Reserved Block Count"},
    {171, "Program Fail Count"},
    {172, "Erase Fail Count"},
    {173, "Wear Leveling Count"},
    {174, "Unexpected Power Loss"},
    {175, "Program Fail Count (chip)"},
    {176, "Erase Fail Count (chip)"},
    {177, "Wear Leveling Count"},
    {178, "Used Reserved Block Count (Chip)"},
    {179, "Used Reserved Block Count (Total)"},
    {180, "Unused Reserved Block Count (Total)"},
    {181, "Program Fail Count (Total)"},
    {182, "Erase Fail Count (Total)"},
    {183, "Runtime Bad Block (Total) / SATA Downshift Error Count"},
    {184, "End-to-end Error Detection / Buffer CRC Count *"},
    {185, "Head Stability"},
    {186, "Induced Op-Vibration Detection"},
    {187, "Uncorrectable Error Count"},
    {188, "Command Time-out Error Count"},
    {189, "High Fly writes"},
    {190, "AirFlow Temperature (WDC) / Temperature Difference from 100"},
    {191, "G-SENSOR Shock Counter"},
    {192, "Power-off Retract Count / Emergency Retract Cycle count (Fujitsu)"},
    {193, "Load/Unload Cycle Count (LUL)"},
    {194,
     "HDA Temperature \xB0"
     "C (Cur/Max/Min)"},
    {195, "Hardware ECC Recovered / ECC OFT Correct / ECC On The Fly Count (Fujitsu)"},
    {196, "Reallocation Event Count"},
    {197, "Current Pending Sector Count"},
    {198, "Off-line scan UNC sectors"},
    {199, "UDMA CRC Error Count"},
    {200, "Write Error Rate/Count / Multi Zone Error Rate (WD) / Write PreAMP Errors (Maxtor)"},
    {201,
     "Soft Read Error Rate / Thermal Asperity Counter Detected / Program Fail Count / Off-Track "
     "Errors (Maxtor)"},
    {202, "Erase Fail Count / Data Address Mark Errors (Maxtor)/ Thermal Asperity Increase Count"},
    {203, "ECC Errors / Wear Leveling Count / RRO Cancel (Fujitsu)"},
    {204, "Soft ECC Correction / Shock Count Write Operation  (Fujitsu)"},
    {205, "Thermal Asperity Rate (TAR) / Shock Rate Write Operation (Fujitsu)"},
    {206, "Calibration Time / Flying height (Fujitsu)"},
    {207, "Spin High Current"},
    {208, "Erase Count Average / Spin Buzzes Count"},
    {209, "Offline Seek Performance / Remaining drive life in % by Erase count"},
    {210, "Vibration During Write"},
    {211, "Vibration During Read / Spin running current (IBM)"},
    {212, "Shock During Write / SSM Error Count (IBM)"},
    {213, "Ground Seek Errors Count / RRO-C ERP Count (IBM)"},
    {214, "Ground Load Errors Count (IBM)"},
    {215, "Ground SpinUp Errors (IBM)"},
    {216, "Unexpectant Errors Count (IBM)"},
    {217, "Unlock/Mis Read Count (IBM)"},
    {218, "FlashROM ECC Corr. count  (IBM)"},
    {220, "Disk Shift Value"},
    {221, "G-SENSOR Shock Counter / Shock Sense Error Rate (Hitachi)"},
    {222, "Loaded Hours"},
    {223, "Load/Unload Retry Count"},
    {224, "Load Friction"},
    {225, "Load/Unload Cycle Count"},
    {226, "Load-In Time"},
    {227, "Torque Amplification Count"},
    {228, "Power-Off Retract Count"},
    {229, "Fly Height Measurement"},
    {230, "GMR Head Amplitude / Head Fly Hours"},
    {231,
     "HDA Temperature %\xF8"
     "C at WrCom"},
    {240, "Head Flying Hours/Write Head (Hitachi) / Transfer Error Rate (Fujitsu)"},
    {241, "Total LBA Write (IBM)"},
    {242, "Total LBA Read (IBM)"},
    {250, "Read Error Retry Rate"},
    {251, "Non-Gua Temp Hours"},
    {252, "Reported Errors Count"},
    {254, "Free Fall Protection / G-SENSOR Shock Counter"},
};

constexpr const char* kUnknownAttribute = "Unknown Attributes";

constexpr const char* kFlagCodes[6] = {"L  ", "Pf ", "Pr ", "Er ", "C  ", "S  "};
constexpr const char* kFlagLegend[6] = {
    "L (Life Critical): the vital function (according to developers HDD).",
    "Pf (Pre-failure): field Thresh of this attribute contains is minimum admissible value "
    "below which working capacity HDD is not guaranteed.",
    "Pr (Performance related): value of this attribute directly depends on speed HDD on "
    "separate indicators.",
    "Er (Error rate): value of attribute reflects relative frequency of errors on the given "
    "parametre.",
    "C (Counter): the attribute is the counter of events.",
    "S (Self-preserve): value of attribute automatically is updated and remains.",
};

bool IsCounterId(uint8_t id) {
    static constexpr uint8_t kIds[] = {3,   5,   7,   9,   12,  169, 170, 173, 187, 188, 189,
                                       191, 192, 196, 197, 198, 199, 203, 208, 211, 213, 216,
                                       217, 220, 221, 223, 225, 226, 227, 228, 240, 252};
    return std::find(std::begin(kIds), std::end(kIds), id) != std::end(kIds);
}

bool IsTemperatureId(uint8_t id) {
    return id == 190 || id == 194 || id == 231;
}

std::string Words(unsigned w3, unsigned w2, unsigned w1, unsigned w0, bool withTop) {
    if (withTop) return Format("%u/%u/%u/%u", w3, w2, w1, w0);
    return Format("%u/%u/%u", w2, w1, w0);
}

}  // namespace

std::vector<SmartAttribute> DecodeSmartAttributes(const SmartSector& data,
                                                  const SmartSector& thresholds) {
    std::vector<SmartAttribute> out;
    for (int k = 0; k < kSmartSlots; ++k) {
        const size_t off = kSmartFirstSlot + kSmartSlotSize * static_cast<size_t>(k);
        static_assert(kSmartFirstSlot + kSmartSlotSize * kSmartSlots <= kSmartSectorSize);
        const uint8_t* e = data.data() + off;
        if (e[0] == 0) break;
        SmartAttribute a;
        a.slot = k;
        a.id = e[0];
        a.flags = e[1];
        a.value = e[3];
        a.worst = e[4];
        for (int i = 0; i < 7; ++i) a.raw |= static_cast<uint64_t>(e[5 + i]) << (8 * i);
        a.threshold = thresholds[off + 1];
        out.push_back(a);
    }
    return out;
}

std::string SmartAttrName(uint8_t id) {
    for (const AttrName& n : kAttrNames)
        if (n.id == id) return n.name;
    return kUnknownAttribute;
}

std::string SmartFlagsText(uint8_t flags) {
    std::string s;
    for (int bit = 0; bit < 6; ++bit)
        if (flags & (1u << bit)) s += kFlagCodes[bit];
    return s;
}

std::string SmartFlagsLegend() {
    std::string s;
    for (int i = 0; i < 6; ++i) {
        if (i) s += '\n';
        s += kFlagLegend[i];
    }
    return s;
}

std::string HealthBar(uint8_t value, uint8_t threshold, uint8_t worst) {
    const int64_t m = std::max(value, worst);
    const int64_t ceiling = m > 200 ? 235 : (m > 100 ? 200 : 100);
    int64_t d = ceiling - threshold;
    if (d == 0) d = 1;
    // A value below its threshold is a failed attribute: it keeps the single
    // star instead of counting the distance below the threshold as health.
    int64_t n = 0;
    if (value >= threshold) n = (static_cast<int64_t>(value - threshold) * 100) / d;
    std::string bar = "*";
    for (int64_t limit = 11; limit <= 101; limit += 10)
        if (limit < n) bar += '*';
    return bar;
}

std::string SmartRawText(uint8_t id, uint64_t raw) {
    const unsigned w0 = static_cast<unsigned>(raw & 0xFFFF);
    const unsigned w1 = static_cast<unsigned>((raw >> 16) & 0xFFFF);
    const unsigned w2 = static_cast<unsigned>((raw >> 32) & 0xFFFF);
    const unsigned w3 = static_cast<unsigned>((raw >> 48) & 0xFF);
    if (IsCounterId(id)) {
        if (w3 == 0 && w2 == 0 && w1 == 0) return Format("%u", w0);
        return Words(w3, w2, w1, w0, w3 != 0);
    }
    if (IsTemperatureId(id)) {
        if (w2 == 0 && w1 == 0)
            return Format(
                "%u\xB0"
                "C",
                w0);
        return Words(w3, w2, w1, w0, w3 != 0) +
               "\xB0"
               "C";
    }
    return Format("%llu", static_cast<unsigned long long>(raw & 0x00FFFFFFFFFFFFFFULL));
}

SmartRow MakeSmartRow(const SmartAttribute& a) {
    SmartRow r;
    r.id = Format("%u", a.id);
    r.name = SmartAttrName(a.id);
    r.value = Format("%u", a.value);
    r.worst = Format("%u", a.worst);
    r.threshold = Format("%u", a.threshold);
    r.raw = SmartRawText(a.id, a.raw);
    r.health = HealthBar(a.value, a.threshold, a.worst);
    r.flags = SmartFlagsText(a.flags);
    return r;
}

std::string SmartExportLine(const SmartRow& row) {
    return Format("%4s %-40s %4s %4s %4s %10s %-10s %s\n", row.id.c_str(),
                  row.name.substr(0, 40).c_str(), row.value.c_str(), row.worst.c_str(),
                  row.threshold.c_str(), row.raw.c_str(), row.health.c_str(), row.flags.c_str());
}

std::string SmartExportRawLine(const SmartRow& row) {
    return Format("%4s %-40s %-10s\n", row.id.c_str(), row.name.substr(0, 40).c_str(),
                  row.raw.c_str());
}

std::string SmartLogText(std::string text) {
    std::replace(text.begin(), text.end(), '\xB0', '`');
    return text;
}

std::string SmartStatusText(bool good) {
    return good ? "S.M.A.R.T. status - GOOD" : "S.M.A.R.T. status - BAD";
}

SmartCellStyle SmartCellStyleFor(const SmartRow& row, SmartColumn column) {
    SmartCellStyle s;
    switch (column) {
        case SmartColumn::Name:
        case SmartColumn::Raw: {
            // The id as the list shows it; text that is no number counts as 0.
            char* end = nullptr;
            long id = std::strtol(row.id.c_str(), &end, 10);
            if (row.id.empty() || !end || *end) id = 0;
            switch (id) {
                case 1:
                case 3:
                case 10:
                case 12:
                    s.color = kSmartGreen;
                    break;
                case 5:
                case 196:
                case 197:
                case 198:
                    s.color = (row.raw == "0" || row.raw == "0/0/0") ? kSmartPurple : kSmartRed;
                    break;
                case 190:
                case 194:
                case 231:
                    s.color = kSmartBlue;
                    break;
                default:
                    s.color = row.flags.find('L') != std::string::npos ? kSmartPurple : kSmartBlack;
            }
            break;
        }
        case SmartColumn::Value:
            s.color = kSmartTeal;
            break;
        case SmartColumn::Threshold:
            s.color = kSmartOlive;
            break;
        case SmartColumn::Health: {
            const size_t stars =
                static_cast<size_t>(std::count(row.health.begin(), row.health.end(), '*'));
            if (stars >= 1 && stars <= 3) {
                s.color = kSmartRed;
                s.bold = true;
            } else if (stars >= 4 && stars <= 6) {
                s.color = kSmartOlive;
            } else {
                s.color = kSmartGreen;
            }
            break;
        }
        case SmartColumn::Id:
        case SmartColumn::Worst:
        case SmartColumn::Flags:
            break;
    }
    return s;
}

}  // namespace qm
