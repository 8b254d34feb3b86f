#include "audio/EncoderLibrary.h"

#include <utility>

#include "audio/AudioError.h"
#include "platform/SystemNames.h"

EncoderLibrary& EncoderLibrary::instance() {
    // Deliberately leaked: streams owned by other process-wide objects may still be closed
    // while static objects are being destroyed at exit.
    static EncoderLibrary* const library =
        new EncoderLibrary(programFolder(), encoderLibraryFileName);
    return *library;
}

EncoderLibrary::EncoderLibrary(std::string folder, std::string fileName)
    : folder_(std::move(folder)), fileName_(std::move(fileName)) {}

void EncoderLibrary::load() {
    // Thrown here, after the lock is released.
    switch (loadUnderLock()) {
        case Outcome::Loaded:
            return;
        case Outcome::Missing:
            throw AudioError("Error loading lame_enc.DLL");
        case Outcome::Incomplete:
            throw AudioError("Unable to get LAME interfaces");
    }
}

bool EncoderLibrary::isLoaded() const {
    std::lock_guard guard(lock_);
    return loaded_;
}

const char* EncoderLibrary::missingEntryPoint() const {
    std::lock_guard guard(lock_);
    return missingEntryPoint_;
}

EncoderLibrary::Outcome EncoderLibrary::loadUnderLock() {
    std::lock_guard guard(lock_);
    if (loaded_) {
        return Outcome::Loaded;
    }
    SharedLibrary candidate = SharedLibrary::load(fileName_, folder_);
    missingEntryPoint_ = nullptr;
    if (!candidate.isLoaded()) {
        return Outcome::Missing;
    }
    EntryPoints found;
    missingEntryPoint_ = candidate.bindAll({{"beInitStream", found.initStream},
                                            {"beEncodeChunk", found.encodeChunk},
                                            {"beDeinitStream", found.deinitStream},
                                            {"beCloseStream", found.closeStream},
                                            {"beVersion", found.version},
                                            {"beWriteVBRHeader", found.writeVbrHeader}});
    candidate.bindAll({{"beWriteInfoTag", found.writeInfoTag}});  // may be absent
    if (missingEntryPoint_ != nullptr) {
        return Outcome::Incomplete;  // the candidate unloads the library as it goes
    }
    library_ = std::move(candidate);
    entryPoints_ = found;
    loaded_ = true;
    return Outcome::Loaded;
}
