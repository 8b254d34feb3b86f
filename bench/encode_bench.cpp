// One 2-s block of 44.1 kHz stereo through the encoder library, loaded as the program loads
// it. The recorder encodes a block every 2 s, so this must stay far below that.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "audio/AudioError.h"
#include "audio/EncoderLibrary.h"
#include "audio/Mp3Stream.h"
#include "platform/SharedLibrary.h"
#include "platform/SystemNames.h"

namespace {

std::string libraryFolder() {
    if (const char* dir = std::getenv("EXAM_RECORDER_BIN_DIR"); dir != nullptr && *dir != '\0') {
        return dir;
    }
    return programFolder();
}

void EncodeTwoSecondBlock(benchmark::State& state) {
    EncoderLibrary library(libraryFolder(), encoderLibraryFileName);
    std::optional<Mp3Stream> stream;
    try {
        stream.emplace(128, 44100, 44100, library);
    } catch (const AudioError& error) {
        state.SkipWithError(error.what());
        return;
    }
    constexpr std::uint32_t kBlockSamples = 176400;
    std::vector<short> pcm(kBlockSamples);
    for (std::size_t i = 0; i < pcm.size() / 2; ++i) {
        const double t = static_cast<double>(i) / 44100;
        pcm[2 * i] = static_cast<short>(10000 * std::sin(2 * M_PI * 440 * t));
        pcm[2 * i + 1] = static_cast<short>(10000 * std::sin(2 * M_PI * 587 * t));
    }
    std::vector<unsigned char> out(stream->outputBufferSize());

    for (auto _ : state) {
        std::uint32_t written = 0;
        if (stream->encode(pcm.data(), kBlockSamples, out.data(), &written) != BE_ERR_SUCCESSFUL) {
            state.SkipWithError("beEncodeChunk failed");
            break;
        }
        benchmark::DoNotOptimize(written);
    }
    state.SetItemsProcessed(state.iterations() * kBlockSamples / 2);
}

}  // namespace

BENCHMARK(EncodeTwoSecondBlock)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
