#include "platform/alsa/AlsaCaptureEndpoints.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>

#include "platform/WaveIn.h"
#include "platform/alsa/AlsaHandles.h"

// Listed: the sound server's default source first, when a server answers, then every capture
// device of every sound card. Plugin PCMs that are no sound card (null, file, rate, dsnoop,
// dmix, tee, ...) are never looked at: only card devices and the server's PCM are probed.
namespace {

enum class Probe { Accepts, Busy, Refuses };

// Opened without waiting, so that a device in use answers at once instead of blocking.
Probe probeCapture(const std::string& pcmName) {
    snd_pcm_t* raw = nullptr;
    const int opened =
        snd_pcm_open(&raw, pcmName.c_str(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
    if (opened == -EBUSY) {
        return Probe::Busy;
    }
    if (opened < 0) {
        return Probe::Refuses;
    }
    AlsaPcm pcm(raw);
    snd_pcm_hw_params_t* params = nullptr;
    snd_pcm_hw_params_alloca(&params);
    const bool accepts =
        snd_pcm_hw_params_any(raw, params) >= 0 &&
        snd_pcm_hw_params_set_access(raw, params, SND_PCM_ACCESS_RW_INTERLEAVED) == 0 &&
        snd_pcm_hw_params_set_format(raw, params, SND_PCM_FORMAT_S16_LE) == 0 &&
        snd_pcm_hw_params_set_channels(raw, params, kWaveFormat4S16.nChannels) == 0 &&
        snd_pcm_hw_params_set_rate(raw, params, kWaveFormat4S16.nSamplesPerSec, 0) == 0;
    return accepts ? Probe::Accepts : Probe::Refuses;
}

// PipeWire serves the PulseAudio protocol too; its own socket tells the two apart.
std::string soundServerName(const std::string& pcmName) {
    const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
    std::error_code ignored;
    const bool pipeWire =
        pcmName == "pipewire" ||
        (std::getenv("PULSE_SERVER") == nullptr && runtimeDir != nullptr &&
         std::filesystem::exists(std::filesystem::path(runtimeDir) / "pipewire-0", ignored));
    return pipeWire ? "Звуковой сервер (PipeWire)" : "Звуковой сервер (PulseAudio)";
}

std::optional<AlsaCaptureEndpoint> soundServerSource() {
    for (const char* pcm : {"pulse", "pipewire"}) {
        if (probeCapture(pcm) == Probe::Accepts) {
            return AlsaCaptureEndpoint{soundServerName(pcm), pcm, pcm};
        }
    }
    return std::nullopt;
}

// plughw converts whatever the card records to the format asked for. A device in use (most
// often by the sound server) is listed all the same: it will record once it is free, and the
// list then stays the same whether or not the device is busy at the moment it is made.
void addCardDevices(int card, std::vector<AlsaCaptureEndpoint>& endpoints) {
    snd_ctl_t* raw = nullptr;
    if (snd_ctl_open(&raw, ("hw:" + std::to_string(card)).c_str(), 0) < 0) {
        return;
    }
    AlsaCtl ctl(raw);
    snd_ctl_card_info_t* cardInfo = nullptr;
    snd_ctl_card_info_alloca(&cardInfo);
    if (snd_ctl_card_info(raw, cardInfo) < 0) {
        return;
    }
    const std::string cardId = snd_ctl_card_info_get_id(cardInfo);
    const std::string cardName = snd_ctl_card_info_get_name(cardInfo);

    snd_pcm_info_t* pcmInfo = nullptr;
    snd_pcm_info_alloca(&pcmInfo);
    int device = -1;
    while (snd_ctl_pcm_next_device(raw, &device) == 0 && device >= 0) {
        snd_pcm_info_set_device(pcmInfo, static_cast<unsigned>(device));
        snd_pcm_info_set_subdevice(pcmInfo, 0);
        snd_pcm_info_set_stream(pcmInfo, SND_PCM_STREAM_CAPTURE);
        if (snd_ctl_pcm_info(raw, pcmInfo) < 0) {
            continue;  // playback only
        }
        const std::string pcm = "plughw:CARD=" + cardId + ",DEV=" + std::to_string(device);
        if (probeCapture(pcm) == Probe::Refuses) {
            continue;
        }
        endpoints.push_back(
            {cardName + ": " + snd_pcm_info_get_name(pcmInfo), pcm, "hw:CARD=" + cardId});
    }
}

void makeNamesDistinct(std::vector<AlsaCaptureEndpoint>& endpoints) {
    std::set<std::string> taken;
    for (AlsaCaptureEndpoint& endpoint : endpoints) {
        std::string name = endpoint.displayName;
        for (int n = 2; taken.count(name) != 0; ++n) {
            name = endpoint.displayName + " (" + std::to_string(n) + ")";
        }
        taken.insert(name);
        endpoint.displayName = name;
    }
}

}  // namespace

std::vector<AlsaCaptureEndpoint> listAlsaCaptureEndpoints() {
    QuietAlsaErrors quiet;
    std::vector<AlsaCaptureEndpoint> endpoints;
    if (std::optional<AlsaCaptureEndpoint> server = soundServerSource()) {
        endpoints.push_back(*server);
    }
    int card = -1;
    while (snd_card_next(&card) == 0 && card >= 0) {
        addCardDevices(card, endpoints);
    }
    makeNamesDistinct(endpoints);
    return endpoints;
}
