// Every fuzz harness on its seeds and on the inputs kept in tests/fuzz/regressions/<harness>/, so inputs that
// once broke a parser keep being checked in ordinary builds, without clang or sanitizers.

#include "FuzzSeeds.h"
#include "FuzzTargets.h"
#include "TestEnvironment.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

using namespace lumora::fuzz;

namespace {

using Harness = int (*)(const std::uint8_t*, std::size_t);

const std::map<std::string, Harness>& harnesses() {
    static const std::map<std::string, Harness> kAll = {
        {"presets", fuzzPresetFile},      {"language", fuzzLanguageFile}, {"settings", fuzzSettings},
#ifdef LUMORA_FUZZ_DECODE
        {"decode", fuzzDecodeProtocol},   {"photos", fuzzPhotoDecoders},
#endif
#ifdef LUMORA_FUZZ_IMAGE_HEADER
        {"imageheader", fuzzImageHeader},
#endif
    };
    return kAll;
}

std::string currentInput;

void recordFailure(const char* what) {
    ADD_FAILURE() << currentInput << ": " << what;
}

void run(Harness harness, const std::string& name, const std::string& bytes) {
    currentInput = name;
    harness(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

class FuzzReplay : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override { setFailureHandler(recordFailure); }
    void TearDown() override { setFailureHandler(nullptr); }
    Harness harness() const { return harnesses().at(GetParam()); }
};

TEST_P(FuzzReplay, SeedsKeepEveryInvariant) {
    const std::vector<Seed> seeds = seedsFor(GetParam(), lumora::test::sourceDir());
    ASSERT_FALSE(seeds.empty()) << "a harness without seeds starts fuzzing from nothing";
    for (const Seed& seed : seeds) {
        EXPECT_FALSE(seed.bytes.empty()) << seed.name;
        run(harness(), "seed " + seed.name, seed.bytes);
    }
}

TEST_P(FuzzReplay, KeptRegressionsStayFixed) {
    const std::filesystem::path dir =
        std::filesystem::path(lumora::test::sourceDir()) / "tests/fuzz/regressions" / GetParam();
    if (!std::filesystem::is_directory(dir))
        GTEST_SKIP() << "no regression inputs kept for " << GetParam();
    int replayed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (!entry.is_regular_file())
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        run(harness(), entry.path().filename().string(), bytes.str());
        ++replayed;
    }
    RecordProperty("replayed", replayed);
}

// Every harness the tree builds is replayed: a new one without an entry here would go unchecked.
TEST(FuzzReplayCoverage, EveryBuiltHarnessIsReplayed) {
    for (const std::string& name : harnessNames())
        EXPECT_EQ(harnesses().count(name), 1u) << name;
}

std::vector<std::string> builtHarnesses() {
    return harnessNames();
}

INSTANTIATE_TEST_SUITE_P(Harnesses, FuzzReplay, ::testing::ValuesIn(builtHarnesses()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

} // namespace
