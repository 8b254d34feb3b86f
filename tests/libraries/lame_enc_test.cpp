// The encoder library as the program uses it: loaded by file name at run time, entry points
// looked up by name, fed 2-s blocks of 44.1 kHz stereo whose outputs are appended to a file.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "lame_enc.h"
#include "support/Mp3Inspector.h"

namespace {

namespace fs = std::filesystem;

constexpr DWORD kBlockSamples = 176400;  // 2 s of 44.1 kHz stereo, both channels counted
constexpr DWORD kRecorderOutputArea = 176400;
constexpr std::size_t kGuardBytes = 4096;
constexpr unsigned char kGuard = 0xA5;

fs::path libraryPath() {
    if (const char* dir = std::getenv("EXAM_RECORDER_BIN_DIR"); dir != nullptr && *dir != '\0') {
        return fs::path(dir) / "liblame_enc.so";
    }
    const fs::path exeDir = fs::read_symlink("/proc/self/exe").parent_path();
    const fs::path beside = exeDir / "liblame_enc.so";
    return fs::exists(beside) ? beside : exeDir.parent_path() / "bin" / "liblame_enc.so";
}

struct LibraryCloser {
    void operator()(void* handle) const { dlclose(handle); }
};

struct EncoderLibrary {
    EncoderLibrary() : handle(dlopen(libraryPath().c_str(), RTLD_NOW | RTLD_LOCAL)) {
        if (!handle) {
            error = dlerror();
            return;
        }
        bind(init, "beInitStream");
        bind(encode, "beEncodeChunk");
        bind(deinit, "beDeinitStream");
        bind(close, "beCloseStream");
        bind(writeVbrHeader, "beWriteVBRHeader");
        bind(writeInfoTag, "beWriteInfoTag");
    }

    template <typename Function>
    void bind(Function& function, const char* name) {
        function = reinterpret_cast<Function>(dlsym(handle.get(), name));
        if (function == nullptr) {
            error += std::string(" missing ") + name;
        }
    }

    std::unique_ptr<void, LibraryCloser> handle;
    std::string error;
    decltype(&beInitStream) init = nullptr;
    decltype(&beEncodeChunk) encode = nullptr;
    decltype(&beDeinitStream) deinit = nullptr;
    decltype(&beCloseStream) close = nullptr;
    decltype(&beWriteVBRHeader) writeVbrHeader = nullptr;
    decltype(&beWriteInfoTag) writeInfoTag = nullptr;
};

const EncoderLibrary& lib() {
    static const EncoderLibrary library;
    return library;
}

class LameEncTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(lib().error.empty()) << libraryPath() << lib().error; }
};
class LameEncConfig : public LameEncTest {};
class LameEncStream : public LameEncTest {};
class LameEncHandle : public LameEncTest {};

// What the recorder sends.
BE_CONFIG recorderConfig(DWORD bitrate = 128) {
    BE_CONFIG config{};
    config.dwConfig = BE_CONFIG_LAME;
    auto& lhv1 = config.format.LHV1;
    lhv1.dwStructVersion = 1;
    lhv1.dwStructSize = sizeof(BE_CONFIG);
    lhv1.dwSampleRate = lhv1.dwReSampleRate = 44100;
    lhv1.nMode = BE_MP3_MODE_JSTEREO;
    lhv1.dwBitrate = bitrate;
    lhv1.nPreset = LQP_CBR;
    lhv1.dwMpegVersion = bitrate > 32 ? MPEG1 : MPEG2;
    lhv1.bPrivate = lhv1.bCopyright = lhv1.bOriginal = lhv1.bNoRes = 1;
    return config;
}

std::vector<short> sine(std::size_t sampleFrames) {
    std::vector<short> pcm(sampleFrames * 2);
    for (std::size_t i = 0; i < sampleFrames; ++i) {
        pcm[2 * i] = static_cast<short>(12000 * std::sin(2 * M_PI * 440.0 * i / 44100));
        pcm[2 * i + 1] = static_cast<short>(12000 * std::sin(2 * M_PI * 660.0 * i / 44100));
    }
    return pcm;
}

