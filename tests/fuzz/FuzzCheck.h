// What the fuzz targets share: how a broken invariant ends the check, a scratch folder, and
// oracles written apart from the code under test.
#pragma once

#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

// A broken invariant ends the check; the fuzz target then aborts, so that libFuzzer keeps the
// input, and a regression test reports it.
struct BrokenInvariant {
    const char* what;
};

inline void require(bool holds, const char* what) {
    if (!holds) {
        throw BrokenInvariant{what};
    }
}

template <typename Check>
int runCheck(Check&& check) {
    try {
        check();
    } catch (const BrokenInvariant& broken) {
        std::fprintf(stderr, "broken invariant: %s\n", broken.what);
        std::abort();
    }
    return 0;
}

// A folder of this process's own, in memory where /dev/shm exists, removed when the run ends.
inline const std::filesystem::path& scratchFolder() {
    static const std::filesystem::path folder = [] {
        std::string pattern = (std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp") +
                              std::string("/exam-recorder-fuzz-XXXXXX");
        require(::mkdtemp(pattern.data()) != nullptr, "scratch folder created");
        std::atexit([] { std::filesystem::remove_all(scratchFolder()); });
        return std::filesystem::path(pattern);
    }();
    return folder;
}

// "SSSS-CCC-sub_KKKKKKK.mp3" read off a template, character by character.
inline bool hasAnswerShape(std::u16string_view name) {
    constexpr std::u16string_view shape = u"####-###-sss_#######.mp3";
    if (name.size() != shape.size()) {
        return false;
    }
    for (std::size_t i = 0; i < shape.size(); ++i) {
        const bool fits = shape[i] == u'#'   ? name[i] >= u'0' && name[i] <= u'9'
                          : shape[i] == u's' ? true
                                             : name[i] == shape[i];
        if (!fits) {
            return false;
        }
    }
    const std::u16string_view subject = name.substr(9, 3);
    return subject == u"eng" || subject == u"nem" || subject == u"fra" || subject == u"isp";
}

inline bool hasAnswerShape(std::string_view name) {
    std::u16string wide;
    for (const char byte : name) {
        wide += static_cast<char16_t>(static_cast<unsigned char>(byte));
    }
    return hasAnswerShape(std::u16string_view(wide));
}

// A KIM number is a six-digit prefix from 1 up, then the check digit that brings the prefix's
// digits, weighted 3, 1, 3, ... from the right, to a multiple of ten.
inline bool isValidKim(long long number) {
    if (number < 10 || number > 9'999'999) {
        return false;
    }
    long long prefix = number / 10;
    int sum = 0;
    for (int fromRight = 0; fromRight < 6; ++fromRight, prefix /= 10) {
        sum += (fromRight % 2 == 0 ? 3 : 1) * static_cast<int>(prefix % 10);
    }
    return number % 10 == (10 - sum % 10) % 10;
}
