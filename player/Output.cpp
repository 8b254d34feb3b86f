#include "player/Output.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <utility>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

#ifdef _WIN32
constexpr const char* kDrivers = "win32";
#else
constexpr const char* kDrivers = "pulse,alsa";
#endif
constexpr long kProbeRate = 44100;

bool isOneOfOurDrivers(std::string_view name) {
    std::string_view rest = kDrivers;
    while (!rest.empty()) {
        const std::size_t comma = rest.find(',');
        if (rest.substr(0, comma) == name) {
            return true;
        }
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    }
    return false;
}

ProbeResult probeOutput() {
    ProbeResult result;
    Output output = newOutput(result.error);
    if (!output) {
        return result;
    }
    if (out123_open(output.get(), kDrivers, nullptr) != OUT123_OK) {
        result.error = errorForOpen(output.get());
        return result;
    }
    char* driver = nullptr;
    if (out123_driver_info(output.get(), &driver, nullptr) == OUT123_OK && driver != nullptr) {
        result.driver = driver;
    }
    if (result.driver.empty()) {
        result.driver = kDrivers;
    }
    if (out123_start(output.get(), kProbeRate, 2, MPG123_ENC_SIGNED_16) != OUT123_OK) {
        result.error = BASS_ERROR_FORMAT;
        return result;
    }
    out123_drop(output.get());
    return result;
}

// What the probe's thread hands back, owned by both sides so that either may go first.
struct ProbeAnswer {
    std::mutex mutex;
    std::condition_variable answered;
    std::optional<ProbeResult> result;
};

}  // namespace

Output newOutput(int& error) {
    Output output(out123_new());
    if (!output) {
        error = BASS_ERROR_MEM;
        return nullptr;
    }
    // Not OUT123_QUIET: quiet, the ALSA module installs ALSA's process-wide error handler in its
    // own code and leaves it there when the module is unloaded, so the host's next ALSA error
    // message (a sound server that does not answer, say) jumps into unmapped memory.
    // Honoured by the ALSA module only; the PulseAudio one keeps the server's default.
    out123_param_float(output.get(), OUT123_DEVICEBUFFER, 0.2);
    return output;
}

// out123_open reports every failure as a bad driver; tell a missing output module (nothing to be
// done but install it) from a device that would not open.
int errorForOpen(out123_handle* output) {
    if (out123_errcode(output) == OUT123_DOOM) {
        return BASS_ERROR_MEM;
    }
    char** names = nullptr;
    char** descriptions = nullptr;
    int count = 0;
    {
#if defined(__SANITIZE_ADDRESS__)
        // The listing loads and unloads every output module; libout123 and the sound libraries
        // some modules pull in keep a little memory each time, which is theirs, not ours.
        const __lsan::ScopedDisabler theirLeaks;
#endif
        count = out123_drivers(output, &names, &descriptions);
    }
    bool installed = false;
    for (int index = 0; index < count; ++index) {
        installed = installed || isOneOfOurDrivers(names[index]);
    }
    if (count > 0) {
        out123_stringlists_free(names, descriptions, count);
    }
    return installed ? BASS_ERROR_DEVICE : BASS_ERROR_DRIVER;
}

std::optional<ProbeResult> probeOutputWithin(std::chrono::milliseconds bound) {
    auto answer = std::make_shared<ProbeAnswer>();
    std::thread prober([answer] {
        ProbeResult result = probeOutput();
        const std::lock_guard lock(answer->mutex);
        answer->result = std::move(result);
        answer->answered.notify_all();
    });
    std::unique_lock lock(answer->mutex);
    if (!answer->answered.wait_for(lock, bound, [&] { return answer->result.has_value(); })) {
        prober.detach();
        return std::nullopt;
    }
    lock.unlock();
    prober.join();
    return std::move(answer->result);
}
