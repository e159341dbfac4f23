#include "vdrive/VirtualDrive.h"

#include <algorithm>
#include <cstring>

#include "common/Bytes.h"
#include "vdrive/VscEngine.h"

namespace qm {
namespace {

enum : uint8_t {
    kCmdReadSectors = 0x20,
    kCmdReadSectorsNoRetry = 0x21,
    kCmdReadSectorsExt = 0x24,
    kCmdReadLogExt = 0x2F,
    kCmdWriteSectors = 0x30,
    kCmdWriteSectorsNoRetry = 0x31,
    kCmdWriteSectorsExt = 0x34,
    kCmdReadVerify = 0x40,
    kCmdReadVerifyExt = 0x42,
    kCmdReadLogDmaExt = 0x47,
    kCmdSmart = 0xB0,
    kCmdCheckPowerMode = 0xE5,
    kCmdFlushCache = 0xE7,
    kCmdFlushCacheExt = 0xEA,
    kCmdIdentify = 0xEC,
    kCmdSetFeatures = 0xEF,
};

enum : uint8_t {
    kSmartReadData = 0xD0,
    kSmartReadThresholds = 0xD1,
    kSmartReadLog = 0xD5,
    kSmartEnable = 0xD8,
    kSmartDisable = 0xD9,
    kSmartReturnStatus = 0xDA,
};

void PutString(uint8_t* sector, int firstWord, int words, const std::string& text) {
    // ATA strings: two characters a word, the first in the high byte, padded with blanks.
    for (int i = 0; i < words * 2; ++i) {
        const char c = i < static_cast<int>(text.size()) ? text[static_cast<size_t>(i)] : ' ';
        sector[firstWord * 2 + (i ^ 1)] = static_cast<uint8_t>(c);
    }
}

// The standard logs the drive keeps: the SMART and general-purpose log
// directories, the error logs and the self-test logs. This drive has never
// logged an error or run a self-test, so they hold only their headers.
enum : uint8_t {
    kLogDirectory = 0x00,
    kLogSummaryError = 0x01,
    kLogExtError = 0x03,
    kLogSelfTest = 0x06,
    kLogExtSelfTest = 0x07,
    kLogSelectiveSelfTest = 0x09,
};

void SealLog(std::vector<uint8_t>& page) {
    uint8_t sum = 0;
    for (size_t i = 0; i < 511; ++i) sum = static_cast<uint8_t>(sum + page[i]);
    page[511] = static_cast<uint8_t>(-sum);
}

// One page of a log, read with SMART READ LOG (gp false) or READ LOG EXT.
// False for a log the drive does not have on that path, or a page beyond it.
bool StandardLog(uint8_t log, bool gp, uint32_t page, std::vector<uint8_t>& out) {
    out.assign(512, 0);
    uint8_t* p = out.data();
    if (log == kLogDirectory) {
        if (page != 0) return false;
        PutU16(p, 0x0001);
        static constexpr uint8_t kGpLogs[] = {kLogExtError, kLogExtSelfTest};
        static constexpr uint8_t kSmartLogs[] = {kLogSummaryError, kLogSelfTest,
                                                 kLogSelectiveSelfTest};
        if (gp)
            for (uint8_t n : kGpLogs) PutU16(p + 2 * n, 1);
        else
            for (uint8_t n : kSmartLogs) PutU16(p + 2 * n, 1);
        return true;
    }
    if (page != 0) return false;
    switch (log) {
        case kLogSummaryError:
            if (gp) return false;
            p[0] = 0x01;  // version; no error logged, index 0, count 0
            break;
        case kLogSelfTest:
            if (gp) return false;
            PutU16(p, 0x0001);  // revision; no entry, index 0
            break;
        case kLogSelectiveSelfTest:
            if (gp) return false;
            PutU16(p, 0x0001);  // revision; no span set, no test pending
            break;
        case kLogExtError:
        case kLogExtSelfTest:
            if (!gp) return false;
            p[0] = 0x01;  // version; nothing logged
            break;
        default:
            return false;
    }
    SealLog(out);
    return true;
}

}  // namespace

void SetSectorChecksum(uint8_t* sector) {
    uint8_t sum = 0;
    for (int i = 0; i < 511; ++i) sum = static_cast<uint8_t>(sum + sector[i]);
    sector[511] = static_cast<uint8_t>(-sum);
}

std::array<uint8_t, 512> BuildIdentifySector(const DriveContent& c) {
    std::array<uint8_t, 512> s{};
    uint8_t* p = s.data();
    auto w = [p](int word, uint16_t v) { PutU16(p + word * 2, v); };
    w(0, 0x427A);  // fixed, non-removable ATA device
    w(1, 16383);
    w(3, 16);
    w(6, 63);
    PutString(p, 10, 10, c.serial);
    PutString(p, 23, 4, c.firmware);
    PutString(p, 27, 20, c.model);
    w(47, 0x8010);  // up to 16 sectors per READ/WRITE MULTIPLE
    w(49, 0x2F00);  // LBA and DMA supported, IORDY
    w(50, 0x4000);
    w(53, 0x0007);
    w(54, 16383);
    w(55, 16);
    w(56, 63);
    const uint64_t n28 = std::min<uint64_t>(c.sectors, 0x0FFFFFFF);
    const uint32_t chs = static_cast<uint32_t>(std::min<uint64_t>(c.sectors, 16383ULL * 16 * 63));
    w(57, static_cast<uint16_t>(chs));
    w(58, static_cast<uint16_t>(chs >> 16));
    w(59, 0x0110);
    w(60, static_cast<uint16_t>(n28));
    w(61, static_cast<uint16_t>(n28 >> 16));
    w(63, 0x0007);
    w(64, 0x0003);
    w(65, 120);
    w(66, 120);
    w(67, 120);
    w(68, 120);
    w(75, 31);
    w(76, 0x0306);  // SATA gen 1/2, NCQ, host-initiated power management (no phy event log)
    w(80, 0x01F0);  // ATA-4 to ATA-8
    w(81, 0x0000);
    w(82, 0x346B);  // SMART, security, write cache, look-ahead, ...
    w(83, 0x7F61);  // 48-bit address feature set
    w(84, 0x4023);  // SMART error logging and self-test, general purpose logging (no WWN)
    w(85, 0x3469);  // SMART enabled
    w(86, 0xBC41);  // 48-bit address enabled
    w(87, 0x4023);
    w(88, 0x407F);  // UDMA 0-6
    w(93, 0x0000);
    w(100, static_cast<uint16_t>(c.sectors));
    w(101, static_cast<uint16_t>(c.sectors >> 16));
    w(102, static_cast<uint16_t>(c.sectors >> 32));
    w(103, static_cast<uint16_t>(c.sectors >> 48));
    w(106, 0x4000);
    w(217, 7200);  // nominal media rotation rate
    w(222, 0x10FF);
    // Integrity word: signature 0xA5 and a checksum making the sector sum to zero.
    p[510] = 0xA5;
    SetSectorChecksum(p);
    return s;
}

uint32_t CommandSectorCount(const TaskFile& tf, bool ext) {
    if (ext) {
        const uint32_t n = static_cast<uint32_t>(tf.sectorCount | (tf.prevSectorCount << 8));
        return n == 0 ? 65536 : n;
    }
    return tf.sectorCount == 0 ? 256 : tf.sectorCount;
}

uint64_t CommandLba(const TaskFile& tf, bool ext) {
    if (ext)
        return static_cast<uint64_t>(tf.lbaLow) | (static_cast<uint64_t>(tf.lbaMid) << 8) |
               (static_cast<uint64_t>(tf.lbaHigh) << 16) |
               (static_cast<uint64_t>(tf.prevLbaLow) << 24) |
               (static_cast<uint64_t>(tf.prevLbaMid) << 32) |
               (static_cast<uint64_t>(tf.prevLbaHigh) << 40);
    return static_cast<uint64_t>(tf.lbaLow) | (static_cast<uint64_t>(tf.lbaMid) << 8) |
           (static_cast<uint64_t>(tf.lbaHigh) << 16) |
           (static_cast<uint64_t>(tf.device & 0x0F) << 24);
}

VirtualDrive::VirtualDrive(DriveContent content) : content_(std::move(content)) {
    if (content_.identify.size() != 512) {
        auto s = BuildIdentifySector(content_);
        content_.identify.assign(s.begin(), s.end());
    }
    vsc_ = std::make_unique<VscEngine>(content_);
}

VirtualDrive::~VirtualDrive() = default;

std::array<uint8_t, 512> VirtualDrive::IdentifySector() const {
    std::array<uint8_t, 512> s{};
    std::memcpy(s.data(), content_.identify.data(), 512);
    return s;
}

AtaReply VirtualDrive::Abort(const TaskFile& tf) {
    AtaReply r;
    r.regs = tf;
    r.status = kStatusDrdy | kStatusDsc | kStatusErr;
    r.error = kErrorAbrt;
    return r;
}

uint32_t VirtualDrive::DataOutSectors(const TaskFile& tf) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (vsc_->Removed() || vsc_->BusyFor() > 0) return 0;  // refused before any data
    if (VscEngine::Handles(tf)) return vsc_->DataOutSectors(tf);
    switch (tf.command) {
        case kCmdWriteSectors:
        case kCmdWriteSectorsNoRetry:
            return CommandSectorCount(tf, false);
        case kCmdWriteSectorsExt:
            return CommandSectorCount(tf, true);
        default:
            return 0;
    }
}

