// A defect list image (P-list or G-list, ROYL or older) decoded entry by entry.
#include "defects/DefectList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<qm::TDefectEntry> entries;
    (void)qm::DecodeDefectList(data, size, entries);
    return 0;
}
