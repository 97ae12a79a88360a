#include "platform/audio/RateFollow.h"

#include <algorithm>
#include <vector>

namespace audio {

namespace {

constexpr std::size_t kStep = 2048;  // frames decoded and dropped at a time

// Frames the followed voice has played, at this job's rate.
std::uint64_t Played(const Job& j) {
    return static_cast<std::uint64_t>(static_cast<double>(j.follow->ring.Consumed()) * j.rate /
                                      j.followRate);
}

}  // namespace

std::shared_ptr<Job> Follow(const std::shared_ptr<Shared>& sh, Job& old, int rate) {
    auto* v = new Voice(RingFrames(rate), 2);
    auto job = std::make_shared<Job>(old.path, rate, old.loop, v);
    old.voice->refs.fetch_add(1, std::memory_order_relaxed);
    job->follow = old.voice;
    job->followRate = old.rate;
    if (StartReader(sh, job)) return job;
    old.voice->Release();
    delete v;
    return nullptr;
}

// The decoder seeks to just before the position, then decodes and drops the rest, so the
// resampler has its history there. The position moves meanwhile: what was played while this ran
// is dropped too, until decoding has caught up with playing.
void CatchUp(Shared& sh, Job& j, Decoder& dec) {
    std::uint64_t skipped = dec.SeekNear(Played(j));
    Ring scratch(kStep);
    std::vector<float> drop(kStep * 2);
    for (;;) {
        const std::uint64_t target = Played(j);
        {
            std::lock_guard<std::mutex> lock(sh.mu);
            if (j.cancel || skipped >= target) return;
        }
        const std::size_t n = static_cast<std::size_t>(
            std::min<std::uint64_t>(target - skipped, static_cast<std::uint64_t>(kStep)));
        dec.Fill(scratch, n);
        const std::size_t got = scratch.Read(drop.data(), n);
        if (got == 0) return;  // a sound that ended on the way
        skipped += got;
    }
}

}  // namespace audio
