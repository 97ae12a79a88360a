// The service on SDL's dummy driver: what it must not change about the process.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <thread>

#include "platform/audio/SoundService.h"

TEST(SdlOutput, TermAndIntKeepTheirDefaultMeaningWhilePlaying) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (int sig : {SIGTERM, SIGINT}) {
        EXPECT_EXIT(
            {
                setenv("SDL_AUDIODRIVER", "dummy", 1);
                audio::SoundService svc;
                svc.Start("/nowhere/blip.wav", true);  // opens the device
                svc.Settle();
                std::raise(sig);
                std::this_thread::sleep_for(std::chrono::seconds(3));
                std::exit(0);
            },
            testing::KilledBySignal(sig), "");
    }
}
