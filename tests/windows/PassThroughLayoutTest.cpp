// The 32-bit pass-through blocks the drive code builds, converted to the
// records a 64-bit Windows storage stack reads, answered there, and brought
// back. Offsets are written out as numbers on purpose: they are the records'
// published layouts, not the converter's constants.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "common/Bytes.h"
#include "drive/DeviceIo.h"
#include "platform/windows/PassThroughLayout.h"

namespace qm::winlayout {
namespace {

std::vector<uint8_t> Pattern(size_t n, uint8_t seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 7);
    return v;
}

// ATA_PASS_THROUGH_EX, 32-bit, followed by `data` bytes of data.
std::vector<uint8_t> AtaBlock32(uint16_t flags, uint32_t data) {
    std::vector<uint8_t> b(40 + data, 0);
    PutU16(&b[0], 40);
    PutU16(&b[2], flags);
    PutU32(&b[8], data);
    PutU32(&b[12], 5);
    PutU32(&b[20], 40);
    const uint8_t previous[8] = {0x11, 0x12, 0x13, 0x14, 0x15, 0, 0, 0};
    const uint8_t current[8] = {0xD0, 0x01, 0x4F, 0xC2, 0x00, 0xA0, 0xEC, 0};
    std::memcpy(&b[24], previous, 8);
    std::memcpy(&b[32], current, 8);
    return b;
}

// SCSI_PASS_THROUGH, 32-bit, in its 80-byte header, followed by data.
std::vector<uint8_t> ScsiBlock32(uint8_t dataIn, uint32_t data) {
    std::vector<uint8_t> b(80 + data, 0);
    PutU16(&b[0], 44);
    b[4] = 1;   // TargetId
    b[6] = 16;  // CdbLength
    b[7] = 24;  // SenseInfoLength
    b[8] = dataIn;
    PutU32(&b[12], data);
    PutU32(&b[16], 5);
    PutU32(&b[20], 80);
    PutU32(&b[24], 48);
    const uint8_t cdb[16] = {0x85, 0x09, 0x0E, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0xA0, 0xEC, 0};
    std::memcpy(&b[28], cdb, 16);
    return b;
}

TEST(AtaPassThroughLayout, DataInRequestBecomesThe48ByteRecordAndComesBack) {
    std::vector<uint8_t> block = AtaBlock32(0x0B, 512);
    const std::vector<uint8_t> sent = block;

    NativeRequest native;
    ASSERT_TRUE(ToNative64(kIoctlAtaPassThrough, block.data(), 40, 552, native));
    EXPECT_EQ(native.inSize, 48u);
    EXPECT_EQ(native.outSize, 560u);
    ASSERT_EQ(native.block.size(), 560u);
    const uint8_t* n = native.block.data();
    EXPECT_EQ(GetU16(n + 0), 48);  // Length is the native record size
    EXPECT_EQ(GetU16(n + 2), 0x0B);
    EXPECT_EQ(GetU32(n + 8), 512u);
    EXPECT_EQ(GetU32(n + 12), 5u);
    EXPECT_EQ(GetU32(n + 20), 0u);   // alignment padding before the pointer-sized field
    EXPECT_EQ(GetU64(n + 24), 48u);  // data directly behind the native record
    EXPECT_EQ(0, std::memcmp(n + 32, &sent[24], 16));  // previous, current task files

    // The drive answers: result registers and the sector.
    const uint8_t result[8] = {0x00, 0x01, 0x4F, 0xC2, 0x00, 0xA0, 0x50, 0};
    std::memcpy(native.block.data() + 40, result, 8);
    const std::vector<uint8_t> sector = Pattern(512, 3);
    std::memcpy(native.block.data() + 48, sector.data(), 512);

    EXPECT_EQ(FromNative64(kIoctlAtaPassThrough, native, 560, block.data(), 40, 552), 552u);
    EXPECT_EQ(GetU16(&block[0]), 40);
    EXPECT_EQ(GetU32(&block[20]), 40u);
    EXPECT_EQ(0, std::memcmp(&block[0], &sent[0], 32));  // nothing else in front moved
    EXPECT_EQ(0, std::memcmp(&block[32], result, 8));
    EXPECT_EQ(0, std::memcmp(&block[40], sector.data(), 512));
}

TEST(AtaPassThroughLayout, DataOutAndNoDataSizes) {
    std::vector<uint8_t> out = AtaBlock32(0x0D, 1024);
    const std::vector<uint8_t> payload = Pattern(1024, 9);
    std::memcpy(&out[40], payload.data(), payload.size());
    NativeRequest native;
    ASSERT_TRUE(ToNative64(kIoctlAtaPassThrough, out.data(), 40 + 1024, 40, native));
    EXPECT_EQ(native.inSize, 48u + 1024);
    EXPECT_EQ(native.outSize, 48u);
    EXPECT_EQ(0, std::memcmp(native.block.data() + 48, payload.data(), payload.size()));
    EXPECT_EQ(FromNative64(kIoctlAtaPassThrough, native, 48, out.data(), 40 + 1024, 40), 40u);
    EXPECT_EQ(0, std::memcmp(&out[40], payload.data(), payload.size()));

    std::vector<uint8_t> none = AtaBlock32(0x09, 0);
    ASSERT_TRUE(ToNative64(kIoctlAtaPassThrough, none.data(), 40, 40, native));
    EXPECT_EQ(native.inSize, 48u);
    EXPECT_EQ(native.outSize, 48u);
    EXPECT_EQ(native.block.size(), 48u);
}

TEST(ScsiPassThroughLayout, DataInRequestBecomesThe56ByteRecordWithSenseAndDataMoved) {
    std::vector<uint8_t> block = ScsiBlock32(1, 512);
    const std::vector<uint8_t> sent = block;

    NativeRequest native;
    ASSERT_TRUE(ToNative64(kIoctlScsiPassThrough, block.data(), 80, 592, native));
    EXPECT_EQ(native.inSize, 96u);
    EXPECT_EQ(native.outSize, 608u);
    ASSERT_EQ(native.block.size(), 608u);
    const uint8_t* n = native.block.data();
    EXPECT_EQ(GetU16(n + 0), 56);
    EXPECT_EQ(0, std::memcmp(n + 2, &sent[2], 18));  // status .. time-out are where they were
    EXPECT_EQ(GetU32(n + 20), 0u);
    EXPECT_EQ(GetU64(n + 24), 96u);                    // data keeps its 16-byte alignment
    EXPECT_EQ(GetU32(n + 32), 64u);                    // sense
    EXPECT_EQ(0, std::memcmp(n + 36, &sent[28], 16));  // CDB
    EXPECT_EQ(GetU32(n + 52), 0u);

    // The adapter answers CHECK CONDITION with descriptor sense and the data.
    native.block[2] = 0x02;
    const std::vector<uint8_t> sense = Pattern(24, 0x70);
    std::memcpy(native.block.data() + 64, sense.data(), 24);
    const std::vector<uint8_t> sector = Pattern(512, 0x40);
    std::memcpy(native.block.data() + 96, sector.data(), 512);
    PutU32(native.block.data() + 12, 512);

    EXPECT_EQ(FromNative64(kIoctlScsiPassThrough, native, 608, block.data(), 80, 592), 592u);
    EXPECT_EQ(GetU16(&block[0]), 44);
    EXPECT_EQ(block[2], 0x02);
    EXPECT_EQ(GetU32(&block[20]), 80u);
    EXPECT_EQ(GetU32(&block[24]), 48u);
    EXPECT_EQ(0, std::memcmp(&block[28], &sent[28], 16));
    EXPECT_EQ(0, std::memcmp(&block[48], sense.data(), 24));
    EXPECT_EQ(0, std::memcmp(&block[80], sector.data(), 512));
}

TEST(ScsiPassThroughLayout, NoDataRequestStillCarriesTheSenseBack) {
    // Input is the bare record, output the whole 80-byte header.
    std::vector<uint8_t> block = ScsiBlock32(2, 0);
    NativeRequest native;
    ASSERT_TRUE(ToNative64(kIoctlScsiPassThrough, block.data(), 44, 80, native));
    EXPECT_EQ(native.inSize, 56u);
    EXPECT_EQ(native.outSize, 96u);
    ASSERT_EQ(native.block.size(), 96u);

    const std::vector<uint8_t> sense = Pattern(24, 0x72);
    std::memcpy(native.block.data() + 64, sense.data(), 24);
    EXPECT_EQ(FromNative64(kIoctlScsiPassThrough, native, 96, block.data(), 44, 80), 80u);
    EXPECT_EQ(0, std::memcmp(&block[48], sense.data(), 24));

    std::vector<uint8_t> out = ScsiBlock32(0, 512);
    ASSERT_TRUE(ToNative64(kIoctlScsiPassThrough, out.data(), 80 + 512, 80, native));
    EXPECT_EQ(native.inSize, 96u + 512);
    EXPECT_EQ(native.outSize, 96u);
}

TEST(PassThroughLayout, UnansweredRequestsRoundTripByteForByte) {
    // Every byte the caller wrote, reserved fields and the gaps of the SCSI
    // header included, must come back unchanged when the driver changes nothing.
    for (const uint32_t code : {kIoctlAtaPassThrough, kIoctlScsiPassThrough}) {
        const bool ata = code == kIoctlAtaPassThrough;
        const uint32_t header = ata ? 40 : 80;
        std::vector<uint8_t> block = ata ? AtaBlock32(0x0B, 4096) : ScsiBlock32(1, 4096);
        const std::vector<uint8_t> tail = Pattern(block.size() - (ata ? 40 : 44), 0x5A);
        std::memcpy(&block[ata ? 40 : 44], tail.data(), tail.size());
        block[ata ? 7 : 9] = 0xA5;  // a reserved byte in the common part
        const std::vector<uint8_t> sent = block;

        NativeRequest native;
        ASSERT_TRUE(ToNative64(code, block.data(), header, header + 4096, native)) << code;
        std::fill(block.begin(), block.end(), 0xEE);
        const uint32_t returned = native.outSize;
        EXPECT_EQ(FromNative64(code, native, returned, block.data(), header, header + 4096),
                  header + 4096);
        EXPECT_EQ(block, sent) << code;
    }
}

TEST(PassThroughLayout, ReturnedByteCountsMapBack) {
    EXPECT_EQ(NativeSize(kAtaLayout, 40), 48u);
    EXPECT_EQ(NativeSize(kAtaLayout, 41), 49u);
    EXPECT_EQ(NativeSize(kScsiLayout, 44), 56u);
    EXPECT_EQ(NativeSize(kScsiLayout, 45), 61u);  // first byte behind the record moves by 16
    EXPECT_EQ(NativeSize(kScsiLayout, 80), 96u);

    EXPECT_EQ(ReturnedSize32(kAtaLayout, 48), 40u);
    EXPECT_EQ(ReturnedSize32(kAtaLayout, 560), 552u);
    EXPECT_EQ(ReturnedSize32(kAtaLayout, 0), 0u);
    EXPECT_EQ(ReturnedSize32(kScsiLayout, 56), 44u);
    EXPECT_EQ(ReturnedSize32(kScsiLayout, 58), 44u);  // only padding behind the record
    EXPECT_EQ(ReturnedSize32(kScsiLayout, 96), 80u);
    EXPECT_EQ(ReturnedSize32(kScsiLayout, 608), 592u);
    EXPECT_EQ(ReturnedSize32(kScsiLayout, 30), 30u);
}

TEST(PassThroughLayout, RefusesBlocksThatAreNot32BitRecords) {
    NativeRequest native;
    std::vector<uint8_t> ata = AtaBlock32(0x0B, 512);
    EXPECT_FALSE(ToNative64(kIoctlAtaPassThrough, ata.data(), 39, 552, native));  // short input
    EXPECT_FALSE(ToNative64(kIoctlAtaPassThrough, ata.data(), 40, 0, native));    // no output
    PutU16(&ata[0], 48);  // already a native record
    EXPECT_FALSE(ToNative64(kIoctlAtaPassThrough, ata.data(), 40, 552, native));
    PutU16(&ata[0], 40);
    PutU32(&ata[20], 16);  // data offset inside the record
    EXPECT_FALSE(ToNative64(kIoctlAtaPassThrough, ata.data(), 40, 552, native));
    PutU32(&ata[8], 0);  // ... harmless when nothing is transferred
    EXPECT_TRUE(ToNative64(kIoctlAtaPassThrough, ata.data(), 40, 552, native));
    EXPECT_EQ(GetU64(native.block.data() + 24), 16u);

    std::vector<uint8_t> scsi = ScsiBlock32(1, 512);
    PutU32(&scsi[24], 8);  // sense offset inside the record with 24 sense bytes asked for
    EXPECT_FALSE(ToNative64(kIoctlScsiPassThrough, scsi.data(), 80, 592, native));
    scsi[7] = 0;
    EXPECT_TRUE(ToNative64(kIoctlScsiPassThrough, scsi.data(), 80, 592, native));

    // The storage queries have one layout in both builds: nothing to convert.
    EXPECT_EQ(LayoutForControlCode(kIoctlStorageGetDeviceNumber), nullptr);
    EXPECT_EQ(LayoutForControlCode(kIoctlStorageQueryProperty), nullptr);
    EXPECT_FALSE(ToNative64(kIoctlStorageQueryProperty, scsi.data(), 12, 80, native));
}

}  // namespace
}  // namespace qm::winlayout
