#include "fuzz/Seeds.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "common/Bytes.h"
#include "common/Format.h"
#include "drive/DeviceIo.h"
#include "drive/SatCdb.h"
#include "drive/uAtaPass.h"
#include "drive/uSCSI.h"
#include "fuzz/FuzzInput.h"
#include "script/ScriptModule.h"
#include "vdrive/SampleServiceArea.h"
#include "vdrive/Sat.h"
#include "vdrive/VirtualDrive.h"

namespace qm::fuzz {

namespace fs = std::filesystem;

namespace {

// Seeds stay small so that the fuzzer runs fast; a long image keeps its start.
constexpr size_t kMaxSeed = 16 * 1024;

std::vector<uint8_t> Cut(std::vector<uint8_t> b) {
    if (b.size() > kMaxSeed) b.resize(kMaxSeed);
    return b;
}

std::vector<uint8_t> FileBytes(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

std::vector<uint8_t> Join(const std::vector<std::vector<uint8_t>>& parts) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i) out.insert(out.end(), kPartMark.begin(), kPartMark.end());
        out.insert(out.end(), parts[i].begin(), parts[i].end());
    }
    return out;
}

std::vector<uint8_t> Text(const std::string& s) {
    return {s.begin(), s.end()};
}

// Choice bytes after an image (FuzzInput takes them from the end).
std::vector<uint8_t> With(std::vector<uint8_t> image, std::initializer_list<uint8_t> choices) {
    image = Cut(std::move(image));
    image.insert(image.end(), choices.begin(), choices.end());
    return image;
}

}  // namespace

