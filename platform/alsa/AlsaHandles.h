// Owning handles for ALSA objects, and a guard that keeps ALSA's own error printing off the
// console while the thread that holds it probes or drives a device.
#pragma once

#include <alsa/asoundlib.h>

#include "platform/UniqueHandle.h"

using AlsaPcm = UniqueHandle<snd_pcm_t, snd_pcm_close>;
using AlsaCtl = UniqueHandle<snd_ctl_t, snd_ctl_close>;

namespace alsa_c {
// alsa/error.h declares it outside its extern "C" block, which makes C++ look for a mangled name.
extern "C" snd_local_error_handler_t snd_lib_error_set_local(snd_local_error_handler_t func);
}  // namespace alsa_c

// For the calling thread only; the errors are reported through return codes anyway.
class QuietAlsaErrors {
public:
    QuietAlsaErrors() : previous_(alsa_c::snd_lib_error_set_local(&ignore)) {}
    ~QuietAlsaErrors() { alsa_c::snd_lib_error_set_local(previous_); }
    QuietAlsaErrors(const QuietAlsaErrors&) = delete;
    QuietAlsaErrors& operator=(const QuietAlsaErrors&) = delete;

private:
    static void ignore(const char*, int, const char*, int, const char*, va_list) {}
    snd_local_error_handler_t previous_;
};
