// The S.M.A.R.T. read over ATA and SCSI pass-through to the virtual drive.
#include <gtest/gtest.h>

#include "common/ScriptedHost.h"
#include "common/Workbench.h"
#include "drive/uAtaPass.h"
#include "smart/SmartRead.h"
#include "vdrive/Mount.h"
#include "vdrive/SampleSmart.h"
#include "vdrive/VirtualSeams.h"

#ifndef QM_SMART_DRIVES
#error "QM_SMART_DRIVES names the folder of the test drives"
#endif

namespace qm {
namespace {

class SmartPassThrough : public testing::TestWithParam<TransportMode> {
  protected:
    // Mounts a drive folder ("" for the sample drive) and opens it in the
    // mode under test.
    void Mount(const std::string& folder) {
        std::string error;
        ASSERT_TRUE(MountVirtualDrive(folder, mounted_, error)) << error;
        mounted_.AttachTo(wb_);
        wb_.link.mode = GetParam();
        const DeviceHandle h = OpenDrive(wb_, "/dev/qmvd0");
        ASSERT_NE(h, kInvalidDeviceHandle);
        (GetParam() == TransportMode::AtaPassThrough ? wb_.link.ataHandle : wb_.link.scsiHandle) =
            h;
    }

    ScriptedHost host_;
    Workbench wb_{host_};
    MountedDrive mounted_;
};

TEST_P(SmartPassThrough, SampleDriveIsListedAndGood) {
    Mount("");
    const SmartReadResult r = ReadSmart(wb_);
    EXPECT_EQ(r.verdict, SmartVerdict::Good);
    EXPECT_TRUE(r.thresholdsRead);
    const auto sample = SampleSmartAttributes();
    ASSERT_EQ(r.attributes.size(), sample.size());
    for (size_t i = 0; i < sample.size(); ++i) {
        EXPECT_EQ(r.attributes[i].id, sample[i].id);
        EXPECT_EQ(r.attributes[i].worst, sample[i].worst);
        EXPECT_EQ(r.attributes[i].threshold, sample[i].threshold);
        EXPECT_EQ(r.attributes[i].raw, sample[i].raw);
    }
}

TEST_P(SmartPassThrough, FailingDriveIsBad) {
    Mount(std::string(QM_SMART_DRIVES) + "/failing");
    const SmartReadResult r = ReadSmart(wb_);
    EXPECT_TRUE(r.listed);
    EXPECT_EQ(r.verdict, SmartVerdict::Bad);
}

TEST_P(SmartPassThrough, CraftedDriveDecodesThroughTheTransport) {
    Mount(std::string(QM_SMART_DRIVES) + "/crafted");
    const SmartReadResult r = ReadSmart(wb_);
    EXPECT_EQ(r.verdict, SmartVerdict::Good);
    ASSERT_EQ(r.attributes.size(), 10u);
    EXPECT_EQ(SmartRawText(r.attributes[3].id, r.attributes[3].raw),
              "45/20/38\xB0"
              "C");
    EXPECT_EQ(r.attributes[4].threshold, 7);  // the second 194 keeps its own slot's threshold
    EXPECT_EQ(SmartRawText(r.attributes[6].id, r.attributes[6].raw), "4294967296");
}

TEST_P(SmartPassThrough, DeviceCallFailureIsBad) {
    Mount("");
    // A handle the device layer does not know: every call fails.
    (GetParam() == TransportMode::AtaPassThrough ? wb_.link.ataHandle : wb_.link.scsiHandle) =
        kInvalidDeviceHandle;
    const SmartReadResult r = ReadSmart(wb_);
    EXPECT_FALSE(r.listed);
    EXPECT_EQ(r.verdict, SmartVerdict::Bad);
}

INSTANTIATE_TEST_SUITE_P(Modes, SmartPassThrough,
                         testing::Values(TransportMode::AtaPassThrough,
                                         TransportMode::ScsiPassThrough),
                         [](const auto& info) {
                             return info.param == TransportMode::AtaPassThrough ? "Ata" : "Scsi";
                         });

}  // namespace
}  // namespace qm
