#pragma once
// The sample drive's service area: a deterministic generator of a
// self-consistent ROYL drive (4 heads, 24 zones a head, defect lists,
// self-scan script and logs, module 0x21 with the drive's S.M.A.R.T.
// attributes, module directory). The same bytes every run.
#include <cstdint>
#include <string>

#include "vdrive/VirtualDrive.h"

namespace qm {

constexpr int kSampleHeads = 4;
constexpr int kSampleZones = 24;
constexpr uint32_t kSamplePListEntries = 20000;
constexpr uint32_t kSampleGListEntries = 200;
constexpr uint16_t kSampleWedges = 420;
constexpr uint16_t kSampleFamily = 0x6E;

// The layout of the sample's module 0x21 (drive.ini [ServiceArea] Module21).
enum class SampleDrmLayout { Drm2, Std, StdOld };
// "DRM2", "STD" or "STD-OLD" (any case); false for anything else.
bool ParseSampleDrmLayout(const std::string& text, SampleDrmLayout& layout);

// Fills c.serviceArea from the rest of c (capacity, S.M.A.R.T. sectors) and
// adds the media's slow bands to c.timing.
void BuildSampleServiceArea(DriveContent& c, SampleDrmLayout drmLayout = SampleDrmLayout::Drm2);

// Module 0x01, the module directory, built from the modules present. Layout
// (data area of a ROYL image): u16 entry count, then one 16-byte entry per
// module: u8 entry length (16), u8 word count (1), u16 module id, u32 size in
// bytes, u32 service-area address (first sector), u32 flags (bit 0: two copies
// kept).
SaImage BuildModuleDirectory(const ServiceArea& sa);

// A ROYL module image with the given data area, header filled and sealed.
SaImage MakeRoylModule(uint16_t id, const SaImage& data);

}  // namespace qm
