#include "vdrive/shim/PeerDevice.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <linux/hdreg.h>
#include <scsi/sg.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "common/Bytes.h"
#include "common/Files.h"
#include "common/Format.h"
#include "common/Ini.h"
#include "drive/SatCdb.h"

namespace qm::peer {
namespace {

namespace fs = std::filesystem;

constexpr uint16_t kDidNoConnect = 0x01, kDidTimeOut = 0x03;
constexpr uint16_t kDriverSense = 0x08;
constexpr int kSgVersion = 30527;  // what the block layer answers for a disk
constexpr int64_t kDefaultTimeoutMs = 60'000;

// Operation codes the translation layer answers besides ATA PASS-THROUGH.
enum : uint8_t {
    kOpTestUnitReady = 0x00,
    kOpRequestSense = 0x03,
    kOpInquiry = 0x12,
    kOpReadCapacity10 = 0x25,
    kOpServiceActionIn16 = 0x9E,
    kSaReadCapacity16 = 0x10,
};

std::string Hex(const uint8_t* p, size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s += Format(i ? " %02x" : "%02x", p[i]);
    return s;
}

// ATA strings as characters (the drive sends two a word, high byte first).
std::string AtaChars(const std::array<uint8_t, 512>& id, int firstWord, int words) {
    std::string s;
    for (int i = 0; i < words * 2; ++i)
        s += static_cast<char>(id[static_cast<size_t>(firstWord * 2 + (i ^ 1))]);
    return s;
}

void PutChars(std::vector<uint8_t>& d, size_t at, const std::string& text, size_t width) {
    for (size_t i = 0; i < width; ++i)
        d[at + i] = static_cast<uint8_t>(i < text.size() ? text[i] : ' ');
}

void PutBe16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

void PutBe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

void PutBe64(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (56 - 8 * i));
}

const char* IoctlName(unsigned long request) {
    switch (request) {
        case SG_IO:
            return "SG_IO";
        case SG_GET_VERSION_NUM:
            return "SG_GET_VERSION_NUM";
        case HDIO_GET_IDENTITY:
            return "HDIO_GET_IDENTITY";
        case HDIO_DRIVE_CMD:
            return "HDIO_DRIVE_CMD";
        case HDIO_DRIVE_TASK:
            return "HDIO_DRIVE_TASK";
        case HDIO_GETGEO:
            return "HDIO_GETGEO";
        case BLKGETSIZE64:
            return "BLKGETSIZE64";
        case BLKGETSIZE:
            return "BLKGETSIZE";
        case BLKSSZGET:
            return "BLKSSZGET";
        case BLKPBSZGET:
            return "BLKPBSZGET";
        case BLKIOMIN:
            return "BLKIOMIN";
        case BLKIOOPT:
            return "BLKIOOPT";
        case BLKALIGNOFF:
            return "BLKALIGNOFF";
        case BLKROGET:
            return "BLKROGET";
        case BLKRRPART:
            return "BLKRRPART";
        case BLKFLSBUF:
            return "BLKFLSBUF";
        case BLKRAGET:
            return "BLKRAGET";
        default:
            return "unknown";
    }
}

// Sets one key of an INI file's section, adding the section when missing.
std::string WithIniKey(const std::string& text, const std::string& section, const std::string& key,
                       const std::string& value) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    // Built by appending: GCC 12 at -O3 misreads "[" + string&& as an overlapping copy.
    std::string header = "[";
    header += ToLower(section);
    header += ']';
    const std::string wanted = ToLower(key);
    int sectionAt = -1, insertAt = -1;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string t = Trim(lines[i]);
        if (!t.empty() && t[0] == '[') {
            if (sectionAt >= 0 && insertAt < 0) insertAt = static_cast<int>(i);
            if (ToLower(t) == header && sectionAt < 0) sectionAt = static_cast<int>(i);
            continue;
        }
        const size_t eq = t.find('=');
        if (sectionAt >= 0 && insertAt < 0 && eq != std::string::npos &&
            ToLower(Trim(t.substr(0, eq))) == wanted) {
            lines[i] = key + "=" + value;
            sectionAt = -2;  // done
            break;
        }
    }
    if (sectionAt == -1) {
        if (!lines.empty() && !Trim(lines.back()).empty()) lines.push_back("");
        lines.push_back("[" + section + "]");
        lines.push_back(key + "=" + value);
    } else if (sectionAt >= 0) {
        // Section present without the key: after its last non-empty line.
        size_t at = insertAt >= 0 ? static_cast<size_t>(insertAt) : lines.size();
        while (at > static_cast<size_t>(sectionAt) + 1 && Trim(lines[at - 1]).empty()) --at;
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), key + "=" + value);
    }
    std::string out;
    for (const std::string& l : lines) out += l + "\n";
    return out;
}

