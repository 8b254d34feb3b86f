#include <gmock/gmock.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "AudioErrorOf.h"
#include "FakeMixer.h"
#include "audio/AudioError.h"
#include "audio/MixerDevice.h"
#include "audio/MixerLine.h"
#include "platform/alsa/AlsaMixer.h"
#include "support/PulseAudioServer.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr std::uint32_t kListId = 100;

std::vector<std::string> namesOf(const MixerDevice& mixer) {
    std::vector<std::string> names;
    for (const auto& line : mixer.lines()) {
        names.push_back(line->name());
    }
    return names;
}

class MixerDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake.destination = fakeDestination(2);
        fake.sources = {fakeSource("Microphone", 1, 2), fakeSource("Line In", 2, 2)};
    }

    FakeMixer fake;
    MixerDevice mixer{7, fake};
};

TEST_F(MixerDeviceTest, ListsUsableSourcesInSourceOrder) {
    fake.sources = {fakeSource("SW Synth", 1, 2, {}, MixerComponent::Synthesizer),
                    fakeSource("Microphone", 2, 1), fakeSource("Broken", 3, 2),
                    fakeSource("Line In", 4, 2, {}, MixerComponent::Line)};
    fake.sources[2].queryFails = true;

    mixer.open();

    EXPECT_THAT(fake.openedDeviceIds, ElementsAre(7u));
    EXPECT_THAT(namesOf(mixer), ElementsAre("Microphone", "Line In"));
    EXPECT_EQ(mixer.lines()[1]->info().lineId, 4u);
}

TEST_F(MixerDeviceTest, SynthesizerOnlyMixerHasNoLineToFind) {
    fake.sources = {fakeSource("SW Synth", 1, 2, {}, MixerComponent::Synthesizer)};

    mixer.open();

    EXPECT_THAT(mixer.lines(), IsEmpty());
    EXPECT_EQ(audioErrorOf([&] { mixer.findLine(""); }), "Mixer's line not found.");
}

TEST_F(MixerDeviceTest, MixerWithoutRecordingDestinationOpensWithNoLines) {
    fake.destination.reset();

    mixer.open();

    EXPECT_EQ(fake.openMixers, 1);
    EXPECT_THAT(mixer.lines(), IsEmpty());
}

TEST_F(MixerDeviceTest, FailedOpenThrowsAndLeavesTheMixerClosed) {
    fake.openFails = true;
    EXPECT_EQ(audioErrorOf([&] { mixer.open(); }), "Can't open Mixer Device.");
    EXPECT_THAT(mixer.lines(), IsEmpty());

    // Still closed, so the next open tries again.
    fake.openFails = false;
    mixer.open();
    EXPECT_THAT(fake.openedDeviceIds, ElementsAre(7u, 7u));
    EXPECT_EQ(mixer.lines().size(), 2u);
}

TEST_F(MixerDeviceTest, OpenOnAnOpenMixerKeepsItsLines) {
    mixer.open();
    const MixerLine* first = mixer.lines()[0].get();
    fake.sources.pop_back();

    mixer.open();

    EXPECT_EQ(fake.openedDeviceIds.size(), 1u);
    ASSERT_EQ(mixer.lines().size(), 2u);
    EXPECT_EQ(mixer.lines()[0].get(), first);
}

TEST_F(MixerDeviceTest, CloseDropsTheLinesAndTheNextOpenListsThemAfresh) {
    mixer.close();
    EXPECT_EQ(fake.openMixers, 0);

    mixer.open();
    mixer.close();
    EXPECT_EQ(fake.openMixers, 0);
    EXPECT_THAT(mixer.lines(), IsEmpty());
    EXPECT_EQ(audioErrorOf([&] { mixer.findLine("Microphone"); }), "Mixer's line not found.");
    EXPECT_EQ(fake.openedDeviceIds.size(), 1u) << "findLine must not open the mixer";

    mixer.close();
    fake.sources = {fakeSource("Stereo Mix", 5, 2)};
    mixer.open();
    EXPECT_THAT(namesOf(mixer), ElementsAre("Stereo Mix"));
}

