// Module writes and backups on the virtual drive, over each transport, with a
// random fault armed before every operation. After each one:
// - the drive's copy of the module is the old image or the new one, and the
//   new one whenever the write reported success;
// - when anything reached the drive (or success was reported), the journal
//   holds the old image (.before.rpm) of that write;
// - with the journal folder unwritable nothing is sent;
// - every file a backup wrote holds exactly the drive's bytes.
// Prints the counts of operations, faults and outcomes.
//   qm_module_write_soak [OPERATIONS] [SEED]   (or QM_SOAK_OPS, QM_SOAK_SEED)
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>

#include "common/Bytes.h"
#include "common/Format.h"
#include "common/ScriptedHost.h"
#include "common/Workbench.h"
#include "drive/Identify.h"
#include "drive/Transport.h"
#include "vdrive/VirtualDrive.h"
#include "vdrive/VirtualPortIo.h"
#include "vdrive/VirtualSeams.h"
#include "vendor/Backup.h"
#include "vendor/Modules.h"

namespace {

using namespace qm;
namespace fs = std::filesystem;

constexpr uint16_t kBigModule =
    0x99;  // three chunks of 128 sectors, so chunk faults strike mid-way

ModuleImage RoylModule(uint16_t id, uint32_t sectors, uint8_t fill) {
    ModuleImage m(static_cast<size_t>(sectors) * 512, fill);
    PutU32(m.data(), 0x4C594F52);
    PutU16(m.data() + 6, 48);
    PutU16(m.data() + 8, id);
    PutU16(m.data() + 10, static_cast<uint16_t>(sectors));
    FixModuleChecksum(m);
    return m;
}

std::vector<uint8_t> FileBytes(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

// One drive behind one transport, as the program sees it.
struct Rig {
    Rig(const DriveContent& content, TransportMode mode, const std::string& dataFolder)
        : drive(std::make_unique<VirtualDrive>(content)), wb(host) {
        drive->SetClock([this] { return now += 1'000'000; });
        portIo = std::make_unique<VirtualPortIo>(drive.get());
        auto device = std::make_unique<VirtualDeviceIo>(*drive);
        device->sleepNanos = [](int64_t) {};
        deviceIo = std::move(device);
        wb.portIo = portIo.get();
        wb.portIoReady = true;
        wb.deviceIo = deviceIo.get();
        wb.link.mode = mode;
        wb.link.basePort = 0x1F0;
        wb.link.controlPort = 0x3F6;
        if (mode != TransportMode::PortIo)
            (mode == TransportMode::AtaPassThrough ? wb.link.ataHandle : wb.link.scsiHandle) =
                deviceIo->Open("/dev/qmvd0");
        wb.dataFolder = dataFolder;
        wb.identity = ParseIdentity(drive->IdentifySector().data());
        // A wait that never ends is a hang: give up after many polls.
        host.onProcessMessages = [this] {
            if (++polls > 2'000'000) wb.link.abort = true;
        };
    }

    int64_t now = 0;
    uint64_t polls = 0;
    std::unique_ptr<VirtualDrive> drive;
    std::unique_ptr<VirtualPortIo> portIo;
    std::unique_ptr<DeviceIo> deviceIo;
    ScriptedHost host;
    Workbench wb;
};

const char* const kFaultNames[] = {
    "none",
    "vendor status (action)",
    "vendor status (module)",
    "final status",
    "ERR on chunk k",
    "short chunk",
    "removed after k",
    "stuck busy",
    "device call fails",
    "status read refused",
    "module sectors",
    "journal unwritable",
};
constexpr int kFaultKinds = static_cast<int>(std::size(kFaultNames));

struct Counts {
    std::map<std::string, uint64_t> byKey;
    uint64_t violations = 0;
    std::string context;  // the current operation's transport and fault, for the messages
    void Add(const std::string& key) { ++byKey[key]; }
};

void Violation(Counts& c, uint64_t op, const std::string& what) {
    ++c.violations;
    if (c.violations <= 20)
        std::fprintf(stderr, "op %llu (%s): %s\n", static_cast<unsigned long long>(op),
                     c.context.c_str(), what.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    const char* envOps = std::getenv("QM_SOAK_OPS");
    const char* envSeed = std::getenv("QM_SOAK_SEED");
    const uint64_t ops = std::strtoull(argc > 1 ? argv[1] : envOps ? envOps : "120", nullptr, 0);
    const uint64_t seed = std::strtoull(argc > 2  ? argv[2]
                                        : envSeed ? envSeed
                                                  : "20261208",
                                        nullptr, 0);
    std::mt19937_64 rng(seed);
    auto below = [&rng](uint64_t n) { return static_cast<uint32_t>(rng() % n); };

    DriveContent content = VirtualDrive::SampleContent();
    content.serviceArea.modules[kBigModule] = RoylModule(kBigModule, 300, 0x99);
    const uint16_t writable[] = {kBigModule, 0x21, 0x28, 0x33};

    std::random_device rd;
    const fs::path root = fs::temp_directory_path() /
                          ("qm-soak-" + std::to_string(rd()) + "-" + std::to_string(rd()));
    fs::create_directories(root);
    const fs::path blocker = root / "not-a-folder";
    std::ofstream(blocker) << "the journal cannot live under a file";

    Counts c;
    const TransportMode modes[] = {TransportMode::PortIo, TransportMode::AtaPassThrough,
                                   TransportMode::ScsiPassThrough};
    const char* const modeNames[] = {"port I/O", "ATA pass-through", "SCSI pass-through"};
    for (uint64_t op = 0; op < ops; ++op) {
        const int m = static_cast<int>(below(3));
        const int fault = static_cast<int>(below(kFaultKinds));
        const bool backup = below(5) == 0;
        const fs::path opDir = root / Format("op%06llu", static_cast<unsigned long long>(op));
        const bool journalBlocked = fault == 11;
        Rig rig(content, modes[m], journalBlocked ? (blocker / "data").string() : opDir.string());
        c.Add(std::string("transport: ") + modeNames[m]);
        c.Add(std::string("fault: ") + kFaultNames[fault]);

        const uint16_t id = writable[below(std::size(writable))];
        const ModuleImage old = *rig.drive->ServiceAreaNow().Module(id);
        // The program reads the drive's copy first (for the journal and the size check).
        ModuleImage current;
        if (!backup && !ReadModule(rig.wb, id, current)) {
            Violation(c, op, Format("module %04X could not be read before the write", id));
            continue;
        }

        VirtualDrive::Faults f;
        const uint32_t chunks = static_cast<uint32_t>((old.size() / 512 + 127) / 128);
        switch (fault) {
            case 1:
                f.actionStatus[below(2) ? 0x08 : 0x0D] =
                    static_cast<uint16_t>(0x0100 + below(0x100));
                break;
            case 2:
                f.moduleStatus[id] = static_cast<uint16_t>(0x0100 + below(0x100));
                break;
            case 3:
                f.moduleFinalStatus[id] = static_cast<uint16_t>(1 + below(0xFFFE));
                break;
            case 4:
                f.errOnChunk = 1 + below(chunks + 1);
                break;
            case 5:
                f.shortChunk = 1 + below(chunks + 1);
                break;
            case 6:
                f.removeAfterChunks = 1 + below(chunks + 1);
                break;
            case 7:
                f.stuckBusy = true;
                break;
            case 8:
                f.failDeviceCalls = below(2) ? -1 : static_cast<int>(1 + below(4));
                break;
            case 9:
                f.refuseStatusRead = 1 + below(3);
                break;
            case 10:
                f.moduleSectors[id] = static_cast<uint32_t>(old.size() / 512) + 1 + below(4) - 2;
                break;
            default:
                break;
        }
        rig.drive->SetFaults(f);
        c.context = std::string(modeNames[m]) + ", " + kFaultNames[fault];

        if (backup) {
            c.Add("op: backup");
            const fs::path folder = opDir / "backup";
            const BackupReport r = BackupDrive(rig.wb, folder.string());
            c.Add(r.Complete() ? "backup: complete" : "backup: with failures");
            const ServiceArea sa = rig.drive->ServiceAreaNow();
            std::error_code ec;
            for (auto it = fs::recursive_directory_iterator(folder, ec);
                 !ec && it != fs::recursive_directory_iterator(); ++it) {
                if (!it->is_regular_file()) continue;
                const std::string name = it->path().filename().string();
                const std::string dir = it->path().parent_path().filename().string();
                const std::vector<uint8_t> bytes = FileBytes(it->path());
                std::optional<SaImage> expect;
                unsigned a = 0, b = 0;
                if (dir == "modules" && std::sscanf(name.c_str(), "~id%4X.rpm", &a) == 1) {
                    if (const SaImage* mod = sa.Module(static_cast<uint16_t>(a))) expect = *mod;
                    // A drive that announces another size delivers its module cut
                    // or padded with zeros: that is the drive's copy as it reads.
                    const auto announced = f.moduleSectors.find(static_cast<uint16_t>(a));
                    if (expect && announced != f.moduleSectors.end())
                        expect->resize(static_cast<size_t>(announced->second) * 512, 0);
                } else if (dir == "tables" &&
                           std::sscanf(name.c_str(), "%2X-%4X.bin", &a, &b) == 2) {
                    if (const SaImage* t =
                            sa.Table(static_cast<uint16_t>(a), static_cast<uint16_t>(b)))
                        expect = *t;
                } else {
                    continue;
                }
                c.Add("backup: files checked");
                if (!expect || *expect != bytes)
                    Violation(c, op,
                              "backup file " + dir + "/" + name + " is not the drive's copy");
            }
            if (r.Complete() && fault != 0 && fault != 11)
                c.Add("backup: complete despite a fault");
        } else {
            c.Add("op: module write");
            ModuleImage image = old;
            if (below(8) == 0) {
                image.resize(image.size() + 512);  // another size: refused before anything is sent
            } else {
                for (int k = 0, n = 1 + static_cast<int>(below(8)); k < n; ++k)
                    image[64 + below(image.size() - 64)] ^= static_cast<uint8_t>(1 + below(255));
            }
            FixModuleChecksum(image);
            std::string message;
            const bool ok = WriteModuleJournaled(rig.wb, id, image, &current, message);
            const ModuleImage after = *rig.drive->ServiceAreaNow().Module(id);
            const bool isOld = after == old, isNew = after == image;
            c.Add(ok      ? "write: reported written"
                  : isOld ? "write: failed, old image kept"
                  : isNew ? "write: failed, new image on the drive"
                          : "write: failed, MIXED image");
            // The drive took the image but answered with an error: which faults do that.
            if (!ok && isNew && !isOld)
                c.Add(std::string("  new image kept after: ") + kFaultNames[fault]);
            if (!isOld && !isNew)
                Violation(c, op, Format("module %04X is a mixture of old and new", id));
            if (ok && !isNew)
                Violation(c, op, Format("module %04X reported written but differs", id));
            if (journalBlocked && (ok || !isOld))
                Violation(c, op, "written although the journal could not be kept");
            // The journal of this write: the old image whenever the drive was touched.
            bool haveBefore = false, haveEntry = false;
            std::error_code ec;
            for (auto it = fs::recursive_directory_iterator(opDir, ec);
                 !ec && it != fs::recursive_directory_iterator(); ++it) {
                const std::string name = it->path().filename().string();
                if (name.ends_with(".before.rpm")) {
                    haveEntry = true;
                    haveBefore = FileBytes(it->path()) == old;
                }
                if (name.ends_with(".written.rpm") && !ok)
                    Violation(c, op, "a failed write is journaled as written");
            }
            if (haveEntry) c.Add("journal: entry kept");
            if ((ok || !isOld) && !haveBefore)
                Violation(c, op,
                          Format("module %04X changed without its old image in the journal", id));
        }
        std::error_code ec;
        fs::remove_all(opDir, ec);
    }
    std::error_code ec;
    fs::remove_all(root, ec);

    std::printf("module write soak: %llu operations, seed %llu\n",
                static_cast<unsigned long long>(ops), static_cast<unsigned long long>(seed));
    for (const auto& [key, n] : c.byKey)
        std::printf("  %-45s %8llu\n", key.c_str(), static_cast<unsigned long long>(n));
    std::printf("  %-45s %8llu\n", "VIOLATIONS", static_cast<unsigned long long>(c.violations));
    return c.violations ? 1 : 0;
}
