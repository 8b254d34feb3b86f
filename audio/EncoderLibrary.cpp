#include "audio/EncoderLibrary.h"

#include <utility>

#include "audio/AudioError.h"
#include "audio/LibraryNames.h"

namespace {

template <typename Function>
bool bind(const SharedLibrary& library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(library.symbol(name));
    return function != nullptr;
}

}  // namespace

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

EncoderLibrary::Outcome EncoderLibrary::loadUnderLock() {
    std::lock_guard guard(lock_);
    if (loaded_) {
        return Outcome::Loaded;
    }
    SharedLibrary candidate = SharedLibrary::load(fileName_, folder_);
    if (!candidate.isLoaded()) {
        return Outcome::Missing;
    }
    EntryPoints found;
    bool complete = bind(candidate, "beInitStream", found.initStream);
    complete = bind(candidate, "beEncodeChunk", found.encodeChunk) && complete;
    complete = bind(candidate, "beDeinitStream", found.deinitStream) && complete;
    complete = bind(candidate, "beCloseStream", found.closeStream) && complete;
    complete = bind(candidate, "beVersion", found.version) && complete;
    complete = bind(candidate, "beWriteVBRHeader", found.writeVbrHeader) && complete;
    static_cast<void>(bind(candidate, "beWriteInfoTag", found.writeInfoTag));  // may be absent
    if (!complete) {
        return Outcome::Incomplete;  // the candidate unloads the library as it goes
    }
    library_ = std::move(candidate);
    entryPoints_ = found;
    loaded_ = true;
    return Outcome::Loaded;
}
