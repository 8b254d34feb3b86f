#include "audio/MixerLine.h"

#include <algorithm>
#include <new>
#include <stdexcept>
#include <vector>

namespace {

// A driver may report item and channel counts too large to hold; such a list is left alone.
template <typename T>
bool allocate(std::vector<T>& area, std::uint64_t count) {
    try {
        area.resize(static_cast<std::size_t>(count));
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    return true;
}

}  // namespace

std::uint32_t MixerLine::channelsFor(const MixerControl& control) const {
    return control.uniform ? 1 : std::min<std::uint32_t>(info_.channels, 2);
}

MixerResult MixerLine::unmute() {
    MixerControl mute;
    if (MixerResult result = mixer_->getControl(info_.lineId, MixerControlType::Mute, mute);
        result != MixerResult::Ok) {
        return result;
    }
    const std::uint32_t channels = channelsFor(mute);
    return mixer_->setBooleans({mute.controlId, channels, 0}, std::vector<bool>(channels, false));
}

MixerResult MixerLine::setVolume(std::uint32_t percent) {
    percent = std::min<std::uint32_t>(percent, 100);
    MixerControl volume;
    if (MixerResult result = mixer_->getControl(info_.lineId, MixerControlType::Volume, volume);
        result != MixerResult::Ok) {
        return result;
    }
    const std::uint32_t channels = channelsFor(volume);
    // The product is taken in 64 bits: in 32 it wraps once the range exceeds 2^32 / 100.
    const std::uint64_t span = volume.maximum - volume.minimum;
    const auto value = static_cast<std::uint32_t>(volume.minimum + span * percent / 100);
    return mixer_->setUnsigneds({volume.controlId, channels, 0},
                                std::vector<std::uint32_t>(channels, value));
}

void MixerLine::selectAsRecordingInput() {
    MixerLineInfo destination;
    if (mixer_->getDestination(MixerComponent::WaveInDestination, destination) != MixerResult::Ok) {
        return;
    }
    std::vector<MixerControl> controls;
    if (!allocate(controls, destination.controlCount) ||
        mixer_->getControls(destination.lineId, controls) != MixerResult::Ok) {
        return;
    }
    const auto list = std::find_if(controls.begin(), controls.end(),
                                   [](const MixerControl& c) { return isListControl(c.type); });
    if (list == controls.end()) {
        return;
    }
    const bool singleSelect =
        list->type == MixerControlType::SingleSelect || list->type == MixerControlType::Mux;
    const std::uint32_t channels = list->uniform ? 1 : destination.channels;
    const std::uint32_t items = list->multiple ? list->itemCount : 0;
    if (channels == 0 || items == 0) {
        return;
    }
    const MixerDetails details{list->controlId, channels, items};
    const std::uint64_t count = std::uint64_t{channels} * items;

    // Names or selections from a failed read must not decide what gets written.
    std::vector<std::string> names;
    if (!allocate(names, count) || mixer_->getListTexts(details, names) != MixerResult::Ok) {
        return;
    }
    std::vector<bool> selected;
    if (!allocate(selected, count) || mixer_->getBooleans(details, selected) != MixerResult::Ok) {
        return;
    }

    bool matched = false;
    for (std::uint64_t item = 0; item < items; ++item) {
        const std::uint64_t first = item * channels;
        const std::uint64_t last = first + channels - 1;
        if (names[first] == info_.name) {
            selected[first] = true;
            selected[last] = true;
            matched = true;
        } else if (singleSelect) {
            selected[first] = false;
            selected[last] = false;
        }
    }
    // A single-select list written with nothing selected would leave the card without a
    // recording input, so a line the list does not name changes nothing.
    if (matched) {
        mixer_->setBooleans(details, selected);
    }
}
