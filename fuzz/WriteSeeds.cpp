// Writes the seed corpus of every fuzz target: OUT_DIR/<target>/<name>.
//   qm_fuzz_seeds SOURCE_DIR OUT_DIR
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "fuzz/Seeds.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s SOURCE_DIR OUT_DIR\n", argv[0]);
        return 2;
    }
    namespace fs = std::filesystem;
    size_t n = 0;
    for (const auto& s : qm::fuzz::BuildSeeds(argv[1])) {
        const fs::path dir = fs::path(argv[2]) / s.target;
        fs::create_directories(dir);
        std::ofstream f(dir / s.name, std::ios::binary);
        f.write(reinterpret_cast<const char*>(s.bytes.data()),
                static_cast<std::streamsize>(s.bytes.size()));
        if (!f) {
            std::fprintf(stderr, "cannot write %s\n", (dir / s.name).string().c_str());
            return 1;
        }
        ++n;
    }
    std::printf("%zu seeds written to %s\n", n, argv[2]);
    return 0;
}
