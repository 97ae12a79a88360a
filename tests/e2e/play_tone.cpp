// Plays a generated 1 kHz tone through the program's sound service on the real sound device, and
// names the SDL driver it went through. With "loop", the file is one 10 ms stretch of the tone
// (441 frames at 44.1 kHz), looped: the seams must not be heard. With "sampler", the file is an
// attack (0.25 s at 2 kHz), a loop region (0.1 s at 1 kHz, whole cycles) and a tail (0.5 s at
// 3 kHz), its loop in a smpl chunk, played in Loop mode: the tail must never be heard.
// Usage: play_tone SECONDS [RATE] [loop|sampler]
#include <SDL.h>
#include <sndfile.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "TestSupport.h"
#include "platform/audio/SoundService.h"

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 2.0;
    const int rate = argc > 2 ? std::atoi(argv[2]) : 44100;
    const std::string mode = argc > 3 ? argv[3] : "";
    const bool loop = mode == "loop" || mode == "sampler";
    testsupport::TempDir dir;
    std::string path = dir.file("tone.wav");
    const int frames = loop ? rate / 100 : static_cast<int>(seconds * rate);
    std::vector<float> wave = testsupport::Tone(1000, rate, frames, 2, 0.5f);
    SF_INSTRUMENT inst{};
    if (mode == "sampler") {
        wave = testsupport::Tone(2000, rate, rate / 4, 2, 0.5f);
        for (auto [hz, n] : {std::pair(1000, rate / 10), std::pair(3000, rate / 2)}) {
            std::vector<float> part = testsupport::Tone(hz, rate, n, 2, 0.5f);
            wave.insert(wave.end(), part.begin(), part.end());
        }
        inst.loop_count = 1;
        inst.loops[0] = {SF_LOOP_FORWARD, uint32_t(rate / 4), uint32_t(rate / 4 + rate / 10), 0};
    }
    if (!testsupport::WriteWave(path, wave, 2, rate, SF_FORMAT_WAV | SF_FORMAT_FLOAT,
                                inst.loop_count ? &inst : nullptr))
        return 2;
    audio::SoundService service;
    service.Start(path, loop);
    service.Settle();
    std::printf("driver: %s\n", SDL_GetCurrentAudioDriver() ? SDL_GetCurrentAudioDriver() : "none");
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds + (loop ? 0 : 0.7)));
    return 0;
}
