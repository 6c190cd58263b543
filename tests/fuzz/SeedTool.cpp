// Writes the seed corpora: lumora-fuzz-seeds OUTDIR [HARNESS...] puts each harness's seeds in
// OUTDIR/<harness>/, leaving inputs the fuzzer already added alone.

#include "FuzzSeeds.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTDIR [HARNESS...]\n", argv[0]);
        return 2;
    }
    std::vector<std::string> harnesses(argv + 2, argv + argc);
    if (harnesses.empty())
        harnesses = lumora::fuzz::harnessNames();
    for (const std::string& harness : harnesses) {
        const std::vector<lumora::fuzz::Seed> seeds = lumora::fuzz::seedsFor(harness, LUMORA_SOURCE_DIR);
        if (seeds.empty()) {
            std::fprintf(stderr, "no seeds for harness '%s'\n", harness.c_str());
            return 1;
        }
        const std::filesystem::path dir = std::filesystem::path(argv[1]) / harness;
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);
        for (const lumora::fuzz::Seed& seed : seeds) {
            const std::filesystem::path path = dir / ("seed-" + seed.name);
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            out.write(seed.bytes.data(), std::streamsize(seed.bytes.size()));
            out.close();
            if (!out) {
                std::fprintf(stderr, "cannot write %s\n", path.c_str());
                return 1;
            }
        }
        std::printf("%s: %zu seeds in %s\n", harness.c_str(), seeds.size(), dir.c_str());
    }
    return 0;
}
