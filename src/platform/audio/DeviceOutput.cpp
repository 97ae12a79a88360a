#include "platform/audio/DeviceOutput.h"

#include <SDL.h>

#include <cstdlib>

namespace audio {

bool DeviceOutput::Open(Renderer& renderer) {
    if (open_) return true;
    const char* chosen = std::getenv("SDL_AUDIODRIVER");
    if (!(chosen && *chosen) && pipewire_.Open(renderer))
        open_ = &pipewire_;
    else if (sdl_.Open(renderer))
        open_ = &sdl_;
    return open_ != nullptr;
}

void DeviceOutput::Close() {
    if (open_) open_->Close();
    open_ = nullptr;
}

const char* DeviceOutput::Name() const {
    if (open_ == &pipewire_) return "pipewire-native";
    const char* driver = open_ ? SDL_GetCurrentAudioDriver() : nullptr;
    return driver ? driver : "none";
}

}  // namespace audio
