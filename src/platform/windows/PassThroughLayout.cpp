#include "platform/windows/PassThroughLayout.h"

#include <algorithm>
#include <cstring>

#include "common/Bytes.h"
#include "drive/DeviceIo.h"

namespace qm::winlayout {

namespace {

// An offset into the caller's block moves with the area behind the record;
// one that points into the record is only acceptable when nothing is
// transferred through it (the storage stack ignores it then).
bool MoveOffsetOut(const RecordLayout& layout, uint32_t offset32, uint32_t length,
                   uint64_t& offset64) {
    if (offset32 >= layout.size32) {
        offset64 = uint64_t{offset32} + layout.tailShift;
        return true;
    }
    offset64 = offset32;
    return length == 0;
}

uint32_t MoveOffsetBack(const RecordLayout& layout, uint64_t offset64) {
    const uint64_t tailStart = uint64_t{layout.size32} + layout.tailShift;
    return static_cast<uint32_t>(offset64 >= tailStart ? offset64 - layout.tailShift : offset64);
}

}  // namespace

const RecordLayout* LayoutForControlCode(uint32_t code) {
    if (code == kIoctlAtaPassThrough) return &kAtaLayout;
    if (code == kIoctlScsiPassThrough) return &kScsiLayout;
    return nullptr;
}

uint32_t NativeSize(const RecordLayout& layout, uint32_t size32) {
    if (size32 < layout.size32) return size32;
    if (size32 == layout.size32) return layout.size64;
    return size32 + layout.tailShift;
}

uint32_t ReturnedSize32(const RecordLayout& layout, uint32_t nativeReturned) {
    if (nativeReturned >= layout.size32 + layout.tailShift)
        return nativeReturned - layout.tailShift;
    if (nativeReturned >= layout.size64) return layout.size32;
    return std::min(nativeReturned, layout.size32);
}

bool ToNative64(uint32_t code, const uint8_t* block, uint32_t inSize, uint32_t outSize,
                NativeRequest& native) {
    const RecordLayout* layout = LayoutForControlCode(code);
    if (!layout || !block) return false;
    if (inSize < layout->size32 || outSize < layout->size32) return false;
    if (GetU16(block) != layout->size32) return false;
    const uint32_t size32 = std::max(inSize, outSize);

    native.inSize = NativeSize(*layout, inSize);
    native.outSize = NativeSize(*layout, outSize);
    native.block.assign(std::max(native.inSize, native.outSize), 0);
    uint8_t* out = native.block.data();

    std::memcpy(out, block, ata::kCommonEnd);  // the same 20 bytes in both records
    PutU16(out, static_cast<uint16_t>(layout->size64));
    if (layout == &kAtaLayout) {
        uint64_t data = 0;
        if (!MoveOffsetOut(*layout, GetU32(block + ata::kDataBufferOffset32),
                           GetU32(block + ata::kDataTransferLength), data))
            return false;
        PutU64(out + ata::kDataBufferOffset64, data);
        std::memcpy(out + ata::kTaskFiles64, block + ata::kTaskFiles32, ata::kTaskFilesSize);
    } else {
        uint64_t data = 0;
        uint64_t sense = 0;
        if (!MoveOffsetOut(*layout, GetU32(block + scsi::kDataBufferOffset32),
                           GetU32(block + scsi::kDataTransferLength), data) ||
            !MoveOffsetOut(*layout, GetU32(block + scsi::kSenseInfoOffset32),
                           block[scsi::kSenseInfoLength], sense))
            return false;
        PutU64(out + scsi::kDataBufferOffset64, data);
        PutU32(out + scsi::kSenseInfoOffset64, static_cast<uint32_t>(sense));
        std::memcpy(out + scsi::kCdb64, block + scsi::kCdb32, scsi::kCdbSize);
    }
    // A block of the bare record has no tail: its end may lie past the
    // native record, where no pointer may be formed for a copy.
    if (size32 > layout->size32)
        std::memcpy(out + layout->size32 + layout->tailShift, block + layout->size32,
                    size32 - layout->size32);
    return true;
}

uint32_t FromNative64(uint32_t code, const NativeRequest& native, uint32_t nativeReturned,
                      uint8_t* block, uint32_t inSize, uint32_t outSize) {
    const RecordLayout* layout = LayoutForControlCode(code);
    if (!layout || !block || native.block.size() < layout->size64) return 0;
    const uint32_t size32 = std::max(inSize, outSize);
    if (size32 < layout->size32) return 0;
    const uint8_t* in = native.block.data();

    std::memcpy(block, in, ata::kCommonEnd);
    PutU16(block, static_cast<uint16_t>(layout->size32));
    if (layout == &kAtaLayout) {
        PutU32(block + ata::kDataBufferOffset32,
               MoveOffsetBack(*layout, GetU64(in + ata::kDataBufferOffset64)));
        std::memcpy(block + ata::kTaskFiles32, in + ata::kTaskFiles64, ata::kTaskFilesSize);
    } else {
        PutU32(block + scsi::kDataBufferOffset32,
               MoveOffsetBack(*layout, GetU64(in + scsi::kDataBufferOffset64)));
        PutU32(block + scsi::kSenseInfoOffset32,
               MoveOffsetBack(*layout, GetU32(in + scsi::kSenseInfoOffset64)));
        std::memcpy(block + scsi::kCdb32, in + scsi::kCdb64, scsi::kCdbSize);
    }
    const size_t tailStart = size_t{layout->size32} + layout->tailShift;
    if (native.block.size() > tailStart) {
        const size_t n = std::min<size_t>(size32 - layout->size32, native.block.size() - tailStart);
        std::memcpy(block + layout->size32, in + tailStart, n);
    }
    return std::min(ReturnedSize32(*layout, nativeReturned), outSize);
}

}  // namespace qm::winlayout