AtaReply VirtualDrive::Execute(const TaskFile& tf, std::span<const uint8_t> dataOut) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++commandCount_;
    AtaReply reply = Run(tf, dataOut);
    vsc_->Note(tf, reply);
    return reply;
}

AtaReply VirtualDrive::Run(const TaskFile& tf, std::span<const uint8_t> dataOut) {
    if (std::optional<AtaReply> refused = vsc_->Gate(tf)) return *refused;
    if (VscEngine::Handles(tf)) return vsc_->Execute(tf, dataOut);
    switch (tf.command) {
        case kCmdIdentify: {
            AtaReply r;
            r.regs = tf;
            r.data = content_.identify;
            return r;
        }
        case kCmdSmart:
            return Smart(tf);
        case kCmdReadSectors:
        case kCmdReadSectorsNoRetry:
            return ReadMedium(tf, false);
        case kCmdReadSectorsExt:
            return ReadMedium(tf, true);
        case kCmdWriteSectors:
        case kCmdWriteSectorsNoRetry:
            return WriteMedium(tf, false, dataOut);
        case kCmdWriteSectorsExt:
            return WriteMedium(tf, true, dataOut);
        case kCmdReadVerify:
        case kCmdReadVerifyExt: {
            const bool ext = tf.command == kCmdReadVerifyExt;
            const uint64_t lba = CommandLba(tf, ext);
            if (lba + CommandSectorCount(tf, ext) > content_.sectors) {
                AtaReply r = Abort(tf);
                r.error = kErrorIdnf;
                return r;
            }
            AtaReply r;
            r.regs = tf;
            return r;
        }
        case kCmdReadLogExt:
        case kCmdReadLogDmaExt: {
            // Log address in LBA low, page in LBA mid and its previous byte.
            const uint32_t page = static_cast<uint32_t>(tf.lbaMid | tf.prevLbaMid << 8);
            const uint32_t count = CommandSectorCount(tf, true);
            std::vector<uint8_t> sector;
            AtaReply r;
            r.regs = tf;
            for (uint32_t i = 0; i < count; ++i) {
                if (!StandardLog(tf.lbaLow, true, page + i, sector)) return Abort(tf);
                r.data.insert(r.data.end(), sector.begin(), sector.end());
            }
            return r;
        }
        case kCmdCheckPowerMode: {
            AtaReply r;
            r.regs = tf;
            r.regs.sectorCount = 0xFF;  // active or idle
            return r;
        }
        case kCmdFlushCache:
        case kCmdFlushCacheExt:
        case kCmdSetFeatures: {
            AtaReply r;
            r.regs = tf;
            return r;
        }
        default:
            return Abort(tf);
    }
}

