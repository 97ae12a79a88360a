// One started sound as the callback sees it: a ring of stereo frames its reader keeps filled.
#pragma once
#include <atomic>
#include <cstddef>

#include "platform/audio/Ring.h"

namespace audio {

// Bytes currently held by sound buffers, process-wide (voices and decoders).
std::atomic<std::size_t>& BufferBytesCounter();

// Held by the loader (while the callback may play it) and by the voice's reader thread, which
// may outlive the service when its read hangs; the last of them to let go frees it.
struct Voice {
    explicit Voice(std::size_t frames, int holders = 1) : ring(frames), refs(holders) {
        BufferBytesCounter() += ring.Bytes();
    }
    ~Voice() { BufferBytesCounter() -= ring.Bytes(); }
    Voice(const Voice&) = delete;
    Voice& operator=(const Voice&) = delete;
    void Release() {
        if (refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
    }

    Ring ring;
    // Set by the writer after the last frame went into the ring.
    std::atomic<bool> ended{false};
    std::atomic<int> refs;
};

}  // namespace audio
