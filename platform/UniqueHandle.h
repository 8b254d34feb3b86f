// A handle of the system or of a library, owned like any other object: closed by the call that
// closes it when its owner goes, whatever that call returns.
#pragma once

#include <memory>

template <auto closeCall>
struct CloseWith {
    template <typename T>
    void operator()(T* handle) const noexcept {
        closeCall(handle);
    }
};

// Example: UniqueHandle<snd_pcm_t, snd_pcm_close>.
template <typename T, auto closeCall>
using UniqueHandle = std::unique_ptr<T, CloseWith<closeCall>>;
