// A module image as read from a file or the drive: layout, data offset, id,
// the write checks and the checksum (checked, then fixed and checked again).
#include "fuzz/FuzzInput.h"
#include "vendor/Modules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qm::fuzz::FuzzInput in(data, size);
    const uint16_t id = in.U16();
    qm::ModuleImage image = in.Rest();
    (void)qm::IsRoylImage(image);
    (void)qm::ModuleDataOffset(image);
    (void)qm::ModuleIdOf(image);
    (void)qm::CheckModuleImage(image, id);
    const bool valid = qm::ModuleChecksumValid(image);
    const qm::ModuleImage before = image;
    qm::FixModuleChecksum(image);
    if (image.size() != before.size()) __builtin_trap();  // a fix never resizes
    if (valid && image != before) __builtin_trap();       // nor changes a valid image
    return 0;
}
