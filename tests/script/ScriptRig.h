#pragma once
// What the script tests share: script images built to order, an editor
// holding a list of steps with chosen gotos, and the sample drive (or a
// drive folder) behind the ATA pass-through seam.
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "common/Bytes.h"
#include "common/ScriptedHost.h"
#include "common/Workbench.h"
#include "drive/DeviceIo.h"
#include "script/ScriptEditor.h"
#include "vdrive/VirtualDrive.h"
#include "vdrive/VirtualSeams.h"

namespace qm::test {

struct StepSpec {
    uint16_t id;
    uint16_t success = 0, error = 0, abort = 0;
    uint16_t errorCode = kStepNotRun;
};

// A script module of the layout with the steps (record size field as given,
// 0 for the default), then junk after the terminating step.
inline ModuleImage ScriptImage(ScriptLayout layout, const std::vector<StepSpec>& steps,
                               uint16_t recordField = 0, size_t sectors = 4, uint16_t current = 1,
                               uint32_t ptm = 0) {
    const ScriptLayoutInfo& info = LayoutInfo(layout);
    ModuleImage m(sectors * 512, 0);
    if (layout == ScriptLayout::Royl) {
        PutU32(m.data(), 0x4C594F52);
        PutU16(m.data() + 6, 0x30);
        PutU16(m.data() + 8, 0x28);
    } else {
        m[4] = 0x28;
        if (layout == ScriptLayout::Legacy30) m[6] = '3', m[7] = '0';
    }
    uint8_t* h = m.data() + info.headerOffset;
    PutU16(h, current);
    PutU16(h + 2, recordField);
    if (layout != ScriptLayout::LegacyShort) PutU32(h + 4, ptm);
    const size_t rs = recordField ? recordField : info.defaultRecordSize;
    size_t pos = info.firstStepOffset;
    for (const StepSpec& s : steps) {
        uint8_t* r = m.data() + pos;
        PutU16(r, s.id);
        PutU16(r + 2, 1);
        PutU16(r + kStepGotoSuccess, s.success);
        PutU16(r + kStepGotoError, s.error);
        PutU16(r + kStepGotoAbort, s.abort);
        PutU16(r + info.errorCodeOffset, s.errorCode);
        pos += rs;
    }
    for (size_t i = pos + 2; i < m.size(); ++i) m[i] = static_cast<uint8_t>(i * 7 + 1);
    FixModuleChecksum(m);
    return m;
}

inline std::vector<uint16_t> Gotos(const ScriptStep& s) {
    return {StepU16(s.record, kStepGotoSuccess), StepU16(s.record, kStepGotoError),
            StepU16(s.record, kStepGotoAbort)};
}

inline std::vector<uint16_t> Ids(const ScriptEditor& ed) {
    std::vector<uint16_t> ids;
    for (const ScriptStep& s : ed.steps) ids.push_back(s.TestId());
    return ids;
}

// A bench with the given drive (the sample drive by default) on the ATA
// pass-through seam, a fake clock, the repository's data files and a journal
// folder of its own.
struct DriveRig {
    explicit DriveRig(DriveContent content = VirtualDrive::SampleContent()) {
        drive = std::make_unique<VirtualDrive>(std::move(content));
        auto now = std::make_shared<int64_t>(0);
        drive->SetClock([now] { return *now += 1'000'000; });
        auto device = std::make_unique<VirtualDeviceIo>(*drive);
        device->sleepNanos = [](int64_t) {};
        deviceIo = std::move(device);
        wb.deviceIo = deviceIo.get();
        wb.link.mode = TransportMode::AtaPassThrough;
        wb.link.ataHandle = deviceIo->Open("/dev/qmvd0");
        wb.programFolder = QM_DATA_DIR;
        std::random_device rd;
        dataDir = (std::filesystem::temp_directory_path() /
                   ("qm-script-" + std::to_string(rd()) + std::to_string(rd())))
                      .string();
        wb.dataFolder = dataDir;
    }
    ~DriveRig() {
        std::error_code ec;
        std::filesystem::remove_all(dataDir, ec);
    }
    SaImage DriveModule(uint16_t id) const {
        const ServiceArea sa = drive->ServiceAreaNow();
        const SaImage* m = sa.Module(id);
        return m ? *m : SaImage();
    }

    ScriptedHost host;
    Workbench wb{host};
    std::unique_ptr<VirtualDrive> drive;
    std::unique_ptr<DeviceIo> deviceIo;
    std::string dataDir;
};

}  // namespace qm::test
