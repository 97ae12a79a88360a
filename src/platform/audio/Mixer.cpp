#include "platform/audio/Mixer.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <utility>

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
    cur_ = nullptr;
    for (Fade& f : fades_)
        if (f.voice) Retire(std::exchange(f.voice, nullptr));
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
    // A fade once begun always completes: cutting one short would click.
    Fade* free = std::find_if(std::begin(fades_), std::end(fades_),
                              [](const Fade& f) { return f.voice == nullptr; });
    if (!cur_ || free != std::end(fades_)) {
        if (Voice* v = pending_.exchange(nullptr, std::memory_order_acq_rel)) {
            if (cur_) *free = Fade{cur_, 0};
            cur_ = v;
        }
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

    for (Fade& f : fades_)
        if (f.voice) FadeOut(f, out, frames);
    for (std::size_t i = 0; i < frames * 2; ++i) out[i] = std::clamp(out[i], -1.f, 1.f);
}

void Mixer::FadeOut(Fade& f, float* out, std::size_t frames) noexcept {
    // The rate, and with it the fade's length, may change during a fade.
    const std::size_t want = std::min(frames, fadeLen_ - std::min(f.pos, fadeLen_));
    const std::size_t got = f.voice->ring.Read(scratch_, want);
    const double step = M_PI / static_cast<double>(fadeLen_);
    for (std::size_t i = 0; i < got; ++i) {
        auto gain = static_cast<float>(0.5 + 0.5 * std::cos(step * double(f.pos + i + 1)));
        out[2 * i] += scratch_[2 * i] * gain;
        out[2 * i + 1] += scratch_[2 * i + 1] * gain;
    }
    f.pos += want;
    if (f.pos >= fadeLen_ || got < want) Retire(std::exchange(f.voice, nullptr));
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
