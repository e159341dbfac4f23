#include "defects/Lookups.h"

#include <algorithm>

#include "common/Format.h"
#include "common/Workbench.h"

namespace qm {
namespace {

struct NamedCode {
    uint16_t code;
    const char* name;
};

// The drive firmware's own names, duplicates and spellings as they are.
constexpr NamedCode kVscActions[] = {
    {0, "Disable VSC Commands Set"},
    {1, "SCT Read/Write Long Sector Access"},
    {2, "SCT Write LBA Segment Access"},
    {3, "SCT Error Recovery Control"},
    {4, "SCT Features Control"},
    {5, "SCT Read SCT Data Tables"},
    {6, "SCT Reserved AC6"},
    {7, "SCT Reserved AC7"},
    {8, "Resident File Control"},
    {9, "Check Resident File"},
    {10, "Edit Resident File"},
    {11, "Read/Write Memory Table"},
    {12, "Read/Write CHS Segment"},
    {13, "Get Drive Data Table"},
    {14, "Feature Control"},
    {15, "Read/Reset Error Rate table"},
    {16, "Execute DVT"},
    {17, "Read/Write Wedge"},
    {18, "Seek to Track virtual CH"},
    {19, "Read/Write Absolute Memory Location"},
    {20, "Read/Write Buffer Extended"},
    {21, "Translate LBA to Virtual CHS"},
    {22, "Translate Virtual CHS to LBA"},
    {23, "Servo Control"},
    {24, "Format Unit/Reserved"},
    {25, "Execute File"},
    {26, "Read/Write Long"},
    {27, "Sector Control"},
    {28, "Initiate Power-on Reset Sequence"},
    {29, "Read/Write/Verify LBA Segment"},
    {30,
     "Write/Compare All with ID\x92"
     "s"},
    {31, "Exception Handling control"},
    {32, "Set/Return Track Offset/Limits"},
    {33, "Read/Write Device"},
    {34, "Error Injection Control"},
    {35, "Logical Seek to Track"},
    {36, "Read/Write/Erase Flash Memory"},
    {37, "Write Track"},
    {38, "Read/Write TPI Parameters"},
    {39, "Head Depopulation Control"},
    {40, "File System Manager"},
    {41, "Execute Command in PST Mode"},
    {42, "Read/Write Field (of Section)"},
    {43, "Bulk Erase Drive"},
    {44, "Translate CHWB to PSN"},
    {45, "Transmit Blink Data"},
    {46, "Return Track Info"},
    {47, "Gain Calibration Control"},
    {48, "Format Selection"},
    {49, "Execute Diagnostic Test"},
    {50, "Read/Write Reserved LBA"},
    {51, "Translate ReservedArea LBA to Virtual CHS"},
    {52, "DFH Control"},
    {53, "Preemptive Wear Leveling Monitor (PWL)"},
    {54, "Translate Track Address"},
    {55, "Set/Get Drive-Operating Configuration"},
    {56, "DBE Timing Data Collection"},
    {57, "Drive Configuration Change Logging (DCC)"},
    {58, "Read Channel Generic"},
    {59, "Data Lifeguard II Refresher Exercisor"},
    {60, "Read/Set/Reset ZipCode Table"},
    {61, "Setup DLG-II ZipCode Defaults"},
    {62, "Set/Get Scratch Pad Target Table"},
    {63, "Internal Error Injection"},
    {64, "Working Group Generic Function"},
    {65, "Data Protection Path Testability"},
    {66, "Good Track Info"},
    {67, "Pressure Sensor Services"},
    {68, "Free Fall Sensor Services"},
    {69, "Distributed Test Process Lite Exerciser (DTPL)"},
    {70, "VSC Enable Disable"},
    {71, "VSC Drive Status"},
    {72, "Get Sense"},
    {73, "Reserve Release"},
    {74, "Access File Field"},
    {75, "Configuration Page Management"},
    {76, "FS Resident File Control"},
    {77, "Translate LBA,VCHS,CHWB,PSN"},
    {78, "Media Access by CHS"},
    {79, "Media Access by LBA"},
    {80, "Media Access by Wedge"},
    {81, "Partition Write All"},
    {82, "Seek to Track"},
    {83, "Sector Control"},
    {84, "Internal Error Injection"},
    {85, "Data Lifeguard II Refresher Exerciser"},
    {86, "Logging & SMART Services"},
    {87, "Switches & Knobs"},
    {88, "Jack & Jill Toolbox"},
    {89, "SATA Services"},
    {90, "Read Write Long"},
    {91, "Write Track"},
    {92, "Return Tack Information"},
    {93, "Translate Track Address"},
    {94, "Good Track Information"},
    {95, "Reserved"},
    {96, "Reserved for Internal Testing 60"},
    {97, "Reserved for Internal Testing 61"},
    {98, "Partition & Volume Management"},
    {99, "Debugger Multi-Core Access"},
    {100, "Dynamic Format Creation"},
    {101, "Autorev Operations"},
    {102, "Log Page Management"},
    {103, "PST Sequencer Log Services/Format Inquiry"},
    {104, "Virtual Host Applications Control"},
    {105, "Reserved 69"},
    {106, "Data Page Management"},
    {107, "FDE Services"},
    {108, "RAR Services"},
    {109, "SMD Services"},
    {110, "DPM Periodic Services"},
    {111, "Memory Table Access 32-bit"},
    {112, "VH App Communications"},
    {113, "Format Inquiry"},
    {114, "Format Select"},
    {115, "Conditional Write Verify Exerciser"},
    {116, "Sector Mode Operations"},
    {117, "DataLifeGuard-III WATER Control"},
    {118, "Defect Management Operations"},
    {119, "ServoScope"},
    {120, "DLG Services"},
    {121, "Execution Time Logger"},
    {122, "AP Block (APB) Services"},
    {123, "TLIST Services"},
    {124, "SDHM Services"},
    {125, "Translation Tables Protection"},
    {126, "PCD Services"},
    {127, "Power Management Services"},
    {128, "PCBA Swap Support"},
    {129, "Multi-Track Media Access"},
    {130, "SSD Translation Services"},
    {131, "SSD Status and Configuration"},
    {132, "SSD Media Access"},
    {133, "SSD Media Information"},
    {134, "Bread Crumbs"},
    {135, "Code Space Validation"},
    {136, "VCD Access"},
    {137, "Touchdown Sensor & CL-DFH Services"},
    {138, "SSD Write-All / Read All"},
    {139, "Shingle Write Services"},
    {140, "Self Test"},
    {141, "SSD Data Integrity & Retention"},
    {142, "Levik Feature Set"},
    {143, "Seam Track Services"},
    {144, "WRRO Track Cache"},
    {145, "Non-Volatile Cache Services (NVC)"},
    {146, "DTPL Exerciser for HPA"},
    {147, "Spectrum Analyzer Services"},
    {148, "EAMR Development Services"},
    {149, "Soft Timer Services"},
    {150, "Opportunistic Read Write Exerciser"},
    {151, "Customer Specific Features"},
    {152, "Servo Configuration and Control"},
    {153, "Process Data Exchange (PDX)"},
    {154, "Alignment Zones Exerciser"},
    {155, "Written Flags Exerciser"},
    {156, "VSC Monitor"},
    {157, "Error Correction Diagnostics"},
    {158, "TCG Test Services"},
    {159, "SED Secure Access"},
    {160, "SSD Wear Level Services"},
    {161, "SSD Garbage Collection Services"},
    {162, "SSD Defect Management Services"},
    {163, "DLG Data Access"},
    {164, "Execute DPP Tests"},
    {165, "Hybrid NAND Services"},
    {166, "Continuous Track Access"},
    {167, "Reserved"},
    {168, "Servo VMM"},
    {169, "SSD Voltage Threshold"},
    {170, "In-Field Parametric Monitoring Service"},
    {171, "Grease Wear Leveling (GWL)"},
    {172, "Fast Flush Media Cache Track (MCT)"},
    {174, "Boot Cache Testing"},
    {176, "MBC Manager"},
    {177, "MBC Settings and Controls"},
    {180, "NAND Data Tables"},
    {182, "Hybrid/NAND SSD Commands"},
    {184, "ACD Operations NAND"},
    {185, "Hybrid Drive Services"},
    {189, "AC189"},
    {191, "SCT Temperature History Data Control"},
    {192, "File46 Temperature Data"},
    {194, "Egress Info"},
    {195, "Egress Control"},
    {196, "Egress Stream Control"},
    {197, "UWL Seek Control"},
    {198, "AC198"},
    {201, "Read/Write/Erase Bridge Flash"},
    {202, "Config permanent buffer for Bridge Flash"},
    {208, "AC208"},
    {210, "Translate Shingle LBA to Virtual CHS"},
    {211, "Get some Number from Adaptives by Head"},
    {212, "Shingle LBA Translation Table Control"},
    {215, "SMART Lenovo Vendor Log DF (File 199) Control"},
    {218, "Read/Write AUX Reg Channel"},
    {219, "Session Unlock Drive"},
    {221, "AC221"},
    {224, "Disk Error Injection"},
    {226, "Get Temperature Data Table"},
    {227, "Get PZT Retries Left"},
    {228, "Track Parity"},
    {229, "Shingle Zone Shock Table Control"},
    {230, "Shingle Works"},
    {233, "AC233"},
    {234, "AC234"},
    {235, "AC235"},
    {238, "AC238"},
    {239, "AC239"},
    {240, "AC240"},
};

constexpr NamedCode kTestSteps[] = {
    {0, "THRESH SWEEP"},
    {1, "LPC CAL"},
    {2, "CGAIN CAL"},
    {3, "DATA FIRCAL1"},
    {4, "DATA FIRCAL2"},
    {5, "DATA FIRCAL3"},
    {6, "DATA FIRCAL4"},
    {7, "SERVO FIR"},
    {8, "DATA FIRCAL5"},
    {16, "VM JOG COARSE"},
    {17, "MRBIAS1"},
    {18, "WRITE CURRENT"},
    {20, "VM JOG FINE"},
    {23, "2T JOG COARSE"},
    {24, "2T JOG MEDIUM"},
    {25, "2T JOG FINE"},
    {26, "MRA ADAPTATION"},
    {27, "WPC 111"},
    {29, "ATI CHECK"},
    {30, "BASELINE POP"},
    {31, "WPC 011"},
    {32, "WPC 101"},
    {33, "DATA COARSE TUNE"},
    {34, "BOOST LEFT"},
    {35, "BOOST RIGHT"},
    {36, "BOOST BOTH"},
    {37, "WPC BOTH"},
    {38, "HQ TEST"},
    {40, "KFCI TEST BEGIN"},
    {41, "KFCI TEST END"},
    {42, "WRRO CALIBRATION"},
    {44, "BER TEST BEGIN"},
    {45, "BER TEST END"},
    {48, "VGA GAIN"},
    {49, "VERIFY TEST CYL"},
    {50, "DTEMP"},
    {51, "CURVE FIT"},
    {52, "MRAADPT"},
    {53, "FIRAD1"},
    {54, "FIRAD2"},
    {55, "FIRAD3"},
    {56, "FIRAD4"},
    {57, "FIRSWP"},
    {58, "WPCOO1"},
    {59, "BOOST"},
    {60, "ABOOST"},
    {61, "CUTOFF"},
    {62, "AVG BIAS"},
    {63, "AVG DGAIN"},
    {65, "CURVTFIT IW"},
    {66, "CURVEFIT VGA"},
    {67, "OVERSHOOT DURATION"},
    {68, "PREAMP GAIN CALIBRATION"},
    {69, "MRA AVERAGING"},
    {70, "IW SATURATION SWEEP"},
    {71, "OS SMOOTH"},
    {72, "WRRO CURVEFIT"},
    {73, "TPI CAL START"},
    {74, "TPI CALIBRATION"},
    {75, "TPI CAL R2"},
    {76, "TPI CAL S2"},
    {77, "TPI CAL S2"},
    {78, "TPI CAL END"},
    {79, "3 ZONE HEAD QUAL"},
    {80, "FULL STROKE SCREEN"},
    {111, "TOUCH-DOWN CAL"},
    {112, "TARGET SEARCH CALIBRATION"},
    {115, "SVGA DVT"},
    {116, "WATER DVT"},
    {192, "MRA DVT"},
    {193, "VGA DVT"},
    {194, "DOW DVT"},
    {195, "ATI DVT"},
    {196, "PBERT DVT"},
    {197, "OTC DVT"},
    {198, "MOD DVT"},
    {199, "HDDEG DVT"},
    {200, "SPIN DVT"},
    {201, "STANDBY DVT"},
    {202, "OVERWRITE DVT"},
};

// Self-test programs (decimal PTM ids); a pair is an inclusive range.
constexpr uint16_t kSelfTestPtms[][2] = {
    {161, 161},     {162, 162},     {168, 168},     {170, 170},     {172, 172},     {174, 174},
    {195, 195},     {196, 196},     {200, 200},     {5105, 5105},   {8222, 8222},   {10242, 10242},
    {10272, 10272}, {10496, 10500}, {10502, 10507}, {10510, 10510}, {10511, 10511}, {10516, 10516},
    {10518, 10518}, {10528, 10528}, {10529, 10529}, {10752, 10754}, {11008, 11008}, {12032, 12032},
};

template <size_t N>
constexpr bool Ascending(const NamedCode (&table)[N]) {
    for (size_t i = 1; i < N; ++i)
        if (table[i - 1].code >= table[i].code) return false;
    return true;
}
static_assert(std::size(kVscActions) == 210 && Ascending(kVscActions));
static_assert(std::size(kTestSteps) == 80 && Ascending(kTestSteps));

template <size_t N>
std::string NameOf(const NamedCode (&table)[N], uint16_t code) {
    const auto it = std::lower_bound(std::begin(table), std::end(table), code,
                                     [](const NamedCode& e, uint16_t c) { return e.code < c; });
    return it != std::end(table) && it->code == code ? it->name : std::string();
}

std::string Lookup(Workbench& wb, const char* file, const char* section, const std::string& key) {
    return wb.dataFiles.Get(DataFilePath(wb, file)).Get(section, key);
}

}  // namespace

std::string DataFilePath(const Workbench& wb, std::string_view name) {
    const std::string& folder = wb.DataFilesFolder();
    if (folder.empty()) return std::string(name);
    std::string path = folder;
    if (path.back() != '/' && path.back() != '\\') path += '/';
    return path + std::string(name);
}

std::string ErrorKey(uint16_t code) {
    return Format("0x%04X", code);
}
std::string ErrorKey5(uint32_t code) {
    return Format("0x%05X", code);
}
std::string DescKey(uint16_t id) {
    return id < 0x100 ? Format("%02X", id) : Format("%04X", id);
}

std::string ErrorText(Workbench& wb, uint16_t code) {
    return Lookup(wb, kErrorsIni, "ERRORS", ErrorKey(code));
}
std::string ErrorText5(Workbench& wb, uint32_t code) {
    return Lookup(wb, kErrorsIni, "ERRORS", ErrorKey5(code));
}
TestDescriber::TestDescriber(Workbench& wb)
    : modDescr_(wb.dataFiles.Get(DataFilePath(wb, kModDescrIni))) {}
std::string TestDescriber::DescribeTest(uint16_t id) const {
    return modDescr_.Get("Desc", DescKey(id));
}
std::string TestDescriber::HostSequenceName(uint16_t id) const {
    return modDescr_.Get("HOST_SEQ", Format("%04X", id));
}

std::string DescribeTest(Workbench& wb, uint16_t id) {
    return TestDescriber(wb).DescribeTest(id);
}
std::string HostSequenceName(Workbench& wb, uint16_t id) {
    return TestDescriber(wb).HostSequenceName(id);
}
std::string ArcoName(Workbench& wb, uint8_t op) {
    return Lookup(wb, kModDescrIni, "ARCO", Format("%02X", op));
}

std::string VscActionName(uint16_t code) {
    return NameOf(kVscActions, code);
}

bool IsSelfTestPtm(uint16_t ptmId) {
    for (const auto& range : kSelfTestPtms)
        if (ptmId >= range[0] && ptmId <= range[1]) return true;
    return false;
}

std::string TestStepName(uint16_t ptmId, uint8_t step) {
    return IsSelfTestPtm(ptmId) ? NameOf(kTestSteps, step) : std::string();
}

}  // namespace qm