TEST_F(MixerDeviceTest, DestroyingAnOpenDeviceClosesItsMixer) {
    {
        MixerDevice device(3, fake);
        device.open();
        EXPECT_EQ(fake.openMixers, 1);
    }
    EXPECT_EQ(fake.openMixers, 0);
}

TEST_F(MixerDeviceTest, FindLineMatchesTheExactNameAndTakesTheFirst) {
    fake.sources = {fakeSource("Line In", 1, 2), fakeSource("Microphone", 2, 1),
                    fakeSource("Line In", 3, 1)};
    mixer.open();

    EXPECT_EQ(mixer.findLine("Line In").info().lineId, 1u);
    EXPECT_EQ(mixer.findLine("Microphone").info().lineId, 2u);
    EXPECT_EQ(audioErrorOf([&] { mixer.findLine("line in"); }), "Mixer's line not found.");
    EXPECT_EQ(audioErrorOf([&] { mixer.findLine("Line"); }), "Mixer's line not found.");
    EXPECT_EQ(audioErrorOf([&] { mixer.findLine(nullptr); }), "Mixer's line not found.");
    // A lock still held by the throws would hang here.
    mixer.close();
    mixer.open();
}

// A mixer with one source line whose controls the test chooses, opened afresh each time.
class MixerLineTest : public ::testing::Test {
protected:
    MixerLine& openWith(std::uint32_t channels, std::vector<FakeControl> controls) {
        mixer.close();
        fake.writes.clear();
        fake.destination = fakeDestination(2);
        fake.sources = {fakeSource("Microphone", 1, channels, std::move(controls))};
        mixer.open();
        return *mixer.lines().at(0);
    }

    FakeMixer fake;
    MixerDevice mixer{0, fake};
};

TEST_F(MixerLineTest, MuteAndVolumeAreWrittenOnAtMostTwoChannels) {
    struct Case {
        std::uint32_t lineChannels;
        bool uniform;
        std::uint32_t written;
    };
    for (const Case& c : {Case{1, false, 1}, Case{2, false, 2}, Case{6, false, 2}, Case{6, true, 1},
                          Case{2, true, 1}}) {
        SCOPED_TRACE(testing::Message() << c.lineChannels << " channels, uniform " << c.uniform);
        MixerLine& line =
            openWith(c.lineChannels, {fakeMute(11, c.uniform), fakeVolume(12, 0, 100, c.uniform)});

        EXPECT_EQ(line.unmute(), MixerResult::Ok);
        EXPECT_EQ(line.setVolume(30), MixerResult::Ok);

        ASSERT_EQ(fake.writes.size(), 2u);
        EXPECT_EQ(fake.writes[0].details.controlId, 11u);
        EXPECT_EQ(fake.writes[0].details.channels, c.written);
        EXPECT_EQ(fake.writes[0].booleans, std::vector<bool>(c.written, false));
        EXPECT_EQ(fake.writes[1].details.controlId, 12u);
        EXPECT_EQ(fake.writes[1].details.channels, c.written);
        EXPECT_EQ(fake.writes[1].unsigneds, std::vector<std::uint32_t>(c.written, 30));
    }
}

