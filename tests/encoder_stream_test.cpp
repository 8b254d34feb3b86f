#include <dlfcn.h>
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <latch>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "AudioErrorOf.h"
#include "audio/AudioError.h"
#include "audio/EncoderLibrary.h"
#include "audio/Mp3Stream.h"
#include "lame_enc.h"
#include "support/Mp3Inspector.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kLibraryName = "liblame_enc.so";
// What the exam recording hands to every encode call: 2 s of 44.1 kHz stereo.
constexpr std::uint32_t kBlockSamples = 176400;
constexpr std::uint32_t kRecorderOutputArea = 176400;

// Whether the library at `path` is mapped into the process right now.
bool isMapped(const fs::path& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr) {
        dlclose(handle);
    }
    return handle != nullptr;
}

// What the complete stub recorded, read through a handle of its own.
class StubProbe {
public:
    explicit StubProbe(const fs::path& path) : handle_(dlopen(path.c_str(), RTLD_NOW)) {}
    ~StubProbe() {
        if (handle_ != nullptr) {
            dlclose(handle_);
        }
    }
    StubProbe(const StubProbe&) = delete;
    StubProbe& operator=(const StubProbe&) = delete;

    std::vector<unsigned char> receivedConfig() const {
        std::vector<unsigned char> bytes(sizeof(BE_CONFIG));
        entry<void (*)(unsigned char*)>("stubReceivedConfig")(bytes.data());
        return bytes;
    }
    unsigned initCalls() const { return entry<unsigned (*)()>("stubInitCalls")(); }
    unsigned closeCalls() const { return entry<unsigned (*)()>("stubCloseCalls")(); }
    HBE_STREAM lastClosed() const { return entry<HBE_STREAM (*)()>("stubLastClosed")(); }
    void setInitResult(BE_ERR result) const {
        entry<void (*)(BE_ERR)>("stubSetInitResult")(result);
    }

private:
    template <typename Function>
    Function entry(const char* name) const {
        auto function = reinterpret_cast<Function>(dlsym(handle_, name));
        if (function == nullptr) {
            throw std::runtime_error(std::string("stub lacks ") + name);
        }
        return function;
    }

    void* handle_;
};

// Each test gets its own copy of a stub library, so no state carries over between tests.
class EncoderStubTest : public ::testing::Test {
private:
    QTemporaryDir folder_;

protected:
    void SetUp() override { ASSERT_TRUE(folder_.isValid()); }

    std::string folder() const { return folder_.path().toStdString(); }
    fs::path installed() const { return fs::path(folder()) / kLibraryName; }

    // Puts the stub `variant` in the folder as the encoder library, replacing any earlier one.
    void install(const std::string& variant) const {
        fs::remove(installed());
        fs::copy_file(fs::path(ENCODER_STUB_FOLDER) / variant / kLibraryName, installed());
    }

    std::unique_ptr<EncoderLibrary> library =
        std::make_unique<EncoderLibrary>(folder(), kLibraryName);
};

class EncoderLibraryTest : public EncoderStubTest {};
class Mp3StreamStubTest : public EncoderStubTest {};

TEST_F(EncoderLibraryTest, MissingFailsEveryAttemptUntilItAppears) {
    // A name found nowhere, so the usual search cannot find a library loaded earlier.
    EncoderLibrary absent(folder(), "liblame_enc-absent.so");
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_EQ(audioErrorOf([&] { Mp3Stream(128, 44100, 44100, absent); }),
                  "Error loading lame_enc.DLL");
    }
    EXPECT_FALSE(absent.isLoaded());

    install("complete");
    fs::rename(installed(), fs::path(folder()) / "liblame_enc-absent.so");
    EXPECT_NO_THROW(Mp3Stream(128, 44100, 44100, absent));
    EXPECT_TRUE(absent.isLoaded());
}

TEST_F(EncoderLibraryTest, WithoutWriteInfoTagLoads) {
    install("without-beWriteInfoTag");
    ASSERT_NO_THROW(library->load());
    EXPECT_TRUE(library->isLoaded());
    EXPECT_EQ(library->entryPoints().writeInfoTag, nullptr);
    EXPECT_NE(library->entryPoints().writeVbrHeader, nullptr);
}

class EncoderLibraryRefusalTest : public EncoderStubTest,
                                  public ::testing::WithParamInterface<const char*> {};

TEST_P(EncoderLibraryRefusalTest, IsUnloadedAndTheNextLoadTriesAgain) {
    install(std::string("without-") + GetParam());
    EXPECT_EQ(audioErrorOf([&] { library->load(); }), "Unable to get LAME interfaces");
    EXPECT_STREQ(library->missingEntryPoint(), GetParam());
    EXPECT_FALSE(library->isLoaded());
    EXPECT_FALSE(isMapped(installed()));

    install("complete");
    ASSERT_NO_THROW(library->load());
    EXPECT_TRUE(library->isLoaded());
    EXPECT_NE(library->entryPoints().initStream, nullptr);
}

