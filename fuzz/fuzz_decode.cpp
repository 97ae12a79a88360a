// Whatever bytes come, decoded the way the sound service plays a file: opened, mixed down to
// stereo, resampled to 48 kHz and mixed for the device, once through and then looping until it
// started over twice. Every rendered sample is finite and within full scale.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/audio/Decoder.h"
#include "platform/audio/Mixer.h"
#include "platform/audio/Voice.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr std::size_t kPeriod = 4096;
    static std::vector<float> sink(kPeriod * 2);
    for (bool loop : {false, true}) {
        auto dec = audio::Decoder::OpenMemory(data, size, 48000, loop);
        if (!dec) return 0;
        audio::Mixer mixer;  // frees the voice when it goes
        mixer.Prepare(48000);
        auto* voice = new audio::Voice(kPeriod);
        mixer.Post(voice);
        int idle = 0;
        while (!dec->Done() && dec->Restarts() < 2) {
            dec->Fill(voice->ring, kPeriod);
            const bool delivered = voice->ring.Available() > 0;
            if (dec->Done()) voice->ended = true;
            mixer.Render(sink.data(), kPeriod);
            for (float x : sink)
                if (!std::isfinite(x) || x < -1.f || x > 1.f) __builtin_trap();
            // A decoder that neither delivers nor ends would leave the service silent for good.
            idle = delivered ? 0 : idle + 1;
            if (idle > 1000) __builtin_trap();
        }
    }
    return 0;
}
