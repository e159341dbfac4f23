#include "drive/PciScan.h"

#include <cstdio>

#include "common/Format.h"
#include "common/Ini.h"
#include "common/Workbench.h"
#include "drive/PortIo.h"

namespace qm {
namespace {

struct IdName {
    uint16_t id;
    const char* name;
};

const IdName kVendors[] = {
    {0x0E11, "Compaq"},   {0x1000, "LSI Logic"}, {0x1002, "ATI"},     {0x100B, "Semiconductor"},
    {0x1022, "AMD"},      {0x1039, "SiS"},       {0x1042, "Micron"},  {0x1045, "OPTi Inc"},
    {0x1055, "Efar"},     {0x105A, "Promise"},   {0x1078, "Cyrix"},   {0x1095, "CMD/SiI"},
    {0x10AD, "Symphony"}, {0x10B9, "ALi/ULi"},   {0x10DE, "Nvidia"},  {0x10EC, "Realtek"},
    {0x1101, "Initio"},   {0x1103, "HPT"},       {0x1106, "VIA"},     {0x1109, "Adaptec"},
    {0x1145, "Workbit"},  {0x1166, "Broadcom"},  {0x1179, "Toshiba"}, {0x11AB, "Marvell"},
    {0x1217, "O2Micro"},  {0x1283, "ITE"},       {0x15E9, "Pacific"}, {0x169C, "Netcell"},
    {0x1725, "Vitesse"},  {0x17F3, "RDC"},       {0x1DE1, "Tekram"},  {0x3388, "Hint"},
    {0x8086, "Intel"},    {0x9005, "Adaptec"},   {0x907F, "Atronic"}, {0x9412, "Holtek"},
    {0xACE1, "ACE Lab"},  {0xB00C, "IC Book"},
};

// Keyed by device ID alone; several IDs share one name.
const IdName kDevices[] = {
    {0x0001, "53C810"},
    {0x0002, "87415/87560 IDE"},
    {0x0003, "HighPoint 343/345/346/363"},
    {0x0004, "HighPoint 366/368/370/370A/372/372N"},
    {0x0005, "PC3000 Board"},
    {0x0006, "PC3000 UDMA"},
    {0x0007, "HighPoint 371/371N"},
    {0x0008, "HighPoint 374"},
    {0x0009, "HighPoint 372N-133"},
    {0x002D, "CS5535 IDE"},
    {0x0035, "MCP04 IDE"},
    {0x0036, "MCP04 SATA"},
    {0x003E, "MCP04 SATA"},
    {0x0044, "Revolution Storage Processing Card"},
    {0x0053, "CK804 IDE"},
    {0x0054, "CK804 SATA"},
    {0x0055, "CK804 SATA"},
    {0x0065, "nForce2 IDE"},
    {0x0085, "MCP2A IDE"},
    {0x008E, "nForce2 SATA"},
    {0x00D5, "nForce3 IDE"},
    {0x00E3, "nForce3 SATA"},
    {0x00E5, "nForce3 SATA 2"},
    {0x00EE, "nForce3 SATA 2"},
    {0x0102, "5530 IDE [Kahlua]"},
    {0x0103, "EIDE Type-B"},
    {0x0105, "SL82c105"},
    {0x0180, "180 IDE UDMA"},
    {0x0181, "181 IDE UDMA"},
    {0x0182, "965/965L IDE"},
    {0x01BC, "nForce IDE"},
    {0x0211, "OSB4 IDE"},
    {0x0212, "CSB5 IDE"},
    {0x0213, "CSB6 RAID/IDE"},
    {0x0214, "BCM5785 [HT1000] IDE"},
    {0x0217, "CSB6 IDE"},
    {0x0240, "K2 SATA"},
    {0x0241, "1420SA SATA II RAID "},
    {0x0242, "RAIDCore BC4000"},
    {0x0243, "1430SA SATA II RAID "},
    {0x024A, "MCP51 IDE"},
    {0x024B, "MCP51 IDE"},
    {0x0265, "MCP51 IDE"},
    {0x0266, "MCP51 SATA"},
    {0x0267, "MCP51 SATA"},
    {0x036E, "MCP55 IDE"},
    {0x037E, "MCP55 SATA"},
    {0x037F, "MCP55 SATA"},
    {0x03E7, "MCP61 SATA"},
    {0x03F6, "MCP61 SATA"},
    {0x03F7, "MCP61 SATA"},
    {0x03EC, "MCP61 IDE"},
    {0x0410, "MCP65 IDE"},
    {0x0411, "MCP65 IDE"},
    {0x0448, "MCP65 IDE"},
    {0x044C, "MCP65 AHCI"},
    {0x044D, "MCP65 AHCI"},
    {0x044E, "MCP65 AHCI"},
    {0x044F, "MCP65 AHCI"},
    {0x045C, "MCP65 SATA"},
    {0x045D, "MCP65 SATA"},
    {0x045E, "MCP65 SATA"},
    {0x045F, "MCP65 SATA"},
    {0x0502, "SCx200 IDE"},
    {0x0550, "MCP67 AHCI"},
    {0x0554, "MCP67 AHCI"},
    {0x0555, "MCP67 SATA"},
    {0x0560, "MCP67 IDE"},
    {0x0561, "VT82C576MV"},
    {0x056C, "MCP73 IDE"},
    {0x07F0, "MCP73 IDE"},
    {0x0571, "VT82C586x/VT82C686x/VT823x IDE"},
    {0x0581, "CX700/VX700 RAID"},
    {0x0591, "VT8237A SATA 2-Port"},
    {0x0597, "5513A/B IDE"},
    {0x5513, "5513A/B IDE"},
    {0x0601, "83C601 EIDE"},
    {0x0640, "PCI0640"},
    {0x0643, "PCI0643"},
    {0x0646, "PCI0646"},
    {0x0648, "PCI0648"},
    {0x0649, "SiI 0649 Ultra ATA/100 PCI to ATA Host"},
    {0x0680, "PCI0680 Ultra ATA-133 Host"},
    {0x0759, "MCP78S [GeForce 8200] IDE"},
    {0x07F4, "GeForce 7100/nForce 630i"},
    {0x07F8, "MCP73 SATA RAID"},
    {0x0AB4, "MCP79 SATA"},
    {0x0AB5, "MCP79 SATA"},
    {0x0AB6, "MCP79 SATA"},
    {0x0AB7, "MCP79 SATA"},
    {0x0AB8, "MCP79 AHCI"},
    {0x0AB9, "MCP79 AHCI"},
    {0x0ABA, "MCP79 AHCI"},
    {0x0ABB, "MCP79 AHCI"},
    {0x0ABC, "MCP79 RAID"},
    {0x0ABD, "MCP79 RAID"},
    {0x0ABE, "MCP79 RAID"},
    {0x0ABF, "MCP79 RAID"},
    {0x0AD0, "MCP78S [GeForce 8200] AHCI"},
    {0x0AD4, "MCP78S [GeForce 8200] AHCI"},
    {0x0D1C, "K-Tool Board"},
    {0x0D30, "PDC20263"},
    {0x0D38, "PDC20263"},
    {0x1010, "R1010 IDE"},
    {0x1230, "82371FB PIIX IDE [Triton I]"},
    {0x1234, "PDC20275"},
    {0x1275, "PDC20275"},
    {0x1571, "VT82C576M/VT82C586"},
    {0x1622, "INI-1623 PCI SATA-II"},
    {0x1720, "RocketRAID 1740"},
    {0x1740, "RocketRAID 1740"},
    {0x1742, "RocketRAID 1742"},
    {0x1841, "ADMA-100 DiscStaQ ATA"},
    {0x2015, "2015PL EIDE"},
    {0x2300, "RocketRAID 230x 4 Port SATA-II"},
    {0x2310, "RocketRAID 2310 4 Port SATA-II"},
    {0x2411, "82801AA IDE"},
    {0x2421, "82801AB IDE"},
    {0x244A, "82801BAM IDE U100"},
    {0x244B, "82801BA IDE U100"},
    {0x245B, "82801E IDE U100"},
    {0x248A, "82801CAM IDE U100"},
    {0x248B, "82801CA Ultra ATA Storage"},
    {0x24CA, "6300ESB PATA Storage"},
    {0x24CB, "6300ESB PATA Storage"},
    {0x24D1, "6300ESB PATA Storage"},
    {0x24DB, "6300ESB PATA Storage"},
    {0x24DF, "6300ESB PATA Storage"},
    {0x25A2, "6300ESB PATA Storage"},
    {0x25A3, "6300ESB SATA Storage"},
    {0x25B0, "6300ESB SATA RAID"},
    {0x2651, "631xESB/632xESB/3100 Chipset SATA IDE"},
    {0x2652, "631xESB/632xESB/3100 Chipset SATA IDE"},
    {0x2653, "631xESB/632xESB/3100 Chipset SATA IDE"},
    {0x266F, "631xESB/632xESB/3100 Chipset SATA IDE"},
    {0x2680, "631xESB/632xESB/3100 Chipset SATA IDE"},
    {0x2681, "631xESB/632xESB SATA AHCI"},
    {0x2682, "631xESB/632xESB SATA RAID"},
    {0x2683, "631xESB/632xESB SATA RAID"},
    {0x269E, "631xESB/632xESB IDE"},
    {0x27C0, "82801 SATA RAID"},
    {0x27C1, "82801 SATA RAID"},
    {0x27C3, "82801 SATA RAID"},
    {0x27C4, "82801 SATA RAID"},
    {0x27C5, "82801 SATA RAID"},
    {0x27C6, "82801 SATA RAID"},
    {0x27DF, "82801 SATA RAID"},
    {0x2820, "82801 SATA RAID"},
    {0x2821, "82801 SATA RAID"},
    {0x2822, "82801 SATA RAID"},
    {0x2824, "Mobile 82801 SATA RAID"},
    {0x2825, "Mobile 82801 SATA RAID"},
    {0x2828, "Mobile 82801 SATA RAID"},
    {0x2829, "Mobile 82801 SATA RAID"},
    {0x282A, "Mobile 82801 SATA RAID"},
    {0x2850, "ICH9M/M-E 2 port SATA IDE"},
    {0x2920, "ICH9M/M-E 2 port SATA IDE"},
    {0x2921, "ICH9M/M-E 2 port SATA IDE"},
    {0x2922, "ICH9M/M-E 2 port SATA IDE"},
    {0x2923, "ICH9M/M-E 2 port SATA IDE"},
    {0x2925, "ICH9M/M-E 2 port SATA IDE"},
    {0x2926, "ICH9M/M-E 2 port SATA IDE"},
    {0x2928, "ICH9M/M-E 2 port SATA IDE"},
    {0x292D, "ICH9M/M-E 2 port SATA IDE"},
    {0x2929, "ICH9M/M-E SATA AHCI"},
    {0x292C, "ICH9M-E SATA RAID"},
    {0x292E, "ICH9M SATA IDE"},
    {0x3020, "Samurai IDE"},
    {0x3112, "SiI 3112 [SATALink/SATARaid] SATA"},
    {0x3114, "SiI 3114 [SATALink/SATARaid] SATA"},
    {0x3124, "SiI 3124 PCI-X SATA"},
    {0x3132, "SiI 3132 Serial ATA Raid II"},
    {0x3149, "VIA VT6420 SATA RAID"},
    {0x3164, "VT6410 ATA133 RAID"},
    {0x3200, "GD31244 PCI-X SATA HBA"},
    {0x3249, "VT6421 IDE RAID"},
    {0x3318, "VT8251 AHCI/SATA 4-Port"},
    {0x3319, "VT8251 AHCI/SATA 4-Port"},
    {0x3349, "VT8251 AHCI/SATA 4-Port"},
    {0x3371, "SiI 3512 [SATALink/SATARaid] SATA"},
    {0x3373, "SiI 3512 [SATALink/SATARaid] SATA"},
    {0x3375, "SiI 3512 [SATALink/SATARaid] SATA"},
    {0x3376, "SiI 3512 [SATALink/SATARaid] SATA"},
    {0x3512, "SiI 3512 [SATALink/SATARaid] SATA"},
    {0x3515, "PDC40719 [FastTrak TX4300/TX4310]"},
    {0x3519, "Sil 3531 [SATALink/SATARaid] SATA"},
    {0x3531, "Sil 3531 [SATALink/SATARaid] SATA"},
    {0x3570, "PDC20579 SATAII 150 IDE"},
    {0x3571, "PDC20579 SATAII 150 IDE"},
    {0x3574, "PDC20579 SATAII 150 IDE"},
    {0x3577, "83C602 EIDE"},
    {0x3602, "83C602 EIDE"},
    {0x3A00, "Ibex Peak 4 port SATA IDE"},
    {0x3A05, "Ibex Peak 4 port SATA IDE"},
    {0x3A06, "Ibex Peak 4 port SATA IDE"},
    {0x3A20, "Ibex Peak 4 port SATA IDE"},
    {0x3A25, "Ibex Peak 4 port SATA IDE"},
    {0x3A26, "Ibex Peak 4 port SATA IDE"},
    {0x3B20, "Ibex Peak 4 port SATA IDE"},
    {0x3B2E, "Ibex Peak 4 port SATA IDE"},
    {0x3B24, "Ibex Peak SATA Enhanced RAID"},
    {0x3B2B, "Ibex Peak SATA Enhanced RAID"},
    {0x3B25, "Ibex Peak SATA RAID"},
    {0x3B2C, "Ibex Peak SATA RAID"},
    {0x3B26, "Ibex Peak 2 port SATA IDE"},
    {0x3B2D, "Ibex Peak 2 port SATA IDE"},
    {0x3D17, "VT6420 IDE"},
    {0x3D18, "VT6420 IDE"},
    {0x3D73, "VT6420 IDE"},
    {0x3D75, "VT6420 IDE"},
    {0x4149, "VT6420 IDE"},
    {0x4349, "Dual Channel Bus Master PCI IDE"},
    {0x4369, "Undefined"},
    {0x6040, "Undefined"},
    {0x6080, "Undefined"},
    {0x6123, "Undefined"},
    {0x436E, "436E SATA"},
    {0x4376, "IXP SB400 IDE"},
    {0x4379, "IXP SB400 SATA"},
    {0x437A, "IXP SB400 SATA"},
    {0x4380, "SB600 Non-Raid-5 SATA"},
    {0x438C, "SB600 IDE"},
    {0x4390, "SB700/SB800 SATA [IDE mode]"},
    {0x4391, "SB700/SB800 SATA [AHCI mode]"},
    {0x4392, "SB700/SB800 SATA [Non-RAID5 mode]"},
    {0x4393, "SB700/SB800 SATA [RAID5 mode]"},
    {0x4394, "SB700/SB800 SATA [SATA and FC Enabled]"},
    {0x4395, "SB800 SATA [Storage mode with HyperFlash-PCIE]"},
    {0x439C, "SB700/SB800 IDE"},
    {0x4D30, "PDC20246"},
    {0x4D33, "PDC20246"},
    {0x4D38, "PDC20269"},
    {0x4D68, "PDC20269"},
    {0x4D69, "PDC20269"},
    {0x5028, "EP80579 S-ATA IDE"},
    {0x502A, "EP80579 S-ATA Reserved"},
    {0x502B, "EP80579 S-ATA Reserved"},
    {0x5040, "MV88SX5040 4-port SATA I PCI-X"},
    {0x5041, "MV88SX5041 4-port SATA I PCI-X"},
    {0x5080, "MV88SX5080 8-port SATA I PCI-X"},
    {0x5081, "MV88SX5081 8-port SATA I PCI-X"},
    {0x5215, "M5215 EIDE"},
    {0x5225, "M5225 EIDE"},
    {0x5228, "M5228 ATA/RAID"},
    {0x5229, "M5229 IDE"},
    {0x5275, "M5281 SATA/RAID"},
    {0x5281, "M5281 SATA/RAID"},
    {0x5287, "M5287 SATA"},
    {0x5288, "M5288 SATA"},
    {0x5289, "M5289 SATA"},
    {0x5324, "VX800 Serial ATA and EIDE"},
    {0x6041, "MV88SX6041 4-port SATA II PCI-X"},
    {0x6042, "88SX6042 PCI-X 4-Port SATA-II"},
    {0x6081, "MV88SX6081 8-port SATA II PCI-X"},
    {0x6101, "88SE6101 single-port PATA133"},
    {0x6121, "88SE6121 SATA II"},
    {0x6145, "88SE6145 SATA II PCI-E"},
    {0x6268, "SATA RAID"},
    {0x6269, "SATA RAID"},
    {0x6287, "SATA RAID"},
    {0x6565, "6565"},
    {0x6622, "PDC20621 [SATA150 SX4] 4 Channel IDE RAID"},
    {0x6629, "82371SB PIIX3 IDE [Natoma/Triton II]"},
    {0x7010, "82371SB PIIX3 IDE [Natoma/Triton II]"},
    {0x7042, "88SX7042 PCI-e 4-port SATA-II"},
    {0x7111, "82371AB/EB/MB PIIX4 IDE"},
    {0x7174, "VSC7174 PCI/PCI-X Serial ATA Host Bus"},
    {0x7199, "82440MX EIDE"},
    {0x7275, "AMD-755 IDE"},
    {0x7401, "AMD-755 IDE"},
    {0x7409, "AMD-756 IDE"},
    {0x7411, "AMD-766 IDE"},
    {0x7441, "AMD-768 IDE"},
    {0x7469, "AMD-8111 IDE"},
    {0x7601, "82372FB PIIX5 IDE"},
    {0x8002, "SATAII150 SX8"},
    {0x8013, "VXPro II IDE"},
    {0x811A, "IT8211 Single Channel UDMA 133"},
    {0x8211, "IT8211 Single Channel UDMA 133"},
    {0x8212, "IT8212 Dual channel ATA RAID"},
    {0x8213, "IT8213 IDE"},
    {0x84CA, "450NX - 82451NX Memory & I/O"},
    {0x9130, "SLC90E66 [Victory66] IDE"},
    {0xAE33, "Triflex Dual EIDE Controller"},
    {0xC558, "82C558 [Viper-M ISA+IDE]"},
    {0xC621, "82C621 [Viper-M/N+]"},
    {0xD001, "87410 IDE"},
    {0xD568, "82C825 [Firebridge 2]"},
    {0xF021, "NinjaPATA-32 Delkin Cardbus UDMA"},
    {0xF024, "NinjaPATA-32 Delkin Cardbus UDMA"},
};

const IdName kClasses[] = {
    {0x0101, "Int ATA"}, {0x0104, "RAID"}, {0x0105, "ATA"},     {0x0106, "SATA"},
    {0x0107, "SAS"},     {0x0108, "NVM"},  {0x0180, "Ext ATA"},
};

const char* Find(const IdName* table, size_t n, uint32_t id) {
    for (size_t i = 0; i < n; ++i)
        if (table[i].id == id) return table[i].name;
    return nullptr;
}

constexpr uint32_t kRegId = 0x00;
constexpr uint32_t kRegClass = 0x08;
constexpr uint32_t kRegHeader = 0x0C;
constexpr uint32_t kRegBar0 = 0x10;
constexpr int kLastBus = 10;
constexpr uint16_t kAceLab = 0xACE1;

std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::string text;
    if (!ReadWholeFile(path, text)) return lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string::npos) eol = text.size();
        std::string line = text.substr(pos, eol - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        pos = eol + 1;
    }
    return lines;
}

