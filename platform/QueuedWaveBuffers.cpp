#include "platform/QueuedWaveBuffers.h"

#include "audio/RecordingQueue.h"

WaveResult QueuedWaveBuffers::prepare(WaveHeader& header, const WaveFormat& format) {
    if (header.lpData == nullptr || header.dwBufferLength < format.nBlockAlign) {
        return WaveResult::Error;
    }
    header.dwFlags = (header.dwFlags & ~WHDR_DONE) | WHDR_PREPARED;
    return WaveResult::Ok;
}

WaveResult QueuedWaveBuffers::unprepare(WaveHeader& header) {
    if ((header.dwFlags & WHDR_INQUEUE) != 0) {
        return WaveResult::StillQueued;
    }
    header.dwFlags &= ~WHDR_PREPARED;
    return WaveResult::Ok;
}

WaveResult QueuedWaveBuffers::add(WaveHeader& header) {
    if ((header.dwFlags & WHDR_PREPARED) == 0) {
        return WaveResult::Unprepared;
    }
    if ((header.dwFlags & WHDR_INQUEUE) != 0) {
        return WaveResult::StillQueued;
    }
    header.dwBytesRecorded = 0;
    header.dwFlags = (header.dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
    buffers_.push_back(&header);
    return WaveResult::Ok;
}

void QueuedWaveBuffers::handBackFirst() {
    WaveHeader* header = buffers_.front();
    buffers_.pop_front();
    header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    queue_.post({WaveMessage::Kind::Data, header});
}

void QueuedWaveBuffers::handBackAll() {
    tellLostAudio();
    while (!buffers_.empty()) {
        handBackFirst();
    }
}

void QueuedWaveBuffers::tellLostAudio() {
    if (lostFrames_ != 0) {
        queue_.post({WaveMessage::Kind::Overrun, nullptr, lostFrames_});
        lostFrames_ = 0;
    }
}

void QueuedWaveBuffers::tellDeviceLost() {
    tellLostAudio();
    if (!buffers_.empty() && buffers_.front()->dwBytesRecorded != 0) {
        handBackFirst();
    }
    queue_.post({WaveMessage::Kind::DeviceLost});
}
