#pragma once
// How the virtual drive behaves in time, and the faults it can be told to
// show. Both come from drive.ini ([Timing], [Faults]) or are set by tests.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace qm {

class IniFile;

// A band of tracks on one head where every media operation takes longer
// (marginal media, a weak head, retries).
struct SlowRegion {
    uint8_t head = 0;
    uint32_t fromCylinder = 0, toCylinder = 0;
    int64_t extraNanos = 0;
};

// How one test id runs when a step-run key starts it ([Tests] ID=ms[,result]).
struct TestRun {
    int64_t runNanos = 0;
    bool hasResult = false;  // without one, [Faults] TestResult decides
    uint16_t result = 0;
};

struct DriveTiming {
    int64_t resetNanos = 1'500'000'000;    // busy after a power-on reset
    int64_t testRunNanos = 6'000'000'000;  // one single-step test run
    int rpm = 7200;
    int64_t settleNanos = 600'000;         // head settle after any seek
    int64_t fullStrokeNanos = 14'000'000;  // seek time over the whole stroke (without settle)
    int64_t headSwitchNanos = 400'000;
    std::vector<SlowRegion> slowRegions;
    // Per test id: run time and result instead of testRunNanos / TestResult.
    std::map<uint16_t, TestRun> tests;
};

// Status-sector fields the model does not compute, as fixed values ([Status]).
struct StatusSetup {
    uint8_t power = 0;           // byte 0x37 (power state in bits 5-7)
    uint8_t idleBackground = 0;  // byte 0x36 while no test runs
    uint16_t secondaryEcode = 0;
    uint32_t initiatorCode = 0;
    uint32_t dbsCode = 0;
    uint16_t servoGroupError = 0;
};

struct DriveFaults {
    // Vendor status word the drive answers to a key with this action code,
    // or to a module access (read or write) of this module id. 0x3603 lets
    // the action go on; any other word refuses it.
    std::map<uint16_t, uint16_t> actionStatus;
    std::map<uint16_t, uint16_t> moduleStatus;
    // Vendor status word the status sector shows once the last chunk of a
    // transfer of this module has moved (instead of 0).
    std::map<uint16_t, uint16_t> moduleFinalStatus;
    // The n-th key-status read (SMART READ LOG of 0xBE, counted from 1 since
    // the faults were set) ends with ERR/ABRT and moves no data. 0: off.
    uint32_t refuseStatusRead = 0;
    // Module access of this id announces this many sectors instead of the
    // module's own size: a read delivers the image cut or padded with zeros,
    // a write takes that many sectors.
    std::map<uint16_t, uint32_t> moduleSectors;
    // The n-th data chunk (0xBF transfer, counted from 1 since the faults
    // were set) ends with ERR. 0: off.
    uint32_t errOnChunk = 0;
    // The n-th data chunk read delivers only half its sectors (DRQ drops early).
    uint32_t shortChunk = 0;
    // After n data chunks the drive is gone: every command fails, the
    // channel floats. 0: off.
    uint32_t removeAfterChunks = 0;
    // The drive never leaves BSY.
    bool stuckBusy = false;
    // Device calls of the pass-through adapters fail (-1: all of them, n: the next n).
    int failDeviceCalls = 0;
    // Extra busy time after every vendor key.
    int64_t slowNanos = 0;
    // Extra time on media operations in these bands.
    std::vector<SlowRegion> slowRegions;
    // Error code a single-step test run ends with (0: passed).
    uint16_t testResult = 0;
    // DBS code and SecondaryEcode the status sector shows after a run that
    // ended with a non-zero result (0: the [Status] value stays).
    uint32_t testDbsCode = 0;
    uint16_t testSecondaryEcode = 0;
    // From the n-th status read after a step-run key until the next key,
    // status reads fail with ERR/ABRT and no data. 0: off.
    uint32_t failStatusReads = 0;
};

// Reads [Timing] and [Faults] of drive.ini. False (with the key named in
// error) when a value does not parse.
bool ParseDriveBehaviour(const IniFile& ini, DriveTiming& timing, DriveFaults& faults,
                         std::string& error);
// Reads [Status] of drive.ini; false (with the key named in error) when a
// value does not parse.
bool ParseStatusSetup(const IniFile& ini, StatusSetup& status, std::string& error);

}  // namespace qm