std::vector<Seed> BuildSeeds(const std::string& sourceDir) {
    std::vector<Seed> seeds;
    auto add = [&](const char* target, std::string name, std::vector<uint8_t> bytes) {
        seeds.push_back({target, std::move(name), std::move(bytes)});
    };
    const fs::path src(sourceDir);

    DriveContent c = VirtualDrive::SampleContent();
    const VirtualDrive sample(c);
    const auto id = sample.IdentifySector();
    add("identify", "sample", With({id.begin(), id.end()}, {20, 10}));
    std::vector<uint8_t> smart = c.smartData;
    smart.resize(512);
    smart.insert(smart.end(), c.smartThresholds.begin(), c.smartThresholds.end());
    add("smart", "sample", smart);

    for (const auto& [mid, image] : c.serviceArea.modules) {
        const std::string name = Format("id%04X", mid);
        add("module_image", name,
            With(image, {static_cast<uint8_t>(mid >> 8), static_cast<uint8_t>(mid)}));
        if (mid == 0x01) add("module_dir", name, Cut(image));
        if (mid == 0x33 || mid == 0x34) add("defect_list", name, Cut(image));
        if (mid == 0x28) add("script", name, With(image, {0, 11, 9, 1, 3, 2, 0, 6, 8}));
        if (mid == 0xE6) add("scan_reports", name, Cut(image));
    }
    for (const auto& [key, table] : c.serviceArea.tables) {
        const bool royl = (key >> 16) == 0x0D;
        add("zone_table", Format("table%08X", key), With(table, {0x10, 0x00, 0x00, 0x00, royl}));
    }
    // A surface log of head 0 against head 0's zone table.
    if (const SaImage* e0 = c.serviceArea.Module(0xE0)) {
        const SaImage* z = c.serviceArea.Table(0x0D, 0);
        add("scan_reports", "surface-head0",
            Join({{},
                  Cut(*e0),
                  z ? std::vector<uint8_t>(z->begin(), z->end()) : std::vector<uint8_t>{}}));
    }
    add("script", "template", With(ScriptTemplateModule(), {1, 0, 4, 1}));

    // Module 0x21 in each layout, with choice bytes for the edits.
    for (SampleDrmLayout layout :
         {SampleDrmLayout::Drm2, SampleDrmLayout::Std, SampleDrmLayout::StdOld}) {
        DriveContent d = VirtualDrive::SampleContent();
        BuildSampleServiceArea(d, layout);
        if (const SaImage* m = d.serviceArea.Module(0x21)) {
            std::vector<uint8_t> b = Cut(*m);
            const uint8_t entry[12] = {0x09, 0x32, 0x00, 100, 100, 1, 2, 3, 4, 5, 6, 0};
            b.insert(b.end(), std::begin(entry), std::end(entry));
            const std::string replace = "4C59", find = "ROYL";
            b.insert(b.end(), replace.rbegin(), replace.rend());
            b.push_back(static_cast<uint8_t>(replace.size()));
            b.insert(b.end(), find.rbegin(), find.rend());
            b.push_back(static_cast<uint8_t>(find.size()));
            b.push_back(static_cast<uint8_t>(0x30 + static_cast<int>(layout)));
            add("module21", Format("layout%d", static_cast<int>(layout)), b);
        }
    }

    // Text files: the data files, drive.ini of the fixtures, the PCI dumps.
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(src / "data", ec))
        if (e.path().extension() == ".ini")
            add("ini", e.path().filename().string(), With(FileBytes(e.path()), {'K', 'e', 'y', 3}));
    const fs::path older = src / "tests/fixtures/older-script-drive";
    std::vector<std::vector<uint8_t>> folder = {FileBytes(older / "drive.ini")};
    add("ini", "drive.ini", With(folder[0], {'K', 1}));
    add("drive_folder", "drive-ini-only", Join(folder));
    folder.push_back({id.begin(), id.end()});
    folder.push_back(c.smartData);
    folder.push_back(c.smartThresholds);
    folder.push_back({});
    for (uint16_t mid : {0x01, 0x21, 0x33}) {
        const SaImage* m = c.serviceArea.Module(mid);
        folder.push_back(m ? Cut(*m) : std::vector<uint8_t>{});
    }
    add("drive_folder", "sample-parts", Join(folder));
    add("drive_folder", "faults",
        Join({Text("[Identity]\nModel=WDC WD5000AAKS\nSectors=0x100000\n[Faults]\nErrOnChunk=2\n"
                   "StuckBusy=1\nModuleStatus=21:0101\n[Timing]\nRpm=5400\n[Status]\nPower=0x20\n"
                   "[ServiceArea]\nModule21=STD\nIdleTimer=12\n[Tests]\n12=50,3\n")}));
    for (const auto& e : fs::directory_iterator(src / "tests/fixtures/pci", ec))
        add("lspci", e.path().filename().string(), FileBytes(e.path()));

    // Sense data as SAT layers answer: descriptor and fixed format with the
    // ATA registers, and a pass-through block of each kind around it.
    ResultRegisters regs;
    regs.status = 0x51;
    regs.error = 0x04;
    for (bool descriptor : {true, false}) {
        const auto sense = sat::BuildSense(descriptor, 0x01, 0x00, 0x1D, &regs, true);
        for (bool ata : {true, false}) {
            std::vector<uint8_t> block(ata ? ata_ptx::kHeaderSize + 512
                                           : scsi_ptx::kHeaderSize + 512);
            if (ata) {
                PutU16(block.data() + ata_ptx::kLength, ata_ptx::kHeaderSize);
                PutU16(block.data() + ata_ptx::kAtaFlags, ata_ptx::kFlagDataIn);
                PutU32(block.data() + ata_ptx::kDataTransferLength, 512);
                PutU32(block.data() + ata_ptx::kDataBufferOffset, ata_ptx::kHeaderSize);
                block[ata_ptx::kCurrentTaskFile + 6] = 0xEC;
            } else {
                PutU16(block.data() + scsi_ptx::kLength, scsi_ptx::kRecordSize);
                block[scsi_ptx::kCdbLength] = 16;
                block[scsi_ptx::kSenseInfoLength] = scsi_ptx::kSenseSize;
                block[scsi_ptx::kDataIn] = scsi_ptx::kDataInDir;
                PutU32(block.data() + scsi_ptx::kDataTransferLength, 512);
                PutU32(block.data() + scsi_ptx::kDataBufferOffset, scsi_ptx::kHeaderSize);
                PutU32(block.data() + scsi_ptx::kSenseInfoOffset, scsi_ptx::kSense);
                TaskFile tf;
                tf.sectorCount = 1;
                tf.command = 0xEC;  // IDENTIFY DEVICE
                const auto cdb = sat::BuildPassThrough16(4, false, 0x2E, tf);
                std::copy(cdb.begin(), cdb.end(), block.begin() + scsi_ptx::kCdb);
            }
            const uint16_t size = static_cast<uint16_t>(block.size());
            // sgio_sense: block, sense, then (from the end) the choices.
            std::vector<uint8_t> s = block;
            s.insert(s.end(), sense.rbegin(), sense.rend());
            s.push_back(static_cast<uint8_t>(sense.size()));
            for (uint8_t b : {0, 0, 0, 0, 0, 0, 2}) s.push_back(b);  // resid, statuses
            s.push_back(0);                                          // driver
            s.push_back(0);                                          // host
            s.push_back(uint8_t(size >> 8));
            s.push_back(uint8_t(size));  // outSize
            s.push_back(uint8_t(size >> 8));
            s.push_back(uint8_t(size));  // inSize
            s.push_back(ata);
            add("sgio_sense", Format("%s-%s", ata ? "ata" : "scsi", descriptor ? "desc" : "fixed"),
                s);
            if (descriptor) {
                // vdrive_passthrough: one request (block from the end, then sizes and kind).
                std::vector<uint8_t> v(block.rbegin(), block.rend());
                v.push_back(uint8_t(size >> 8));
                v.push_back(uint8_t(size));  // block length
                v.push_back(uint8_t(size >> 8));
                v.push_back(uint8_t(size));
                v.push_back(uint8_t(size >> 8));
                v.push_back(uint8_t(size));
                v.push_back(ata);
                add("vdrive_passthrough", ata ? "ata-identify" : "scsi-identify", v);
            }
        }
    }
    add("status_sector", "zeros", std::vector<uint8_t>(512, 0));
    std::vector<uint8_t> status(512);
    for (size_t i = 0; i < status.size(); ++i) status[i] = static_cast<uint8_t>(i * 7);
    add("status_sector", "pattern", status);
    return seeds;
}

}  // namespace qm::fuzz
