#pragma once
// The drive's vendor-specific command set: VSC mode, key sectors on SMART
// log 0xBE and their status sector, data phases on log 0xBF, and what the
// actions do to the service area, the heads and the clock. Owned by
// VirtualDrive, which calls it with its lock held.
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "vdrive/DriveBehaviour.h"
#include "vdrive/DriveGeometry.h"
#include "vdrive/ServiceArea.h"
#include "vdrive/VirtualDrive.h"

namespace qm {

// Vendor status words this drive answers with (u16 at byte 24 of the status sector).
enum VscStatus : uint16_t {
    kVscOk = 0x0000,
    kVscUnknownAction = 0x0101,  // no such action code
    kVscBadParameter = 0x0102,   // the action's words make no sense
    kVscNoModule = 0x0103,       // module id not in the service area
    kVscNoTable = 0x0104,        // no such drive table
    kVscBadChecksum = 0x0105,    // a written module does not sum to zero
    kVscTransferError = 0x0106,  // a data phase out of order or failed
    kVscOutOfRange = 0x0107,     // cylinder or head beyond the drive
    kVscWriteFault = 0x0108,     // the module could not be stored
    kVscNoMeasurement = 0x0109,  // servo result asked for after a failed settle or position
};

class VscEngine {
  public:
    explicit VscEngine(const DriveContent& content);

    void SetClock(std::function<int64_t()> nowNanos) { now_ = std::move(nowNanos); }
    int64_t Now() const { return now_(); }

    // A refusal for any command while the drive is gone or busy.
    std::optional<AtaReply> Gate(const TaskFile& tf);
    // True for the commands this engine answers (VSC enable/disable, SMART
    // READ/WRITE LOG on 0xBB, 0xBE, 0xBF).
    static bool Handles(const TaskFile& tf);
    uint32_t DataOutSectors(const TaskFile& tf) const;
    AtaReply Execute(const TaskFile& tf, std::span<const uint8_t> data);
    // Every command passes here after it ran, for the status sector's ATA bytes.
    void Note(const TaskFile& tf, const AtaReply& reply);

    int64_t BusyFor() const;
    // The channel's software reset: a media operation in progress ends (the
    // drive is ready again after kSoftResetNanos) and its measurement is void.
    void SoftReset();
    static constexpr int64_t kSoftResetNanos = 2'000'000;
    // Sum of the busy times the media operations were modelled to take.
    int64_t MediaBusyNanos() const { return mediaBusyTotal_; }
    bool Removed() const { return removed_; }
    bool TakeDeviceCallFailure();
    void SetFaults(const DriveFaults& faults);
    const DriveFaults& Faults() const { return faults_; }
    void SetPersistFolder(std::string dir) { persistDir_ = std::move(dir); }
    bool VscMode() const { return vscMode_; }
    const ServiceArea& Sa() const { return sa_; }
    const DriveGeometry& Geometry() const { return geometry_; }
    // The S.M.A.R.T. sectors with the attribute area taken from module 0x21
    // section 10, where the drive keeps them; base itself when it has none.
    std::vector<uint8_t> SmartFromDrm(const std::vector<uint8_t>& base, bool thresholds) const;
    // Time a media operation at (cylinder, head) of the given length takes
    // from the current head position (exposed for the timing tests).
    int64_t MediaTime(uint32_t cylinder, int head, double revolutions) const;
    uint16_t WrroAt(uint32_t cylinder, int head) const;

  private:
    enum class Direction { None, ToHost, FromHost };
    enum class Target { None, Module, Table, IdleTimer, Servo };
    struct Transfer {
        Direction dir = Direction::None;
        Target target = Target::None;
        uint16_t id = 0;
        SaImage data;
        size_t pos = 0;
        uint32_t Remaining() const { return static_cast<uint32_t>((data.size() - pos) / 512); }
    };

    AtaReply Key(const TaskFile& tf, std::span<const uint8_t> data);
    AtaReply DataIn(const TaskFile& tf);
    AtaReply DataOut(const TaskFile& tf, std::span<const uint8_t> data);
    AtaReply StatusRead(const TaskFile& tf);
    std::vector<uint8_t> StatusSector() const;
    // Runs one key; returns the status word.
    uint16_t Action(const uint16_t* w, std::span<const uint8_t> key);
    uint16_t ModuleAccess(uint16_t rw, uint16_t id);
    uint16_t Servo(const uint16_t* w);
    uint16_t StartMediaOp(uint32_t cylinder, int head, double revolutions);
    uint16_t Commit();
    // The status word at the end of a transfer, or the one a fault sets.
    uint16_t FinalStatus(uint16_t word) const;
    // Counts a data chunk; false (and a failed reply) when a fault ends it.
    bool ChunkFault(const TaskFile& tf, AtaReply& reply);
    void Refresh();

    DriveContent content_;
    ServiceArea sa_;
    DriveGeometry geometry_;
    DriveTiming timing_;
    DriveFaults faults_;
    std::function<int64_t()> now_;
    std::string persistDir_;

    bool vscMode_ = false;
    uint16_t statusWord_ = 0;
    uint32_t returned_ = 0;
    uint16_t lastAction_ = 0;
    Transfer xfer_;
    int64_t busyUntil_ = 0;
    int64_t mediaUntil_ = 0;      // end of the media operation running, if any
    int64_t mediaBusyTotal_ = 0;  // modelled media time so far
    // The last settle's measurement (0x8052), what a result read (0x10)
    // answers with; void after a failed settle or position.
    bool measured_ = false;
    uint32_t measuredCylinder_ = 0;
    uint8_t measuredHead_ = 0;
    bool removed_ = false;
    bool removePending_ = false;  // the chunk that ends the drive is still delivered
    uint32_t chunks_ = 0;
    uint32_t statusReads_ = 0;
    int deviceFailures_ = 0;
    uint32_t cylinder_ = 0;
    uint8_t head_ = 0;
    // Single-step test run.
    bool testStarted_ = false;
    int64_t testStart_ = 0, testLength_ = 0;
    uint16_t testId_ = 0, testArg_ = 0, testResult_ = 0;
    // Status reads since the last key, counted when that key started a test
    // run (-1 otherwise), for the failing-status-read fault.
    int64_t statusReadsSinceRun_ = -1;
    size_t nextFrame_ = 0;  // status-frame playback
    TaskFile lastTf_;
    uint8_t lastStatus_ = 0, lastError_ = 0;
};

}  // namespace qm
