// The sound device: a native PipeWire stream where a PipeWire server answers, else SDL2 (which
// tries PulseAudio, then ALSA). A user who names an SDL driver in SDL_AUDIODRIVER gets SDL.
#pragma once
#include "platform/audio/Output.h"
#include "platform/audio/PipeWireOutput.h"
#include "platform/audio/SdlOutput.h"

namespace audio {

class DeviceOutput : public Output {
  public:
    // Each open tries anew, so a server that came back or went away is found.
    bool Open(Renderer& renderer) override;
    int Rate() const override { return open_ ? open_->Rate() : 0; }
    bool Lost() override { return open_ && open_->Lost(); }
    void Close() override;
    // What plays: "pipewire-native", SDL's driver name, or "none". For tests and benchmarks, while
    // the service that drives this output is settled.
    const char* Name() const;

  private:
    PipeWireOutput pipewire_;
    SdlOutput sdl_;
    Output* open_ = nullptr;
};

}  // namespace audio