// A stream with an output area exactly as large as reported, followed by a guard that must
// survive every call.
class TestStream {
public:
    explicit TestStream(BE_CONFIG config) {
        result = lib().init(&config, &samples, &bufferSize, &handle);
        area_.resize(bufferSize + kGuardBytes);
    }
    ~TestStream() {
        if (handle != 0) {
            lib().close(handle);
        }
    }
    TestStream(const TestStream&) = delete;
    TestStream& operator=(const TestStream&) = delete;

    BE_ERR encode(std::span<short> pcm, std::vector<unsigned char>* out) {
        return call(out, [&](DWORD* written) {
            return lib().encode(handle, static_cast<DWORD>(pcm.size()), pcm.data(), area_.data(),
                                written);
        });
    }
    BE_ERR finish(std::vector<unsigned char>* out) {
        return call(out,
                    [&](DWORD* written) { return lib().deinit(handle, area_.data(), written); });
    }

    BE_ERR result = ~0u;
    HBE_STREAM handle = 0;
    DWORD samples = 0;
    DWORD bufferSize = 0;

private:
    BE_ERR call(std::vector<unsigned char>* out, const std::function<BE_ERR(DWORD*)>& encoder) {
        std::fill(area_.begin(), area_.end(), kGuard);
        DWORD written = ~0u;
        const BE_ERR err = encoder(&written);
        EXPECT_LE(written, bufferSize);
        EXPECT_TRUE(std::all_of(area_.begin() + bufferSize, area_.end(), [](unsigned char b) {
            return b == kGuard;
        })) << "wrote past the reported output size";
        out->assign(area_.begin(), area_.begin() + std::min(written, bufferSize));
        return err;
    }

    std::vector<unsigned char> area_;
};

struct Recording {
    std::vector<unsigned char> bytes;                // the file, as appended block by block
    std::vector<std::vector<unsigned char>> blocks;  // each 2-s block's output
};

Recording record(std::vector<short> pcm, const BE_CONFIG& config = recorderConfig()) {
    Recording recording;
    TestStream stream(config);
    EXPECT_EQ(stream.result, BE_ERR_SUCCESSFUL);
    std::vector<unsigned char> out;
    for (std::size_t at = 0; at < pcm.size(); at += kBlockSamples) {
        const std::size_t count = std::min<std::size_t>(kBlockSamples, pcm.size() - at);
        EXPECT_EQ(stream.encode(std::span(pcm).subspan(at, count), &out), BE_ERR_SUCCESSFUL);
        recording.blocks.push_back(out);
        recording.bytes.insert(recording.bytes.end(), out.begin(), out.end());
    }
    EXPECT_EQ(stream.finish(&out), BE_ERR_SUCCESSFUL);
    recording.bytes.insert(recording.bytes.end(), out.begin(), out.end());
    return recording;
}

// Reports the first frame that is not MPEG-1 Layer III, 44.1 kHz joint stereo at `bitrate`
// with the recorder's header bits, or that borrows bytes from an earlier frame.
void expectRecorderFrames(const mp3::Stream& stream, int bitrate) {
    ASSERT_TRUE(stream.error.empty()) << stream.error;
    ASSERT_FALSE(stream.frames.empty());
    EXPECT_TRUE(stream.framesCoverInput()) << "junk, a tag or a partial frame in the stream";
    for (std::size_t i = 0; i < stream.frames.size(); ++i) {
        const mp3::Frame& f = stream.frames[i];
        const bool ok = f.version == mp3::MpegVersion::Mpeg1 && f.layer == 3 &&
                        f.sampleRate == 44100 && f.mode == mp3::ChannelMode::JointStereo &&
                        f.bitrateKbps == bitrate && f.privateBit && f.copyright && f.original &&
                        !f.crc && f.mainDataBegin == 0;
        if (!ok) {
            ADD_FAILURE() << "frame " << i << ": version " << static_cast<int>(f.version)
                          << " layer " << f.layer << " rate " << f.sampleRate << " mode "
                          << static_cast<int>(f.mode) << " " << f.bitrateKbps << " kbit/s"
                          << " main_data_begin " << f.mainDataBegin;
            return;
        }
    }
}

