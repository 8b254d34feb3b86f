// Audio and files for the exam recording's tests: captured PCM made up as a steady tone, and
// what a recording holds on disk.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace exam_test {

constexpr std::size_t kBlockBytes = 352'800;  // a full capture buffer: 2 s
constexpr std::size_t kBytesPerFrame = 4;

// `frames` stereo frames of a 440 Hz tone at `amplitude` (full scale 1.0), continuing from
// frame `first`, as the capture layer hands them over.
inline std::vector<std::byte> tone(std::size_t frames, std::size_t first = 0,
                                   double amplitude = 0.3) {
    std::vector<std::byte> bytes(frames * kBytesPerFrame);
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(first + i) / 44'100;
        const auto sample =
            static_cast<std::int16_t>(amplitude * 32767 * std::sin(2 * M_PI * 440 * t));
        std::memcpy(&bytes[i * kBytesPerFrame], &sample, 2);
        std::memcpy(&bytes[i * kBytesPerFrame + 2], &sample, 2);
    }
    return bytes;
}

inline std::vector<unsigned char> contentsOf(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

}  // namespace exam_test
