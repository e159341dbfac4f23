// The scan through libpci's dump method, fed with configuration-space dumps
// as lspci -x / -xxx write them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "common/ScriptedHost.h"
#include "common/Workbench.h"
#include "drive/PciScan.h"
#include "platform/linux/LinuxPortIo.h"

namespace qm {
namespace {

std::string Fixture(const char* name) {
    return std::string(QM_PCI_FIXTURES) + "/" + name;
}

std::vector<std::string> ScanDump(const char* name, LinuxPortIo** keep = nullptr) {
    static_cast<void>(keep);
    LinuxPortIo io(Fixture(name));
    ScriptedHost host;
    Workbench wb(host);
    wb.portIo = &io;
    ScanPciControllers(wb);
    std::vector<std::string> rows;
    for (const PCIDevDesc& d : wb.controllers) rows.push_back(ControllerRowText(d));
    EXPECT_TRUE(io.PciError().empty()) << io.PciError();
    return rows;
}

TEST(LibpciDump, LegacyIdeController) {
    EXPECT_EQ(ScanDump("legacy-ide.txt"),
              (std::vector<std::string>{"01F0/03F6 - Int ATA: Intel 82371AB/EB/MB PIIX4 IDE",
                                        "0170/0376 - Int ATA: Intel 82371AB/EB/MB PIIX4 IDE"}));
}

TEST(LibpciDump, NativeControllerAceBoardAndAhci) {
    EXPECT_EQ(ScanDump("native-ide.txt"),
              (std::vector<std::string>{"D000/D406 - Int ATA: Intel ICH9M/M-E 2 port SATA IDE",
                                        "D800/DC06 - Int ATA: Intel ICH9M/M-E 2 port SATA IDE"}));
    EXPECT_EQ(ScanDump("acelab.txt"),
              (std::vector<std::string>{"E000/E00E - Ext ATA: ACE Lab PC3000 UDMA",
                                        "E020/E02E - Ext ATA: ACE Lab PC3000 UDMA"}));
    // A 256-byte (-xxx) dump of an AHCI controller.
    EXPECT_EQ(ScanDump("ahci.txt"),
              (std::vector<std::string>{"F000/F106 - SATA: Intel ICH9M/M-E 2 port SATA IDE",
                                        "F200/F306 - SATA: Intel ICH9M/M-E 2 port SATA IDE"}));
}

TEST(LibpciDump, SingleFunctionDeviceAnsweringAtFunction1) {
    // 00:05.2 sits behind a single-function header and is not probed.
    EXPECT_EQ(
        ScanDump("function1.txt"),
        (std::vector<std::string>{"01F0/03F6 - Int ATA: VIA VT82C586x/VT82C686x/VT823x IDE",
                                  "0170/0376 - Int ATA: VIA VT82C586x/VT82C686x/VT823x IDE"}));
}

TEST(LibpciDump, ReadsOfTheDump) {
    LinuxPortIo io(Fixture("legacy-ide.txt"));
    EXPECT_EQ(io.ReadPciConfigDword(PciConfigAddress(0, 7, 1), 0x00), 0x71118086u);
    EXPECT_EQ(io.ReadPciConfigDword(PciConfigAddress(0, 7, 1), 0x0A), 0x01018001u);  // aligned down
    EXPECT_EQ(io.ReadPciConfigDword(PciConfigAddress(0, 7, 1), 0x20), 0x0000F001u);
    // Past the 64 bytes of a -x dump, and an absent function: all ones.
    EXPECT_EQ(io.ReadPciConfigDword(PciConfigAddress(0, 7, 1), 0x40), 0xFFFFFFFFu);
    EXPECT_EQ(io.ReadPciConfigDword(PciConfigAddress(0, 8, 0), 0x00), 0xFFFFFFFFu);
    EXPECT_EQ(io.PciFunctionCount(), 3u);
    EXPECT_EQ(io.BoundDriver(PciConfigAddress(0, 7, 1)), "");
}

TEST(LibpciDump, GarbageLinesAreSkipped) {
    EXPECT_EQ(ScanDump("garbage-lines.txt").size(), 2u);
}

TEST(LibpciDump, UnusableDumpsFindNothingAndKeepTheProcess) {
    for (const char* name : {"malformed.txt", "does-not-exist.txt"}) {
        LinuxPortIo io(Fixture(name));
        ScriptedHost host;
        Workbench wb(host);
        wb.portIo = &io;
        EXPECT_EQ(ScanPciControllers(wb), 0) << name;
        EXPECT_FALSE(io.PciError().empty()) << name;
    }
    LinuxPortIo io(Fixture("malformed.txt"));
    io.ReadPciConfigDword(0, 0);
    EXPECT_NE(io.PciError().find("Malformed"), std::string::npos) << io.PciError();
}

TEST(LinuxPortIoLive, NoConfigurationReadsWithoutPortIo) {
    // Port I/O never started: every channel would read 0xFF, so the scan
    // lists none (a dump above is read all the same).
    LinuxPortIo io;
    for (uint32_t dev = 0; dev < 32; ++dev)
        ASSERT_EQ(io.ReadPciConfigDword(PciConfigAddress(0, dev, 0), 0), 0xFFFFFFFFu) << dev;
}

TEST(LinuxBoundDriver, BasenameOfTheDriverLink) {
    namespace fs = std::filesystem;
    const fs::path root = fs::temp_directory_path() / "qm-sysfs-pci";
    fs::remove_all(root);
    fs::create_directories(root / "0000:00:1f.2");
    fs::create_directories(root / "0000:00:07.1");
    fs::create_directory_symlink("../../../bus/pci/drivers/ahci", root / "0000:00:1f.2" / "driver");
    LinuxPortIo io;
    io.SetSysfsRoot(root.string());
    EXPECT_EQ(io.BoundDriver(PciConfigAddress(0, 0x1F, 2)), "ahci");
    EXPECT_EQ(io.BoundDriver(PciConfigAddress(0, 7, 1)), "");
    EXPECT_EQ(io.BoundDriver(PciConfigAddress(3, 0, 0)), "");
    fs::remove_all(root);
}

}  // namespace
}  // namespace qm
