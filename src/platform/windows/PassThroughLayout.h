#pragma once
// The two pass-through records in the 32-bit layout the drive code builds and
// in the layout a 64-bit Windows storage stack takes, and the conversion
// between them. Only the records' pointer-sized DataBufferOffset differs, but
// it moves every field behind it, so a 64-bit program rewrites the record and
// moves the area behind it (sense, data) before the device call, and undoes
// both afterwards so the caller sees its 32-bit block answered.
//
// No system header here: the conversion is plain byte work and is checked on
// every host. WindowsDeviceIo holds it against the system's own records.
#include <cstdint>
#include <vector>

namespace qm::winlayout {

struct RecordLayout {
    uint32_t size32;     // sizeof the record in a 32-bit build
    uint32_t size64;     // sizeof the record in a 64-bit build
    uint32_t tailShift;  // how far the area behind the record moves; a multiple
                         // of 8, so data the caller aligned stays aligned
};

// ATA_PASS_THROUGH_EX, data directly behind the record.
constexpr RecordLayout kAtaLayout{40, 48, 8};
// SCSI_PASS_THROUGH; the drive code places sense and data behind it by offset.
constexpr RecordLayout kScsiLayout{44, 56, 16};

// Field offsets that differ between the layouts (everything before
// DataBufferOffset is the same in both).
namespace ata {
constexpr uint32_t kLength = 0;
constexpr uint32_t kDataTransferLength = 8;
constexpr uint32_t kCommonEnd = 20;  // fields 0..19 are laid out alike
constexpr uint32_t kDataBufferOffset32 = 20;
constexpr uint32_t kDataBufferOffset64 = 24;  // 8 bytes
constexpr uint32_t kTaskFiles32 = 24;         // PreviousTaskFile, CurrentTaskFile
constexpr uint32_t kTaskFiles64 = 32;
constexpr uint32_t kTaskFilesSize = 16;
}  // namespace ata

namespace scsi {
constexpr uint32_t kLength = 0;
constexpr uint32_t kSenseInfoLength = 7;
constexpr uint32_t kDataTransferLength = 12;
constexpr uint32_t kCommonEnd = 20;
constexpr uint32_t kDataBufferOffset32 = 20;
constexpr uint32_t kDataBufferOffset64 = 24;  // 8 bytes
constexpr uint32_t kSenseInfoOffset32 = 24;
constexpr uint32_t kSenseInfoOffset64 = 32;
constexpr uint32_t kCdb32 = 28;
constexpr uint32_t kCdb64 = 36;
constexpr uint32_t kCdbSize = 16;
}  // namespace scsi

// The layout carried by a device-control code; nullptr for codes whose
// records are the same in both builds (storage device number, property query).
const RecordLayout* LayoutForControlCode(uint32_t code);

// A request in the 64-bit layout: the block and the sizes for the device call.
struct NativeRequest {
    std::vector<uint8_t> block;
    uint32_t inSize = 0;
    uint32_t outSize = 0;
};

// The 64-bit request for a 32-bit block of max(inSize, outSize) bytes, for a
// code that has a layout. False when the block is not a sound 32-bit record:
// a size shorter than the record, a Length other than the 32-bit record size,
// or a data or sense offset that points into the record while its length is
// not zero.
bool ToNative64(uint32_t code, const uint8_t* block, uint32_t inSize, uint32_t outSize,
                NativeRequest& native);

// Writes the answered native block back into the caller's 32-bit block (of
// max(inSize, outSize) bytes): the record in the 32-bit layout, then the area
// behind it. Returns the returned byte count the 32-bit call would have given.
uint32_t FromNative64(uint32_t code, const NativeRequest& native, uint32_t nativeReturned,
                      uint8_t* block, uint32_t inSize, uint32_t outSize);

// Size conversions used above, exposed for the tests.
uint32_t NativeSize(const RecordLayout& layout, uint32_t size32);
uint32_t ReturnedSize32(const RecordLayout& layout, uint32_t nativeReturned);

}  // namespace qm::winlayout
