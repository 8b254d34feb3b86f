// The operations the recorder needs from a sound card's mixer: its recording destination, the
// source lines feeding it, their mute, volume and input-selection controls, read and written.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Results of the mixer operations: Ok, or what went wrong.
enum class MixerResult { Ok, BadDevice, NoLine, NoControl, BadDetails, DriverError };

enum class MixerComponent { Other, WaveInDestination, Microphone, Line, Synthesizer };

struct MixerLineInfo {
    std::string name;
    std::uint32_t lineId = 0;
    MixerComponent component = MixerComponent::Other;
    std::uint32_t channels = 0;
    std::uint32_t connections = 0;  // sources feeding a destination; 0 on a source
    std::uint32_t controlCount = 0;
};

// Mux and SingleSelect allow one selected item, MultipleSelect and Mixer any number.
enum class MixerControlType { Other, Mute, Volume, SingleSelect, Mux, MultipleSelect, Mixer };

inline bool isListControl(MixerControlType type) {
    return type == MixerControlType::SingleSelect || type == MixerControlType::Mux ||
           type == MixerControlType::MultipleSelect || type == MixerControlType::Mixer;
}

struct MixerControl {
    std::uint32_t controlId = 0;
    MixerControlType type = MixerControlType::Other;
    bool uniform = false;   // one value serves every channel
    bool multiple = false;  // has itemCount items per channel
    std::uint32_t minimum = 0;
    std::uint32_t maximum = 0;
    std::uint32_t itemCount = 0;
};

// Which values of a control a read or write covers. Value arrays hold item k's channel values
// at k * channels to k * channels + channels - 1, and have channels * max(items, 1) entries.
struct MixerDetails {
    std::uint32_t controlId = 0;
    std::uint32_t channels = 0;
    std::uint32_t items = 0;
};

// One open mixer. Destroying it closes the mixer.
class OpenMixer {
public:
    virtual ~OpenMixer() = default;

    virtual MixerResult getDestination(MixerComponent component, MixerLineInfo& destination) = 0;
    virtual MixerResult getSource(const MixerLineInfo& destination, std::uint32_t sourceIndex,
                                  MixerLineInfo& source) = 0;
    virtual MixerResult getControl(std::uint32_t lineId, MixerControlType type,
                                   MixerControl& control) = 0;
    // Fills `controls`, which the caller sizes to the line's controlCount.
    virtual MixerResult getControls(std::uint32_t lineId, std::vector<MixerControl>& controls) = 0;

    // The value arrays are sized by the caller as MixerDetails says.
    virtual MixerResult getListTexts(const MixerDetails& details,
                                     std::vector<std::string>& texts) = 0;
    virtual MixerResult getBooleans(const MixerDetails& details, std::vector<bool>& values) = 0;
    virtual MixerResult setBooleans(const MixerDetails& details,
                                    const std::vector<bool>& values) = 0;
    virtual MixerResult setUnsigneds(const MixerDetails& details,
                                     const std::vector<std::uint32_t>& values) = 0;
};

class MixerApi {
public:
    virtual ~MixerApi() = default;

    // Opens the mixer of capture device `deviceId` into `mixer`; on failure `mixer` is left as
    // it was.
    virtual MixerResult open(std::uint32_t deviceId, std::unique_ptr<OpenMixer>& mixer) = 0;
};