std::string JoinPath(const std::string& folder, const char* name) {
    if (folder.empty()) return name;
    const char last = folder.back();
    return (last == '/' || last == '\\') ? folder + name : folder + "/" + name;
}

}  // namespace

uint32_t PciConfigAddress(uint32_t bus, uint32_t device, uint32_t function) {
    return ((bus & 0xFF) << 8) | ((device & 0x1F) << 3) | (function & 0x07);
}

std::string VendorName(uint32_t vendorId) {
    if (const char* n = Find(kVendors, std::size(kVendors), vendorId)) return n;
    return Format("%04X*", vendorId & 0xFFFF);
}

std::string DeviceName(uint32_t deviceId) {
    if (const char* n = Find(kDevices, std::size(kDevices), deviceId)) return n;
    return Format("ID %04X*", deviceId & 0xFFFF);
}

std::string ClassName(uint32_t classValue) {
    const char* n = Find(kClasses, std::size(kClasses), classValue);
    return n ? n : "";
}

bool IsKeptPciClass(uint32_t classValue) {
    return Find(kClasses, std::size(kClasses), classValue) != nullptr;
}

PciNameFiles PciNameFiles::Load(const std::string& folder) {
    PciNameFiles f;
    f.pcidevs = ReadLines(JoinPath(folder, "pcidevs.ini"));
    f.pci = ReadLines(JoinPath(folder, "pci.ini"));
    return f;
}

