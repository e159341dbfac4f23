// S.M.A.R.T. data and threshold sectors: every attribute slot decoded, and
// each row's texts (raw value, flags, health bar, export lines).
#include "fuzz/FuzzInput.h"
#include "smart/SmartData.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qm::SmartSector values{}, thresholds{};
    qm::fuzz::CopyInto(values.data(), values.size(), data, size);
    if (size > values.size())
        qm::fuzz::CopyInto(thresholds.data(), thresholds.size(), data + values.size(),
                           size - values.size());
    for (const qm::SmartAttribute& a : qm::DecodeSmartAttributes(values, thresholds)) {
        const qm::SmartRow row = qm::MakeSmartRow(a);
        (void)qm::SmartExportLine(row);
        (void)qm::SmartExportRawLine(row);
        for (int c = 0; c < 8; ++c)
            (void)qm::SmartCellStyleFor(row, static_cast<qm::SmartColumn>(c));
    }
    return 0;
}
