// Helpers for driving the sound service through the capture output.
#pragma once
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/audio/CaptureOutput.h"
#include "platform/audio/SoundService.h"

namespace audiotest {

// A service on a capture output, with helpers to hear what it plays.
struct Rig {
    explicit Rig(int rate = 48000) : cap(rate), svc(cap) {}

    void Start(const std::string& path, bool loop = false) {
        svc.Start(path, loop);
        svc.Settle();
    }
    // Pulls frames of stereo, letting the loader catch up between periods as a real-time
    // device would.
    std::vector<float> Pull(std::size_t frames) {
        std::vector<float> out(frames * 2);
        for (std::size_t at = 0; at < frames;) {
            std::size_t n = std::min<std::size_t>(4096, frames - at);
            cap.Pull(out.data() + at * 2, n);
            svc.Settle();
            at += n;
        }
        return out;
    }

    audio::CaptureOutput cap;
    audio::SoundService svc;
};

// What libsndfile reads from path, as interleaved stereo (mono on both sides).
inline std::vector<float> ReadStereo(const std::string& path) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) return {};
    std::vector<float> raw(static_cast<std::size_t>(info.frames) * info.channels);
    sf_count_t got = sf_readf_float(f, raw.data(), info.frames);
    sf_close(f);
    std::vector<float> out(static_cast<std::size_t>(got) * 2);
    for (sf_count_t i = 0; i < got; ++i) {
        out[2 * i] = raw[i * info.channels];
        out[2 * i + 1] = raw[i * info.channels + (info.channels > 1 ? 1 : 0)];
    }
    return out;
}

// Index of the first frame from which on every sample is zero.
inline std::size_t SoundEnd(const std::vector<float>& stereo) {
    std::size_t i = stereo.size();
    while (i > 0 && stereo[i - 1] == 0.f) --i;
    return (i + 1) / 2;
}

inline float Peak(const std::vector<float>& s, std::size_t from, std::size_t to) {
    float p = 0;
    for (std::size_t i = from * 2; i < std::min(s.size(), to * 2); ++i)
        p = std::max(p, std::fabs(s[i]));
    return p;
}

// Amplitude of the hz component in the left channel over [from, to) (Goertzel).
inline double ToneLevel(const std::vector<float>& s, std::size_t from, std::size_t to, double hz,
                        int rate) {
    double w = 2 * M_PI * hz / rate, c = 2 * std::cos(w), s1 = 0, s2 = 0;
    for (std::size_t i = from; i < to; ++i) {
        double s0 = s[2 * i] + c * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    double power = s1 * s1 + s2 * s2 - c * s1 * s2;
    return 2 * std::sqrt(std::max(0.0, power)) / double(to - from);
}

// A canonical 44-byte wave header; data bytes are declared, not written.
inline std::string WaveHeader(int channels, int rate, int bits, std::uint32_t dataBytes,
                              int format = 1) {
    std::string h;
    auto u32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) h += char((v >> (8 * i)) & 0xff);
    };
    auto u16 = [&](std::uint16_t v) {
        h += char(v & 0xff);
        h += char(v >> 8);
    };
    int align = channels * bits / 8;
    h += "RIFF";
    u32(36 + dataBytes);
    h += "WAVEfmt ";
    u32(16);
    u16(static_cast<std::uint16_t>(format));
    u16(static_cast<std::uint16_t>(channels));
    u32(static_cast<std::uint32_t>(rate));
    u32(static_cast<std::uint32_t>(rate * align));
    u16(static_cast<std::uint16_t>(align));
    u16(static_cast<std::uint16_t>(bits));
    h += "data";
    u32(dataBytes);
    return h;
}

}  // namespace audiotest