AtaReply VirtualDrive::Smart(const TaskFile& tf) {
    if (tf.lbaMid != 0x4F || tf.lbaHigh != 0xC2) return Abort(tf);
    AtaReply r;
    r.regs = tf;
    switch (tf.features) {
        case kSmartEnable:
            smartEnabled_ = true;
            return r;
        case kSmartDisable:
            smartEnabled_ = false;
            return r;
        case kSmartReturnStatus:
            if (!smartEnabled_) return Abort(tf);
            if (content_.smartFailing) {
                r.regs.lbaMid = 0xF4;
                r.regs.lbaHigh = 0x2C;
            }
            return r;
        case kSmartReadData:
            if (!smartEnabled_ || content_.smartData.size() != 512) return Abort(tf);
            r.data = vsc_->SmartFromDrm(content_.smartData, false);
            return r;
        case kSmartReadThresholds:
            if (!smartEnabled_ || content_.smartThresholds.size() != 512) return Abort(tf);
            r.data = vsc_->SmartFromDrm(content_.smartThresholds, true);
            return r;
        case kSmartReadLog: {
            if (!smartEnabled_ || tf.sectorCount == 0) return Abort(tf);
            std::vector<uint8_t> sector;
            for (uint32_t i = 0; i < tf.sectorCount; ++i) {
                if (!StandardLog(tf.lbaLow, false, i, sector)) return Abort(tf);
                r.data.insert(r.data.end(), sector.begin(), sector.end());
            }
            return r;
        }
        default:
            return Abort(tf);
    }
}

AtaReply VirtualDrive::ReadMedium(const TaskFile& tf, bool ext) {
    const uint64_t lba = CommandLba(tf, ext);
    const uint32_t count = CommandSectorCount(tf, ext);
    if (lba + count > content_.sectors) {
        AtaReply r = Abort(tf);
        r.error = kErrorIdnf;
        return r;
    }
    AtaReply r;
    r.regs = tf;
    r.data.assign(static_cast<size_t>(count) * 512, 0);
    for (auto it = medium_.lower_bound(lba); it != medium_.end() && it->first < lba + count; ++it)
        std::memcpy(r.data.data() + (it->first - lba) * 512, it->second.data(), 512);
    return r;
}

AtaReply VirtualDrive::WriteMedium(const TaskFile& tf, bool ext, std::span<const uint8_t> data) {
    const uint64_t lba = CommandLba(tf, ext);
    const uint32_t count = CommandSectorCount(tf, ext);
    if (lba + count > content_.sectors) {
        AtaReply r = Abort(tf);
        r.error = kErrorIdnf;
        return r;
    }
    if (data.size() < static_cast<size_t>(count) * 512) return Abort(tf);
    for (uint32_t i = 0; i < count; ++i) {
        std::array<uint8_t, 512>& s = medium_[lba + i];
        std::memcpy(s.data(), data.data() + static_cast<size_t>(i) * 512, 512);
    }
    AtaReply r;
    r.regs = tf;
    return r;
}

}  // namespace qm
