#include "drive/SatCdb.h"

namespace qm::sat {

std::array<uint8_t, 16> BuildPassThrough16(uint8_t protocol, bool extend, uint8_t flags,
                                           const TaskFile& tf) {
    std::array<uint8_t, 16> c{};
    c[0] = kOpAtaPassThrough16;
    c[1] = static_cast<uint8_t>(((protocol & 0x0F) << 1) | (extend ? 1 : 0));
    c[2] = flags;
    c[3] = tf.prevFeatures;
    c[4] = tf.features;
    c[5] = tf.prevSectorCount;
    c[6] = tf.sectorCount;
    c[7] = tf.prevLbaLow;
    c[8] = tf.lbaLow;
    c[9] = tf.prevLbaMid;
    c[10] = tf.lbaMid;
    c[11] = tf.prevLbaHigh;
    c[12] = tf.lbaHigh;
    c[13] = tf.device;
    c[14] = tf.command;
    c[15] = 0;
    return c;
}

std::array<uint8_t, kAtaStatusReturnLength> BuildStatusDescriptor(const ResultRegisters& r,
                                                                  bool extend) {
    std::array<uint8_t, kAtaStatusReturnLength> d{};
    d[0] = kAtaStatusReturnDescriptor;
    d[1] = 0x0C;  // additional length
    d[2] = extend ? 1 : 0;
    d[3] = r.error;
    d[5] = r.sectorCount;
    d[7] = r.lbaLow;
    d[9] = r.lbaMid;
    d[11] = r.lbaHigh;
    d[12] = r.device;
    d[13] = r.status;
    return d;
}

bool DecodeAtaRegisters(const uint8_t* sense, size_t length, ResultRegisters& out) {
    if (!sense || length < 8) return false;
    const uint8_t code = sense[0] & 0x7F;
    if (code == 0x72 || code == 0x73) {
        // Descriptors follow the 8-byte header; walk them within the stated
        // and the available length.
        size_t end = 8 + static_cast<size_t>(sense[7]);
        if (end > length) end = length;
        size_t pos = 8;
        while (pos + 2 <= end) {
            const size_t len = 2 + static_cast<size_t>(sense[pos + 1]);
            if (sense[pos] == kAtaStatusReturnDescriptor && len >= kAtaStatusReturnLength &&
                pos + kAtaStatusReturnLength <= end) {
                const uint8_t* d = sense + pos;
                out.error = d[3];
                out.sectorCount = d[5];
                out.lbaLow = d[7];
                out.lbaMid = d[9];
                out.lbaHigh = d[11];
                out.device = d[12];
                out.status = d[13];
                return true;
            }
            pos += len;
        }
        return false;
    }
    if (code == 0x70 || code == 0x71) {
        // Fixed format: INFORMATION holds error, status, device, count;
        // COMMAND-SPECIFIC INFORMATION bytes 9..11 hold LBA bits 0..23.
        // They are taken with ASC/ASCQ 00/1D (ATA PASS-THROUGH INFORMATION
        // AVAILABLE), or with the VALID bit, which marks the INFORMATION of
        // an ATA error (libata sets it since it wrote these fields at the
        // right offsets; older kernels did not, and their bytes are no
        // registers).
        if (length < 14) return false;
        const bool ataInfo = sense[12] == kAscAtaInfo && sense[13] == kAscqAtaInfo;
        if (!ataInfo && !(sense[0] & 0x80)) return false;
        out.error = sense[3];
        out.status = sense[4];
        out.device = sense[5];
        out.sectorCount = sense[6];
        out.lbaLow = sense[9];
        out.lbaMid = sense[10];
        out.lbaHigh = sense[11];
        return true;
    }
    return false;
}

int SenseKey(const uint8_t* sense, size_t length) {
    if (!sense || length < 2) return -1;
    const uint8_t code = sense[0] & 0x7F;
    if (code == 0x72 || code == 0x73) return sense[1] & 0x0F;
    if ((code == 0x70 || code == 0x71) && length >= 3) return sense[2] & 0x0F;
    return -1;
}

}  // namespace qm::sat
