// The MP3 encoder library, loaded at run time and bound as a unit: either the six calls it must
// offer are all there, or it is unloaded again and the next load() tries afresh.
#pragma once

#include <mutex>
#include <string>

#include "lame_enc.h"
#include "platform/SharedLibrary.h"

class EncoderLibrary {
public:
    struct EntryPoints {
        decltype(&beInitStream) initStream = nullptr;
        decltype(&beEncodeChunk) encodeChunk = nullptr;
        decltype(&beDeinitStream) deinitStream = nullptr;
        decltype(&beCloseStream) closeStream = nullptr;
        decltype(&beVersion) version = nullptr;
        decltype(&beWriteVBRHeader) writeVbrHeader = nullptr;
        decltype(&beWriteInfoTag) writeInfoTag = nullptr;  // may be absent
    };

    // The program's encoder library, looked for in the program's folder first. It is never
    // destroyed, so it stays loaded until the process ends.
    static EncoderLibrary& instance();

    // The library `fileName`, looked for in `folder` first, then through the usual search.
    // Nothing is loaded before load().
    EncoderLibrary(std::string folder, std::string fileName);
    EncoderLibrary(const EncoderLibrary&) = delete;
    EncoderLibrary& operator=(const EncoderLibrary&) = delete;

    // Makes sure the library is bound; safe from any thread. Throws AudioError
    // "Error loading lame_enc.DLL" or "Unable to get LAME interfaces".
    void load();
    bool isLoaded() const;
    // The first required entry point the last refused library lacked; nullptr when none did.
    const char* missingEntryPoint() const;

    // Valid only after load() has returned; unchanged from then on.
    const EntryPoints& entryPoints() const { return entryPoints_; }

private:
    enum class Outcome { Loaded, Missing, Incomplete };
    Outcome loadUnderLock();

    const std::string folder_;
    const std::string fileName_;
    mutable std::mutex lock_;
    bool loaded_ = false;
    const char* missingEntryPoint_ = nullptr;
    SharedLibrary library_;
    EntryPoints entryPoints_;
};
