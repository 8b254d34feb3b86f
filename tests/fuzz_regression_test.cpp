// Inputs that once broke a fuzz target's invariants (tests/fuzz/regressions/<target>/), each run
// through the target's own check.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "fuzz/SiteListCheck.h"

namespace {

template <typename Check>
void checkEveryInput(const char* target, Check check) {
    const std::filesystem::path folder = std::filesystem::path(FUZZ_REGRESSION_FOLDER) / target;
    int inputs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::ifstream file(entry.path(), std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(file),
                                std::istreambuf_iterator<char>()};
        try {
            check(bytes);
        } catch (const BrokenInvariant& broken) {
            ADD_FAILURE() << entry.path() << ": " << broken.what;
        }
        ++inputs;
    }
    EXPECT_GT(inputs, 0) << "no inputs in " << folder;
}

TEST(FuzzRegressionTest, SiteList) {
    checkEveryInput("site_list", checkSiteListFile);
}

}  // namespace
