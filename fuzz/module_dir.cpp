// The module directory (module 0x01): the ids a backup reads.
#include "fuzz/FuzzInput.h"
#include "vendor/Backup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const qm::ModuleImage directory(data, data + size);
    const auto ids = qm::ParseModuleDirectory(directory);
    if (ids.size() > size) __builtin_trap();  // every id comes from bytes of the image
    return 0;
}
