#include "audio/PcmLevel.h"

#include <algorithm>
#include <cmath>

namespace {

float toDb(double fraction) {
    if (fraction <= 0) {
        return kLevelFloorDb;
    }
    return std::max(kLevelFloorDb, static_cast<float>(20 * std::log10(fraction)));
}

}  // namespace

PcmLevel measurePcmLevel(std::span<const std::int16_t> samples) {
    if (samples.empty()) {
        return {};
    }
    int peak = 0;
    double sumOfSquares = 0;
    for (const std::int16_t sample : samples) {
        // In int, so the most negative sample has a magnitude too.
        const int value = sample;
        peak = std::max(peak, value < 0 ? -value : value);
        sumOfSquares += static_cast<double>(value) * value;
    }
    constexpr double kFullScale = 32768.0;
    const double meanSquare = sumOfSquares / static_cast<double>(samples.size());
    return {toDb(peak / kFullScale), toDb(std::sqrt(meanSquare) / kFullScale)};
}
