#pragma once
// Seed inputs for every fuzz target, built from the sample drive (its
// IDENTIFY and S.M.A.R.T. sectors, modules and tables in each module 0x21
// layout) and the repository's data files and test fixtures.
#include <cstdint>
#include <string>
#include <vector>

namespace qm::fuzz {

struct Seed {
    std::string target;
    std::string name;
    std::vector<uint8_t> bytes;
};

// `sourceDir` is the repository's top folder (data/ and tests/fixtures/).
std::vector<Seed> BuildSeeds(const std::string& sourceDir);

}  // namespace qm::fuzz