INSTANTIATE_TEST_SUITE_P(EncoderLibraryWithout, EncoderLibraryRefusalTest,
                         ::testing::Values("beInitStream", "beEncodeChunk", "beDeinitStream",
                                           "beCloseStream", "beVersion", "beWriteVBRHeader"),
                         [](const auto& info) { return std::string(info.param); });

TEST_F(EncoderLibraryTest, ConcurrentFirstUsesBindOnce) {
    // What is visible from here: every thread gets a working stream, and once the library
    // object is gone no handle to the library is left behind. A missing lock itself shows
    // only under ThreadSanitizer.
    install("complete");
    constexpr int kThreads = 8;
    std::latch start(kThreads);
    std::atomic<int> failures = 0;
    std::vector<std::jthread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&] {
            start.arrive_and_wait();
            try {
                Mp3Stream stream(128, 44100, 44100, *library);
            } catch (const AudioError&) {
                ++failures;
            }
        });
    }
    threads.clear();
    EXPECT_EQ(failures, 0);
    {
        const StubProbe stub(installed());
        EXPECT_EQ(stub.initCalls(), unsigned{kThreads});
        EXPECT_EQ(stub.closeCalls(), unsigned{kThreads});
    }
    library.reset();
    EXPECT_FALSE(isMapped(installed()));
}

TEST_F(Mp3StreamStubTest, KeepsWhatTheLibraryReportsAndClosesItsStreamOnce) {
    install("complete");
    const StubProbe stub(installed());
    {
        Mp3Stream stream(128, 44100, 44100, *library);
        EXPECT_EQ(stream.samplesPerChunk(), 2304u);
        EXPECT_EQ(stream.outputBufferSize(), 4608u);
        EXPECT_EQ(stream.stream(), HBE_STREAM{0x5EED0001});
        EXPECT_EQ(stub.closeCalls(), 0u);
    }
    EXPECT_EQ(stub.closeCalls(), 1u);
    EXPECT_EQ(stub.lastClosed(), HBE_STREAM{0x5EED0001});
}

TEST_F(Mp3StreamStubTest, RefusedByTheLibraryThrowsAndClosesNothing) {
    install("complete");
    const StubProbe stub(installed());
    stub.setInitResult(BE_ERR_INVALID_FORMAT_PARAMETERS);
    EXPECT_EQ(audioErrorOf([&] { Mp3Stream(128, 44100, 44100, *library); }),
              "ERRORR in beInitStream.");
    EXPECT_EQ(stub.initCalls(), 1u);
    EXPECT_EQ(stub.closeCalls(), 0u);
}

struct RecordCase {
    std::uint32_t bitrate;
    std::uint32_t inputRate;
    std::uint32_t outputRate;
    std::uint32_t mpegVersion;
};

void PrintTo(const RecordCase& c, std::ostream* out) {
    *out << c.bitrate << " kbit/s, " << c.inputRate << " Hz to " << c.outputRate << " Hz";
}

class Mp3StreamRecordTest : public EncoderStubTest,
                            public ::testing::WithParamInterface<RecordCase> {};

