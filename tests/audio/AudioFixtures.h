// Helpers for driving the sound service through the capture output.
#pragma once
#include <gtest/gtest.h>
#include <sndfile.h>
#include <soxr.h>

#include <cmath>
#include <random>
#include <thread>
#include <utility>

#include "TestSupport.h"
#include "platform/audio/CaptureOutput.h"
#include "platform/audio/SoundService.h"

namespace audiotest {

using namespace testsupport;

constexpr int kRate = 48000;
constexpr std::size_t kFade = kRate / 250;  // frames a start takes to fade the sound before it

// A service on a capture output, with helpers to hear what it plays.
struct Rig {
    explicit Rig(int rate = kRate) : cap(rate), svc(cap) {}
    // Pulls stereo frames, letting the readers catch up between periods as a device would.
    std::vector<float> Pull(std::size_t frames, bool settle = true) {
        std::vector<float> out(frames * 2);
        for (std::size_t at = 0; at < frames; at += 4096) {
            cap.Pull(out.data() + at * 2, std::min<std::size_t>(4096, frames - at));
            if (settle) svc.Settle();
        }
        return out;
    }
    std::vector<float> Hear(const std::string& path, std::size_t frames, bool loop = false) {
        return svc.Start(path, loop), svc.Settle(), Pull(frames);
    }
    audio::CaptureOutput cap;
    audio::SoundService svc;
};

// What libsndfile reads from path, as interleaved stereo (mono on both sides).
inline std::vector<float> ReadStereo(const std::string& path) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    std::vector<float> raw(f ? std::size_t(info.frames) * info.channels : 0), out;
    sf_count_t got = f ? sf_readf_float(f, raw.data(), info.frames) : 0;
    if (f) sf_close(f);
    for (sf_count_t i = 0; i < got; ++i)
        for (int side : {0, info.channels > 1 ? 1 : 0})
            out.push_back(raw[i * info.channels + side]);
    return out;
}

// Index of the first frame from which on every sample is zero.
inline std::size_t SoundEnd(const std::vector<float>& stereo) {
    std::size_t i = stereo.size();
    while (i > 0 && stereo[i - 1] == 0.f) --i;
    return (i + 1) / 2;
}

// got begins with want (within tol a sample) and is silent after it.
inline testing::AssertionResult PlaysExactly(const std::vector<float>& got,
                                             const std::vector<float>& want, float tol = 0) {
    std::size_t i = 0;
    while (i < std::min(got.size(), want.size()) && std::fabs(got[i] - want[i]) <= tol) ++i;
    if (!want.empty() && i == want.size() && SoundEnd(got) <= want.size() / 2)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "differs at frame " << i / 2 << "; ends at frame "
                                       << SoundEnd(got) << " of " << want.size() / 2;
}

// Amplitude of the hz component in the left channel over [from, to) (Goertzel).
inline double ToneLevel(const std::vector<float>& s, std::size_t from, std::size_t to, double hz) {
    double w = 2 * M_PI * hz / kRate, c = 2 * std::cos(w), s1 = 0, s2 = 0;
    for (std::size_t i = from; i < to; ++i) s2 = std::exchange(s1, s[2 * i] + c * s1 - s2);
    return 2 * std::sqrt(std::max(0.0, s1 * s1 + s2 * s2 - c * s1 * s2)) / double(to - from);
}

// A wave of seeded noise in dir; "" if libsndfile cannot write it.
inline std::string NoiseWave(const TempDir& dir, const std::string& name, int frames,
                             int channels = 1, unsigned seed = 1, int codec = SF_FORMAT_PCM_16,
                             int rate = kRate) {
    std::vector<float> v(std::size_t(frames) * channels);
    std::uniform_real_distribution<float> d(-0.5f, 0.5f);
    for (std::mt19937 gen(seed); auto& x : v) x = d(gen);
    std::string path = dir.file(name);
    return WriteWave(path, v, channels, rate, SF_FORMAT_WAV | codec) ? path : "";
}

// A wave of a sine tone in dir; "" if libsndfile cannot write it.
inline std::string ToneWave(const TempDir& dir, const std::string& name, double hz, int rate,
                            int frames, int channels = 1, float amp = 0.5f,
                            int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT) {
    bool ok =
        WriteWave(dir.file(name), Tone(hz, rate, frames, channels, amp), channels, rate, format);
    return ok ? dir.file(name) : "";
}

// Stereo frames resampled in one pass at the quality the service uses, its tail included.
inline std::vector<float> OnePass(const std::vector<float>& in, int from, int to) {
    if (from == to) return in;
    std::vector<float> out(in.size() * to / from + 2048);
    soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    soxr_quality_spec_t q = soxr_quality_spec(SOXR_HQ, 0);
    std::size_t done = 0;
    soxr_oneshot(from, to, 2, in.data(), in.size() / 2, nullptr, out.data(), out.size() / 2, &done,
                 &io, &q, nullptr);
    return out.resize(done * 2), out;
}

}  // namespace audiotest