void expectRecorderStream(const Recording& recording, std::size_t inputFrames) {
    EXPECT_FALSE(mp3::hasTagFrame(recording.bytes));
    const mp3::Stream whole = mp3::inspect(recording.bytes);
    expectRecorderFrames(whole, 128);

    // libmp3lame puts 576 samples of delay in front. At the end it pads at least one granule
    // (576), which covers the decoder's 528 + 1 samples of overlap, then rounds up to a
    // whole frame of 1152.
    constexpr std::uint64_t encoderDelay = 576, decoderDelay = 529, granule = 576, frame = 1152;
    EXPECT_GE(whole.decodedSamples, inputFrames + encoderDelay + decoderDelay);
    EXPECT_LE(whole.decodedSamples, inputFrames + encoderDelay + granule + frame - 1);

    // Answer files are byte slices of the recording, so each block must stand alone.
    for (const auto& block : recording.blocks) {
        expectRecorderFrames(mp3::inspect(block), 128);
    }
}

struct TempDir {
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "lame_enc_test.XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            path = pattern;
        }
    }
    ~TempDir() {
        if (!path.empty()) {
            fs::remove_all(path);
        }
    }
    fs::path path;
};

std::vector<unsigned char> readFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

TEST_F(LameEncConfig, ReadsFieldsAtTheirPublishedOffsets) {
    // Laid out by byte offset, not through the header, so a shifted field shows.
    unsigned char raw[331] = {};
    auto put = [&](std::size_t offset, uint32_t value) { std::memcpy(raw + offset, &value, 4); };
    put(0, BE_CONFIG_LAME);
    put(4, 1);       // dwStructVersion
    put(8, 331);     // dwStructSize
    put(12, 44100);  // dwSampleRate
    put(16, 44100);  // dwReSampleRate
    put(20, 1);      // nMode: joint stereo
    put(24, 64);     // dwBitrate
    put(32, 12);     // nPreset: LQP_CBR
    put(36, 1);      // dwMpegVersion
    put(52, 1);      // bCRC
    put(56, 1);      // bCopyright
    put(84, 1);      // bNoRes
    BE_CONFIG config;
    static_assert(sizeof(config) == sizeof(raw));
    std::memcpy(&config, raw, sizeof(raw));

    const mp3::Stream stream = mp3::inspect(record(sine(88200), config).bytes);
    ASSERT_TRUE(stream.error.empty()) << stream.error;
    ASSERT_FALSE(stream.frames.empty());
    for (const mp3::Frame& f : stream.frames) {
        ASSERT_EQ(f.bitrateKbps, 64);
        ASSERT_TRUE(f.crc && f.copyright && !f.privateBit && !f.original);
        ASSERT_EQ(f.mainDataBegin, 0);
    }
}

TEST_F(LameEncConfig, RefusesWhatItCannotHonour) {
    const std::vector<std::pair<const char*, std::function<void(BE_CONFIG&)>>> cases = {
        {"older MP3 form", [](BE_CONFIG& c) { c.dwConfig = BE_CONFIG_MP3; }},
        {"short record", [](BE_CONFIG& c) { c.format.LHV1.dwStructSize = 330; }},
        {"record version 2", [](BE_CONFIG& c) { c.format.LHV1.dwStructVersion = 2; }},
        {"input rate 12345", [](BE_CONFIG& c) { c.format.LHV1.dwSampleRate = 12345; }},
        {"output rate 12345", [](BE_CONFIG& c) { c.format.LHV1.dwReSampleRate = 12345; }},
        {"bitrate 129", [](BE_CONFIG& c) { c.format.LHV1.dwBitrate = 129; }},
        {"bitrate 8 in MPEG-1", [](BE_CONFIG& c) { c.format.LHV1.dwBitrate = 8; }},
        {"mono from stereo input", [](BE_CONFIG& c) { c.format.LHV1.nMode = BE_MP3_MODE_MONO; }},
        {"VBR", [](BE_CONFIG& c) { c.format.LHV1.bEnableVBR = 1; }},
        {"Xing header", [](BE_CONFIG& c) { c.format.LHV1.bWriteVBRHeader = 1; }},
        {"VBR preset", [](BE_CONFIG& c) { c.format.LHV1.nPreset = LQP_STANDARD; }},
        {"MPEG version 2.5", [](BE_CONFIG& c) { c.format.LHV1.dwMpegVersion = 2; }},
        {"quality 10", [](BE_CONFIG& c) { c.format.LHV1.nQuality = 0xF50A; }},
    };
    for (const auto& [name, spoil] : cases) {
        BE_CONFIG config = recorderConfig();
        spoil(config);
        DWORD samples = 0, bufferSize = 0;
        HBE_STREAM handle = 99;
        EXPECT_NE(lib().init(&config, &samples, &bufferSize, &handle), BE_ERR_SUCCESSFUL) << name;
        EXPECT_EQ(handle, 0u) << name;
    }

    BE_CONFIG config = recorderConfig();
    DWORD samples = 0, bufferSize = 0;
    HBE_STREAM handle = 99;
    EXPECT_NE(lib().init(nullptr, &samples, &bufferSize, &handle), BE_ERR_SUCCESSFUL);
    EXPECT_EQ(handle, 0u);
    EXPECT_NE(lib().init(&config, nullptr, &bufferSize, &handle), BE_ERR_SUCCESSFUL);
    EXPECT_NE(lib().init(&config, &samples, nullptr, &handle), BE_ERR_SUCCESSFUL);
    EXPECT_NE(lib().init(&config, &samples, &bufferSize, nullptr), BE_ERR_SUCCESSFUL);
}

