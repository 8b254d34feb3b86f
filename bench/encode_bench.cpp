// One 2-s block of 44.1 kHz stereo through the encoder library, loaded as the program loads
// it. The recorder encodes a block every 2 s, so this must stay far below that.
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "lame_enc.h"

namespace {

namespace fs = std::filesystem;

struct LibraryCloser {
    void operator()(void* handle) const { dlclose(handle); }
};

fs::path libraryPath() {
    if (const char* dir = std::getenv("EXAM_RECORDER_BIN_DIR"); dir != nullptr && *dir != '\0') {
        return fs::path(dir) / "liblame_enc.so";
    }
    return fs::read_symlink("/proc/self/exe").parent_path() / "liblame_enc.so";
}

void EncodeTwoSecondBlock(benchmark::State& state) {
    const std::unique_ptr<void, LibraryCloser> library(
        dlopen(libraryPath().c_str(), RTLD_NOW | RTLD_LOCAL));
    if (!library) {
        state.SkipWithError(dlerror());
        return;
    }
    const auto init =
        reinterpret_cast<decltype(&beInitStream)>(dlsym(library.get(), "beInitStream"));
    const auto encode =
        reinterpret_cast<decltype(&beEncodeChunk)>(dlsym(library.get(), "beEncodeChunk"));
    const auto close =
        reinterpret_cast<decltype(&beCloseStream)>(dlsym(library.get(), "beCloseStream"));
    if (init == nullptr || encode == nullptr || close == nullptr) {
        state.SkipWithError("entry points missing");
        return;
    }

    BE_CONFIG config{};
    config.dwConfig = BE_CONFIG_LAME;
    auto& lhv1 = config.format.LHV1;
    lhv1.dwStructVersion = 1;
    lhv1.dwStructSize = sizeof(BE_CONFIG);
    lhv1.dwSampleRate = lhv1.dwReSampleRate = 44100;
    lhv1.nMode = BE_MP3_MODE_JSTEREO;
    lhv1.dwBitrate = 128;
    lhv1.nPreset = LQP_CBR;
    lhv1.dwMpegVersion = MPEG1;
    lhv1.bPrivate = lhv1.bCopyright = lhv1.bOriginal = lhv1.bNoRes = 1;

    DWORD samples = 0, bufferSize = 0;
    HBE_STREAM stream = 0;
    if (init(&config, &samples, &bufferSize, &stream) != BE_ERR_SUCCESSFUL) {
        state.SkipWithError("beInitStream refused the recorder's configuration");
        return;
    }
    constexpr DWORD kBlockSamples = 176400;
    std::vector<short> pcm(kBlockSamples);
    for (std::size_t i = 0; i < pcm.size() / 2; ++i) {
        const double t = static_cast<double>(i) / 44100;
        pcm[2 * i] = static_cast<short>(10000 * std::sin(2 * M_PI * 440 * t));
        pcm[2 * i + 1] = static_cast<short>(10000 * std::sin(2 * M_PI * 587 * t));
    }
    std::vector<unsigned char> out(bufferSize);

    for (auto _ : state) {
        DWORD written = 0;
        if (encode(stream, kBlockSamples, pcm.data(), out.data(), &written) != BE_ERR_SUCCESSFUL) {
            state.SkipWithError("beEncodeChunk failed");
            break;
        }
        benchmark::DoNotOptimize(written);
    }
    state.SetItemsProcessed(state.iterations() * kBlockSamples / 2);
    close(stream);
}

}  // namespace

BENCHMARK(EncodeTwoSecondBlock)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