void put32(std::vector<unsigned char>& record, std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        record[offset + i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

// The record as published: little-endian fields at their offsets, everything else zero.
std::vector<unsigned char> expectedRecord(const RecordCase& c) {
    std::vector<unsigned char> record(331, 0);
    put32(record, offsetof(BE_CONFIG, dwConfig), 256);
    put32(record, offsetof(BE_CONFIG, format.LHV1.dwStructVersion), 1);
    put32(record, offsetof(BE_CONFIG, format.LHV1.dwStructSize), 331);
    put32(record, offsetof(BE_CONFIG, format.LHV1.dwSampleRate), c.inputRate);
    put32(record, offsetof(BE_CONFIG, format.LHV1.dwReSampleRate), c.outputRate);
    put32(record, offsetof(BE_CONFIG, format.LHV1.nMode), 1);
    put32(record, offsetof(BE_CONFIG, format.LHV1.dwBitrate), c.bitrate);
    put32(record, offsetof(BE_CONFIG, format.LHV1.nPreset), 12);
    put32(record, offsetof(BE_CONFIG, format.LHV1.dwMpegVersion), c.mpegVersion);
    put32(record, offsetof(BE_CONFIG, format.LHV1.bPrivate), 1);
    put32(record, offsetof(BE_CONFIG, format.LHV1.bCopyright), 1);
    put32(record, offsetof(BE_CONFIG, format.LHV1.bOriginal), 1);
    put32(record, offsetof(BE_CONFIG, format.LHV1.bNoRes), 1);
    return record;
}

TEST_P(Mp3StreamRecordTest, LibraryReceivesThePublishedRecord) {
    install("complete");
    const StubProbe stub(installed());
    const RecordCase& c = GetParam();
    // Built over garbage, so a field left unset shows.
    alignas(Mp3Stream) unsigned char storage[sizeof(Mp3Stream)];
    std::memset(storage, 0xA5, sizeof storage);
    auto* stream = new (storage) Mp3Stream(c.bitrate, c.inputRate, c.outputRate, *library);
    EXPECT_EQ(stub.receivedConfig(), expectedRecord(c));
    stream->~Mp3Stream();
}

INSTANTIATE_TEST_SUITE_P(
    Mp3StreamBitrates, Mp3StreamRecordTest,
    ::testing::Values(RecordCase{128, 44100, 44100, 1}, RecordCase{32, 48000, 22050, 0},
                      RecordCase{33, 22050, 32000, 1}, RecordCase{0xFFFFFFFF, 44100, 44100, 1}),
    [](const auto& info) { return "kbps" + std::to_string(info.param.bitrate); });

std::vector<short> speechLikeBlock(int block) {
    std::vector<short> pcm(kBlockSamples);
    for (std::size_t i = 0; i < pcm.size(); i += 2) {
        const double t = (block * kBlockSamples / 2 + i / 2) / 44100.0;
        const double envelope = 0.5 + 0.5 * std::sin(2 * M_PI * 3 * t);
        pcm[i] = static_cast<short>(9000 * envelope * std::sin(2 * M_PI * 220 * t));
        pcm[i + 1] = static_cast<short>(9000 * envelope * std::sin(2 * M_PI * 330 * t));
    }
    return pcm;
}

TEST(Mp3StreamTest, RecorderBlocksAreEncodedInOneCallEachToWholeFrames) {
    Mp3Stream stream(128, 44100, 44100);  // the program's own library
    EXPECT_GE(stream.samplesPerChunk(), kBlockSamples);
    EXPECT_LE(stream.outputBufferSize(), kRecorderOutputArea);

    std::vector<unsigned char> all;
    for (int block = 0; block < 2; ++block) {
        const std::vector<short> pcm = speechLikeBlock(block);
        std::vector<unsigned char> output(kRecorderOutputArea);
        std::uint32_t bytes = 0;
        ASSERT_EQ(stream.encode(pcm.data(), kBlockSamples, output.data(), &bytes), 0u);
        ASSERT_LE(bytes, stream.outputBufferSize());
        const mp3::Stream blockFrames = mp3::inspect({output.data(), bytes});
        EXPECT_TRUE(blockFrames.framesCoverInput()) << "block " << block;
        all.insert(all.end(), output.begin(), output.begin() + bytes);
    }

    const mp3::Stream mp3 = mp3::inspect(all);
    EXPECT_EQ(mp3.error, "");
    EXPECT_TRUE(mp3.framesCoverInput());
    EXPECT_FALSE(mp3::hasTagFrame(all));
    // All of both blocks is encoded but what the encoder's look-ahead (under two frames) holds.
    EXPECT_GE(mp3.decodedSamples, 2u * kBlockSamples / 2 - 2 * 1152);
    for (const mp3::Frame& frame : mp3.frames) {
        ASSERT_EQ(frame.version, mp3::MpegVersion::Mpeg1);
        ASSERT_EQ(frame.layer, 3);
        ASSERT_EQ(frame.sampleRate, 44100);
        ASSERT_EQ(frame.bitrateKbps, 128);
        ASSERT_EQ(frame.mode, mp3::ChannelMode::JointStereo);
        ASSERT_TRUE(frame.privateBit && frame.copyright && frame.original);
        ASSERT_FALSE(frame.crc);
        ASSERT_EQ(frame.mainDataBegin, 0) << "bit reservoir in use at " << frame.offset;
    }
}

TEST(Mp3StreamTest, EncodeReportsTheLibrarysRefusalWithoutThrowing) {
    Mp3Stream stream(128, 44100, 44100);
    const std::vector<short> pcm = speechLikeBlock(0);
    std::vector<unsigned char> output(kRecorderOutputArea);
    std::uint32_t bytes = 1;
    EXPECT_EQ(stream.encode(pcm.data(), 3, output.data(), &bytes),
              std::uint32_t{BE_ERR_INVALID_FORMAT_PARAMETERS});
    EXPECT_EQ(bytes, 0u);
    EXPECT_EQ(stream.encode(pcm.data(), kBlockSamples, output.data(), &bytes), 0u);
    EXPECT_GT(bytes, 0u);
}

}  // namespace