TEST_F(LameEncConfig, AcceptsRecorderConfigAndReportsUsableSizes) {
    TestStream stream(recorderConfig());
    ASSERT_EQ(stream.result, BE_ERR_SUCCESSFUL);
    EXPECT_NE(stream.handle, 0u);
    EXPECT_GE(stream.samples, kBlockSamples);
    // libmp3lame's documented worst case: 1.25 bytes per sample and channel, plus 7200.
    EXPECT_GE(stream.bufferSize, kBlockSamples / 2 * 5 / 4 + 7200);
    EXPECT_LE(stream.bufferSize, kRecorderOutputArea);
}

TEST_F(LameEncConfig, Bitrate32At44100StaysMpeg1) {
    // MPEG-2 has no 44.1 kHz; the version follows the rate and 32 kbit/s exists in MPEG-1.
    const mp3::Stream stream = mp3::inspect(record(sine(88200), recorderConfig(32)).bytes);
    expectRecorderFrames(stream, 32);
}

TEST_F(LameEncStream, SineInTwoSecondBlocks) {
    const std::size_t frames = 44100 * 11 / 2;
    expectRecorderStream(record(sine(frames)), frames);
}

TEST_F(LameEncStream, SpeechInTwoSecondBlocks) {
    if (std::system("command -v espeak-ng >/dev/null && command -v sox >/dev/null") != 0) {
        GTEST_SKIP() << "espeak-ng and sox are needed to make speech";
    }
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    const fs::path wav = dir.path / "speech.wav", raw = dir.path / "speech.raw";
    const std::string command =
        "espeak-ng -v ru -w '" + wav.string() +
        "' 'Добрый день. Меня зовут Анна, я учусь в девятом классе.' && sox '" + wav.string() +
        "' -r 44100 -c 2 -b 16 -e signed-integer -t raw '" + raw.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const std::vector<unsigned char> bytes = readFile(raw);
    ASSERT_GT(bytes.size(), kBlockSamples * sizeof(short)) << "expected more than 2 s of speech";
    std::vector<short> pcm(bytes.size() / 4 * 2);
    std::memcpy(pcm.data(), bytes.data(), pcm.size() * sizeof(short));

    expectRecorderStream(record(pcm), pcm.size() / 2);
}

TEST_F(LameEncStream, SilentBlockGivesTheSameFramesAsSound) {
    const Recording silence = record(std::vector<short>(kBlockSamples));
    const Recording sound = record(sine(kBlockSamples / 2));
    ASSERT_FALSE(silence.blocks[0].empty());
    EXPECT_EQ(silence.blocks[0].size(), sound.blocks[0].size());
    expectRecorderFrames(mp3::inspect(silence.blocks[0]), 128);
}

TEST_F(LameEncStream, ChecksChunkArguments) {
    TestStream stream(recorderConfig());
    ASSERT_EQ(stream.result, BE_ERR_SUCCESSFUL);
    std::vector<short> pcm = sine(stream.samples / 2 + 1);
    std::vector<unsigned char> out;

    EXPECT_NE(stream.encode(std::span(pcm).first(1001), &out), BE_ERR_SUCCESSFUL) << "odd count";
    EXPECT_NE(stream.encode(pcm, &out), BE_ERR_SUCCESSFUL) << "more than reported";
    EXPECT_EQ(stream.encode(std::span(pcm).first(0), &out), BE_ERR_SUCCESSFUL);
    EXPECT_TRUE(out.empty());
    DWORD written = 0;
    EXPECT_NE(lib().encode(stream.handle, 2, pcm.data(), nullptr, &written), BE_ERR_SUCCESSFUL);

    // Refused calls leave the stream usable.
    EXPECT_EQ(stream.encode(std::span(pcm).first(kBlockSamples), &out), BE_ERR_SUCCESSFUL);
    expectRecorderFrames(mp3::inspect(out), 128);
}

