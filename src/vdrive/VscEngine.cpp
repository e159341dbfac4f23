#include "vdrive/VscEngine.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>

#include "common/Bytes.h"

namespace qm {
namespace {

constexpr uint8_t kCmdVendor = 0x80;
constexpr uint8_t kVscOn = 0x45, kVscOff = 0x44;
constexpr uint8_t kSignatureMid = 0x44, kSignatureHigh = 0x57;
constexpr uint8_t kCmdSmart = 0xB0;
constexpr uint8_t kReadLog = 0xD5, kWriteLog = 0xD6;
constexpr uint8_t kSecondTryLog = 0xBB, kKeyLog = 0xBE, kDataLog = 0xBF;

// Fields of the status sector.
constexpr size_t kStLastStatus = 0x06, kStLastCommand = 0x07, kStFeatures = 0x0A, kStCount = 0x0C,
                 kStLbaLow = 0x0E, kStLbaMid = 0x10, kStLbaHigh = 0x11, kStLastError = 0x14,
                 kStDevice = 0x15, kStStatusWord = 0x18, kStReturned = 0x1A, kStFlags = 0x22,
                 kStBackground = 0x36, kStPower = 0x37, kStLba = 0x38, kStCylinder = 0x40,
                 kStHead = 0x44, kStZone = 0x45, kStDriveTemp = 0x4A, kStJunctionTemp = 0x4B,
                 kStCoilTemp = 0x4C, kStServo = 0x4E, kStProgress = 0x68, kStFlexTemp = 0x6A,
                 kStPtm = 0x190, kStTest = 0x192, kStAction = 0x194, kStExtErrCode = 0x196,
                 kStTestStep = 0x198, kStSecondaryEcode = 0x30, kStInitiator = 0x32,
                 kStServoGroupError = 0x50, kStDbsCode = 0x60;
constexpr uint8_t kBackgroundPst = 6;
constexpr uint32_t kFlagVsc = 0x1, kFlagTransfer = 0x2, kFlagTest = 0x4;

int64_t SteadyNow() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

AtaReply Refuse(const TaskFile& tf) {
    AtaReply r;
    r.regs = tf;
    r.status = kStatusDrdy | kStatusDsc | kStatusErr;
    r.error = kErrorAbrt;
    return r;
}

AtaReply Done(const TaskFile& tf) {
    AtaReply r;
    r.regs = tf;
    return r;
}

bool IsSmartLog(const TaskFile& tf) {
    return tf.command == kCmdSmart && tf.lbaMid == 0x4F && tf.lbaHigh == 0xC2 &&
           (tf.features == kReadLog || tf.features == kWriteLog);
}

uint32_t Hash(uint32_t a, uint32_t b) {
    uint64_t z = (static_cast<uint64_t>(a) << 32 | b) + 0x9E3779B97F4A7C15ULL;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return static_cast<uint32_t>(z ^ (z >> 31));
}

}  // namespace

VscEngine::VscEngine(const DriveContent& content)
    : content_(content),
      sa_(content.serviceArea),
      geometry_(DriveGeometry::From(content.serviceArea, content.sectors)),
      timing_(content.timing),
      now_(SteadyNow) {
    content_.serviceArea = {};  // the engine's own copy is sa_
    SetFaults(content.faults);
}

void VscEngine::SetFaults(const DriveFaults& faults) {
    faults_ = faults;
    chunks_ = 0;
    statusReads_ = 0;
    deviceFailures_ = faults.failDeviceCalls;
}

bool VscEngine::Handles(const TaskFile& tf) {
    if (tf.command == kCmdVendor) return true;
    return IsSmartLog(tf) &&
           (tf.lbaLow == kSecondTryLog || tf.lbaLow == kKeyLog || tf.lbaLow == kDataLog);
}

int64_t VscEngine::BusyFor() const {
    if (faults_.stuckBusy) return std::numeric_limits<int64_t>::max() / 4;
    return std::max<int64_t>(0, busyUntil_ - now_());
}

void VscEngine::SoftReset() {
    xfer_ = {};  // a reset ends any data phase
    const int64_t now = now_();
    if (mediaUntil_ > now && busyUntil_ == mediaUntil_) {
        // The drive abandons the operation as it does a command on SRST.
        busyUntil_ = now + kSoftResetNanos;
        mediaUntil_ = 0;
        measured_ = false;
    }
}

bool VscEngine::TakeDeviceCallFailure() {
    if (removed_ || removePending_ || deviceFailures_ < 0) return true;
    if (deviceFailures_ == 0) return false;
    --deviceFailures_;
    return true;
}

std::optional<AtaReply> VscEngine::Gate(const TaskFile& tf) {
    if (removePending_) removed_ = true;  // gone before the next command arrives
    if (removed_) {
        AtaReply r;  // nobody answers: the bus floats
        r.regs = tf;
        r.status = 0x7F;
        r.error = 0xFF;
        return r;
    }
    if (BusyFor() > 0) return Refuse(tf);
    Refresh();
    return std::nullopt;
}

// Ends a single-step test run whose time is up.
void VscEngine::Refresh() {
    if (testStarted_ && now_() - testStart_ >= testLength_) {
        testStarted_ = false;
        testLength_ = -1;  // finished: the status sector shows the result
    }
}

void VscEngine::Note(const TaskFile& tf, const AtaReply& reply) {
    lastTf_ = tf;
    lastStatus_ = reply.status;
    lastError_ = reply.error;
}

uint32_t VscEngine::DataOutSectors(const TaskFile& tf) const {
    if (!IsSmartLog(tf) || tf.features != kWriteLog || !vscMode_) return 0;
    if (tf.lbaLow == kKeyLog) return tf.sectorCount == 1 ? 1 : 0;
    if (tf.lbaLow != kDataLog || xfer_.dir != Direction::FromHost) return 0;
    if (tf.sectorCount == 0 || tf.sectorCount > xfer_.Remaining()) return 0;
    return tf.sectorCount;
}

AtaReply VscEngine::Execute(const TaskFile& tf, std::span<const uint8_t> data) {
    if (tf.command == kCmdVendor) {
        if (tf.lbaMid != kSignatureMid || tf.lbaHigh != kSignatureHigh) return Refuse(tf);
        if (tf.features == kVscOn) {
            vscMode_ = true;
            return Done(tf);
        }
        if (tf.features == kVscOff) {
            vscMode_ = false;
            xfer_ = {};
            return Done(tf);
        }
        return Refuse(tf);
    }
    if (tf.lbaLow == kSecondTryLog) {
        if (tf.features != kReadLog) return Refuse(tf);
        vscMode_ = true;
        return Done(tf);
    }
    if (!vscMode_) return Refuse(tf);
    if (tf.lbaLow == kKeyLog) {
        if (tf.sectorCount != 1) return Refuse(tf);
        if (tf.features == kWriteLog) return Key(tf, data);
        if (faults_.refuseStatusRead && ++statusReads_ == faults_.refuseStatusRead)
            return Refuse(tf);
        return StatusRead(tf);
    }
    return tf.features == kReadLog ? DataIn(tf) : DataOut(tf, data);
}

AtaReply VscEngine::StatusRead(const TaskFile& tf) {
    if (statusReadsSinceRun_ >= 0) ++statusReadsSinceRun_;
    if (faults_.failStatusReads && statusReadsSinceRun_ >= faults_.failStatusReads)
        return Refuse(tf);
    AtaReply r = Done(tf);
    const std::vector<uint8_t>& frames = content_.statusFrames;
    if (frames.size() >= 512) {
        // Playback: the next recorded sector, the last one again and again.
        const size_t count = frames.size() / 512;
        const size_t at = std::min(nextFrame_, count - 1) * 512;
        r.data.assign(frames.begin() + static_cast<std::ptrdiff_t>(at),
                      frames.begin() + static_cast<std::ptrdiff_t>(at + 512));
        if (nextFrame_ < count) ++nextFrame_;
        return r;
    }
    r.data = StatusSector();
    return r;
}

AtaReply VscEngine::Key(const TaskFile& tf, std::span<const uint8_t> data) {
    if (data.size() < 512) return Refuse(tf);
    uint16_t w[16];
    for (int i = 0; i < 16; ++i) w[i] = GetU16(data.data() + 2 * i);
    xfer_ = {};  // a new key ends any data phase left open
    returned_ = 0;
    statusReadsSinceRun_ = -1;
    lastAction_ = w[0];
    busyUntil_ = std::max(busyUntil_, now_() + faults_.slowNanos);
    const auto forced = faults_.actionStatus.find(w[0]);
    if (forced != faults_.actionStatus.end() && forced->second != 0x3603) {
        statusWord_ = forced->second;
        if (w[0] == 0x8052 || w[0] == 0x12) measured_ = false;  // a refused settle or position
        return Done(tf);
    }
    statusWord_ = Action(w, data.first(512));
    if (forced != faults_.actionStatus.end() && statusWord_ == kVscOk) statusWord_ = forced->second;
    return Done(tf);
}

uint16_t VscEngine::Action(const uint16_t* w, std::span<const uint8_t> key) {
    switch (w[0]) {
        case 0x08:
            return ModuleAccess(w[1], w[2]);
        case 0x0D: {
            const SaImage* t = sa_.Table(w[1], w[2]);
            if (!t) return kVscNoTable;
            xfer_ = {Direction::ToHost, Target::Table, w[1], *t, 0};
            returned_ = ImageSectors(*t);
            return kVscOk;
        }
        case 0x1C:  // power-on reset: the key completes, then the drive restarts
            vscMode_ = false;
            testStarted_ = false;
            testLength_ = 0;
            cylinder_ = 0;
            head_ = 0;
            measured_ = false;
            busyUntil_ = std::max(busyUntil_, now_() + timing_.resetNanos);
            return kVscOk;
        case 0x19: {  // function 3: run the step record that follows the two words
            if (w[1] != 3) return kVscBadParameter;
            testId_ = GetU16(key.data() + 4);
            testArg_ = GetU16(key.data() + 6);
            if (testId_ == 0) return kVscBadParameter;
            testStarted_ = true;
            testStart_ = now_();
            testLength_ = testId_ == 0xDC ? 0 : timing_.testRunNanos;
            testResult_ = faults_.testResult;
            if (const auto run = timing_.tests.find(testId_); run != timing_.tests.end()) {
                testLength_ = run->second.runNanos;
                if (run->second.hasResult) testResult_ = run->second.result;
            }
            statusReadsSinceRun_ = 0;
            Refresh();
            return kVscOk;
        }
        case 0x2A:  // idle timer: 1 read, 2 write; one sector, the timer in byte 0
            if ((w[1] != 1 && w[1] != 2) || w[2] != 2 || w[3] != 0x0D || w[4] != 0x16 || w[5] != 1)
                return kVscBadParameter;
            if (w[1] == 1) {
                SaImage s(512, 0);
                s[0] = sa_.idleTimer;
                xfer_ = {Direction::ToHost, Target::IdleTimer, 0, s, 0};
            } else {
                xfer_ = {Direction::FromHost, Target::IdleTimer, 0, SaImage(512, 0), 0};
            }
            returned_ = 1;
            return kVscOk;
        case 0x0C:
        case 0x10:
        case 0x11:
        case 0x12:
        case 0x25:
        case 0x8052:
            return Servo(w);
        default:
            return kVscUnknownAction;
    }
}

uint16_t VscEngine::ModuleAccess(uint16_t rw, uint16_t id) {
    const auto forced = faults_.moduleStatus.find(id);
    if (forced != faults_.moduleStatus.end() && forced->second != 0x3603) return forced->second;
    if (rw != 1 && rw != 2) return kVscBadParameter;
    const SaImage* m = sa_.Module(id);
    if (!m) return kVscNoModule;
    returned_ = ImageSectors(*m);
    if (const auto announced = faults_.moduleSectors.find(id);
        announced != faults_.moduleSectors.end())
        returned_ = announced->second;
    const size_t bytes = static_cast<size_t>(returned_) * 512;
    if (rw == 1) {
        SaImage data = *m;
        data.resize(bytes, 0);
        xfer_ = {Direction::ToHost, Target::Module, id, std::move(data), 0};
    } else {
        xfer_ = {Direction::FromHost, Target::Module, id, SaImage(bytes, 0), 0};
    }
    return forced != faults_.moduleStatus.end() ? forced->second : uint16_t{kVscOk};
}

int64_t VscEngine::MediaTime(uint32_t cylinder, int head, double revolutions) const {
    const double maxCyl = std::max<double>(1, geometry_.Cylinders(0));
    const uint32_t distance = cylinder > cylinder_ ? cylinder - cylinder_ : cylinder_ - cylinder;
    const double rev = 60e9 / timing_.rpm;
    double t = 0;
    if (distance > 0)
        t = static_cast<double>(timing_.settleNanos) +
            static_cast<double>(timing_.fullStrokeNanos) * std::sqrt(distance / maxCyl);
    else if (head != head_)
        t = static_cast<double>(timing_.headSwitchNanos);
    if (revolutions > 0) {
        // Rotational latency: where the track's index passes when the head arrives.
        t += rev * (Hash(cylinder, static_cast<uint32_t>(head)) % 1000) / 1000.0;
        t += rev * revolutions;
    }
    auto slow = [&](const std::vector<SlowRegion>& regions) {
        for (const SlowRegion& r : regions)
            if (r.head == head && cylinder >= r.fromCylinder && cylinder <= r.toCylinder)
                t += static_cast<double>(r.extraNanos);
    };
    slow(timing_.slowRegions);
    slow(faults_.slowRegions);
    return static_cast<int64_t>(t);
}

uint16_t VscEngine::WrroAt(uint32_t cylinder, int head) const {
    // Written-in repeatable runout: a slow wave across the stroke, a step at
    // each zone boundary, track-to-track scatter, worse in the slow bands.
    double v = 34 + 10 * std::sin(cylinder / 9000.0 + head * 1.3) +
               2.0 * geometry_.ZoneOf(head, cylinder) / 4.0 + (Hash(cylinder, 77u + head) % 9);
    for (const auto* regions : {&timing_.slowRegions, &faults_.slowRegions})
        for (const SlowRegion& r : *regions)
            if (r.head == head && cylinder >= r.fromCylinder && cylinder <= r.toCylinder) v += 22;
    return static_cast<uint16_t>(std::clamp(v, 1.0, 79.0));
}

uint16_t VscEngine::StartMediaOp(uint32_t cylinder, int head, double revolutions) {
    if (head >= geometry_.heads || cylinder >= geometry_.Cylinders(head)) return kVscOutOfRange;
    const int64_t t = MediaTime(cylinder, head, revolutions);
    busyUntil_ = std::max(busyUntil_, now_() + t);
    mediaUntil_ = busyUntil_;
    mediaBusyTotal_ += t;
    cylinder_ = cylinder;
    head_ = static_cast<uint8_t>(head);
    return kVscOk;
}

uint16_t VscEngine::Servo(const uint16_t* w) {
    auto cyl = [w](int lo) {
        return static_cast<uint32_t>(w[lo]) | static_cast<uint32_t>(w[lo + 1]) << 16;
    };
    switch (w[0]) {
        case 0x11:  // wedge verify (3) or wedge write (6): one revolution on the track
            if (w[1] != 3 && w[1] != 6) return kVscBadParameter;
            return StartMediaOp(cyl(2), w[4], 1.0);
        case 0x12: {  // seek; a failed one voids the last measurement
            const uint16_t st = StartMediaOp(cyl(1), w[3], 0);
            if (st != kVscOk) measured_ = false;
            return st;
        }
        case 0x25:  // write track
            if (w[1] != 1) return kVscBadParameter;
            return StartMediaOp(cyl(2), w[4], 1.0);
        case 0x0C: {  // read (1) or write (2) sectors by cylinder and head; count in w6
            if (w[1] != 1 && w[1] != 2) return kVscBadParameter;
            const uint32_t c = cyl(2);
            const int head = w[4];
            if (head >= geometry_.heads || c >= geometry_.Cylinders(head)) return kVscOutOfRange;
            const uint16_t spt =
                std::max<uint16_t>(1, geometry_
                                          .zones[static_cast<size_t>(head)]
                                                [static_cast<size_t>(geometry_.ZoneOf(head, c))]
                                          .sectorsPerTrack);
            // A read of count 0 reads the whole track; a write moves at least one sector.
            const uint32_t count = w[1] == 1 && w[6] == 0 ? spt : std::max<uint16_t>(1, w[6]);
            const uint16_t st = StartMediaOp(c, head, static_cast<double>(count) / spt);
            if (st != kVscOk) return st;
            if (w[1] == 2) {
                if (count > 256) return kVscBadParameter;
                xfer_ = {Direction::FromHost, Target::Servo, 0, SaImage(count * 512, 0), 0};
                returned_ = count;
            }
            return kVscOk;
        }
        case 0x8052: {  // settle on a track and measure its runout
            if (w[1] != 0x0A01) {
                measured_ = false;
                return kVscBadParameter;
            }
            const uint16_t st = StartMediaOp(cyl(4), w[6], 1.0);
            measured_ = st == kVscOk;
            measuredCylinder_ = cylinder_;
            measuredHead_ = head_;
            return st;
        }
        case 0x10: {  // servo result sector of the last measurement
            if (w[1] != 1 || w[2] != 0x201E || (w[6] != 0x19 && w[6] != 0x1A))
                return kVscBadParameter;
            if (!measured_) return kVscNoMeasurement;
            const uint32_t c = measuredCylinder_;
            const uint8_t h = measuredHead_;
            SaImage s(512, 0);
            PutU16(s.data(), w[6]);
            PutU32(s.data() + 4, c);
            s[8] = h;
            PutU16(s.data() + 10, geometry_.wedges);
            PutU16(s.data() + 18, WrroAt(c, h));
            for (int i = 0; i < 64; ++i)  // per-wedge runout samples
                s[64 + static_cast<size_t>(i)] =
                    static_cast<uint8_t>(Hash(c + static_cast<uint32_t>(i), h) % 32);
            xfer_ = {Direction::ToHost, Target::Servo, 0, s, 0};
            returned_ = 1;
            return kVscOk;
        }
        default:
            return kVscUnknownAction;
    }
}

bool VscEngine::ChunkFault(const TaskFile& tf, AtaReply& reply) {
    ++chunks_;
    if (faults_.errOnChunk && chunks_ == faults_.errOnChunk) {
        reply = Refuse(tf);
        statusWord_ = kVscTransferError;
        xfer_ = {};
        return true;
    }
    return false;
}

AtaReply VscEngine::DataIn(const TaskFile& tf) {
    const uint32_t n = tf.sectorCount;
    if (xfer_.dir != Direction::ToHost || n == 0 || n > xfer_.Remaining()) {
        statusWord_ = kVscTransferError;
        xfer_ = {};
        return Refuse(tf);
    }
    AtaReply r = Done(tf);
    if (ChunkFault(tf, r)) return r;
    uint32_t give = n;
    if (faults_.shortChunk && chunks_ == faults_.shortChunk) give = n / 2;
    r.data.assign(xfer_.data.begin() + static_cast<std::ptrdiff_t>(xfer_.pos),
                  xfer_.data.begin() + static_cast<std::ptrdiff_t>(xfer_.pos + give * 512));
    xfer_.pos += static_cast<size_t>(n) * 512;
    if (xfer_.Remaining() == 0) {
        statusWord_ = FinalStatus(kVscOk);
        xfer_ = {};
    }
    if (faults_.removeAfterChunks && chunks_ >= faults_.removeAfterChunks) removePending_ = true;
    return r;
}

AtaReply VscEngine::DataOut(const TaskFile& tf, std::span<const uint8_t> data) {
    const uint32_t n = tf.sectorCount;
    if (xfer_.dir != Direction::FromHost || n == 0 || n > xfer_.Remaining() ||
        data.size() < static_cast<size_t>(n) * 512) {
        statusWord_ = kVscTransferError;
        xfer_ = {};
        return Refuse(tf);
    }
    AtaReply r = Done(tf);
    if (ChunkFault(tf, r)) return r;
    std::memcpy(xfer_.data.data() + xfer_.pos, data.data(), static_cast<size_t>(n) * 512);
    xfer_.pos += static_cast<size_t>(n) * 512;
    if (xfer_.Remaining() == 0) {
        statusWord_ = Commit();
        if (statusWord_ == kVscOk) statusWord_ = FinalStatus(kVscOk);
        xfer_ = {};
        if (statusWord_ != kVscOk) r = Refuse(tf);
    }
    if (faults_.removeAfterChunks && chunks_ >= faults_.removeAfterChunks) removePending_ = true;
    return r;
}

uint16_t VscEngine::FinalStatus(uint16_t word) const {
    if (xfer_.target != Target::Module) return word;
    const auto forced = faults_.moduleFinalStatus.find(xfer_.id);
    return forced != faults_.moduleFinalStatus.end() ? forced->second : word;
}

// A write's data is all there: store it where the key said.
uint16_t VscEngine::Commit() {
    switch (xfer_.target) {
        case Target::IdleTimer:
            sa_.idleTimer = xfer_.data[0];
            return kVscOk;
        case Target::Module: {
            if (!ImageChecksumValid(xfer_.data)) return kVscBadChecksum;
            if (!persistDir_.empty()) {
                namespace fs = std::filesystem;
                std::error_code ec;
                const fs::path dir = fs::path(persistDir_) / "modules";
                fs::create_directories(dir, ec);
                const auto named = sa_.moduleFiles.find(xfer_.id);
                const std::string file =
                    named != sa_.moduleFiles.end() ? named->second : ModuleFileName(xfer_.id);
                std::string error;
                if (!WriteFileAtomic((dir / file).string(), xfer_.data, error))
                    return kVscWriteFault;
                sa_.moduleFiles[xfer_.id] = file;
            }
            sa_.modules[xfer_.id] = std::move(xfer_.data);
            return kVscOk;
        }
        default:
            return kVscOk;
    }
}

std::vector<uint8_t> VscEngine::StatusSector() const {
    std::vector<uint8_t> s(512, 0);
    uint8_t* p = s.data();
    p[kStLastStatus] = lastStatus_;
    p[kStLastCommand] = lastTf_.command;
    p[kStFeatures] = lastTf_.features;
    p[kStCount] = lastTf_.sectorCount;
    p[kStLbaLow] = lastTf_.lbaLow;
    p[kStLbaMid] = lastTf_.lbaMid;
    p[kStLbaHigh] = lastTf_.lbaHigh;
    p[kStLastError] = lastError_;
    p[kStDevice] = lastTf_.device;
    PutU16(p + kStStatusWord, statusWord_);
    PutU32(p + kStReturned, returned_);
    const bool running = testStarted_;
    const bool finished = !testStarted_ && testLength_ < 0;
    PutU32(p + kStFlags, (vscMode_ ? kFlagVsc : 0) |
                             (xfer_.dir != Direction::None ? kFlagTransfer : 0) |
                             (running ? kFlagTest : 0));
    const StatusSetup& fixed = content_.status;
    p[kStBackground] = running ? kBackgroundPst : fixed.idleBackground;
    p[kStPower] = fixed.power;
    const bool failed = finished && testResult_ != 0;
    PutU16(p + kStSecondaryEcode, failed && faults_.testSecondaryEcode ? faults_.testSecondaryEcode
                                                                       : fixed.secondaryEcode);
    PutU32(p + kStInitiator, fixed.initiatorCode);
    PutU32(p + kStDbsCode, failed && faults_.testDbsCode ? faults_.testDbsCode : fixed.dbsCode);
    PutU16(p + kStServoGroupError, fixed.servoGroupError);
    uint32_t cylinder = cylinder_;
    uint8_t head = head_;
    uint16_t progress = 0;
    uint64_t lba = 0;
    if (running || finished) {
        const int64_t elapsed = now_() - testStart_;
        progress = finished ? 1000
                            : static_cast<uint16_t>(std::min<int64_t>(
                                  999, testLength_ > 0 ? elapsed * 1000 / testLength_ : 999));
        lba = content_.sectors * progress / 1000;
        if (lba >= content_.sectors && content_.sectors) lba = content_.sectors - 1;
        geometry_.LbaToTrack(lba, cylinder, head);
        PutU16(p + kStPtm, testId_);
        PutU16(p + kStTest, testArg_);
        p[kStTestStep] = static_cast<uint8_t>(progress / 125);
        if (finished) PutU16(p + kStExtErrCode, testResult_);
    }
    for (int i = 0; i < 6; ++i)
        p[kStLba + static_cast<size_t>(i)] = static_cast<uint8_t>(lba >> (8 * i));
    PutU32(p + kStCylinder, cylinder);
    p[kStHead] = head;
    p[kStZone] = static_cast<uint8_t>(geometry_.ZoneOf(head, cylinder));
    // Temperatures: the drive sensor is the one S.M.A.R.T. attribute 194 reports.
    uint8_t temp = 38;
    if (content_.smartData.size() == 512)
        for (size_t a = 2; a + 12 <= 362; a += 12)
            if (content_.smartData[a] == 194) temp = content_.smartData[a + 5];
    p[kStDriveTemp] = temp;
    p[kStJunctionTemp] = static_cast<uint8_t>(temp + 9);
    PutU16(p + kStCoilTemp, static_cast<uint16_t>(temp + 4));
    PutU16(p + kStServo, running || xfer_.target == Target::Servo ? 0x0003 : 0x0001);
    PutU16(p + kStProgress, progress);
    p[kStFlexTemp] = static_cast<uint8_t>(temp - 2);
    p[kStFlexTemp + 1] = static_cast<uint8_t>(temp - 1);
    PutU16(p + kStAction, running ? 0x19 : lastAction_);
    return s;
}

std::vector<uint8_t> VscEngine::SmartFromDrm(const std::vector<uint8_t>& base,
                                             bool thresholds) const {
    const SaImage* drm = sa_.Module(0x21);
    SmartSection sec;
    if (!drm || base.size() != 512 || !FindSmartSection(*drm, sec)) return base;
    std::vector<uint8_t> s = base;
    constexpr size_t kArea = 362;  // revision and 30 slots of 12 bytes
    const size_t offset = thresholds ? sec.thresholdOffset : sec.dataOffset;
    const size_t size = std::min<size_t>(kArea, thresholds ? sec.thresholdSize : sec.dataSize);
    // The attribute area is the module's: what its section 10 does not fill reads as zeros.
    std::memset(s.data(), 0, kArea);
    std::memcpy(s.data(), drm->data() + offset, size);
    // A hidden attribute (bit 7 of its low flags byte in section 10) is not
    // reported: the slots after it move up, their thresholds with them.
    const size_t dataSize = std::min<size_t>(kArea, sec.dataSize);
    auto hidden = [&](size_t k) {
        const size_t at = 2 + 12 * k;
        return !content_.reportHidden && at + 12 <= dataSize &&
               (drm->data()[sec.dataOffset + at + 1] & 0x80) != 0;
    };
    uint8_t slots[kArea - 2];
    std::memcpy(slots, s.data() + 2, sizeof slots);
    size_t kept = 0;
    for (size_t k = 0; k < (kArea - 2) / 12; ++k)
        if (!hidden(k)) std::memcpy(s.data() + 2 + 12 * kept++, slots + 12 * k, 12);
    std::memset(s.data() + 2 + 12 * kept, 0, kArea - 2 - 12 * kept);
    SetSectorChecksum(s.data());
    return s;
}

}  // namespace qm
