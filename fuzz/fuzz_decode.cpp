// Whatever bytes come, decoded the way the sound service plays a file: opened, mixed down to
// stereo and resampled to 48 kHz, once through and then looping until it started over twice.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/audio/Decoder.h"
#include "platform/audio/Ring.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr std::size_t kPeriod = 4096;
    static audio::Ring ring(kPeriod);
    static std::vector<float> sink(kPeriod * 2);
    for (bool loop : {false, true}) {
        auto dec = audio::Decoder::OpenMemory(data, size, 48000, loop);
        if (!dec) return 0;
        int idle = 0;
        while (!dec->Done() && dec->Restarts() < 2) {
            dec->Fill(ring, kPeriod);
            // A decoder that neither delivers nor ends would leave the service silent for good.
            idle = ring.Read(sink.data(), kPeriod) > 0 ? 0 : idle + 1;
            if (idle > 1000) __builtin_trap();
        }
    }
    return 0;
}
