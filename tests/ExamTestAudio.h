// Audio and files for the exam recording's tests: captured PCM made up as a steady tone, what
// a recording holds on disk, and a disk that fills up.
#pragma once

#include <sys/resource.h>

#include <cmath>
#include <csignal>
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

// A soft RLIMIT_FSIZE on this process (each ctest test runs in one of its own), with SIGXFSZ
// ignored as the program's main ignores it; both are put back when it goes.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) : previousHandler_(std::signal(SIGXFSZ, SIG_IGN)) {
        set_ = ::getrlimit(RLIMIT_FSIZE, &saved_) == 0;
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        set_ = set_ && ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() {
        if (set_) {
            ::setrlimit(RLIMIT_FSIZE, &saved_);
        }
        std::signal(SIGXFSZ, previousHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    bool isSet() const { return set_; }

private:
    void (*previousHandler_)(int);
    rlimit saved_{};
    bool set_ = false;
};

}  // namespace exam_test