TEST_F(LameEncStream, StreamsOnDifferentThreadsAreIndependent) {
    const std::vector<short> pcm = sine(44100 * 4);
    const Recording alone = record(pcm);
    Recording first, second;
    std::thread a([&] { first = record(pcm); });
    std::thread b([&] { second = record(pcm, recorderConfig(64)); });
    a.join();
    b.join();
    EXPECT_EQ(first.bytes, alone.bytes);
    expectRecorderFrames(mp3::inspect(second.bytes), 64);
}

TEST_F(LameEncHandle, RefusesUnknownFinishedAndClosedHandles) {
    std::vector<short> pcm(4);
    std::vector<unsigned char> out(BE_MAX_CHUNK_SAMPLES);
    DWORD written = 0;
    for (HBE_STREAM bogus : {HBE_STREAM{0}, HBE_STREAM{0xDEADBEEF}}) {
        EXPECT_EQ(lib().close(bogus), BE_ERR_INVALID_HANDLE);
        EXPECT_EQ(lib().encode(bogus, 4, pcm.data(), out.data(), &written), BE_ERR_INVALID_HANDLE);
        EXPECT_EQ(lib().deinit(bogus, out.data(), &written), BE_ERR_INVALID_HANDLE);
    }

    BE_CONFIG config = recorderConfig();
    DWORD samples = 0, bufferSize = 0;
    HBE_STREAM closed = 0;
    ASSERT_EQ(lib().init(&config, &samples, &bufferSize, &closed), BE_ERR_SUCCESSFUL);
    EXPECT_EQ(lib().close(closed), BE_ERR_SUCCESSFUL);
    EXPECT_EQ(lib().close(closed), BE_ERR_INVALID_HANDLE);

    // A later stream must not answer to the closed one's handle.
    TestStream later(recorderConfig());
    ASSERT_EQ(later.result, BE_ERR_SUCCESSFUL);
    EXPECT_EQ(lib().encode(closed, 4, pcm.data(), out.data(), &written), BE_ERR_INVALID_HANDLE);
    EXPECT_EQ(lib().close(closed), BE_ERR_INVALID_HANDLE);
    EXPECT_EQ(later.encode(pcm, &out), BE_ERR_SUCCESSFUL);

    // Once flushed, a stream only takes closing.
    ASSERT_EQ(later.finish(&out), BE_ERR_SUCCESSFUL);
    EXPECT_FALSE(out.empty()) << "the buffered samples must come out";
    EXPECT_NE(later.encode(pcm, &out), BE_ERR_SUCCESSFUL);
    EXPECT_NE(later.finish(&out), BE_ERR_SUCCESSFUL);
    EXPECT_EQ(lib().close(later.handle), BE_ERR_SUCCESSFUL);
    later.handle = 0;
}

TEST_F(LameEncHandle, TagCallsLeaveTheFileAlone) {
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    const fs::path file = dir.path / "answer.mp3";
    const std::vector<unsigned char> content(417, 0x5A);
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(content.data()), std::streamsize(content.size()));

    EXPECT_NE(lib().writeVbrHeader(file.c_str()), BE_ERR_SUCCESSFUL);
    TestStream stream(recorderConfig());
    ASSERT_EQ(stream.result, BE_ERR_SUCCESSFUL);
    EXPECT_EQ(lib().writeInfoTag(stream.handle, file.c_str()), BE_ERR_SUCCESSFUL);
    EXPECT_EQ(lib().close(stream.handle), BE_ERR_INVALID_HANDLE) << "beWriteInfoTag must close";
    stream.handle = 0;
    EXPECT_EQ(lib().writeInfoTag(0, file.c_str()), BE_ERR_INVALID_HANDLE);
    EXPECT_EQ(readFile(file), content);
}

}  // namespace
