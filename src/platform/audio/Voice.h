// One started sound as the callback sees it: a ring of stereo frames the loader keeps filled.
#pragma once
#include <atomic>
#include <cstddef>

#include "platform/audio/Ring.h"

namespace audio {

// Bytes currently held by sound buffers, process-wide (voices and decoders).
std::atomic<std::size_t>& BufferBytesCounter();

struct Voice {
    explicit Voice(std::size_t frames) : ring(frames) { BufferBytesCounter() += ring.Bytes(); }
    ~Voice() { BufferBytesCounter() -= ring.Bytes(); }
    Voice(const Voice&) = delete;
    Voice& operator=(const Voice&) = delete;

    Ring ring;
    // Set by the loader after the last frame went into the ring.
    std::atomic<bool> ended{false};
};

}  // namespace audio
