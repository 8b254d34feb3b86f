// A scripted mixer layer for the mixer tests: the test sets up the destination, its sources,
// their controls and any failure, and every write is recorded. Requests are checked the way a
// driver checks them, so a wrong channel or item count fails instead of passing silently.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/MixerApi.h"

struct FakeControl {
    MixerControl control;
    std::vector<std::string> items;  // list controls: item names
    std::vector<bool> selected;      // list controls: channels * items values
};

struct FakeLine {
    MixerLineInfo info;  // connections and controlCount are filled in from the script
    std::vector<FakeControl> controls;
    bool queryFails = false;
};

FakeLine fakeSource(const std::string& name, std::uint32_t lineId, std::uint32_t channels,
                    std::vector<FakeControl> controls = {},
                    MixerComponent component = MixerComponent::Microphone);
FakeLine fakeDestination(std::uint32_t channels, std::vector<FakeControl> controls = {});
FakeControl fakeMute(std::uint32_t controlId, bool uniform = false);
FakeControl fakeVolume(std::uint32_t controlId, std::uint32_t minimum, std::uint32_t maximum,
                       bool uniform = false);
FakeControl fakeList(std::uint32_t controlId, MixerControlType type, bool uniform,
                     std::vector<std::string> items, std::vector<bool> selected);

class FakeMixer : public MixerApi {
public:
    struct Write {
        MixerDetails details;
        std::vector<bool> booleans;
        std::vector<std::uint32_t> unsigneds;
    };

    // The script; it may be changed while a mixer is open.
    bool openFails = false;
    int opensFailingFirst = 0;            // as a card that is slow to answer
    std::optional<FakeLine> destination;  // nothing: no recording destination
    std::vector<FakeLine> sources;
    // A failing read still fills the caller's area, as a driver that stops half-way may, so a
    // caller that ignores the result acts on what it got.
    bool controlsReadFails = false;
    bool listTextsReadFails = false;
    bool listValuesReadFails = false;
    MixerResult writeResult = MixerResult::Ok;  // what a well-formed write returns

    // What happened.
    std::vector<std::uint32_t> openedDeviceIds;
    int openMixers = 0;
    std::vector<Write> writes;

    MixerResult open(std::uint32_t deviceId, std::unique_ptr<OpenMixer>& mixer) override;

    // The list control's current values (channels * items), for checks after a write.
    const std::vector<bool>& listValues(std::uint32_t controlId);

private:
    friend class FakeOpenMixer;

    FakeLine* lineOf(std::uint32_t lineId);
    FakeControl* controlOf(std::uint32_t controlId, FakeLine** owner = nullptr);
    bool isListRequest(const FakeControl& list, const MixerDetails& details,
                       std::size_t valueCount) const;
};
