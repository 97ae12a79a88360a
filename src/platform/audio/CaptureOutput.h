// An output without a device: whoever holds it pulls the mixed frames, exactly as a device would.
#pragma once
#include <atomic>
#include <cstddef>
#include <mutex>

#include "platform/audio/Output.h"

namespace audio {

class CaptureOutput : public Output {
  public:
    explicit CaptureOutput(int rate = 48000) : rate_(rate) {}

    // Runs the mixing callback for frames of interleaved stereo; silence while not open.
    void Pull(float* stereo, std::size_t frames);

    // Makes the next opens fail (as with no device) or succeed again.
    void SetAvailable(bool available) { available_ = available; }
    // Makes the open output report itself lost, as an unplugged device does.
    void Disconnect() { lost_ = true; }
    // How many times the output was opened.
    int Opens() const { return opens_; }
    // Whether the output is open and running (not closed, not resting).
    bool Running();
    // Moves the output to another rate, as a graph does under a running stream: the renderer is
    // prepared for it before the next pull.
    void SetRate(int rate) { rate_ = rate; }

    bool Open(Renderer& renderer) override;
    int Rate() const override { return rate_; }
    bool Lost() override { return lost_; }
    void Close() override;

  private:
    std::atomic<int> rate_;
    int prepared_ = 0;
    std::mutex device_;  // stands in for the device lock a real output holds around its callback
    Renderer* renderer_ = nullptr;
    std::atomic<bool> available_{true};
    std::atomic<bool> lost_{false};
    std::atomic<int> opens_{0};
};

}  // namespace audio
