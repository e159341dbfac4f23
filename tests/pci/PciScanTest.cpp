// The PCI controller scan on virtual configuration spaces: channel ports of
// legacy, native, SATA and ACE boards, the function rules, names and files,
// and a table that never grows past 256 channels.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "common/Bytes.h"
#include "common/ScriptedHost.h"
#include "common/Workbench.h"
#include "drive/PciScan.h"
#include "vdrive/VirtualDrive.h"
#include "vdrive/VirtualPortIo.h"

namespace qm {
namespace {

std::vector<uint8_t> Config(uint16_t vendor, uint16_t device, uint16_t cls, uint8_t progIf,
                            uint8_t header = 0, std::vector<uint32_t> bars = {}) {
    std::vector<uint8_t> c(256, 0);
    PutU16(c.data(), vendor);
    PutU16(c.data() + 2, device);
    c[9] = progIf;
    PutU16(c.data() + 10, cls);
    c[0x0E] = header;
    for (size_t i = 0; i < bars.size(); ++i) PutU32(c.data() + 0x10 + 4 * i, bars[i]);
    return c;
}

// A machine with only the functions a test adds (the virtual board's own
// devices answer nothing) and a kernel driver on some of them.
class Machine : public PortIo {
  public:
    bool InitializeOls() override { return true; }
    uint8_t ReadIoPortByte(uint16_t) override { return 0xFF; }
    uint16_t ReadIoPortWord(uint16_t) override { return 0xFFFF; }
    void WriteIoPortByte(uint16_t, uint8_t) override {}
    void WriteIoPortWord(uint16_t, uint16_t) override {}
    uint32_t ReadPciConfigDword(uint32_t address, uint8_t offset) override {
        ++reads;
        const auto it = functions.find(address);
        if (it == functions.end()) return 0xFFFFFFFF;
        return GetU32(it->second.data() + (offset & 0xFC));
    }
    std::string BoundDriver(uint32_t address) const override {
        const auto it = drivers.find(address);
        return it == drivers.end() ? std::string() : it->second;
    }
    std::map<uint32_t, std::vector<uint8_t>> functions;
    std::map<uint32_t, std::string> drivers;
    uint64_t reads = 0;
};

class PciScan : public ::testing::Test {
  protected:
    PciScan() : wb(host) {
        wb.portIo = &machine;
        wb.programFolder = "/nonexistent-folder";
    }
    std::vector<std::string> Rows() {
        std::vector<std::string> rows;
        for (const PCIDevDesc& d : wb.controllers) rows.push_back(ControllerRowText(d));
        return rows;
    }
    ScriptedHost host;
    Machine machine;
    Workbench wb;
};

TEST(PciScanVirtual, LegacyControllerOfTheVirtualBoard) {
    VirtualDrive drive(VirtualDrive::SampleContent());
    VirtualPortIo io(&drive);
    ScriptedHost host;
    Workbench wb(host);
    wb.portIo = &io;
    ASSERT_EQ(ScanPciControllers(wb), 2);
    EXPECT_EQ(ControllerRowText(wb.controllers[0]),
              "01F0/03F6 - Int ATA: Intel 82371AB/EB/MB PIIX4 IDE");
    EXPECT_EQ(ControllerRowText(wb.controllers[1]),
              "0170/0376 - Int ATA: Intel 82371AB/EB/MB PIIX4 IDE");
    EXPECT_EQ(wb.controllers[0].pciAddress, PciConfigAddress(0, 7, 1));
    // Messages run once per function probed: two for the single-function host
    // bridge, eight for the multi-function bridge and for every empty slot
    // (nothing answers there, so the header reads as all ones).
    EXPECT_EQ(host.processMessagesCalls, 2u + 8u + (11u * 32u - 2u) * 8u);
}

TEST_F(PciScan, NativeSataAndAceBoards) {
    machine.functions[PciConfigAddress(0, 0x1F, 2)] =
        Config(0x8086, 0x2920, 0x0101, 0x8F, 0, {0xD001, 0xD405, 0xD801, 0xDC05});
    // A SATA controller takes its ports from the BARs whatever its programming interface.
    machine.functions[PciConfigAddress(1, 0, 0)] =
        Config(0x8086, 0x2929, 0x0106, 0x01, 0, {0xF001, 0xF105, 0xF201, 0xF305});
    machine.functions[PciConfigAddress(2, 0, 0)] = Config(0xACE1, 0x0006, 0x0180, 0, 0, {0xE001});
    machine.functions[PciConfigAddress(3, 0, 0)] = Config(0xACE1, 0x0005, 0x0180, 0, 0, {0xC001});
    machine.drivers[PciConfigAddress(1, 0, 0)] = "ahci";
    ASSERT_EQ(ScanPciControllers(wb), 8);
    EXPECT_EQ(Rows(), (std::vector<std::string>{
                          "D000/D406 - Int ATA: Intel ICH9M/M-E 2 port SATA IDE",
                          "D800/DC06 - Int ATA: Intel ICH9M/M-E 2 port SATA IDE",
                          "F000/F106 - SATA: Intel ICH9M/M-E SATA AHCI",
                          "F200/F306 - SATA: Intel ICH9M/M-E SATA AHCI",
                          "E000/E00E - Ext ATA: ACE Lab PC3000 UDMA",
                          "E020/E02E - Ext ATA: ACE Lab PC3000 UDMA",
                          "C000/C00E - Ext ATA: ACE Lab PC3000 Board",
                          "0000/000E - Ext ATA: ACE Lab PC3000 Board",
                      }));
    EXPECT_EQ(wb.controllers[2].kernelDriver, "ahci");
    EXPECT_EQ(wb.controllers[0].kernelDriver, "");
    EXPECT_EQ(wb.controllers[4].vendorId, 0xACE1u);
    EXPECT_EQ(wb.controllers[4].deviceId, 6u);
}

TEST_F(PciScan, LegacyChannelsFollowTheirOwnProgrammingInterfaceBits) {
    // Channel 0 native, channel 1 legacy.
    machine.functions[PciConfigAddress(0, 4, 0)] =
        Config(0x1095, 0x0680, 0x0101, 0x81, 0, {0xA001, 0xA105, 0xA201, 0xA305});
    ASSERT_EQ(ScanPciControllers(wb), 2);
    EXPECT_EQ(Rows()[0], "A000/A106 - Int ATA: CMD/SiI PCI0680 Ultra ATA-133 Host");
    EXPECT_EQ(Rows()[1], "0170/0376 - Int ATA: CMD/SiI PCI0680 Ultra ATA-133 Host");
}

TEST_F(PciScan, FunctionRules) {
    // Single-function device: function 1 is probed too, function 2 is not.
    machine.functions[PciConfigAddress(0, 5, 0)] = Config(0x1106, 0x3038, 0x0C03, 0);
    machine.functions[PciConfigAddress(0, 5, 1)] = Config(0x1106, 0x0571, 0x0101, 0x8A);
    machine.functions[PciConfigAddress(0, 5, 2)] = Config(0x1106, 0x3149, 0x0104, 0);
    // Multi-function device: function 6 is found.
    machine.functions[PciConfigAddress(0, 9, 0)] = Config(0x10DE, 0x0000, 0x0101, 0x80, 0x80);
    machine.functions[PciConfigAddress(0, 9, 6)] =
        Config(0x10DE, 0x0266, 0x0101, 0x85, 0x80, {0x9001, 0x9105, 0x9201, 0x9305});
    // Device ID 0xFFFF and classes that are not kept are skipped; bus 11 is not scanned.
    machine.functions[PciConfigAddress(0, 10, 0)] = Config(0x8086, 0xFFFF, 0x0101, 0x80);
    machine.functions[PciConfigAddress(0, 11, 0)] = Config(0x8086, 0x7111, 0x0C03, 0x80);
    machine.functions[PciConfigAddress(11, 0, 0)] = Config(0x8086, 0x7111, 0x0101, 0x80);
    ASSERT_EQ(ScanPciControllers(wb), 4);
    EXPECT_EQ(Rows(), (std::vector<std::string>{
                          "01F0/03F6 - Int ATA: VIA VT82C586x/VT82C686x/VT823x IDE",
                          "0170/0376 - Int ATA: VIA VT82C586x/VT82C686x/VT823x IDE",
                          "9000/9106 - Int ATA: Nvidia MCP51 SATA",
                          "9200/9306 - Int ATA: Nvidia MCP51 SATA",
                      }));
}

TEST_F(PciScan, NeverMoreThan256Channels) {
    // Eleven buses full of multi-function controllers: 11 * 32 * 8 * 2 channels offered.
    for (uint32_t bus = 0; bus <= 10; ++bus)
        for (uint32_t dev = 0; dev < 32; ++dev)
            for (uint32_t fn = 0; fn < 8; ++fn)
                machine.functions[PciConfigAddress(bus, dev, fn)] =
                    Config(0x8086, 0x7111, 0x0101, 0x80, 0x80);
    EXPECT_EQ(ScanPciControllers(wb), 256);
    EXPECT_EQ(wb.controllers.size(), 256u);
    EXPECT_LE(wb.controllers.capacity(), 256u);
    EXPECT_EQ(wb.controllers.back().pciAddress, PciConfigAddress(0, 15, 7));
    // A second scan rebuilds rather than appends.
    machine.functions.clear();
    EXPECT_EQ(ScanPciControllers(wb), 0);
    EXPECT_TRUE(wb.controllers.empty());
}

TEST_F(PciScan, WithoutConfigurationAccessNothingIsFound) {
    wb.portIo = nullptr;
    wb.controllers.resize(3);
    EXPECT_EQ(ScanPciControllers(wb), 0);
    EXPECT_TRUE(wb.controllers.empty());
}

TEST(PciNames, BuiltInTables) {
    EXPECT_EQ(PciConfigAddress(0, 7, 1), 0x39u);
    EXPECT_EQ(PciConfigAddress(10, 31, 7), 0x0AFFu);
    EXPECT_EQ(VendorName(0x8086), "Intel");
    EXPECT_EQ(VendorName(0xACE1), "ACE Lab");
    EXPECT_EQ(VendorName(0x9005), "Adaptec");
    EXPECT_EQ(VendorName(0x1234), "1234*");
    EXPECT_EQ(DeviceName(0x7111), "82371AB/EB/MB PIIX4 IDE");
    EXPECT_EQ(DeviceName(0x0241), "1420SA SATA II RAID ");  // trailing blank kept
    EXPECT_EQ(DeviceName(0x1234), "PDC20275");
    EXPECT_EQ(DeviceName(0xF024), "NinjaPATA-32 Delkin Cardbus UDMA");
    EXPECT_EQ(DeviceName(0x9999), "ID 9999*");
    EXPECT_EQ(DeviceName(0x00ab), "ID 00AB*");
    EXPECT_EQ(ClassName(0x0101), "Int ATA");
    EXPECT_EQ(ClassName(0x0108), "NVM");
    EXPECT_EQ(ClassName(0x0180), "Ext ATA");
    EXPECT_EQ(ClassName(0x0C03), "");
    int vendors = 0, devices = 0;
    for (uint32_t id = 0; id <= 0xFFFF; ++id) {
        vendors += VendorName(id).back() != '*';
        devices += DeviceName(id).back() != '*';
    }
    EXPECT_EQ(vendors, 38);
    EXPECT_EQ(devices, 290);
}

class PciNameFilesTest : public PciScan {
  protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("qm-pci-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
        wb.programFolder = dir.string();
        machine.functions[PciConfigAddress(0, 7, 1)] = Config(0x8086, 0x7111, 0x0101, 0x80);
        machine.functions[PciConfigAddress(0, 8, 0)] =
            Config(0xACE1, 0x0006, 0x0180, 0, 0, {0xE001});
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    void Write(const char* name, const std::string& text) {
        std::ofstream(dir / name, std::ios::binary) << text;
    }
    std::filesystem::path dir;
};

TEST_F(PciNameFilesTest, FilesComeFirstAndOddLinesAreIgnored) {
    Write("pcidevs.ini",
          "[Vendors]\r\n"
          "garbage line without equals\r\n"
          "=no name\r\n"
          "8086 = Intel Corp.\r\n"
          "8086=second match loses\r\n"
          "ACE1:0006=PC-3000 UDMA board\r\n");
    Write("pci.ini",
          "8086  Intel Corporation\n"
          "\t7111  82371AB PIIX4 IDE from pci.ini  \n"
          "\t\t7111 later line loses\n"
          "\t0006  not used for ACE boards\n");
    ASSERT_EQ(ScanPciControllers(wb), 4);
    EXPECT_EQ(Rows()[0], "01F0/03F6 - Int ATA: Intel Corp. 82371AB PIIX4 IDE from pci.ini");
    EXPECT_EQ(Rows()[2], "E000/E00E - Ext ATA: ACE Lab PC-3000 UDMA board");

    // pcidevs.ini device names beat pci.ini; an ACE board never takes pci.ini.
    Write("pcidevs.ini", "8086:7111=PIIX4 from pcidevs\n");
    Write("pci.ini", "0006 wrong\n7111 also wrong\n");
    ScanPciControllers(wb);
    EXPECT_EQ(Rows()[0], "01F0/03F6 - Int ATA: Intel PIIX4 from pcidevs");
    EXPECT_EQ(Rows()[2], "E000/E00E - Ext ATA: ACE Lab PC3000 UDMA");
}

TEST(PciNameLines, LookupRules) {
    const std::vector<std::string> pcidevs = {"[x]", "8086", "1002=ATI Tech", "1002=later"};
    EXPECT_EQ(PcidevsValue(pcidevs, "1002"), "ATI Tech");
    EXPECT_EQ(PcidevsValue(pcidevs, "8086"), "");
    // The pci.ini search is case-sensitive and ignores the vendor.
    const std::vector<std::string> pci = {"  71AB upper case is not a match", "x71ab found it "};
    EXPECT_EQ(PciIniDeviceName(pci, 0x71AB), "found it");
    EXPECT_EQ(PciIniDeviceName(pci, 0x1234), "");
    EXPECT_EQ(PciIniDeviceName({"abcd"}, 0xABCD), "");
}

}  // namespace
}  // namespace qm
