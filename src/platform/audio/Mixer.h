// The audio callback's side: plays the current voice and fades out the ones it replaced.
#pragma once
#include <atomic>
#include <cstddef>

#include "platform/audio/Output.h"
#include "platform/audio/Ring.h"
#include "platform/audio/Voice.h"

namespace audio {

class Mixer : public Renderer {
  public:
    ~Mixer() override;
    void Prepare(int rate) override;
    void Render(float* stereo, std::size_t frames) noexcept override;

    // Loader side. Hands v to the callback; returns an earlier voice the callback never took.
    Voice* Post(Voice* v) { return pending_.exchange(v, std::memory_order_acq_rel); }
    // A voice the callback has finished with, or null.
    Voice* TakeRetired() { return retired_.Pop(); }
    // Only while no Render can run (output closed): gives every voice back through TakeRetired.
    void Reset();

    // Any thread: the preview level as a linear gain on everything mixed (1 full, 0 silent).
    // The callback ramps to it over a few milliseconds, so a change while a sound plays never
    // clicks.
    void SetGain(float gain) { gain_.store(gain, std::memory_order_relaxed); }

  private:
    static constexpr std::size_t kChunk = 512;
    // Voices fading out at once; a start that finds them all busy waits for the first to finish.
    static constexpr int kFades = 4;
    struct Fade {
        Voice* voice = nullptr;
        std::size_t pos = 0;
    };
    void RenderChunk(float* out, std::size_t frames) noexcept;
    void FadeOut(Fade& f, float* out, std::size_t frames) noexcept;
    void Retire(Voice* v) noexcept;
    void ApplyGain(float* out, std::size_t frames) noexcept;

    std::atomic<Voice*> pending_{nullptr};
    Voice* cur_ = nullptr;
    Fade fades_[kFades];
    std::size_t fadeLen_ = 192;
    PtrQueue<Voice, 1024> retired_;
    float scratch_[kChunk * 2] = {};

    // The preview level: asked by SetGain, reached by the callback along a ramp.
    std::atomic<float> gain_{1.f};
    float gainNow_ = 1.f, gainTo_ = 1.f, gainStep_ = 0.f;
    std::size_t rampLeft_ = 0;
    std::size_t rampLen_ = 240;
};

}  // namespace audio
