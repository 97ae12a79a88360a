// When the device may rest: nobody at the window, nothing playing or being opened, for a grace.
#pragma once
#include <chrono>
#include <optional>

namespace audio {

class RestRule {
  public:
    using Clock = std::chrono::steady_clock;
    // Without a grace the device never rests.
    explicit RestRule(std::optional<std::chrono::milliseconds> grace) : grace_(grace) {}

    // Something kept the device busy just now: a start, the user at the window, a sound playing
    // or opening.
    void Busy() { quietSince_ = Clock::now(); }
    // When an open, quiet device may rest, if nothing keeps it busy meanwhile.
    std::optional<Clock::time_point> Due() const;
    // Whether it may rest now.
    bool Rests() const;

  private:
    const std::optional<std::chrono::milliseconds> grace_;
    Clock::time_point quietSince_ = Clock::now();
};

}  // namespace audio
