// Plays a generated 1 kHz tone through the program's sound service on the real sound device, and
// names the output it went through. With "loop", the file is one 10 ms stretch of the tone
// (441 frames at 44.1 kHz), looped: the seams must not be heard. With "again", it then waits for a
// line on stdin and plays once more (the server may have been restarted meanwhile). With a FILE,
// that file loops instead.
// Usage: play_tone SECONDS [RATE] [loop [again | FILE]]
#include <sndfile.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>

#include "TestSupport.h"
#include "platform/audio/DeviceOutput.h"
#include "platform/audio/SoundService.h"

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 2.0;
    const int rate = argc > 2 ? std::atoi(argv[2]) : 44100;
    const bool loop = argc > 3 && std::string(argv[3]) == "loop";
    const bool again = argc > 4 && std::string(argv[4]) == "again";
    testsupport::TempDir dir;
    const bool own = argc > 4 && !again;
    std::string path = own ? argv[4] : dir.file("tone.wav");
    const int frames = loop ? rate / 100 : static_cast<int>(seconds * rate);
    if (!own && !testsupport::WriteWave(path, testsupport::Tone(1000, rate, frames, 2, 0.5f), 2,
                                        rate, SF_FORMAT_WAV | SF_FORMAT_FLOAT))
        return 2;
    audio::DeviceOutput output;  // what the service opens by itself
    audio::SoundService service(output);
    auto play = [&] {
        service.Start(path, loop);
        service.Settle();
        std::printf("driver: %s\n", output.Name());
        std::fflush(stdout);
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds + (loop ? 0 : 0.7)));
    };
    play();
    if (std::string line; again && std::getline(std::cin, line)) play();
    return 0;
}