TEST_F(MixerLineTest, SetVolumeWritesTheShareOfTheRange) {
    struct Case {
        std::uint32_t minimum;
        std::uint32_t maximum;
        std::uint32_t percent;
        std::uint32_t value;
    };
    constexpr std::uint32_t top = std::numeric_limits<std::uint32_t>::max();
    for (const Case& c : {Case{0, 65535, 50, 32767}, Case{0, 65535, 100, 65535},
                          Case{0, 65535, 150, 65535}, Case{0, 65535, 0, 0}, Case{100, 200, 50, 150},
                          Case{100, 200, 0, 100}, Case{0, 63, 99, 62},
                          // 32-bit products would wrap for ranges this large.
                          Case{0, top, 50, top / 2}, Case{0, top, 100, top},
                          Case{1000, 1000 + 100'000'000, 75, 1000 + 75'000'000}}) {
        SCOPED_TRACE(testing::Message() << c.minimum << ".." << c.maximum << " at " << c.percent);
        MixerLine& line = openWith(2, {fakeVolume(12, c.minimum, c.maximum)});

        EXPECT_EQ(line.setVolume(c.percent), MixerResult::Ok);

        ASSERT_EQ(fake.writes.size(), 1u);
        EXPECT_EQ(fake.writes[0].unsigneds, std::vector<std::uint32_t>(2, c.value));
    }
}

TEST_F(MixerLineTest, MissingControlsAndFailedWritesAreReturned) {
    MixerLine& line = openWith(2, {});
    EXPECT_EQ(line.unmute(), MixerResult::NoControl);
    EXPECT_EQ(line.setVolume(50), MixerResult::NoControl);
    EXPECT_THAT(fake.writes, IsEmpty());

    fake.sources[0].controls = {fakeMute(11), fakeVolume(12, 0, 100)};
    fake.writeResult = MixerResult::DriverError;
    EXPECT_EQ(line.unmute(), MixerResult::DriverError);
    EXPECT_EQ(line.setVolume(50), MixerResult::DriverError);
}

// Selecting "Line In" as the recording input through the destination's list control.
class MixerSelectTest : public ::testing::Test {
protected:
    void openWithList(FakeControl list, std::uint32_t destinationChannels = 2) {
        fake.destination = fakeDestination(destinationChannels, {std::move(list)});
        fake.sources = {fakeSource("Line In", 1, 2)};
        mixer.open();
    }
    void select() { mixer.findLine("Line In").selectAsRecordingInput(); }

    FakeMixer fake;
    MixerDevice mixer{0, fake};
};

TEST_F(MixerSelectTest, MultiplexerEndsWithOnlyTheLineSelected) {
    for (MixerControlType type : {MixerControlType::Mux, MixerControlType::SingleSelect}) {
        fake.writes.clear();
        mixer.close();
        openWithList(fakeList(kListId, type, true, {"Microphone", "Line In", "CD Player"},
                              {true, false, true}));

        select();

        ASSERT_EQ(fake.writes.size(), 1u);
        EXPECT_EQ(fake.writes[0].details.controlId, kListId);
        EXPECT_EQ(fake.writes[0].details.channels, 1u);
        EXPECT_EQ(fake.writes[0].details.items, 3u);
        EXPECT_EQ(fake.writes[0].booleans, (std::vector<bool>{false, true, false}));
    }
}

TEST_F(MixerSelectTest, MultipleSelectKeepsTheOtherSelections) {
    for (MixerControlType type : {MixerControlType::Mixer, MixerControlType::MultipleSelect}) {
        fake.writes.clear();
        mixer.close();
        openWithList(fakeList(kListId, type, true, {"Microphone", "Line In", "CD Player"},
                              {true, false, false}));

        select();

        ASSERT_EQ(fake.writes.size(), 1u);
        EXPECT_EQ(fake.writes[0].booleans, (std::vector<bool>{true, true, false}));
    }
}

TEST_F(MixerSelectTest, NonUniformListVisitsEveryItemAndSetsBothChannels) {
    // Item k's channel values sit at 2k and 2k + 1; the line is the last item.
    openWithList(fakeList(kListId, MixerControlType::Mux, false, {"Microphone", "CD", "Line In"},
                          {true, true, false, true, false, false}));

    select();

    ASSERT_EQ(fake.writes.size(), 1u);
    EXPECT_EQ(fake.writes[0].details.channels, 2u);
    EXPECT_EQ(fake.listValues(kListId),
              (std::vector<bool>{false, false, false, false, true, true}));
}

