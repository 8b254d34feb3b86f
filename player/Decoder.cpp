#include "player/Decoder.h"

#include <algorithm>
#include <cerrno>
#include <span>

std::int64_t StreamSource::readAt(off_t offset, void* buffer, std::size_t count) const {
    const std::lock_guard lock(mutex_);
    return file_.readAt(offset, std::span(static_cast<unsigned char*>(buffer), count));
}

std::unique_ptr<Decoder> Decoder::open(std::shared_ptr<const StreamSource> source) {
    static std::once_flag once;
    std::call_once(once, [] { mpg123_init(); });

    auto decoder = std::unique_ptr<Decoder>(new Decoder(std::move(source)));
    int error = MPG123_OK;
    decoder->handle_.reset(mpg123_new(nullptr, &error));
    mpg123_handle* handle = decoder->handle();
    if (handle == nullptr) {
        return nullptr;
    }
    mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    // Signed 16-bit at the file's own rate and channel count: every output takes it.
    mpg123_format_none(handle);
    const long* rates = nullptr;
    std::size_t rateCount = 0;
    mpg123_rates(&rates, &rateCount);
    for (const long rate : std::span(rates, rateCount)) {
        mpg123_format(handle, rate, MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    }
    if (mpg123_replace_reader_handle(handle, &Decoder::read, &Decoder::seek, nullptr) !=
            MPG123_OK ||
        mpg123_open_handle(handle, decoder.get()) != MPG123_OK) {
        return nullptr;
    }
    return decoder;
}

std::optional<AudioFormat> Decoder::format() const {
    AudioFormat format;
    if (mpg123_getformat(handle(), &format.rate, &format.channels, &format.encoding) != MPG123_OK) {
        return std::nullopt;
    }
    return format;
}

bool Decoder::decodesAFrame() {
    for (int attempt = 0; attempt < 8; ++attempt) {
        off_t frame = 0;
        unsigned char* audio = nullptr;
        std::size_t bytes = 0;
        const int result = mpg123_decode_frame(handle(), &frame, &audio, &bytes);
        if (result == MPG123_OK && bytes > 0) {
            return true;
        }
        if (result != MPG123_OK && result != MPG123_NEW_FORMAT) {
            return false;
        }
    }
    return false;
}

mpg123_ssize_t Decoder::read(void* self, void* buffer, std::size_t size) {
    auto* decoder = static_cast<Decoder*>(self);
    const off_t left = decoder->source_->end() - decoder->position_;
    const std::size_t wanted = std::min(size, static_cast<std::size_t>(std::max<off_t>(left, 0)));
    const std::int64_t got = decoder->source_->readAt(decoder->position_, buffer, wanted);
    if (got > 0) {
        decoder->position_ += static_cast<off_t>(got);
    }
    return static_cast<mpg123_ssize_t>(got);
}

off_t Decoder::seek(void* self, off_t offset, int whence) {
    auto* decoder = static_cast<Decoder*>(self);
    const StreamSource& source = *decoder->source_;
    const off_t base = whence == SEEK_SET   ? source.begin()
                       : whence == SEEK_CUR ? decoder->position_
                       : whence == SEEK_END ? source.end()
                                            : -1;
    if (base < 0 || base + offset < source.begin()) {
        errno = EINVAL;
        return -1;
    }
    decoder->position_ = base + offset;
    return decoder->position_ - source.begin();
}

void Decoder::closeAndDelete(mpg123_handle* handle) {
    mpg123_close(handle);
    mpg123_delete(handle);
}
