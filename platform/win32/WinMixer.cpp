#include "platform/win32/WinMixer.h"

#include <windows.h>
// After windows.h, whose types it uses.
#include <mmsystem.h>

#include <algorithm>
#include <cwchar>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/UniqueHandle.h"
#include "platform/win32/Utf8.h"

namespace {

using MixerHandle = UniqueHandle<std::remove_pointer_t<HMIXER>, mixerClose>;

MixerResult resultOf(MMRESULT result) {
    switch (result) {
        case MMSYSERR_NOERROR:
            return MixerResult::Ok;
        case MMSYSERR_BADDEVICEID:
        case MMSYSERR_NODRIVER:
        case MMSYSERR_INVALHANDLE:
        case MMSYSERR_ALLOCATED:
            return MixerResult::BadDevice;
        case MIXERR_INVALLINE:
            return MixerResult::NoLine;
        case MIXERR_INVALCONTROL:
        case MMSYSERR_NOTSUPPORTED:  // Wine's answer for a control type it lacks
            return MixerResult::NoControl;
        case MIXERR_INVALVALUE:
        case MMSYSERR_INVALPARAM:
        case MMSYSERR_INVALFLAG:
            return MixerResult::BadDetails;
        default:
            return MixerResult::DriverError;
    }
}

MixerComponent componentOf(DWORD type) {
    switch (type) {
        case MIXERLINE_COMPONENTTYPE_DST_WAVEIN:
            return MixerComponent::WaveInDestination;
        case MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE:
            return MixerComponent::Microphone;
        case MIXERLINE_COMPONENTTYPE_SRC_LINE:
            return MixerComponent::Line;
        case MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER:
            return MixerComponent::Synthesizer;
        default:
            return MixerComponent::Other;
    }
}

constexpr struct {
    MixerControlType type;
    DWORD code;
} controlTypes[] = {
    {MixerControlType::Mute, MIXERCONTROL_CONTROLTYPE_MUTE},
    {MixerControlType::Volume, MIXERCONTROL_CONTROLTYPE_VOLUME},
    {MixerControlType::SingleSelect, MIXERCONTROL_CONTROLTYPE_SINGLESELECT},
    {MixerControlType::Mux, MIXERCONTROL_CONTROLTYPE_MUX},
    {MixerControlType::MultipleSelect, MIXERCONTROL_CONTROLTYPE_MULTIPLESELECT},
    {MixerControlType::Mixer, MIXERCONTROL_CONTROLTYPE_MIXER},
};

MixerControlType controlTypeOf(DWORD code) {
    for (const auto& entry : controlTypes) {
        if (entry.code == code) {
            return entry.type;
        }
    }
    return MixerControlType::Other;
}

DWORD codeOf(MixerControlType type) {
    for (const auto& entry : controlTypes) {
        if (entry.type == type) {
            return entry.code;
        }
    }
    return 0;
}

// The driver need not end a name that fills its whole field.
template <std::size_t size>
std::string textOf(const WCHAR (&name)[size]) {
    return utf8FromWide(std::wstring_view(name, wcsnlen(name, size)));
}

MixerLineInfo lineInfoOf(const MIXERLINEW& line) {
    MixerLineInfo info;
    info.name = textOf(line.szName);
    info.lineId = line.dwLineID;
    info.component = componentOf(line.dwComponentType);
    info.channels = line.cChannels;
    info.connections = line.cConnections;
    info.controlCount = line.cControls;
    return info;
}

MixerControl controlOf(const MIXERCONTROLW& raw) {
    MixerControl control;
    control.controlId = raw.dwControlID;
    control.type = controlTypeOf(raw.dwControlType);
    control.uniform = (raw.fdwControl & MIXERCONTROL_CONTROLF_UNIFORM) != 0;
    control.multiple = (raw.fdwControl & MIXERCONTROL_CONTROLF_MULTIPLE) != 0;
    control.minimum = raw.Bounds.dwMinimum;
    control.maximum = raw.Bounds.dwMaximum;
    control.itemCount = raw.cMultipleItems;
    return control;
}

class WinOpenMixer : public OpenMixer {
public:
    explicit WinOpenMixer(MixerHandle handle) : handle_(std::move(handle)) {}