TEST_F(MixerSelectTest, NonUniformListUsesEveryDestinationChannel) {
    // Unlike mute and volume there is no cap of two channels; only an item's first and last
    // channel values change.
    openWithList(fakeList(kListId, MixerControlType::MultipleSelect, false, {"Line In", "CD"},
                          {false, true, false, false, true, false, true, false}),
                 4);

    select();

    ASSERT_EQ(fake.writes.size(), 1u);
    EXPECT_EQ(fake.writes[0].details.channels, 4u);
    EXPECT_EQ(fake.listValues(kListId),
              (std::vector<bool>{true, true, false, true, true, false, true, false}));
}

TEST_F(MixerSelectTest, UsesTheFirstListControlOfTheDestination) {
    fake.destination =
        fakeDestination(2, {fakeVolume(98, 0, 100),
                            fakeList(99, MixerControlType::Mixer, true, {"Line In"}, {false}),
                            fakeList(kListId, MixerControlType::Mux, true, {"Line In"}, {false})});
    fake.sources = {fakeSource("Line In", 1, 2)};
    mixer.open();

    select();

    ASSERT_EQ(fake.writes.size(), 1u);
    EXPECT_EQ(fake.writes[0].details.controlId, 99u);
}

TEST_F(MixerSelectTest, ListWithoutTheLineIsLeftAlone) {
    for (MixerControlType type : {MixerControlType::Mux, MixerControlType::Mixer}) {
        mixer.close();
        openWithList(fakeList(kListId, type, true, {"Microphone", "CD Player"}, {true, false}));

        select();

        EXPECT_THAT(fake.writes, IsEmpty());
        EXPECT_EQ(fake.listValues(kListId), (std::vector<bool>{true, false}));
    }
}

TEST_F(MixerSelectTest, UnreadableOrMissingListChangesNothing) {
    constexpr std::uint32_t huge = std::numeric_limits<std::uint32_t>::max();
    const std::map<std::string, std::function<void()>> scripts{
        {"no destination", [&] { fake.destination.reset(); }},
        {"controls unreadable", [&] { fake.controlsReadFails = true; }},
        {"no list control", [&] { fake.destination->controls = {fakeVolume(98, 0, 100)}; }},
        {"names unreadable", [&] { fake.listTextsReadFails = true; }},
        {"values unreadable", [&] { fake.listValuesReadFails = true; }},
        {"too large to hold",
         [&] {
             fake.destination->info.channels = huge;
             fake.destination->controls[0].control.uniform = false;
             fake.destination->controls[0].control.itemCount = huge;
         }},
        {"destination without channels",
         [&] {
             fake.destination->info.channels = 0;
             fake.destination->controls[0].control.uniform = false;
             fake.destination->controls[0].selected.clear();
         }},
    };
    for (const auto& [name, breakMixer] : scripts) {
        SCOPED_TRACE(name);
        mixer.close();
        fake = FakeMixer();
        openWithList(fakeList(kListId, MixerControlType::Mixer, true, {"CD Player", "Line In"},
                              {true, false}));
        breakMixer();

        select();

        EXPECT_THAT(fake.writes, IsEmpty());
    }
}

// The real ALSA layer over the sound server's control device, whose one capture element is
// the server's default source.
class MixerOnSoundServer : public test_support::PulseAudioTest {
protected:
    std::string pactlOutput(const std::vector<std::string>& args) {
        std::string output;
        EXPECT_EQ(server().pactl(args, &output), 0) << output;
        return output;
    }
    void setSource(const std::string& mute, const std::string& volume) {
        pactlOutput({"set-source-mute", "@DEFAULT_SOURCE@", mute});
        pactlOutput({"set-source-volume", "@DEFAULT_SOURCE@", volume});
    }
    bool sourceMuted() {
        return pactlOutput({"get-source-mute", "@DEFAULT_SOURCE@"}).find("Mute: yes") !=
               std::string::npos;
    }
    // The raw volume of each channel of the default source.
    std::vector<long> sourceVolumes() {
        const std::string text = pactlOutput({"get-source-volume", "@DEFAULT_SOURCE@"});
        std::vector<long> volumes;
        const std::regex channel(R"([a-z-]+: (\d+) /)");
        for (auto it = std::sregex_iterator(text.begin(), text.end(), channel);
             it != std::sregex_iterator(); ++it) {
            volumes.push_back(std::stol((*it)[1]));
        }
        return volumes;
    }

