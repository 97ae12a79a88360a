#include "platform/audio/SdlOutput.h"

#include <SDL.h>

#include <cstdlib>
#include <initializer_list>

namespace audio {

namespace {

// Starts SDL's audio on the first driver of ours that answers; a driver the user names wins.
bool InitAudio() {
    const char* chosen = std::getenv("SDL_AUDIODRIVER");
    if (chosen && *chosen) return SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    // Native first: through the PulseAudio layer of a PipeWire server a key takes some 15 ms
    // longer to be heard.
    for (const char* driver : {"pipewire", "pulseaudio", "alsa"}) {
        SDL_SetHint(SDL_HINT_AUDIODRIVER, driver);
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) return true;
    }
    SDL_SetHint(SDL_HINT_AUDIODRIVER, nullptr);
    return SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
}

}  // namespace

SdlOutput::~SdlOutput() { Close(); }

void SdlOutput::Callback(void* self, std::uint8_t* stream, int len) {
    auto* out = static_cast<SdlOutput*>(self);
    out->renderer_->Render(reinterpret_cast<float*>(stream),
                           static_cast<std::size_t>(len) / (2 * sizeof(float)));
}

bool SdlOutput::Open(Renderer& renderer) {
    if (device_) return true;
    if (!sdlUp_) {
        // SDL would otherwise catch SIGINT and SIGTERM and only queue a quit event nobody reads,
        // so a plain `kill` of the program would do nothing.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        if (!InitAudio()) return false;
        sdlUp_ = true;
    }
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
    if (!device_) {
        // No device now; the next start tries again from scratch.
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        sdlUp_ = false;
        return false;
    }
    rate_ = have.freq;
    renderer.Prepare(rate_);
    SDL_PauseAudioDevice(device_, 0);
    return true;
}

bool SdlOutput::Lost() { return device_ && SDL_GetAudioDeviceStatus(device_) == SDL_AUDIO_STOPPED; }

void SdlOutput::Close() {
    if (device_) SDL_CloseAudioDevice(device_);
    device_ = 0;
    if (sdlUp_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    sdlUp_ = false;
}

}  // namespace audio
