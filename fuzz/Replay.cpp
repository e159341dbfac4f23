// Runs the fuzz targets without libFuzzer: every seed built from the sample
// drive, the empty and a one-byte input, then every file kept under fuzz/regressions/<target>/
// (inputs that once crashed a decoder), each fed to its target's entry function.
//   qm_fuzz_replay SOURCE_DIR [TARGET]        all targets, or one
//   qm_fuzz_replay --run TARGET FILE...       the given inputs
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "fuzz/Seeds.h"
#include "fuzz/Targets.h"

namespace fs = std::filesystem;

namespace {

const qm::fuzz::Target* FindTarget(const std::string& name) {
    for (const auto& t : qm::fuzz::kTargets)
        if (name == t.name) return &t;
    return nullptr;
}

void Run(const qm::fuzz::Target& t, const std::vector<uint8_t>& bytes) {
    // A copy of exactly the input's size, so a read past its end is caught.
    std::vector<uint8_t> copy(bytes);
    t.entry(copy.empty() ? nullptr : copy.data(), copy.size());
}

std::vector<uint8_t> FileBytes(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "--run") == 0) {
        const auto* t = FindTarget(argv[2]);
        if (!t) {
            std::fprintf(stderr, "no fuzz target %s\n", argv[2]);
            return 2;
        }
        for (int i = 3; i < argc; ++i) Run(*t, FileBytes(argv[i]));
        return 0;
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s SOURCE_DIR [TARGET] | --run TARGET FILE...\n", argv[0]);
        return 2;
    }
    const std::string source = argv[1];
    const std::string only = argc > 2 ? argv[2] : "";
    if (!only.empty() && !FindTarget(only)) {
        std::fprintf(stderr, "no fuzz target %s\n", only.c_str());
        return 2;
    }
    size_t seeds = 0, regressions = 0;
    for (const auto& s : qm::fuzz::BuildSeeds(source)) {
        if (!only.empty() && s.target != only) continue;
        const auto* t = FindTarget(s.target);
        if (!t) {
            std::fprintf(stderr, "seed %s names no target %s\n", s.name.c_str(), s.target.c_str());
            return 1;
        }
        Run(*t, s.bytes);
        ++seeds;
    }
    for (const auto& t : qm::fuzz::kTargets) {
        if (!only.empty() && only != t.name) continue;
        // The shortest inputs: nothing at all, one byte.
        Run(t, {});
        Run(t, {0xFF});
        std::error_code ec;
        for (const auto& e :
             fs::directory_iterator(fs::path(source) / "fuzz/regressions" / t.name, ec)) {
            if (!e.is_regular_file()) continue;
            Run(t, FileBytes(e.path()));
            ++regressions;
        }
    }
    std::printf("%zu seeds and %zu regression inputs ran\n", seeds, regressions);
    return 0;
}
