// qm_m21_fixtures DIR: the crafted module 0x21 files the command-line tests
// and the benchmarks use.
//   DIR/gapped.rpm        DRM2, ROYL header: an empty slot before a used one,
//                         a hidden attribute
//   DIR/std-old.rpm       the same behind the older 24-byte header, STD widths
//   DIR/gapped-drive/     a drive folder holding gapped.rpm as its module 0x21
//   DIR/big.rpm           12 MiB whose section 2 holds 8 MiB with 100 000 "ROYL"
//   DIR/big-one.rpm       the same with a single "ROYL"
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "module21/DrmImages.h"

namespace {

using namespace qm::testing;

bool Save(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(f);
}

// Pseudo-random bytes without 'R', with `matches` "ROYL" evenly spread.
std::vector<uint8_t> Haystack(size_t size, size_t matches) {
    std::vector<uint8_t> b(size);
    uint64_t x = 0x9E3779B97F4A7C15ull;
    for (size_t i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        b[i] = static_cast<uint8_t>(x);
        if (b[i] == 'R') b[i] = 'r';
    }
    for (size_t i = 0; i < matches; ++i) std::memcpy(&b[i * (size / matches) + 64], "ROYL", 4);
    return b;
}

std::vector<uint8_t> Big(size_t matches) {
    std::vector<uint8_t> section2 = Haystack(8u << 20, matches);
    qm::PutU16(section2.data(), 0x0100);  // a plain section: version, no subsections
    std::memset(section2.data() + 2, 0, 6);
    DrmImage d(true, 0x0500);
    d.Add(PlainSection(0x0100, 64)).Add(std::move(section2));
    for (int n = 3; n <= 9; ++n) d.Add(PlainSection(0x0100, 64));
    d.Add(AttrSection(true, GappedSlots()));
    return d.Build(12u << 20);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: qm_m21_fixtures DIR\n");
        return 2;
    }
    namespace fs = std::filesystem;
    const fs::path dir = argv[1];
    fs::create_directories(dir / "gapped-drive" / "modules");
    const auto gapped = TenSections(true, 0x0500, true).Build();
    bool ok = Save(dir / "gapped.rpm", gapped) &&
              Save(dir / "std-old.rpm", TenSections(false, 0x0100, false).Build()) &&
              Save(dir / "gapped-drive" / "modules" / "~id0021.rpm", gapped) &&
              Save(dir / "big.rpm", Big(100000)) && Save(dir / "big-one.rpm", Big(1));
    std::ofstream(dir / "gapped-drive" / "drive.ini")
        << "[Identity]\nModel=WDC WD5000AAKS-00V1A0\n";
    return ok ? 0 : 1;
}