    MixerResult getDestination(MixerComponent component, MixerLineInfo& destination) override {
        if (component != MixerComponent::WaveInDestination) {
            return MixerResult::NoLine;
        }
        MIXERLINEW line{};
        line.dwComponentType = MIXERLINE_COMPONENTTYPE_DST_WAVEIN;
        const MixerResult result = lineInfo(line, MIXER_GETLINEINFOF_COMPONENTTYPE);
        if (result == MixerResult::Ok) {
            destination = lineInfoOf(line);
        }
        return result;
    }

    MixerResult getSource(const MixerLineInfo& destination, std::uint32_t sourceIndex,
                          MixerLineInfo& source) override {
        MIXERLINEW owner{};
        if (MixerResult result = lineById(destination.lineId, owner); result != MixerResult::Ok) {
            return result;
        }
        MIXERLINEW line{};
        line.dwDestination = owner.dwDestination;
        line.dwSource = sourceIndex;
        const MixerResult result = lineInfo(line, MIXER_GETLINEINFOF_SOURCE);
        if (result == MixerResult::Ok) {
            source = lineInfoOf(line);
        }
        return result;
    }

    MixerResult getControl(std::uint32_t lineId, MixerControlType type,
                           MixerControl& control) override {
        const DWORD code = codeOf(type);
        if (code == 0) {
            return MixerResult::NoControl;
        }
        MIXERCONTROLW raw{};
        raw.cbStruct = sizeof raw;
        MIXERLINECONTROLSW request{};
        request.dwLineID = lineId;
        request.dwControlType = code;
        const MixerResult result = lineControls(request, raw, 1, MIXER_GETLINECONTROLSF_ONEBYTYPE);
        if (result == MixerResult::Ok) {
            control = controlOf(raw);
        }
        return result;
    }

    MixerResult getControls(std::uint32_t lineId, std::vector<MixerControl>& controls) override {
        MIXERLINEW line{};
        if (MixerResult result = lineById(lineId, line); result != MixerResult::Ok) {
            return result;
        }
        if (controls.size() != line.cControls) {
            return MixerResult::BadDetails;
        }
        if (controls.empty()) {
            return MixerResult::Ok;
        }
        std::vector<MIXERCONTROLW> raw(controls.size());
        for (MIXERCONTROLW& control : raw) {
            control.cbStruct = sizeof control;
        }
        MIXERLINECONTROLSW request{};
        request.dwLineID = lineId;
        const MixerResult result =
            lineControls(request, raw.front(), line.cControls, MIXER_GETLINECONTROLSF_ALL);
        if (result == MixerResult::Ok) {
            std::transform(raw.begin(), raw.end(), controls.begin(), controlOf);
        }
        return result;
    }

    MixerResult getListTexts(const MixerDetails& details,
                             std::vector<std::string>& texts) override {
        std::vector<MIXERCONTROLDETAILS_LISTTEXTW> area(texts.size());
        const MixerResult result =
            controlDetails(details, area, MIXER_GETCONTROLDETAILSF_LISTTEXT, false);
        if (result == MixerResult::Ok) {
            std::transform(area.begin(), area.end(), texts.begin(),
                           [](const auto& item) { return textOf(item.szName); });
        }
        return result;
    }

    MixerResult getBooleans(const MixerDetails& details, std::vector<bool>& values) override {
        std::vector<MIXERCONTROLDETAILS_BOOLEAN> area(values.size());
        const MixerResult result =
            controlDetails(details, area, MIXER_GETCONTROLDETAILSF_VALUE, false);
        if (result == MixerResult::Ok) {
            std::transform(area.begin(), area.end(), values.begin(),
                           [](const auto& value) { return value.fValue != 0; });
        }
        return result;
    }

