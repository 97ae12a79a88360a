// The reader side of the sound service: one task a start, which opens the file and keeps its
// voice's ring filled, on a pool shared by all services of the process.
#pragma once
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/audio/Voice.h"
#include "platform/workers.h"

namespace audio {

// Readers of all services. Past 16 left behind in a read that does not return, a start that
// needs one more plays the fallback instead of parking yet another thread.
workers::Pool& Readers();

// Half a second or a little more, whatever the file size.
inline std::size_t RingFrames(int rate) { return static_cast<std::size_t>(rate) / 2; }

// The sound for a name that cannot be played: two soft 40 ms tones, falling.
Voice* MakeFallback(int rate);

// What a service shares with its readers; held by all of them, so a reader left in a hung read
// may outlive the service.
struct Shared {
    std::mutex mu;                     // never held across file I/O, never taken by the callback
    std::condition_variable wake;      // the loader's
    std::condition_variable progress;  // a reader opened or filled: for Settle
    int readers = 0;                   // this service's readers not finished
};

// One start's file and the reader task that reads it: open, header and every later block.
struct Job {
    Job(std::string p, int r, bool l, Voice* v) : path(std::move(p)), rate(r), loop(l), voice(v) {}
    const std::string path;
    const int rate;
    const bool loop;
    Voice* const voice;  // one reference is the reader's, one the loader's
    // The same sound playing at another rate, which this one takes over where it has got to:
    // the reader holds a reference until it is there.
    Voice* follow = nullptr;
    int followRate = 0;
    bool stays = false;  // could not be followed: plays on at its rate (under Shared::mu)
    std::condition_variable go;
    // Under Shared::mu.
    enum { Opening, Ready, Failed } state = Opening;
    bool cancel = false;  // nobody wants the sound any more
    bool exited = false;
    workers::Pool::Handle task;
    bool handed = false;  // the loader's reference went to the callback
    std::uint64_t fillAsked = 0, fillDone = 0;
};

// Under sh->mu: starts j's reader and counts it; false when no reader is to be had (too many hang
// on dead storage already, or no thread), and nothing was started.
bool StartReader(const std::shared_ptr<Shared>& sh, const std::shared_ptr<Job>& j);

// Once a process, as the device opens: a reader thread started and a small wave decoded and
// resampled, so that the first key pays for no thread, code or table that first use brings in.
void Warm(int rate);

}  // namespace audio
