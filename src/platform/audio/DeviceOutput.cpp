#include "platform/audio/DeviceOutput.h"

#include <SDL.h>

#include <cstdlib>

namespace audio {

bool DeviceOutput::Open(Renderer& renderer) {
    if (open_) return true;
    if (kept_ && kept_->Open(renderer)) {
        open_ = kept_;
        return true;
    }
    // The kept one failed just now: a server that came back or went away is found by the other.
    Output* failed = kept_;
    if (failed) failed->Close();
    const char* chosen = std::getenv("SDL_AUDIODRIVER");
    if (!(chosen && *chosen) && failed != &pipewire_ && pipewire_.Open(renderer))
        open_ = &pipewire_;
    else if (failed != &sdl_ && sdl_.Open(renderer))
        open_ = &sdl_;
    kept_ = open_;
    return open_ != nullptr;
}

void DeviceOutput::Close() {
    if (open_) open_->Close();
    open_ = nullptr;
}

void DeviceOutput::Rest() {
    if (open_) open_->Rest();
    open_ = nullptr;
}

const char* DeviceOutput::Name() const {
    if (open_ == &pipewire_) return "pipewire-native";
    const char* driver = open_ ? SDL_GetCurrentAudioDriver() : nullptr;
    return driver ? driver : "none";
}

}  // namespace audio
