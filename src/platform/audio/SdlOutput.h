// The sound device through SDL2: float stereo at the device's own rate, about 256 frames a period.
#pragma once
#include <cstdint>

#include "platform/audio/Output.h"

namespace audio {

class SdlOutput : public Output {
  public:
    ~SdlOutput() override;
    bool Open(Renderer& renderer) override;
    int Rate() const override { return rate_; }
    bool Lost() override;
    void Close() override;
    void Rest() override;

  private:
    static void Callback(void* self, std::uint8_t* stream, int len);
    bool OpenDevice(Renderer& renderer);

    Renderer* renderer_ = nullptr;
    std::uint32_t device_ = 0;
    int rate_ = 0;
    bool resting_ = false;  // the driver is loaded, its device closed
};

}  // namespace audio
