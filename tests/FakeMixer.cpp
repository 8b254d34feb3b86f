#include "FakeMixer.h"

#include <algorithm>
#include <stdexcept>

FakeLine fakeSource(const std::string& name, std::uint32_t lineId, std::uint32_t channels,
                    std::vector<FakeControl> controls, MixerComponent component) {
    FakeLine line;
    line.info.name = name;
    line.info.lineId = lineId;
    line.info.component = component;
    line.info.channels = channels;
    line.controls = std::move(controls);
    return line;
}

FakeLine fakeDestination(std::uint32_t channels, std::vector<FakeControl> controls) {
    return fakeSource("Recording Control", 0xFFFF0000, channels, std::move(controls),
                      MixerComponent::WaveInDestination);
}

FakeControl fakeMute(std::uint32_t controlId, bool uniform) {
    FakeControl mute;
    mute.control = {controlId, MixerControlType::Mute, uniform, false, 0, 1, 0};
    return mute;
}

FakeControl fakeVolume(std::uint32_t controlId, std::uint32_t minimum, std::uint32_t maximum,
                       bool uniform) {
    FakeControl volume;
    volume.control = {controlId, MixerControlType::Volume, uniform, false, minimum, maximum, 0};
    return volume;
}

FakeControl fakeList(std::uint32_t controlId, MixerControlType type, bool uniform,
                     std::vector<std::string> items, std::vector<bool> selected) {
    FakeControl list;
    list.control = {controlId, type, uniform, true, 0, 1, static_cast<std::uint32_t>(items.size())};
    list.items = std::move(items);
    list.selected = std::move(selected);
    return list;
}

class FakeOpenMixer : public OpenMixer {
public:
    explicit FakeOpenMixer(FakeMixer& fake) : fake_(fake) { ++fake_.openMixers; }
    ~FakeOpenMixer() override { --fake_.openMixers; }
    FakeOpenMixer(const FakeOpenMixer&) = delete;
    FakeOpenMixer& operator=(const FakeOpenMixer&) = delete;

    MixerResult getDestination(MixerComponent component, MixerLineInfo& destination) override {
        if (component != MixerComponent::WaveInDestination || !fake_.destination) {
            return MixerResult::NoLine;
        }
        destination = infoOf(*fake_.destination);
        destination.connections = static_cast<std::uint32_t>(fake_.sources.size());
        return MixerResult::Ok;
    }

    MixerResult getSource(const MixerLineInfo& destination, std::uint32_t sourceIndex,
                          MixerLineInfo& source) override {
        if (!fake_.destination || destination.lineId != fake_.destination->info.lineId ||
            sourceIndex >= fake_.sources.size() || fake_.sources[sourceIndex].queryFails) {
            return MixerResult::NoLine;
        }
        source = infoOf(fake_.sources[sourceIndex]);
        return MixerResult::Ok;
    }

    MixerResult getControl(std::uint32_t lineId, MixerControlType type,
                           MixerControl& control) override {
        FakeLine* line = fake_.lineOf(lineId);
        if (line == nullptr) {
            return MixerResult::NoLine;
        }
        for (const FakeControl& candidate : line->controls) {
            if (candidate.control.type == type) {
                control = candidate.control;
                return MixerResult::Ok;
            }
        }
        return MixerResult::NoControl;
    }

    MixerResult getControls(std::uint32_t lineId, std::vector<MixerControl>& controls) override {
        FakeLine* line = fake_.lineOf(lineId);
        if (line == nullptr) {
            return MixerResult::NoLine;
        }
        if (controls.size() != line->controls.size()) {
            return MixerResult::BadDetails;
        }
        for (std::size_t index = 0; index < controls.size(); ++index) {
            controls[index] = line->controls[index].control;
        }
        return fake_.controlsReadFails ? MixerResult::DriverError : MixerResult::Ok;
    }

    MixerResult getListTexts(const MixerDetails& details,
                             std::vector<std::string>& texts) override {
        FakeControl* list = fake_.controlOf(details.controlId);
        if (list == nullptr || !fake_.isListRequest(*list, details, texts.size())) {
            return MixerResult::BadDetails;
        }
        for (std::size_t index = 0; index < texts.size(); ++index) {
            texts[index] = list->items[index / details.channels];
        }
        return fake_.listTextsReadFails ? MixerResult::DriverError : MixerResult::Ok;
    }

