#pragma once
// How the two pass-through request blocks become SG_IO requests, and how the
// answer goes back into the block. Pure byte work, kept apart from the ioctl
// so that it can be checked on recorded requests.
#include <array>
#include <cstddef>
#include <cstdint>

namespace qm::sgio {

enum class Direction { None, ToDevice, FromDevice };

// One SG_IO request taken from a block: command, direction, where the data
// lies in the block and (for the SCSI block) where the sense goes.
struct Plan {
    std::array<uint8_t, 16> cdb{};
    uint8_t cdbLength = 0;
    Direction direction = Direction::None;
    uint32_t dataOffset = 0;
    uint32_t dataLength = 0;
    uint32_t timeoutMs = 0;
    uint32_t senseOffset = 0;
    uint8_t senseLength = 0;
};

// The ATA_PASS_THROUGH_EX block as an ATA PASS-THROUGH(16) with CK_COND set,
// so that the registers come back in the sense data. False for a block whose
// layout does not hold together (lengths or offsets outside the block).
bool PlanAtaBlock(const uint8_t* block, uint32_t inSize, uint32_t outSize, Plan& plan);
// The SCSI_PASS_THROUGH block: its own command block, direction and lengths.
bool PlanScsiBlock(const uint8_t* block, uint32_t inSize, uint32_t outSize, Plan& plan);

// What SG_IO reported.
struct Outcome {
    uint8_t scsiStatus = 0;
    uint16_t hostStatus = 0;
    uint16_t driverStatus = 0;
    const uint8_t* sense = nullptr;
    size_t senseLength = 0;
    // Bytes of the data phase that did not move (SG_IO's resid).
    int32_t resid = 0;
};

// Error code (errno value) for a request the transport did not complete; 0
// when the device answered.
int TransportError(const Outcome& o);

// Writes error, count, LBA, device and status into the ATA block's
// CurrentTaskFile: from the sense data when it carries them, else only the
// outcome (status and error derived from the SCSI status, every other
// register 0) with *registersReturned false. Returns 0, or an errno value
// when the answer cannot be taken as the drive's.
int ApplyAtaOutcome(uint8_t* block, const Outcome& o, bool* registersReturned = nullptr);
// Copies SCSI status and sense into the SCSI block. Returns 0 or an errno value.
int ApplyScsiOutcome(uint8_t* block, const Plan& plan, const Outcome& o);

}  // namespace qm::sgio
