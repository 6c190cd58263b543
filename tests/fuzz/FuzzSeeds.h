#pragma once
// Starting inputs of each fuzz harness: the shipped files and documents, frames and images made by our own
// writers. The seed tool writes them as the initial corpora; the replay test runs them through the harnesses.

#include <string>
#include <vector>

namespace lumora::fuzz {

struct Seed {
    std::string name;
    std::string bytes;
};

// Harnesses built in this tree, by corpus folder name ("presets", "language", "settings", "decode",
// "photos", "imageheader").
std::vector<std::string> harnessNames();

// Seeds of one harness; shipped files are read from the source tree at `sourceDir`.
std::vector<Seed> seedsFor(const std::string& harness, const std::string& sourceDir);

} // namespace lumora::fuzz
