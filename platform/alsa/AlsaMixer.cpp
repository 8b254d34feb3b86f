#include "platform/alsa/AlsaMixer.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <limits>
#include <utility>
#include <vector>

#include "platform/UniqueHandle.h"

// How the mixer model maps onto the simple mixer of one ALSA control device:
// - The recording destination (line id 0) is the device's capture side; it exists when some
//   element has a capture volume or switch. Its channels are 2, the recorder's capture format.
// - Its sources are the simple elements with a capture volume or a capture switch, in element
//   order, as lines 1, 2, ...; an element with index N > 0 is named "Name N" so names stay
//   distinct.
// - A source's mute is its capture switch inverted (muted = switch off). Its volume is the
//   capture volume range shifted to start at 0, since ALSA ranges may be negative: value v
//   means min + v. Channels are the capture channels present; a control is uniform when the
//   element's capture switch or volume is joined.
// - The destination's one list control, always uniform, is the enumerated capture source
//   ("Capture Source", "Input Source") as a single-select list of its items; without one, the
//   first exclusive capture-switch group as a single-select list of its elements; without
//   that, every capture switch as a multiple-select list. No capture switch: no list control.

namespace {

using MixerPtr = UniqueHandle<snd_mixer_t, snd_mixer_close>;

constexpr std::uint32_t destinationLineId = 0;
constexpr std::uint32_t destinationChannels = 2;

enum ControlKind : std::uint32_t { MuteControl, VolumeControl, ListControl, controlKinds };

std::uint32_t controlIdOf(std::uint32_t lineId, ControlKind kind) {
    return lineId * controlKinds + kind;
}

struct Source {
    snd_mixer_elem_t* element;
    std::string name;
    std::vector<snd_mixer_selem_channel_id_t> channels;
};

enum class ListKind { None, Enumerated, ExclusiveGroup, Switches };

std::string nameOf(snd_mixer_elem_t* element) {
    std::string name = snd_mixer_selem_get_name(element);
    if (unsigned index = snd_mixer_selem_get_index(element); index > 0) {
        name += " " + std::to_string(index);
    }
    return name;
}

std::vector<snd_mixer_selem_channel_id_t> captureChannelsOf(snd_mixer_elem_t* element) {
    std::vector<snd_mixer_selem_channel_id_t> channels;
    for (int channel = SND_MIXER_SCHN_FRONT_LEFT; channel <= SND_MIXER_SCHN_LAST; ++channel) {
        const auto id = static_cast<snd_mixer_selem_channel_id_t>(channel);
        if (snd_mixer_selem_has_capture_channel(element, id)) {
            channels.push_back(id);
        }
    }
    return channels;
}

MixerComponent componentOf(const std::string& name) {
    if (name.find("Synth") != std::string::npos) {
        return MixerComponent::Synthesizer;
    }
    if (name.find("Mic") != std::string::npos) {
        return MixerComponent::Microphone;
    }
    if (name.find("Line") != std::string::npos) {
        return MixerComponent::Line;
    }
    return MixerComponent::Other;
}

snd_mixer_selem_channel_id_t firstChannelOf(const Source& source) {
    return source.channels.empty() ? SND_MIXER_SCHN_MONO : source.channels.front();
}

MixerResult driverResult(int alsaResult) {
    return alsaResult < 0 ? MixerResult::DriverError : MixerResult::Ok;
}

class AlsaOpenMixer : public OpenMixer {
public:
    explicit AlsaOpenMixer(MixerPtr mixer);

    MixerResult getDestination(MixerComponent component, MixerLineInfo& destination) override;
    MixerResult getSource(const MixerLineInfo& destination, std::uint32_t sourceIndex,
                          MixerLineInfo& source) override;
    MixerResult getControl(std::uint32_t lineId, MixerControlType type,
                           MixerControl& control) override;
    MixerResult getControls(std::uint32_t lineId, std::vector<MixerControl>& controls) override;
    MixerResult getListTexts(const MixerDetails& details, std::vector<std::string>& texts) override;
    MixerResult getBooleans(const MixerDetails& details, std::vector<bool>& values) override;
    MixerResult setBooleans(const MixerDetails& details, const std::vector<bool>& values) override;
    MixerResult setUnsigneds(const MixerDetails& details,
                             const std::vector<std::uint32_t>& values) override;

private:
    void findListControl();
    std::vector<MixerControl> controlsOf(std::uint32_t lineId) const;
    const Source* sourceOf(std::uint32_t lineId) const;
    bool isListRequest(const MixerDetails& details, std::size_t valueCount) const;
    static bool isChannelRequest(const MixerDetails& details, const Source& source,
                                 std::size_t valueCount);
    MixerResult setSelectedItem(const std::vector<bool>& values);

