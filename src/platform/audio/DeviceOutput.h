// The sound device: a native PipeWire stream where a PipeWire server plays sound, else SDL2 (which
// tries PulseAudio, then ALSA). A user who names an SDL driver in SDL_AUDIODRIVER gets SDL. The
// output that opened is kept for the run; only when it fails to open are both tried again.
#pragma once
#include "platform/audio/Output.h"
#include "platform/audio/PipeWireOutput.h"
#include "platform/audio/SdlOutput.h"

namespace audio {

class DeviceOutput : public Output {
  public:
    bool Open(Renderer& renderer) override;
    int Rate() const override { return open_ ? open_->Rate() : 0; }
    bool Lost() override { return open_ && open_->Lost(); }
    void Close() override;
    void Rest() override;
    // What plays: "pipewire-native", SDL's driver name, or "none". For tests and benchmarks, while
    // the service that drives this output is settled.
    const char* Name() const;

  private:
    PipeWireOutput pipewire_;
    SdlOutput sdl_;
    Output* open_ = nullptr;
    Output* kept_ = nullptr;  // the one that worked last
};

}  // namespace audio