    MixerResult getBooleans(const MixerDetails& details, std::vector<bool>& values) override {
        FakeControl* list = fake_.controlOf(details.controlId);
        if (list == nullptr || !fake_.isListRequest(*list, details, values.size())) {
            return MixerResult::BadDetails;
        }
        values = list->selected;
        return fake_.listValuesReadFails ? MixerResult::DriverError : MixerResult::Ok;
    }

    MixerResult setBooleans(const MixerDetails& details, const std::vector<bool>& values) override {
        fake_.writes.push_back({details, values, {}});
        FakeLine* line = nullptr;
        FakeControl* control = fake_.controlOf(details.controlId, &line);
        if (control == nullptr) {
            return MixerResult::NoControl;
        }
        if (isListControl(control->control.type)) {
            if (!fake_.isListRequest(*control, details, values.size())) {
                return MixerResult::BadDetails;
            }
            if (fake_.writeResult == MixerResult::Ok) {
                control->selected = values;
            }
            return fake_.writeResult;
        }
        if (control->control.type != MixerControlType::Mute ||
            !isChannelRequest(*control, *line, details, values.size())) {
            return MixerResult::BadDetails;
        }
        return fake_.writeResult;
    }

    MixerResult setUnsigneds(const MixerDetails& details,
                             const std::vector<std::uint32_t>& values) override {
        fake_.writes.push_back({details, {}, values});
        FakeLine* line = nullptr;
        FakeControl* control = fake_.controlOf(details.controlId, &line);
        if (control == nullptr) {
            return MixerResult::NoControl;
        }
        const MixerControl& volume = control->control;
        const bool inRange = std::all_of(values.begin(), values.end(), [&](std::uint32_t value) {
            return value >= volume.minimum && value <= volume.maximum;
        });
        if (volume.type != MixerControlType::Volume ||
            !isChannelRequest(*control, *line, details, values.size()) || !inRange) {
            return MixerResult::BadDetails;
        }
        return fake_.writeResult;
    }

private:
    MixerLineInfo infoOf(const FakeLine& line) const {
        MixerLineInfo info = line.info;
        info.controlCount = static_cast<std::uint32_t>(line.controls.size());
        return info;
    }

    static bool isChannelRequest(const FakeControl& control, const FakeLine& line,
                                 const MixerDetails& details, std::size_t valueCount) {
        const bool channelsFit =
            control.control.uniform
                ? details.channels == 1
                : details.channels >= 1 && details.channels <= line.info.channels;
        return channelsFit && details.items == 0 && valueCount == details.channels;
    }

    FakeMixer& fake_;
};

MixerResult FakeMixer::open(std::uint32_t deviceId, std::unique_ptr<OpenMixer>& mixer) {
    openedDeviceIds.push_back(deviceId);
    if (openFails || opensFailingFirst > 0) {
        opensFailingFirst = std::max(0, opensFailingFirst - 1);
        return MixerResult::BadDevice;
    }
    mixer = std::make_unique<FakeOpenMixer>(*this);
    return MixerResult::Ok;
}

const std::vector<bool>& FakeMixer::listValues(std::uint32_t controlId) {
    const FakeControl* list = controlOf(controlId);
    if (list == nullptr) {
        throw std::logic_error("no such control in the script");
    }
    return list->selected;
}

FakeLine* FakeMixer::lineOf(std::uint32_t lineId) {
    if (destination && destination->info.lineId == lineId) {
        return &*destination;
    }
    for (FakeLine& source : sources) {
        if (source.info.lineId == lineId) {
            return &source;
        }
    }
    return nullptr;
}

FakeControl* FakeMixer::controlOf(std::uint32_t controlId, FakeLine** owner) {
    std::vector<FakeLine*> lines;
    if (destination) {
        lines.push_back(&*destination);
    }
    for (FakeLine& source : sources) {
        lines.push_back(&source);
    }
    for (FakeLine* line : lines) {
        for (FakeControl& control : line->controls) {
            if (control.control.controlId == controlId) {
                if (owner != nullptr) {
                    *owner = line;
                }
                return &control;
            }
        }
    }
    return nullptr;
}

bool FakeMixer::isListRequest(const FakeControl& list, const MixerDetails& details,
                              std::size_t valueCount) const {
    const std::uint32_t channels =
        list.control.uniform ? 1 : (destination ? destination->info.channels : 0);
    const std::uint32_t items = list.control.multiple ? list.control.itemCount : 0;
    return isListControl(list.control.type) && details.channels == channels &&
           details.items == items &&
           valueCount == std::size_t{channels} * std::max<std::uint32_t>(items, 1) &&
           list.selected.size() == valueCount;
}
