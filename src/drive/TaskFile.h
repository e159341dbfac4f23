#pragma once
// The ATA command record and the drive state every command leaves behind.
#include <cstdint>

namespace qm {

struct TaskFile {
    uint8_t features = 0;
    uint8_t sectorCount = 0;
    uint8_t lbaLow = 0;
    uint8_t lbaMid = 0;
    uint8_t lbaHigh = 0;
    uint8_t device = 0xA0;
    uint8_t command = 0;
    // High-order bytes of the 48-bit register form, written before the current ones.
    uint8_t prevFeatures = 0;
    uint8_t prevSectorCount = 0;
    uint8_t prevLbaLow = 0;
    uint8_t prevLbaMid = 0;
    uint8_t prevLbaHigh = 0;
};

enum class RegisterForm { Lba28, Lba48 };
enum class DataDirection { None, In, Out };
enum class TransportMode { PortIo, AtaPassThrough, ScsiPassThrough };

// Status register bits.
enum StatusBit : uint8_t {
    kStatusErr = 0x01,
    kStatusIdx = 0x02,
    kStatusCorr = 0x04,
    kStatusDrq = 0x08,
    kStatusDsc = 0x10,
    kStatusDf = 0x20,
    kStatusDrdy = 0x40,
    kStatusBsy = 0x80,
};
// Error register bits.
enum ErrorBit : uint8_t {
    kErrorAmnf = 0x01,
    kErrorTk0nf = 0x02,
    kErrorAbrt = 0x04,
    kErrorMcr = 0x08,
    kErrorIdnf = 0x10,
    kErrorMc = 0x20,
    kErrorUnc = 0x40,
    kErrorBbk = 0x80,
};

struct StatusFlags {
    bool ERR = false, IDX = false, CORR = false, DRQ = false;
    bool DSC = false, DF = false, DRDY = false, BSY = false;
    void Set(uint8_t v) {
        ERR = v & kStatusErr;
        IDX = v & kStatusIdx;
        CORR = v & kStatusCorr;
        DRQ = v & kStatusDrq;
        DSC = v & kStatusDsc;
        DF = v & kStatusDf;
        DRDY = v & kStatusDrdy;
        BSY = v & kStatusBsy;
    }
    uint8_t Byte() const {
        return static_cast<uint8_t>(ERR * kStatusErr | IDX * kStatusIdx | CORR * kStatusCorr |
                                    DRQ * kStatusDrq | DSC * kStatusDsc | DF * kStatusDf |
                                    DRDY * kStatusDrdy | BSY * kStatusBsy);
    }
};

struct ErrorFlags {
    bool AMNF = false, TK0NF = false, ABRT = false, MCR = false;
    bool IDNF = false, MC = false, UNC = false, BBK = false;
    void Set(uint8_t v) {
        AMNF = v & kErrorAmnf;
        TK0NF = v & kErrorTk0nf;
        ABRT = v & kErrorAbrt;
        MCR = v & kErrorMcr;
        IDNF = v & kErrorIdnf;
        MC = v & kErrorMc;
        UNC = v & kErrorUnc;
        BBK = v & kErrorBbk;
    }
    uint8_t Byte() const {
        return static_cast<uint8_t>(AMNF * kErrorAmnf | TK0NF * kErrorTk0nf | ABRT * kErrorAbrt |
                                    MCR * kErrorMcr | IDNF * kErrorIdnf | MC * kErrorMc |
                                    UNC * kErrorUnc | BBK * kErrorBbk);
    }
};

// Result registers of a completed pass-through command, in this order.
struct ResultRegisters {
    uint8_t error = 0, sectorCount = 0, lbaLow = 0, lbaMid = 0, lbaHigh = 0, device = 0, status = 0;
    // False when the device gave no registers back (a SAT bridge that ignores
    // CK_COND, a SCSI response that could not be read): then only the ERR
    // bit of status, taken from the command's outcome, is the drive's; the
    // other fields are 0, never the values that were sent.
    bool known = true;
};

}  // namespace qm
