// Key-sector bytes and checksums: what goes to the drive, checked at the port.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "common/Bytes.h"
#include "common/ScriptedHost.h"
#include "common/Workbench.h"
#include "support/RecordingPortIo.h"
#include "vendor/Modules.h"
#include "vendor/VendorOps.h"
#include "vendor/Vsc.h"

namespace qm {
namespace {

using test::PortAccess;

// Words written to the data port, in order.
std::vector<uint16_t> DataWords(const test::RecordingPortIo& io) {
    std::vector<uint16_t> words;
    for (const PortAccess& a : io.log)
        if (a.kind == PortAccess::WriteWord && a.port == 0x1F0) words.push_back(a.value);
    return words;
}

class KeySector : public ::testing::Test {
  protected:
    void SetUp() override {
        wb.portIo = &io;
        wb.link.basePort = 0x1F0;
        wb.link.controlPort = 0x3F6;
        io.sticky[0x1F7] = 0x50;
        io.sticky[0x1F1] = 0x00;
        io.wordAnswer = 0;  // the status sector reads back as zeros... and counting words
    }
    // Every status-sector read answers this status word and returned value;
    // the drive is ready and offers the sector.
    void AnswerStatus(uint16_t status, uint32_t value) {
        io.log.clear();
        io.sticky[0x1F7] = 0x58;
        std::vector<uint16_t> sector(256, 0);
        sector[12] = status;
        sector[13] = static_cast<uint16_t>(value);
        sector[14] = static_cast<uint16_t>(value >> 16);
        auto next = std::make_shared<size_t>(0);
        io.onRead = [this, sector, next](uint16_t port) {
            if (port == 0x1F0) io.wordAnswer = sector[(*next)++ % 256];
        };
    }
    // Soft resets: SRST set on the control port.
    size_t Resets() const {
        size_t n = 0;
        for (const PortAccess& a : io.log)
            n += a.kind == PortAccess::WriteByte && a.port == 0x3F6 && a.value == 0x0C;
        return n;
    }
    // Commands sent on the data log 0xBF (LBA Low written with 0xBF).
    size_t DataLogCommands() const {
        size_t n = 0;
        for (const PortAccess& a : io.log)
            n += a.kind == PortAccess::WriteByte && a.port == 0x1F3 && a.value == 0xBF;
        return n;
    }
    ScriptedHost host;
    Workbench wb{host};
    test::RecordingPortIo io;
};

TEST_F(KeySector, ModuleReadKeyBytes) {
    SendKey8(wb, 0x08, 1, 0x21, 0, 0, 0, 0, 0);
    const std::vector<uint16_t> words = DataWords(io);
    ASSERT_EQ(words.size(), 256u);
    EXPECT_EQ(words[0], 0x08);
    EXPECT_EQ(words[1], 1);
    EXPECT_EQ(words[2], 0x21);
    for (size_t i = 3; i < 256; ++i) ASSERT_EQ(words[i], 0) << i;
}

TEST_F(KeySector, PowerOnResetAndServoKeys) {
    PowerOnReset(wb, 1);
    std::vector<uint16_t> words = DataWords(io);
    ASSERT_EQ(words.size(), 256u);
    EXPECT_EQ((std::vector<uint16_t>(words.begin(), words.begin() + 8)),
              (std::vector<uint16_t>{0x1C, 1, 0, 0, 0, 0, 0, 0}));

    io.log.clear();
    ServoOperation(wb, 0x12345, 0x13, 0, 1, 0, 0);
    words = DataWords(io);
    ASSERT_GE(words.size(), 8u);
    EXPECT_EQ((std::vector<uint16_t>(words.begin(), words.begin() + 8)),
              (std::vector<uint16_t>{0x11, 3, 0x2345, 0x0001, 3, 1, 0, 0}));
    EXPECT_EQ(Resets(), 0u) << "with limit 0 no reset can happen";
}

TEST_F(KeySector, TimedKeyWriteAndAnExpiredWait) {
    // Ready for the registers, then busy for good.
    AnswerStatus(0, 0);
    io.byteAnswers[0x1F7] = {0x50};
    io.sticky[0x1F7] = 0xD0;
    host.counterStep = 1;
    const uint16_t words[8] = {0x11, 3, 0, 0, 1, 1, 0, 0};
    TimedKeyCommand(wb, words, 1, 5);
    // The 256 key words go out back to back, with no status read between
    // them: the timed wait measures the drive's working time alone.
    size_t first = 0;
    while (first < io.log.size() && io.log[first].kind != PortAccess::WriteWord) ++first;
    ASSERT_LE(first + 256, io.log.size());
    for (size_t i = first; i < first + 256; ++i)
        ASSERT_EQ(io.log[i].kind, PortAccess::WriteWord) << i;
    // The wait expired: the channel was reset and the step marked failed.
    EXPECT_EQ(Resets(), 1u);
    EXPECT_EQ(VendorStatus(wb), kVscTimedOut);
    EXPECT_TRUE(wb.link.status.ERR);
    EXPECT_TRUE(wb.link.error.ABRT);

    // A servo step: the key's expiry, then ten more waits while BSY stays set.
    io.log.clear();
    io.byteAnswers[0x1F7] = {0x50};
    EXPECT_FALSE(ServoOperation(wb, 0, 1, 0, 1, 5, 0));
    EXPECT_EQ(Resets(), 11u);
}

TEST_F(KeySector, StatusWordsAndReturnedValue) {
    // The status sector: word 12 (byte 24) is the status, bytes 26..29 the value.
    auto statusSector = [&](uint16_t status, uint32_t value) {
        io.log.clear();
        io.onRead = nullptr;
        std::vector<uint16_t> sector(256, 0);
        sector[12] = status;
        sector[13] = static_cast<uint16_t>(value);
        sector[14] = static_cast<uint16_t>(value >> 16);
        auto next = std::make_shared<size_t>(0);
        io.onRead = [this, sector, next](uint16_t port) {
            if (port == 0x1F0) io.wordAnswer = sector[(*next)++ % 256];
        };
    };
    io.sticky[0x1F7] = 0x58;  // ready, and the status sector offered (DRQ)
    statusSector(0xFFFF, 7);
    EXPECT_EQ(WriteKeySector(wb), 7u);
    EXPECT_FALSE(wb.link.status.ERR) << "0xFFFF leaves ERR clear";
    EXPECT_FALSE(VscSucceeded(wb)) << "but is no success";

    statusSector(0x0101, 0x12345678);
    EXPECT_EQ(WriteKeySector(wb), 0x12345678u) << "the value is read even on an error";
    EXPECT_TRUE(wb.link.status.ERR);
}

TEST_F(KeySector, NoDataCommandCarriesStaleOrMissingSectors) {
    // A returned value of 256 has a low byte of 0: a data command of 0
    // sectors would ask a 28-bit drive for 256.
    AnswerStatus(0, 0x100);
    ServoOperation(wb, 100, 1, 7, 1, 0, 0);
    ServoOperation(wb, 100, 1, 9, 1, 0, 0);
    EXPECT_EQ(DataLogCommands(), 0u);

    // The idle3 write sends every sector the drive announced, all of them
    // zero but the timer byte, whatever an earlier transfer left behind.
    AnswerStatus(0, 2);
    std::memset(wb.link.Sectors(), 0xEE, 2 * 512);
    WriteIdle3Timer(wb, 0x8A);
    EXPECT_EQ(DataLogCommands(), 1u);
    const std::vector<uint16_t> words = DataWords(io);
    ASSERT_EQ(words.size(), 256u + 512u);  // the key, then two sectors
    EXPECT_EQ(words[256], 0x008A);
    for (size_t i = 257; i < words.size(); ++i) ASSERT_EQ(words[i], 0) << i;
}

TEST(ModuleChecksum, RoylAndOlderImages) {
    ModuleImage royl(512, 0);
    PutU32(royl.data(), 0x4C594F52);
    FixModuleChecksum(royl);
    EXPECT_EQ(GetU32(royl.data() + 12), 0xB3A6B0AEu);
    EXPECT_TRUE(ModuleChecksumValid(royl));

    ModuleImage older(512, 0);
    older[0] = 0x01;
    FixModuleChecksum(older);
    EXPECT_EQ(older[3], 0xFF);
    EXPECT_TRUE(ModuleChecksumValid(older));
    older[100] ^= 1;
    EXPECT_FALSE(ModuleChecksumValid(older));
}

TEST(ModuleImageCheck, RefusesWhatCannotBeAModule) {
    ModuleImage royl(1024, 0);
    PutU32(royl.data(), 0x4C594F52);
    PutU16(royl.data() + 6, 48);
    PutU16(royl.data() + 8, 0x21);
    FixModuleChecksum(royl);
    EXPECT_EQ(CheckModuleImage(royl, 0x21), "");
    EXPECT_NE(CheckModuleImage(royl, 0x22).find("names module 0021"), std::string::npos);
    ModuleImage cut(royl.begin(), royl.begin() + 1000);
    EXPECT_NE(CheckModuleImage(cut, 0x21).find("512-byte"), std::string::npos);
    ModuleImage bad = royl;
    bad[700] = 1;
    EXPECT_NE(CheckModuleImage(bad, 0x21).find("checksum"), std::string::npos);
    ModuleImage header = royl;
    PutU16(header.data() + 6, 4000);
    FixModuleChecksum(header);
    EXPECT_NE(CheckModuleImage(header, 0x21).find("header length"), std::string::npos);
    EXPECT_NE(CheckModuleImage({}, 0x21).find("empty"), std::string::npos);
}

TEST(ModuleFileNames, FourOrTwoDigitsByTheScriptLayout) {
    ScriptedHost host;
    Workbench wb(host);
    EXPECT_EQ(DefaultModuleFileName(wb, 0x28), "~id0028.rpm");
    wb.flags.scriptRoyl = false;
    EXPECT_EQ(DefaultModuleFileName(wb, 0x28), "~id28.rpm");
}

}  // namespace
}  // namespace qm