    AlsaMixer alsa{[](std::uint32_t deviceId) -> std::optional<std::string> {
        return deviceId == 0 ? std::optional<std::string>("pulse") : std::nullopt;
    }};
    MixerDevice mixer{0, alsa};
};

TEST_F(MixerOnSoundServer, PreparesTheDefaultSourceAsTheRecordingLine) {
    setSource("1", "100%");

    mixer.open();
    ASSERT_THAT(namesOf(mixer), ElementsAre("Capture"));
    const std::string first = mixer.lines()[0]->name();
    mixer.close();

    mixer.open();
    MixerLine& line = mixer.findLine(first.c_str());
    EXPECT_EQ(line.unmute(), MixerResult::Ok);
    EXPECT_FALSE(sourceMuted());
    EXPECT_EQ(line.setVolume(40), MixerResult::Ok);
    // 40 % of the server's range 0..65536.
    EXPECT_THAT(sourceVolumes(), ElementsAre(26214, 26214));
    line.selectAsRecordingInput();
    mixer.close();

    EXPECT_FALSE(sourceMuted());
    EXPECT_THAT(sourceVolumes(), ElementsAre(26214, 26214));
}

TEST_F(MixerOnSoundServer, SelectingTheLineSwitchesItsCaptureOn) {
    setSource("1", "70%");
    const std::vector<long> before = sourceVolumes();

    mixer.open();
    mixer.findLine("Capture").selectAsRecordingInput();
    mixer.close();

    EXPECT_FALSE(sourceMuted());
    EXPECT_EQ(sourceVolumes(), before);
}

TEST_F(MixerOnSoundServer, UnknownDeviceCannotBeOpened) {
    MixerDevice other(1, alsa);
    EXPECT_EQ(audioErrorOf([&] { other.open(); }), "Can't open Mixer Device.");
}

}  // namespace

#include "FakeWaveIn.h"
#include "audio/AudioError.h"
#include "audio/CaptureDeviceRegistry.h"

namespace {

TEST(CaptureDeviceMixerTest, EachDeviceOpensTheMixerOfItsOwnId) {
    FakeWaveIn waveIn;
    waveIn.devices = {{"Webcam", 0}, {"Line in"}, {"USB headset"}};
    FakeMixer mixers;
    mixers.destination = fakeDestination(2);
    mixers.sources = {fakeSource("Mic", 1, 2)};
    CaptureDeviceRegistry registry(waveIn, mixers);

    MixerDevice& mixer = registry.findByName("USB headset").mixer();
    ASSERT_EQ(mixer.lines().size(), 1u);
    EXPECT_EQ(mixer.lines().front()->name(), "Mic");
    mixer.close();
    EXPECT_EQ(mixers.openedDeviceIds, std::vector<std::uint32_t>{2});
    EXPECT_EQ(mixers.openMixers, 0);
}

TEST(CaptureDeviceMixerTest, DeviceWithoutAMixerLayerCannotOpenOne) {
    FakeWaveIn waveIn;
    waveIn.devices = {{"Line in"}};
    CaptureDeviceRegistry registry(waveIn);
    try {
        registry.findByName("Line in").mixer();
        ADD_FAILURE() << "opened a mixer that does not exist";
    } catch (const AudioError& error) {
        EXPECT_STREQ(error.what(), "Can't open Mixer Device.");
    }
}

}  // namespace
