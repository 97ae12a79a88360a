#include "platform/audio/SdlOutput.h"

#include <SDL.h>

#include <cstdlib>
#include <initializer_list>

#include "platform/audio/StreamNames.h"

namespace audio {

SdlOutput::~SdlOutput() { Close(); }

void SdlOutput::Callback(void* self, std::uint8_t* stream, int len) {
    auto* out = static_cast<SdlOutput*>(self);
    out->renderer_->Render(reinterpret_cast<float*>(stream),
                           static_cast<std::size_t>(len) / (2 * sizeof(float)));
}

bool SdlOutput::Open(Renderer& renderer) {
    if (device_) return true;
    if (resting_) {
        resting_ = false;
        if (OpenDevice(renderer)) return true;
        SDL_QuitSubSystem(SDL_INIT_AUDIO);  // the driver that worked has no device now
    }
    // SDL would otherwise catch SIGINT and SIGTERM and only queue a quit event nobody reads, so
    // a plain `kill` of the program would do nothing.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // So mixers list the stream under the program's name rather than "SDL Application".
    SDL_SetHint(SDL_HINT_APP_NAME, kAppName);
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_STREAM_NAME, kStreamName);
    // A driver the user names wins. Otherwise PulseAudio, then ALSA, then SDL's own order (a
    // PipeWire server has its native output before this one); a driver that starts but opens no
    // device makes way for the next.
    const char* chosen = std::getenv("SDL_AUDIODRIVER");
    const bool own = !(chosen && *chosen);
    for (const char* driver : {"pulseaudio", "alsa", static_cast<const char*>(nullptr)}) {
        if (own) SDL_SetHint(SDL_HINT_AUDIODRIVER, driver);
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
            if (OpenDevice(renderer)) return true;
            SDL_QuitSubSystem(SDL_INIT_AUDIO);  // no device now; the next start tries afresh
        }
        if (!own) break;
    }
    return false;
}

bool SdlOutput::OpenDevice(Renderer& renderer) {
    SDL_AudioSpec def{};
    int freq = 48000;
    if (SDL_GetDefaultAudioInfo(nullptr, &def, 0) == 0 && def.freq > 0) freq = def.freq;

    SDL_AudioSpec want{}, have{};
    want.freq = freq;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = 256;
    want.callback = &SdlOutput::Callback;
    want.userdata = this;
    renderer_ = &renderer;
    // Rate and period may follow the device; format and channels stay ours, so SDL adds no
    // converter and the obtained rate is what the loader resamples to.
    device_ =
        SDL_OpenAudioDevice(nullptr, 0, &want, &have,
                            SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_SAMPLES_CHANGE);
    if (!device_) return false;
    rate_ = have.freq;
    renderer.Prepare(rate_);
    SDL_PauseAudioDevice(device_, 0);
    return true;
}

bool SdlOutput::Lost() { return device_ && SDL_GetAudioDeviceStatus(device_) == SDL_AUDIO_STOPPED; }

void SdlOutput::Close() {
    if (!device_ && !resting_) return;
    if (device_) SDL_CloseAudioDevice(device_);
    device_ = 0;
    resting_ = false;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

// A paused SDL device still streams silence to the server; closed, its stream goes, and the
// sink may suspend. The driver stays loaded, so opening again is one device open.
void SdlOutput::Rest() {
    if (!device_) return;
    SDL_CloseAudioDevice(device_);
    device_ = 0;
    resting_ = true;
}

}  // namespace audio
