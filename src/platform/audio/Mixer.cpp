#include "platform/audio/Mixer.h"

#include <algorithm>
#include <cmath>

namespace audio {

Mixer::~Mixer() {
    Reset();
    while (Voice* v = retired_.Pop()) v->Release();
}

void Mixer::Prepare(int rate) {
    // About 4 ms: short enough to feel instant, long enough not to click.
    fadeLen_ = std::max<std::size_t>(1, static_cast<std::size_t>(rate) / 250);
    rampLen_ = std::max<std::size_t>(1, static_cast<std::size_t>(rate) / 200);  // 5 ms
}

void Mixer::Retire(Voice* v) noexcept {
    // The queue is far larger than the voices that can be in flight; should it ever be full
    // the voice is left alone rather than freed here.
    (void)retired_.Push(v);
}

void Mixer::Reset() {
    if (Voice* v = pending_.exchange(nullptr)) Retire(v);
    if (cur_) Retire(cur_);
    if (old_) Retire(old_);
    cur_ = old_ = nullptr;
}

void Mixer::Render(float* stereo, std::size_t frames) noexcept {
    while (frames > 0) {
        std::size_t n = std::min(frames, kChunk);
        RenderChunk(stereo, n);
        ApplyGain(stereo, n);
        stereo += n * 2;
        frames -= n;
    }
}

void Mixer::RenderChunk(float* out, std::size_t frames) noexcept {
    if (Voice* v = pending_.exchange(nullptr, std::memory_order_acq_rel)) {
        // A voice still fading from an earlier switch is cut; the newest one fades instead.
        if (old_) Retire(old_);
        old_ = cur_;
        fadePos_ = 0;
        cur_ = v;
    }

    std::size_t got = 0;
    if (cur_) {
        got = cur_->ring.Read(out, frames);
        if (got < frames && cur_->ended.load(std::memory_order_acquire) &&
            cur_->ring.Available() == 0) {
            Retire(cur_);
            cur_ = nullptr;
        }
    }
    // Missing frames (end of sound, or the disk fell behind) are silence.
    std::fill(out + got * 2, out + frames * 2, 0.f);

    if (old_) {
        std::size_t want = std::min(frames, fadeLen_ - fadePos_);
        std::size_t g = old_->ring.Read(scratch_, want);
        const double step = M_PI / static_cast<double>(fadeLen_);
        for (std::size_t i = 0; i < g; ++i) {
            float gain = static_cast<float>(0.5 + 0.5 * std::cos(step * double(fadePos_ + i + 1)));
            out[2 * i] += scratch_[2 * i] * gain;
            out[2 * i + 1] += scratch_[2 * i + 1] * gain;
        }
        fadePos_ += want;
        if (fadePos_ >= fadeLen_ || g < want) {
            Retire(old_);
            old_ = nullptr;
        }
    }
    for (std::size_t i = 0; i < frames * 2; ++i) out[i] = std::clamp(out[i], -1.f, 1.f);
}

// A straight ramp from the gain in force to the one asked, whatever the step: a move from full to
// silent takes as long as one of 3 dB, and neither has a corner loud enough to hear.
void Mixer::ApplyGain(float* out, std::size_t frames) noexcept {
    const float want = gain_.load(std::memory_order_relaxed);
    if (want != gainTo_) {
        gainTo_ = want;
        rampLeft_ = rampLen_;
        gainStep_ = (want - gainNow_) / static_cast<float>(rampLen_);
    }
    if (rampLeft_ == 0 && gainNow_ == 1.f) return;
    for (std::size_t i = 0; i < frames; ++i) {
        if (rampLeft_ > 0) gainNow_ = --rampLeft_ == 0 ? gainTo_ : gainNow_ + gainStep_;
        out[2 * i] *= gainNow_;
        out[2 * i + 1] *= gainNow_;
    }
}

}  // namespace audio