    MixerPtr mixer_;
    std::vector<Source> sources_;
    ListKind listKind_ = ListKind::None;
    snd_mixer_elem_t* enumerated_ = nullptr;
    std::vector<std::size_t> listSources_;  // indexes into sources_
    std::vector<std::string> listItems_;
};

AlsaOpenMixer::AlsaOpenMixer(MixerPtr mixer) : mixer_(std::move(mixer)) {
    for (snd_mixer_elem_t* element = snd_mixer_first_elem(mixer_.get()); element != nullptr;
         element = snd_mixer_elem_next(element)) {
        if (snd_mixer_selem_has_capture_volume(element) ||
            snd_mixer_selem_has_capture_switch(element)) {
            sources_.push_back({element, nameOf(element), captureChannelsOf(element)});
        } else if (enumerated_ == nullptr && snd_mixer_selem_is_enum_capture(element)) {
            enumerated_ = element;
        }
    }
    findListControl();
}

void AlsaOpenMixer::findListControl() {
    if (enumerated_ != nullptr) {
        listKind_ = ListKind::Enumerated;
        const int items = snd_mixer_selem_get_enum_items(enumerated_);
        for (int item = 0; item < items; ++item) {
            char name[64] = {};
            snd_mixer_selem_get_enum_item_name(enumerated_, static_cast<unsigned>(item),
                                               sizeof name, name);
            listItems_.emplace_back(name);
        }
        return;
    }
    std::optional<int> group;
    for (std::size_t index = 0; index < sources_.size(); ++index) {
        snd_mixer_elem_t* element = sources_[index].element;
        if (snd_mixer_selem_has_capture_switch_exclusive(element) &&
            (!group || *group == snd_mixer_selem_get_capture_group(element))) {
            group = snd_mixer_selem_get_capture_group(element);
            listSources_.push_back(index);
        }
    }
    if (group) {
        listKind_ = ListKind::ExclusiveGroup;
    } else {
        for (std::size_t index = 0; index < sources_.size(); ++index) {
            if (snd_mixer_selem_has_capture_switch(sources_[index].element)) {
                listSources_.push_back(index);
            }
        }
        listKind_ = listSources_.empty() ? ListKind::None : ListKind::Switches;
    }
    for (std::size_t index : listSources_) {
        listItems_.push_back(sources_[index].name);
    }
}

const Source* AlsaOpenMixer::sourceOf(std::uint32_t lineId) const {
    if (lineId == destinationLineId || lineId > sources_.size()) {
        return nullptr;
    }
    return &sources_[lineId - 1];
}

std::vector<MixerControl> AlsaOpenMixer::controlsOf(std::uint32_t lineId) const {
    std::vector<MixerControl> controls;
    if (lineId == destinationLineId) {
        if (listKind_ != ListKind::None) {
            MixerControl list;
            list.controlId = controlIdOf(lineId, ListControl);
            list.type =
                listKind_ == ListKind::Switches ? MixerControlType::Mixer : MixerControlType::Mux;
            list.uniform = true;
            list.multiple = true;
            list.itemCount = static_cast<std::uint32_t>(listItems_.size());
            controls.push_back(list);
        }
        return controls;
    }
    const Source* source = sourceOf(lineId);
    if (source == nullptr) {
        return controls;
    }
    if (snd_mixer_selem_has_capture_switch(source->element)) {
        MixerControl mute;
        mute.controlId = controlIdOf(lineId, MuteControl);
        mute.type = MixerControlType::Mute;
        mute.uniform = snd_mixer_selem_has_capture_switch_joined(source->element) ||
                       source->channels.size() <= 1;
        mute.maximum = 1;
        controls.push_back(mute);
    }
    if (snd_mixer_selem_has_capture_volume(source->element)) {
        long minimum = 0;
        long maximum = 0;
        snd_mixer_selem_get_capture_volume_range(source->element, &minimum, &maximum);
        MixerControl volume;
        volume.controlId = controlIdOf(lineId, VolumeControl);
        volume.type = MixerControlType::Volume;
        volume.uniform = snd_mixer_selem_has_capture_volume_joined(source->element) ||
                         source->channels.size() <= 1;
        const long long span = std::max(0LL, static_cast<long long>(maximum) - minimum);
        volume.maximum = static_cast<std::uint32_t>(
            std::min<long long>(span, std::numeric_limits<std::uint32_t>::max()));
        controls.push_back(volume);
    }
    return controls;
}

MixerResult AlsaOpenMixer::getDestination(MixerComponent component, MixerLineInfo& destination) {
    if (component != MixerComponent::WaveInDestination || sources_.empty()) {
        return MixerResult::NoLine;
    }
    destination.name = "Capture";
    destination.lineId = destinationLineId;
    destination.component = MixerComponent::WaveInDestination;
    destination.channels = destinationChannels;
    destination.connections = static_cast<std::uint32_t>(sources_.size());
    destination.controlCount = static_cast<std::uint32_t>(controlsOf(destinationLineId).size());
    return MixerResult::Ok;
}

MixerResult AlsaOpenMixer::getSource(const MixerLineInfo& destination, std::uint32_t sourceIndex,
                                     MixerLineInfo& source) {
    const Source* found = sourceOf(sourceIndex + 1);
    if (destination.lineId != destinationLineId || found == nullptr) {
        return MixerResult::NoLine;
    }
    source.name = found->name;
    source.lineId = sourceIndex + 1;
    source.component = componentOf(found->name);
    source.channels = static_cast<std::uint32_t>(found->channels.size());
    source.connections = 0;
    source.controlCount = static_cast<std::uint32_t>(controlsOf(source.lineId).size());
    return MixerResult::Ok;
}

MixerResult AlsaOpenMixer::getControl(std::uint32_t lineId, MixerControlType type,
                                      MixerControl& control) {
    if (lineId != destinationLineId && sourceOf(lineId) == nullptr) {
        return MixerResult::NoLine;
    }
    for (const MixerControl& candidate : controlsOf(lineId)) {
        if (candidate.type == type) {
            control = candidate;
            return MixerResult::Ok;
        }
    }
    return MixerResult::NoControl;
}

MixerResult AlsaOpenMixer::getControls(std::uint32_t lineId, std::vector<MixerControl>& controls) {
    if (lineId != destinationLineId && sourceOf(lineId) == nullptr) {
        return MixerResult::NoLine;
    }
    std::vector<MixerControl> all = controlsOf(lineId);
    if (controls.size() != all.size()) {
        return MixerResult::BadDetails;
    }
    std::copy(all.begin(), all.end(), controls.begin());
    return MixerResult::Ok;
}

bool AlsaOpenMixer::isListRequest(const MixerDetails& details, std::size_t valueCount) const {
    return listKind_ != ListKind::None &&
           details.controlId == controlIdOf(destinationLineId, ListControl) &&
           details.channels == 1 && details.items == listItems_.size() &&
           valueCount == listItems_.size();
}

bool AlsaOpenMixer::isChannelRequest(const MixerDetails& details, const Source& source,
                                     std::size_t valueCount) {
    return details.items == 0 && details.channels >= 1 &&
           details.channels <= std::max<std::size_t>(source.channels.size(), 1) &&
           valueCount == details.channels;
}

MixerResult AlsaOpenMixer::getListTexts(const MixerDetails& details,
                                        std::vector<std::string>& texts) {
    if (!isListRequest(details, texts.size())) {
        return MixerResult::BadDetails;
    }
    std::copy(listItems_.begin(), listItems_.end(), texts.begin());
    return MixerResult::Ok;
}

MixerResult AlsaOpenMixer::getBooleans(const MixerDetails& details, std::vector<bool>& values) {
    if (!isListRequest(details, values.size())) {
        return MixerResult::BadDetails;
    }
    if (listKind_ == ListKind::Enumerated) {
        unsigned selected = 0;
        if (snd_mixer_selem_get_enum_item(enumerated_, SND_MIXER_SCHN_MONO, &selected) < 0) {
            return MixerResult::DriverError;
        }
        for (std::size_t item = 0; item < values.size(); ++item) {
            values[item] = item == selected;
        }
        return MixerResult::Ok;
    }
    for (std::size_t item = 0; item < listSources_.size(); ++item) {
        const Source& source = sources_[listSources_[item]];
        int on = 0;
        if (snd_mixer_selem_get_capture_switch(source.element, firstChannelOf(source), &on) < 0) {
            return MixerResult::DriverError;
        }
        values[item] = on != 0;
    }
    return MixerResult::Ok;
}

MixerResult AlsaOpenMixer::setSelectedItem(const std::vector<bool>& values) {
    if (std::count(values.begin(), values.end(), true) != 1) {
        return MixerResult::BadDetails;
    }
    const auto item =
        static_cast<unsigned>(std::find(values.begin(), values.end(), true) - values.begin());
    if (listKind_ == ListKind::ExclusiveGroup) {
        // Switching one member on switches the rest of its group off.
        return driverResult(
            snd_mixer_selem_set_capture_switch_all(sources_[listSources_[item]].element, 1));
    }
    std::vector<snd_mixer_selem_channel_id_t> channels = captureChannelsOf(enumerated_);
    if (channels.empty()) {
        channels.push_back(SND_MIXER_SCHN_MONO);
    }
    for (snd_mixer_selem_channel_id_t channel : channels) {
        if (snd_mixer_selem_set_enum_item(enumerated_, channel, item) < 0) {
            return MixerResult::DriverError;
        }
    }
    return MixerResult::Ok;
}

MixerResult AlsaOpenMixer::setBooleans(const MixerDetails& details,
                                       const std::vector<bool>& values) {
    if (isListRequest(details, values.size())) {
        if (listKind_ != ListKind::Switches) {
            return setSelectedItem(values);
        }
        for (std::size_t item = 0; item < listSources_.size(); ++item) {
            snd_mixer_elem_t* element = sources_[listSources_[item]].element;
            if (snd_mixer_selem_set_capture_switch_all(element, values[item] ? 1 : 0) < 0) {
                return MixerResult::DriverError;
            }
        }
        return MixerResult::Ok;
    }
    const Source* source = sourceOf(details.controlId / controlKinds);
    if (source == nullptr || details.controlId % controlKinds != MuteControl ||
        !snd_mixer_selem_has_capture_switch(source->element)) {
        return MixerResult::NoControl;
    }
    if (!isChannelRequest(details, *source, values.size())) {
        return MixerResult::BadDetails;
    }
    if (values.size() == 1) {
        return driverResult(snd_mixer_selem_set_capture_switch_all(source->element, !values[0]));
    }
    for (std::size_t channel = 0; channel < values.size(); ++channel) {
        if (snd_mixer_selem_set_capture_switch(source->element, source->channels[channel],
                                               !values[channel]) < 0) {
            return MixerResult::DriverError;
        }
    }
    return MixerResult::Ok;
}

MixerResult AlsaOpenMixer::setUnsigneds(const MixerDetails& details,
                                        const std::vector<std::uint32_t>& values) {
    const Source* source = sourceOf(details.controlId / controlKinds);
    if (source == nullptr || details.controlId % controlKinds != VolumeControl ||
        !snd_mixer_selem_has_capture_volume(source->element)) {
        return MixerResult::NoControl;
    }
    long minimum = 0;
    long maximum = 0;
    snd_mixer_selem_get_capture_volume_range(source->element, &minimum, &maximum);
    const bool inRange = std::all_of(values.begin(), values.end(), [&](std::uint32_t value) {
        return static_cast<long long>(minimum) + value <= maximum;
    });
    if (!isChannelRequest(details, *source, values.size()) || !inRange) {
        return MixerResult::BadDetails;
    }
    if (values.size() == 1) {
        return driverResult(snd_mixer_selem_set_capture_volume_all(
            source->element, static_cast<long>(minimum + values[0])));
    }
    for (std::size_t channel = 0; channel < values.size(); ++channel) {
        if (snd_mixer_selem_set_capture_volume(source->element, source->channels[channel],
                                               static_cast<long>(minimum + values[channel])) < 0) {
            return MixerResult::DriverError;
        }
    }
    return MixerResult::Ok;
}

}  // namespace

MixerResult AlsaMixer::open(std::uint32_t deviceId, std::unique_ptr<OpenMixer>& mixer) {
    const std::optional<std::string> controlName = controlNameOf_(deviceId);
    if (!controlName) {
        return MixerResult::BadDevice;
    }
    snd_mixer_t* raw = nullptr;
    if (snd_mixer_open(&raw, 0) < 0) {
        return MixerResult::DriverError;
    }
    MixerPtr opened(raw);
    if (snd_mixer_attach(raw, controlName->c_str()) < 0 ||
        snd_mixer_selem_register(raw, nullptr, nullptr) < 0 || snd_mixer_load(raw) < 0) {
        return MixerResult::BadDevice;
    }
    mixer = std::make_unique<AlsaOpenMixer>(std::move(opened));
    return MixerResult::Ok;
}
