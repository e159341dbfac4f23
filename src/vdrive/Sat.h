#pragma once
// A SAT layer in front of a VirtualDrive: takes ATA PASS-THROUGH(12) and (16)
// command blocks, runs the ATA command and answers with SCSI status, sense
// data and data the way a SCSI/ATA translation layer does. Used by the
// virtual pass-through device and by the device shim for peer tools.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "drive/SatCdb.h"
#include "drive/TaskFile.h"
#include "vdrive/VirtualDrive.h"

namespace qm::sat {

// One ATA PASS-THROUGH command block, decoded.
struct PassThroughCommand {
    uint8_t opcode = 0;
    uint8_t protocol = 0;
    bool extend = false;
    uint8_t offline = 0;
    bool ckCond = false;
    bool tDirIn = false;
    bool byteBlock = false;
    uint8_t tLength = 0;
    TaskFile tf;

    bool DataIn() const;
    bool DataOut() const;
    // Bytes the command block announces (T_LENGTH with BYTE_BLOCK); 0 for none.
    uint32_t AnnouncedBytes() const;
};

// Decodes an ATA PASS-THROUGH(12) (0xA1) or (16) (0x85) block; false for any
// other operation code or a short block.
bool ParsePassThroughCdb(const uint8_t* cdb, size_t length, PassThroughCommand& out);

// What the SAT layer answers.
struct SatResponse {
    uint8_t scsiStatus = kScsiStatusGood;
    std::vector<uint8_t> sense;  // empty for GOOD without CK_COND
    std::vector<uint8_t> data;   // data-in bytes
};

// Sense data with a key and ASC/ASCQ, optionally carrying ATA registers
// (an ATA Status Return descriptor, or the fixed-format ATA fields).
std::vector<uint8_t> BuildSense(bool descriptorFormat, uint8_t key, uint8_t asc, uint8_t ascq,
                                const ResultRegisters* regs, bool extend);

// The 22-byte Return Response Information answer: the ATA Status Return
// descriptor of the last command, then zeros.
std::vector<uint8_t> ReturnResponseData(const ResultRegisters& last, bool extend);

// Registers a drive reply leaves behind.
ResultRegisters ReplyRegisters(const AtaReply& reply);

class SatDevice {
  public:
    explicit SatDevice(VirtualDrive& drive) : drive_(drive) {}

    // Runs one command block. dataOut carries the data of a data-out
    // transfer; dataInCapacity is the room for data in.
    SatResponse Execute(const uint8_t* cdb, size_t cdbLength, std::span<const uint8_t> dataOut,
                        uint32_t dataInCapacity);

    // D_SENSE: descriptor-format sense (default, as libata answers) or fixed.
    bool descriptorSense = true;
    const ResultRegisters& LastRegisters() const { return last_; }
    VirtualDrive& Drive() { return drive_; }

  private:
    VirtualDrive& drive_;
    ResultRegisters last_{0, 0, 0, 0, 0, 0xA0, kStatusDrdy | kStatusDsc};
    bool lastExtend_ = false;
};

}  // namespace qm::sat