    MixerResult setBooleans(const MixerDetails& details, const std::vector<bool>& values) override {
        std::vector<MIXERCONTROLDETAILS_BOOLEAN> area(values.size());
        std::transform(values.begin(), values.end(), area.begin(),
                       [](bool value) { return MIXERCONTROLDETAILS_BOOLEAN{value ? 1L : 0L}; });
        return controlDetails(details, area, MIXER_SETCONTROLDETAILSF_VALUE, true);
    }

    MixerResult setUnsigneds(const MixerDetails& details,
                             const std::vector<std::uint32_t>& values) override {
        std::vector<MIXERCONTROLDETAILS_UNSIGNED> area(values.size());
        std::transform(values.begin(), values.end(), area.begin(),
                       [](std::uint32_t value) { return MIXERCONTROLDETAILS_UNSIGNED{value}; });
        return controlDetails(details, area, MIXER_SETCONTROLDETAILSF_VALUE, true);
    }

private:
    HMIXEROBJ object() const { return reinterpret_cast<HMIXEROBJ>(handle_.get()); }

    MixerResult lineInfo(MIXERLINEW& line, DWORD query) const {
        line.cbStruct = sizeof line;
        return resultOf(mixerGetLineInfoW(object(), &line, MIXER_OBJECTF_HMIXER | query));
    }

    MixerResult lineById(std::uint32_t lineId, MIXERLINEW& line) const {
        line.dwLineID = lineId;
        return lineInfo(line, MIXER_GETLINEINFOF_LINEID);
    }

    MixerResult lineControls(MIXERLINECONTROLSW& request, MIXERCONTROLW& first, DWORD count,
                             DWORD query) const {
        request.cbStruct = sizeof request;
        request.cControls = count;
        request.cbmxctrl = sizeof first;
        request.pamxctrl = &first;
        return resultOf(mixerGetLineControlsW(object(), &request, MIXER_OBJECTF_HMIXER | query));
    }

    // The area must hold exactly the values `details` names: the driver fills or reads that
    // many whatever the area's size.
    template <typename Detail>
    MixerResult controlDetails(const MixerDetails& details, std::vector<Detail>& area, DWORD query,
                               bool set) const {
        const std::uint64_t count =
            std::uint64_t{details.channels} * std::max<std::uint32_t>(details.items, 1);
        if (details.channels == 0 || area.size() != count) {
            return MixerResult::BadDetails;
        }
        MIXERCONTROLDETAILS request{};
        request.cbStruct = sizeof request;
        request.dwControlID = details.controlId;
        request.cChannels = details.channels;
        request.cMultipleItems = details.items;
        request.cbDetails = sizeof(Detail);
        request.paDetails = area.data();
        const DWORD flags = MIXER_OBJECTF_HMIXER | query;
        return resultOf(set ? mixerSetControlDetails(object(), &request, flags)
                            : mixerGetControlDetailsW(object(), &request, flags));
    }

    MixerHandle handle_;
};

}  // namespace

MixerResult WinMixer::open(std::uint32_t deviceId, std::unique_ptr<OpenMixer>& mixer) {
    // mixerOpen with MIXER_OBJECTF_WAVEIN takes the id as a mixer number under Wine; the mixer
    // number mixerGetID gives is the wave-in device's own mixer everywhere.
    UINT mixerId = 0;
    // NOLINTNEXTLINE(performance-no-int-to-ptr): the call takes a device number as a handle
    if (mixerGetID(reinterpret_cast<HMIXEROBJ>(static_cast<UINT_PTR>(deviceId)), &mixerId,
                   MIXER_OBJECTF_WAVEIN) != MMSYSERR_NOERROR) {
        return MixerResult::BadDevice;
    }
    HMIXER raw = nullptr;
    const MixerResult result = resultOf(mixerOpen(&raw, mixerId, 0, 0, MIXER_OBJECTF_MIXER));
    if (result == MixerResult::Ok) {
        mixer = std::make_unique<WinOpenMixer>(MixerHandle(raw));
    }
    return result;
}
