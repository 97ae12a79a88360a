// Where mixed sound goes: the sound device, or a capture that tests pull from.
#pragma once
#include <cstddef>

namespace audio {

// The mixing side an output drives. Render runs on the output's real-time thread.
class Renderer {
  public:
    virtual ~Renderer() = default;
    // Called by Open before the first Render, with the rate the output runs at; again on the
    // output's thread, before the next Render, when that rate changes while it runs.
    virtual void Prepare(int rate) = 0;
    // Fills frames of interleaved float stereo. Never blocks, allocates or frees.
    virtual void Render(float* stereo, std::size_t frames) noexcept = 0;
};

// Only the service's loader thread calls these.
class Output {
  public:
    virtual ~Output() = default;
    // Starts driving renderer, or runs a rested output again; false when there is no device (the
    // next start tries again).
    virtual bool Open(Renderer& renderer) = 0;
    // The rate the open output runs at now, in frames a second.
    virtual int Rate() const = 0;
    // True when the open output stopped for good (device unplugged, server gone).
    virtual bool Lost() = 0;
    // Stops driving the renderer; after it returns no Render runs.
    virtual void Close() = 0;
    // Stops running so that the device and the graph may idle, keeping what makes the next Open
    // fast; after it returns no Render runs.
    virtual void Rest() { Close(); }
};

}  // namespace audio