std::string PcidevsValue(const std::vector<std::string>& lines, const std::string& name) {
    for (const std::string& line : lines) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        if (EqualsNoCase(Trim(std::string_view(line).substr(0, eq)), name))
            return Trim(std::string_view(line).substr(eq + 1));
    }
    return {};
}

std::string PciIniDeviceName(const std::vector<std::string>& lines, uint32_t deviceId) {
    char key[8];
    std::snprintf(key, sizeof key, "%04x", deviceId & 0xFFFF);
    for (const std::string& line : lines) {
        const size_t at = line.find(key);
        if (at != std::string::npos) return Trim(std::string_view(line).substr(at + 4));
    }
    return {};
}

std::string ControllerRowText(const PCIDevDesc& d) {
    return Format("%04X/%04X - %s: %s %s", d.basePort & 0xFFFF, d.controlPort & 0xFFFF,
                  d.className.c_str(), d.vendorName.c_str(), d.deviceName.c_str());
}

int ScanPciControllers(Workbench& wb) {
    const PciNameFiles names = PciNameFiles::Load(wb.DataFilesFolder());
    wb.controllers.clear();
    wb.controllers.reserve(kMaxPciChannels);
    PortIo* io = wb.portIo;
    if (!io) return 0;
    auto full = [&] { return wb.controllers.size() >= static_cast<size_t>(kMaxPciChannels); };

    for (uint32_t bus = 0; bus <= kLastBus; ++bus) {
        for (uint32_t dev = 0; dev < 32; ++dev) {
            const uint32_t header =
                io->ReadPciConfigDword(PciConfigAddress(bus, dev, 0), kRegHeader);
            // Functions 0 and 1 are always probed; all eight on a multi-function device.
            const uint32_t lastFunction = (header & 0x00800000) ? 7 : 1;
            for (uint32_t fn = 0; fn <= lastFunction; ++fn) {
                if (full()) return static_cast<int>(wb.controllers.size());
                wb.host.ProcessMessages();
                const uint32_t address = PciConfigAddress(bus, dev, fn);
                const uint32_t id = io->ReadPciConfigDword(address, kRegId);
                const uint32_t vendorId = id & 0xFFFF;
                const uint32_t deviceId = id >> 16;
                if (deviceId == 0xFFFF || deviceId == 0) continue;
                int special = 0;
                if (vendorId == kAceLab && deviceId == 5) special = 1;
                if (vendorId == kAceLab && deviceId == 6) special = 2;

                const uint32_t classReg = io->ReadPciConfigDword(address, kRegClass);
                const uint32_t classValue = classReg >> 16;
                const uint32_t progIf = (classReg >> 8) & 0xFF;
                if (classValue == 0xFFFF || classValue == 0 || !IsKeptPciClass(classValue))
                    continue;
                uint32_t bar[4];
                for (uint32_t i = 0; i < 4; ++i)
                    bar[i] =
                        io->ReadPciConfigDword(address, static_cast<uint8_t>(kRegBar0 + 4 * i));

                // Legacy IDE (class 0x0101) answers on the ISA ports unless the
                // programming interface puts the channel in native mode.
                const bool ide = classValue == 0x0101;
                const bool native0 = (progIf & 0x01) || !ide;
                const bool native1 = (progIf & 0x04) || !ide;

                std::string vendorName = PcidevsValue(names.pcidevs, Format("%04X", vendorId));
                if (vendorName.empty()) vendorName = VendorName(vendorId);
                std::string deviceName =
                    PcidevsValue(names.pcidevs, Format("%04X:%04X", vendorId, deviceId));
                if (deviceName.empty() && vendorId != kAceLab)
                    deviceName = PciIniDeviceName(names.pci, deviceId);
                if (deviceName.empty()) deviceName = DeviceName(deviceId);
                const std::string className = ClassName(classValue);
                const std::string driver = io->BoundDriver(address);

                uint32_t base0 = 0;
                for (int channel = 0; channel < 2; ++channel) {
                    if (full()) return static_cast<int>(wb.controllers.size());
                    uint32_t base, control;
                    if (channel == 0) {
                        base = native0 ? bar[0] : 0x1F0;
                    } else if (special == 1) {
                        base = 0;
                    } else if (special == 2) {
                        base = base0 + 0x20;
                    } else {
                        base = native1 ? bar[2] : 0x170;
                    }
                    const uint32_t basePort = base & 0xFFFC;
                    if (channel == 0) base0 = basePort;
                    if (special) {
                        control = basePort + 0x0E;
                    } else if (channel == 0) {
                        control = native0 ? bar[1] : 0x3F6;
                    } else {
                        control = native1 ? bar[3] : 0x376;
                    }
                    PCIDevDesc d;
                    d.vendorId = vendorId;
                    d.deviceId = deviceId;
                    d.basePort = basePort;
                    d.controlPort = (control & 0xFFFC) | 2;
                    d.vendorName = vendorName;
                    d.deviceName = deviceName;
                    d.className = className;
                    d.pciAddress = address;
                    d.kernelDriver = driver;
                    wb.controllers.push_back(std::move(d));
                }
            }
        }
    }
    return static_cast<int>(wb.controllers.size());
}

}  // namespace qm
