#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "audio/PcmLevel.h"

namespace {

TEST(PcmLevelTest, FullScaleSineReadsZeroPeakAndMinusThreeRmsAndSilenceReadsTheFloor) {
    std::vector<std::int16_t> sine;
    for (int frame = 0; frame < 44'100; ++frame) {
        const auto sample = static_cast<std::int16_t>(
            std::lround(32767 * std::sin(2 * std::numbers::pi * 1000 * frame / 44'100.0)));
        sine.push_back(sample);
        sine.push_back(sample);
    }
    const PcmLevel loud = measurePcmLevel(sine);
    EXPECT_NEAR(loud.peakDb, 0.0, 0.01);
    EXPECT_NEAR(loud.rmsDb, -3.01, 0.02);

    const PcmLevel quiet = measurePcmLevel(std::vector<std::int16_t>(8820, 0));
    EXPECT_EQ(quiet.peakDb, kLevelFloorDb);
    EXPECT_EQ(quiet.rmsDb, kLevelFloorDb);
}

}  // namespace
