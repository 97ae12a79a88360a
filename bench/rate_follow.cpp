// How long a sound plays at the wrong pitch after the output's rate changed under it, late in a
// long file: a 10-minute 1 kHz tone (44.1 kHz, 16 bit, mono) played on a 48 kHz capture output
// for MINUTES (default 9), then the output moved to 44.1 kHz and pulled in real time, a 441-frame
// (10 ms) period at a time. A period is at the wrong pitch while the old voice, decoded for
// 48 kHz, is heard in it: the samples leave the 1 kHz recurrence at 44.1 kHz.
// Usage: rate_follow [MINUTES]
#include <sndfile.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "platform/audio/CaptureOutput.h"
#include "platform/audio/SoundService.h"

int main(int argc, char** argv) {
    const double minutes = argc > 1 ? std::atof(argv[1]) : 9;
    constexpr int kFile = 44100, kFrom = 48000, kTo = 44100, kPeriod = 441;
    testsupport::TempDir dir;
    const std::string path = dir.file("long.wav");
    SF_INFO info{};
    info.samplerate = kFile, info.channels = 1, info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) return 2;
    std::vector<short> block(kFile);
    for (int s = 0; s < 600; ++s) {
        for (int i = 0; i < kFile; ++i)
            block[i] = static_cast<short>(16000 * std::sin(2 * M_PI * 1000 * i / kFile));
        sf_writef_short(f, block.data(), kFile);
    }
    sf_close(f);

    audio::CaptureOutput cap(kFrom);
    audio::SoundService svc(cap);
    svc.Start(path, false);
    svc.Settle();
    std::vector<float> buf(4096 * 2);
    const auto upTo = static_cast<long long>(minutes * 60 * kFrom);
    for (long long at = 0; at < upTo; at += 4096) {
        cap.Pull(buf.data(), 4096);
        svc.Settle();
    }
    cap.SetRate(kTo);
    const double c = 2 * std::cos(2 * M_PI * 1000 / kTo);
    std::vector<float> p(kPeriod * 2);
    int last = -1, silent = 0;
    auto tick = std::chrono::steady_clock::now();
    for (int n = 0; n < 300; ++n) {
        cap.Pull(p.data(), kPeriod);
        double worst = 0, peak = 0;
        for (int i = 1; i + 1 < kPeriod; ++i) {
            worst = std::max(worst, std::fabs(p[2 * i + 2] - c * p[2 * i] + p[2 * i - 2]));
            peak = std::max(peak, double(std::fabs(p[2 * i])));
        }
        if (peak < 0.01) ++silent;
        if (peak < 0.01 || worst > 0.001 * peak) last = n;
        tick += std::chrono::microseconds(1000000 * kPeriod / kTo);
        std::this_thread::sleep_until(tick);
    }
    std::printf(
        "rate change at %.1f min: %d periods of 10 ms at the wrong pitch (%d silent) "
        "before the sound was right\n",
        minutes, last + 1, silent);
    return 0;
}