bool IsDriveFolder(const std::string& dir) {
    std::error_code ec;
    return fs::exists(fs::path(dir) / "drive.ini", ec) ||
           fs::exists(fs::path(dir) / "identify.bin", ec);
}

}  // namespace

bool IsDevicePath(const char* path) {
    return path && (std::strcmp(path, kNodePath) == 0 || std::strcmp(path, kAliasPath) == 0);
}

Settings Settings::FromEnvironment() {
    Settings s;
    if (const char* v = std::getenv("QMVD_VDRIVE")) s.vdrive = v;
    if (const char* v = std::getenv("QMVD_STATE")) s.state = v;
    if (const char* v = std::getenv("QMVD_LOG")) s.log = v;
    return s;
}

PeerDevice::PeerDevice() = default;

PeerDevice::~PeerDevice() {
    if (logFd_ >= 0) ::close(logFd_);
}

bool PeerDevice::Start(const Settings& s, std::string& error) {
    if (!s.log.empty())
        logFd_ = ::open(s.log.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    DriveContent content;
    if (!s.state.empty()) {
        if (!OpenState(s, content, error)) return false;
    } else {
        content = VirtualDrive::SampleContent();
        if (!s.vdrive.empty() && !VirtualDrive::LoadFolder(s.vdrive, content, error)) return false;
    }
    drive_ = std::make_unique<VirtualDrive>(std::move(content));
    sat_ = std::make_unique<sat::SatDevice>(*drive_);
    if (!state_.empty()) {
        drive_->SetPersistFolder(state_);
        savedIdleTimer_ = drive_->ServiceAreaNow().idleTimer;
    }
    Trace(Format("start drive=%s state=%s", s.vdrive.empty() ? "(sample)" : s.vdrive.c_str(),
                 s.state.empty() ? "(none)" : s.state.c_str()));
    return true;
}

int PeerDevice::LockState() {
    const int fd = ::open((state_ + "/.lock").c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0644);
    if (fd >= 0) {
        while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    return fd;
}

bool PeerDevice::OpenState(const Settings& s, DriveContent& content, std::string& error) {
    state_ = s.state;
    std::error_code ec;
    fs::create_directories(state_, ec);
    if (ec) {
        error = state_ + ": " + ec.message();
        return false;
    }
    const int lock = LockState();
    if (lock < 0) {
        error = state_ + "/.lock: " + std::strerror(errno);
        return false;
    }
    bool ok = true;
    if (IsDriveFolder(state_)) {
        ok = VirtualDrive::LoadFolder(state_, content, error);
    } else if (!s.vdrive.empty()) {
        // The first process takes the drive folder as it is, [Faults] and all.
        ok = VirtualDrive::LoadFolder(s.vdrive, content, error);
        if (ok) {
            fs::copy(s.vdrive, state_,
                     fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
            if (ec) {
                error = state_ + ": " + ec.message();
                ok = false;
            }
        }
    } else {
        content = VirtualDrive::SampleContent();
        ok = VirtualDrive::SaveFolder(state_, content, error);
    }
    ::close(lock);
    return ok;
}

// Module writes are already in the folder (the drive persists them); the
// idle timer lives in drive.ini.
void PeerDevice::SaveState() {
    const uint8_t idle = drive_->ServiceAreaNow().idleTimer;
    if (idle == savedIdleTimer_) return;
    const std::string path = state_ + "/drive.ini";
    std::string text, why, error;
    if (!ReadWholeFile(path, text, &why)) text.clear();
    text = WithIniKey(text, "ServiceArea", "IdleTimer", std::to_string(idle));
    if (WriteFileAtomic(path, SaImage(text.begin(), text.end()), error))
        savedIdleTimer_ = idle;
    else
        Trace("state not saved: " + error);
}

void PeerDevice::Trace(const std::string& line) {
    if (traceSink) *traceSink += line + "\n";
    if (logFd_ < 0) return;
    const std::string text = Format("[%d] ", static_cast<int>(::getpid())) + line + "\n";
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(logFd_, text.data() + done, text.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
}

int PeerDevice::Ioctl(unsigned long request, void* arg) {
    int rc = 0;
    std::string note;
    auto fail = [&rc](int err) {
        errno = err;
        rc = -1;
    };
    const bool pointer = request != BLKRRPART && request != BLKFLSBUF;
    if (pointer && !arg && request != HDIO_DRIVE_CMD && request != HDIO_DRIVE_TASK) {
        if (std::strcmp(IoctlName(request), "unknown") == 0)
            fail(ENOTTY);
        else
            fail(EFAULT);
        Trace(
            Format("ioctl %s (0x%lx) -> -1 %s", IoctlName(request), request, std::strerror(errno)));
        return rc;
    }
    const uint64_t bytes = drive_->Sectors() * 512;
    switch (request) {
        case SG_IO:
            return SgIo(static_cast<sg_io_hdr*>(arg));
        case HDIO_DRIVE_CMD:
            return DriveCmd(static_cast<uint8_t*>(arg));
        case HDIO_DRIVE_TASK:
            return DriveTask(static_cast<uint8_t*>(arg));
        case HDIO_GET_IDENTITY:
            rc = GetIdentity(static_cast<uint8_t*>(arg));
            break;
        case SG_GET_VERSION_NUM:
            *static_cast<int*>(arg) = kSgVersion;
            break;
        case HDIO_GETGEO: {
            auto* g = static_cast<hd_geometry*>(arg);
            g->heads = 255;
            g->sectors = 63;
            g->cylinders = static_cast<unsigned short>(
                std::min<uint64_t>(drive_->Sectors() / (255 * 63), 0xFFFF));
            g->start = 0;
            break;
        }
        case BLKGETSIZE64:
            *static_cast<uint64_t*>(arg) = bytes;
            note = std::to_string(bytes);
            break;
        case BLKGETSIZE:
            *static_cast<unsigned long*>(arg) = static_cast<unsigned long>(drive_->Sectors());
            note = std::to_string(drive_->Sectors());
            break;
        case BLKSSZGET:
        case BLKIOMIN:
            *static_cast<int*>(arg) = 512;
            break;
        case BLKPBSZGET:
            *static_cast<unsigned int*>(arg) = 512;
            break;
        case BLKIOOPT:
            *static_cast<unsigned int*>(arg) = 0;
            break;
        case BLKALIGNOFF:
        case BLKROGET:
            *static_cast<int*>(arg) = 0;
            break;
        case BLKRAGET:
            *static_cast<long*>(arg) = 256;
            break;
        case BLKRRPART:
        case BLKFLSBUF:
            break;
        default:
            fail(ENOTTY);
    }
    Trace(Format("ioctl %s (0x%lx)%s%s -> %d%s%s", IoctlName(request), request,
                 note.empty() ? "" : " = ", note.c_str(), rc, rc ? " " : "",
                 rc ? std::strerror(errno) : ""));
    return rc;
}

int PeerDevice::GetIdentity(uint8_t* out) {
    // The identify words as the drive sent them, the three strings turned
    // into plain character order (as the kernel hands them out).
    const auto id = drive_->IdentifySector();
    std::memcpy(out, id.data(), 512);
    const std::string serial = AtaChars(id, 10, 10), fw = AtaChars(id, 23, 4),
                      model = AtaChars(id, 27, 20);
    std::memcpy(out + 20, serial.data(), 20);
    std::memcpy(out + 46, fw.data(), 8);
    std::memcpy(out + 54, model.data(), 40);
    return 0;
}

int PeerDevice::SgIo(sg_io_hdr* h) {
    std::string line = "ioctl SG_IO";
    auto refuse = [&](int err) {
        Trace(line + Format(" -> -1 %s", std::strerror(err)));
        errno = err;
        return -1;
    };
    if (h->interface_id != 'S')
        return refuse(EINVAL);  // the v4 header ('Q') belongs to bsg nodes, not disks
    if (h->cmd_len < 1 || h->cmd_len > 16 || !h->cmdp) return refuse(EINVAL);
    line += " cdb=" + Hex(h->cmdp, h->cmd_len);
    Exchange x;
    x.cdb = h->cmdp;
    x.cdbLength = h->cmd_len;
    x.timeoutMs = h->timeout;
    switch (h->dxfer_direction) {
        case SG_DXFER_NONE:
            break;
        case SG_DXFER_TO_DEV:
            x.toDevice = true;
            break;
        case SG_DXFER_FROM_DEV:
        case SG_DXFER_TO_FROM_DEV:
            x.fromDevice = true;
            break;
        default:
            if (h->dxfer_len) return refuse(EINVAL);
    }
    if (!x.toDevice && !x.fromDevice && h->dxfer_len) return refuse(EINVAL);
    // Scatter/gather lists are gathered into one buffer and scattered back.
    std::vector<uint8_t> gathered;
    const auto* iov = static_cast<const sg_iovec_t*>(h->dxferp);
    if (h->dxfer_len) {
        if (!h->dxferp) return refuse(EFAULT);
        if (h->iovec_count) {
            size_t total = 0;
            for (unsigned i = 0; i < h->iovec_count; ++i) total += iov[i].iov_len;
            gathered.resize(std::max<size_t>(total, h->dxfer_len));
            size_t at = 0;
            for (unsigned i = 0; i < h->iovec_count; ++i) {
                std::memcpy(gathered.data() + at, iov[i].iov_base, iov[i].iov_len);
                at += iov[i].iov_len;
            }
            x.data = gathered.data();
        } else {
            x.data = static_cast<uint8_t*>(h->dxferp);
        }
        x.length = h->dxfer_len;
    }
    line += Format(" dir=%s len=%u", x.toDevice ? "out" : x.fromDevice ? "in" : "none", x.length);
    if (const int err = Run(x)) {
        Trace(line + Format(" -> -1 %s", std::strerror(err)));
        errno = err;
        return -1;
    }
    if (h->iovec_count && x.fromDevice) {
        size_t at = 0;
        for (unsigned i = 0; i < h->iovec_count && at < x.transferred; ++i) {
            const size_t n = std::min<size_t>(iov[i].iov_len, x.transferred - at);
            std::memcpy(iov[i].iov_base, gathered.data() + at, n);
            at += n;
        }
    }
    h->status = x.status;
    h->masked_status = static_cast<unsigned char>((x.status >> 1) & 0x7F);
    h->msg_status = 0;
    h->host_status = x.hostStatus;
    const size_t senseLength = std::min<size_t>(x.sense.size(), h->mx_sb_len);
    if (senseLength && h->sbp) std::memcpy(h->sbp, x.sense.data(), senseLength);
    h->sb_len_wr = static_cast<unsigned char>(h->sbp ? senseLength : 0);
    h->driver_status = h->sb_len_wr ? kDriverSense : 0;
    h->resid = x.fromDevice ? static_cast<int>(x.length - x.transferred) : 0;
    h->duration = 0;
    h->info = (x.status || x.hostStatus || h->driver_status) ? SG_INFO_CHECK : SG_INFO_OK;
    line += x.note;
    line += Format(" -> status=0x%02x host=0x%02x resid=%d", x.status, x.hostStatus, h->resid);
    if (!x.sense.empty()) line += " sense=" + Hex(x.sense.data(), x.sense.size());
    Trace(line);
    return 0;
}

int PeerDevice::Run(Exchange& x) {
    // The device call itself can fail (a fault of the drive), before any command.
    if (drive_->TakeDeviceCallFailure()) return drive_->Removed() ? ENODEV : EIO;
    const uint8_t op = x.cdb[0];
    if (op == sat::kOpAtaPassThrough16 || op == sat::kOpAtaPassThrough12) {
        // A busy drive keeps the command until it is ready, up to the
        // command's timeout; one that stays busy longer times the command out
        // at once instead of holding the caller for the whole timeout.
        const int64_t busy = drive_->BusyFor();
        const int64_t limit = (x.timeoutMs ? x.timeoutMs : kDefaultTimeoutMs) * 1'000'000LL;
        if (busy >= limit) {
            x.hostStatus = kDidTimeOut;
            return 0;
        }
        if (busy > 0) std::this_thread::sleep_for(std::chrono::nanoseconds(busy));
        if (drive_->Removed()) {
            x.hostStatus = kDidNoConnect;
            return 0;
        }
        RunPassThrough(x);
    } else {
        RunScsi(x);
    }
    return 0;
}

void PeerDevice::CheckCondition(Exchange& x, uint8_t key, uint8_t asc, uint8_t ascq) {
    x.status = sat::kScsiStatusCheckCondition;
    x.sense = sat::BuildSense(false, key, asc, ascq, nullptr, false);
    x.transferred = 0;
}

void PeerDevice::Reply(Exchange& x, const std::vector<uint8_t>& data) {
    if (!x.fromDevice) return;
    const size_t n = std::min<size_t>(data.size(), x.length);
    std::copy_n(data.begin(), n, x.data);
    x.transferred = static_cast<uint32_t>(n);
}

void PeerDevice::RunPassThrough(Exchange& x) {
    sat::PassThroughCommand c;
    if (!sat::ParsePassThroughCdb(x.cdb, x.cdbLength, c)) {
        CheckCondition(x, sat::kSenseIllegalRequest, 0x24, 0x00);  // short block
        return;
    }
    // A data protocol whose direction disagrees with the transfer is refused
    // before the drive sees it.
    if ((c.DataIn() && !x.fromDevice) || (c.DataOut() && !x.toDevice)) {
        CheckCondition(x, sat::kSenseIllegalRequest, 0x24, 0x00);
        return;
    }
    const TaskFile& tf = c.tf;
    std::string ata =
        Format(" ata(cmd=%02x fea=%02x cnt=%02x lba=%02x%02x%02x dev=%02x", tf.command, tf.features,
               tf.sectorCount, tf.lbaHigh, tf.lbaMid, tf.lbaLow, tf.device);
    if (c.extend)
        ata += Format(" prev fea=%02x cnt=%02x lba=%02x%02x%02x", tf.prevFeatures,
                      tf.prevSectorCount, tf.prevLbaHigh, tf.prevLbaMid, tf.prevLbaLow);
    const bool stateful = !state_.empty() && c.DataOut();
    const int lock = stateful ? LockState() : -1;
    std::span<const uint8_t> out;
    if (c.DataOut() && x.length) out = std::span<const uint8_t>(x.data, x.length);
    const sat::SatResponse r = sat_->Execute(x.cdb, x.cdbLength, out, x.fromDevice ? x.length : 0);
    if (stateful) SaveState();
    if (lock >= 0) ::close(lock);
    const ResultRegisters& reg = sat_->LastRegisters();
    ata += Format(" -> st=%02x err=%02x)", reg.status, reg.error);
    x.status = r.scsiStatus;
    x.sense = r.sense;
    Reply(x, r.data);
    if (c.DataOut() && r.scsiStatus == sat::kScsiStatusGood) x.transferred = x.length;
    x.note = ata;
}

void PeerDevice::RunScsi(Exchange& x) {
    const uint8_t op = x.cdb[0];
    const uint64_t sectors = drive_->Sectors();
    switch (op) {
        case kOpTestUnitReady:
            return;
        case kOpRequestSense: {
            // Nothing pending: NO SENSE in the format asked for.
            const bool desc = x.cdbLength > 1 && (x.cdb[1] & 1);
            std::vector<uint8_t> s =
                sat::BuildSense(desc, sat::kSenseNoSense, 0, 0, nullptr, false);
            if (x.cdbLength > 4 && x.cdb[4] < s.size()) s.resize(x.cdb[4]);
            Reply(x, s);
            return;
        }
        case kOpInquiry:
            if (x.cdbLength < 6) break;
            Inquiry(x);
            return;
        case kOpReadCapacity10: {
            if (x.cdbLength < 10) break;
            std::vector<uint8_t> d(8, 0);
            PutBe32(d.data(), static_cast<uint32_t>(std::min<uint64_t>(sectors - 1, 0xFFFFFFFF)));
            PutBe32(d.data() + 4, 512);
            Reply(x, d);
            return;
        }
        case kOpServiceActionIn16: {
            if (x.cdbLength < 16 || (x.cdb[1] & 0x1F) != kSaReadCapacity16) break;
            std::vector<uint8_t> d(32, 0);
            PutBe64(d.data(), sectors - 1);
            PutBe32(d.data() + 8, 512);
            const uint32_t alloc = static_cast<uint32_t>(x.cdb[10]) << 24 |
                                   static_cast<uint32_t>(x.cdb[11]) << 16 |
                                   static_cast<uint32_t>(x.cdb[12]) << 8 | x.cdb[13];
            if (alloc < d.size()) d.resize(alloc);
            Reply(x, d);
            return;
        }
        default:
            break;
    }
    CheckCondition(x, sat::kSenseIllegalRequest, 0x20, 0x00);  // invalid command operation code
}

void PeerDevice::Inquiry(Exchange& x) {
    const bool evpd = x.cdb[1] & 0x01;
    const uint8_t page = x.cdb[2];
    const uint16_t alloc = static_cast<uint16_t>(x.cdb[3] << 8 | x.cdb[4]);
    if ((x.cdb[1] & 0x02) || (!evpd && page != 0)) {
        CheckCondition(x, sat::kSenseIllegalRequest, 0x24, 0x00);  // invalid field in CDB
        return;
    }
    const auto id = drive_->IdentifySector();
    const std::string model = AtaChars(id, 27, 20), serial = AtaChars(id, 10, 10),
                      fw = AtaChars(id, 23, 4);
    std::vector<uint8_t> d;
    if (!evpd) {
        d.assign(96, 0);
        d[0] = 0x00;  // direct-access block device
        d[2] = 0x05;  // SPC-3
        d[3] = 0x02;
        d[4] = static_cast<uint8_t>(d.size() - 5);
        d[7] = 0x02;
        PutChars(d, 8, "ATA", 8);
        PutChars(d, 16, model.substr(0, 16), 16);
        // The revision: the last four characters of the firmware, or the first
        // four when those are blank.
        const std::string tail = fw.substr(4, 4);
        PutChars(d, 32, Trim(tail).empty() ? fw.substr(0, 4) : tail, 4);
        const uint16_t versions[] = {0x0060, 0x0320, 0x0300};  // SAM-3, SBC-2, SPC-3
        for (size_t i = 0; i < 3; ++i) PutBe16(d.data() + 58 + 2 * i, versions[i]);
    } else {
        switch (page) {
            case 0x00: {
                const uint8_t pages[] = {0x00, 0x80, 0x83, 0x89, 0xB1};
                d.assign(4, 0);
                d.insert(d.end(), std::begin(pages), std::end(pages));
                break;
            }
            case 0x80:
                d.assign(4 + 20, 0);
                PutChars(d, 4, serial, 20);
                break;
            case 0x83:
                // One T10 vendor ID designator: "ATA", model and serial.
                d.assign(4 + 4 + 68, 0);
                d[4] = 0x02;  // ASCII
                d[5] = 0x01;  // T10 vendor ID
                d[7] = 68;
                PutChars(d, 8, "ATA", 8);
                PutChars(d, 16, model, 40);
                PutChars(d, 56, serial, 20);
                break;
            case 0x89:
                // ATA Information: the translation layer, the device signature
                // and the identify data it holds.
                d.assign(572, 0);
                PutChars(d, 8, "QMVD", 8);
                PutChars(d, 16, "virtual SAT", 16);
                PutChars(d, 32, "1.0", 4);
                d[36] = 0x34;  // register device-to-host FIS
                d[38] = 0x50;  // status
                d[39] = 0x01;  // error
                d[40] = 0x01;  // LBA low
                d[48] = 0x01;  // count
                d[56] = 0xEC;  // IDENTIFY DEVICE
                std::copy(id.begin(), id.end(), d.begin() + 60);
                break;
            case 0xB1:
                // Block device characteristics: rotation rate, form factor.
                d.assign(64, 0);
                d[4] = id[217 * 2 + 1];
                d[5] = id[217 * 2];
                d[7] = id[168 * 2] & 0x0F;
                break;
            default:
                CheckCondition(x, sat::kSenseIllegalRequest, 0x24, 0x00);
                return;
        }
        d[1] = page;
        PutBe16(d.data() + 2, static_cast<uint16_t>(d.size() - 4));
    }
    if (d.size() > alloc) d.resize(alloc);
    Reply(x, d);
}

namespace {

// Registers of an ATA Status Return descriptor in descriptor sense.
const uint8_t* StatusDescriptor(const std::vector<uint8_t>& sense) {
    if (sense.size() < 8 + sat::kAtaStatusReturnLength || sense[0] != 0x72 ||
        sense[8] != sat::kAtaStatusReturnDescriptor)
        return nullptr;
    return sense.data() + 8;
}

bool RecoveredAtaInfo(const std::vector<uint8_t>& sense) {
    return sense.size() >= 4 && sense[0] == 0x72 &&
           (sense[1] & 0x0F) == sat::kSenseRecoveredError && sense[2] == sat::kAscAtaInfo &&
           sense[3] == sat::kAscqAtaInfo;
}

}  // namespace

// HDIO_DRIVE_CMD: {command, sector number, feature, count} then count
// sectors of data in, run as ATA PASS-THROUGH(16) the way libata does it.
int PeerDevice::DriveCmd(uint8_t* args) {
    if (!args) {
        Trace("ioctl HDIO_DRIVE_CMD (null) -> 0");
        return 0;  // "is the call there" probe
    }
    uint8_t cdb[16] = {sat::kOpAtaPassThrough16};
    const uint32_t count = args[3];
    if (count) {
        cdb[1] = sat::kProtoPioDataIn << 1;
        cdb[2] = sat::kTDirIn | sat::kByteBlock | 0x02;
    } else {
        cdb[1] = sat::kProtoNonData << 1;
        cdb[2] = sat::kCkCond;
    }
    cdb[4] = args[2];
    if (args[0] == 0xB0) {  // SMART: sector number is LBA low, count the sector count
        cdb[6] = args[3];
        cdb[8] = args[1];
        cdb[10] = 0x4F;
        cdb[12] = 0xC2;
    } else {
        cdb[6] = args[1];
    }
    cdb[14] = args[0];
    std::vector<uint8_t> buffer(count * 512, 0);
    Exchange x;
    x.cdb = cdb;
    x.cdbLength = 16;
    x.fromDevice = count != 0;
    x.data = buffer.data();
    x.length = static_cast<uint32_t>(buffer.size());
    std::string line = Format("ioctl HDIO_DRIVE_CMD cmd=%02x sect=%02x fea=%02x cnt=%02x", args[0],
                              args[1], args[2], args[3]);
    int err = Run(x);
    if (!err) {
        if (const uint8_t* d = StatusDescriptor(x.sense)) {
            args[0] = d[13];
            args[1] = d[3];
            args[2] = d[5];
        }
        const bool good =
            x.hostStatus == 0 && (x.status == sat::kScsiStatusGood || RecoveredAtaInfo(x.sense));
        if (!good) err = EIO;
        if (good && count) std::memcpy(args + 4, buffer.data(), buffer.size());
    }
    Trace(line + x.note +
          Format(" -> %s st=%02x err=%02x", err ? std::strerror(err) : "0", args[0], args[1]));
    if (err) {
        errno = err;
        return -1;
    }
    return 0;
}

// HDIO_DRIVE_TASK: seven registers in, seven out, no data.
int PeerDevice::DriveTask(uint8_t* args) {
    if (!args) {
        errno = EFAULT;
        return -1;
    }
    uint8_t cdb[16] = {sat::kOpAtaPassThrough16, sat::kProtoNonData << 1, sat::kCkCond};
    cdb[4] = args[1];
    cdb[6] = args[2];
    cdb[8] = args[3];
    cdb[10] = args[4];
    cdb[12] = args[5];
    cdb[13] = args[6] & 0x4F;
    cdb[14] = args[0];
    Exchange x;
    x.cdb = cdb;
    x.cdbLength = 16;
    std::string line = Format("ioctl HDIO_DRIVE_TASK regs=%s", Hex(args, 7).c_str());
    int err = Run(x);
    if (!err) {
        if (const uint8_t* d = StatusDescriptor(x.sense)) {
            args[0] = d[13];
            args[1] = d[3];
            args[2] = d[5];
            args[3] = d[7];
            args[4] = d[9];
            args[5] = d[11];
            args[6] = d[12];
        }
        const bool good =
            x.hostStatus == 0 && (x.status == sat::kScsiStatusGood || RecoveredAtaInfo(x.sense));
        if (!good) err = EIO;
    }
    Trace(line + x.note +
          Format(" -> %s regs=%s", err ? std::strerror(err) : "0", Hex(args, 7).c_str()));
    if (err) {
        errno = err;
        return -1;
    }
    return 0;
}

}  // namespace qm::peer
