#pragma once
// A model of a WD drive: it answers ATA commands the way a drive does and
// knows nothing about the program's own code. Adapters put it behind each
// seam (a register-level channel for port I/O, a request parser for
// pass-through, a drive table for enumeration).
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "drive/TaskFile.h"
#include "vdrive/DriveBehaviour.h"
#include "vdrive/ServiceArea.h"

namespace qm {

// What a drive answers to one command.
struct AtaReply {
    uint8_t status = kStatusDrdy | kStatusDsc;
    uint8_t error = 0;
    // Output registers (sector count, LBA bytes, device) as the drive leaves them.
    TaskFile regs;
    // Data-in bytes (whole sectors) for a data-in command.
    std::vector<uint8_t> data;
    bool Failed() const { return status & kStatusErr; }
};

// The content of a drive: identity and S.M.A.R.T. sectors, and the medium.
struct DriveContent {
    std::string model, firmware, serial;
    uint64_t sectors = 0;
    bool smartFailing = false;
    // Whether SMART READ DATA / THRESHOLDS report attributes hidden in module
    // 0x21 (bit 7 of the low flags byte); by default they are left out.
    bool reportHidden = false;
    // Raw 512-byte sectors; empty means "build from the fields above".
    std::vector<uint8_t> identify;
    std::vector<uint8_t> smartData;
    std::vector<uint8_t> smartThresholds;
    // Modules and drive tables; timing of long operations; injected faults.
    ServiceArea serviceArea;
    DriveTiming timing;
    DriveFaults faults;
    // Fixed status-sector fields ([Status] of drive.ini).
    StatusSetup status;
    // Status-frame playback (status-frames.bin): N whole 512-byte sectors;
    // each status read returns the next one, the last one repeating. Empty:
    // the status sector is built from the drive's state.
    std::vector<uint8_t> statusFrames;
};

class VscEngine;

class VirtualDrive {
  public:
    explicit VirtualDrive(DriveContent content);
    ~VirtualDrive();

    // The built-in sample drive: a deterministic, self-consistent WD desktop drive.
    static DriveContent SampleContent();
    // Reads a drive folder. False (with a message naming the file) when a file
    // is missing, short or unreadable.
    static bool LoadFolder(const std::string& dir, DriveContent& content, std::string& error);

    // Number of sectors a data-out command will move (0: not a data-out
    // command the drive accepts). The register-level channel asks this before
    // it collects the data.
    uint32_t DataOutSectors(const TaskFile& tf) const;
    // Runs one command. dataOut holds the data of a data-out command.
    AtaReply Execute(const TaskFile& tf, std::span<const uint8_t> dataOut = {});

    // The identify sector as the drive sends it (strings byte-swapped).
    std::array<uint8_t, 512> IdentifySector() const;
    uint64_t Sectors() const { return content_.sectors; }
    const DriveContent& Content() const { return content_; }
    uint64_t CommandCount() const { return commandCount_; }

    using Faults = DriveFaults;
    // The clock the drive keeps time by (monotonic nanoseconds); tests pass a fake one.
    void SetClock(std::function<int64_t()> nowNanos);
    // Replaces the faults; the data-chunk count starts again from 0.
    void SetFaults(const Faults& faults);
    Faults GetFaults() const;
    // Nanoseconds until the drive leaves BSY (0 when ready). The
    // register-level channel shows BSY meanwhile; a pass-through call
    // completes only after it.
    int64_t BusyFor() const;
    // The channel's software reset (SRST): a media operation in progress
    // ends, as a drive abandons its command; the drive is ready again soon.
    void SoftReset();
    // Sum of the busy times of all media operations (seeks, track and
    // sector operations, settles) as the timing model gave them.
    int64_t MediaBusyNanos() const;
    // The drive has gone (removal fault): every command fails, the bus floats.
    bool Removed() const;
    // Asked by a pass-through adapter once per device call: true when that
    // call is to fail (the failing-device-call fault).
    bool TakeDeviceCallFailure();
    // Module writes are also stored as files in dir/modules (atomically).
    void SetPersistFolder(const std::string& dir);
    bool VscMode() const;
    // A copy of the service area as it is now.
    ServiceArea ServiceAreaNow() const;
    // Writes the drive as a drive folder (drive.ini, identify and S.M.A.R.T.
    // sectors, modules/, tables/) that LoadFolder reads back.
    static bool SaveFolder(const std::string& dir, const DriveContent& content, std::string& error);

  private:
    AtaReply Run(const TaskFile& tf, std::span<const uint8_t> dataOut);
    AtaReply Smart(const TaskFile& tf);
    AtaReply ReadMedium(const TaskFile& tf, bool ext);
    AtaReply WriteMedium(const TaskFile& tf, bool ext, std::span<const uint8_t> data);
    static AtaReply Abort(const TaskFile& tf);

    DriveContent content_;
    bool smartEnabled_ = true;
    // Sparse medium: only written sectors are stored; the rest reads as zeros.
    std::map<uint64_t, std::array<uint8_t, 512>> medium_;
    uint64_t commandCount_ = 0;
    std::unique_ptr<VscEngine> vsc_;
    mutable std::mutex mutex_;
};

// Sector count and LBA of a 28- or 48-bit command (count 0 = 256 or 65536).
uint32_t CommandSectorCount(const TaskFile& tf, bool ext);
uint64_t CommandLba(const TaskFile& tf, bool ext);

// Builders of the standard sectors (byte 511 holds the checksum where ATA says so).
std::array<uint8_t, 512> BuildIdentifySector(const DriveContent& c);
void SetSectorChecksum(uint8_t* sector);

}  // namespace qm
