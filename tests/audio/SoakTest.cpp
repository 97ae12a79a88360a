// Ten thousand starts, loop switches and stops in quick random bursts, on the capture output and
// on SDL's dummy device: no crash, no deadlock, the last start heard, threads and buffers given
// back. And what the service must not change about the process.
#include <atomic>
#include <csignal>

#include "AudioFixtures.h"

using namespace audiotest;
using audio::SoundService;

// Runs random starts of paths (the last one the stop wave) against svc; returns the last one.
static std::size_t Churn(SoundService& svc, const std::vector<std::string>& paths, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> pause(0, 2000), kind(0, 9);
    std::uniform_int_distribution<std::size_t> pick(0, paths.size() - 2);
    std::size_t wave = 0;
    for (int i = 0; i < 10000; ++i) {
        int k = kind(gen);
        svc.Start(paths[wave = k < 2 ? paths.size() - 1 : pick(gen)], k >= 6);
        // Bursts of five, then a pause: starts that pile up, and starts that meet a reader.
        if (int us = pause(gen); i % 5 == 4)
            std::this_thread::sleep_for(std::chrono::microseconds(us));
    }
    return wave;
}

TEST(Soak, TenThousandStartsOnTheCaptureOutputAndTheDummyDevice) {
    // Second-long waves of one level each, so any stretch of output tells which one plays; the
    // odd ones are resampled; the last is the silent stop wave.
    TempDir dir;
    std::vector<std::string> paths;
    std::vector<float> levels;
    for (int rate : {48000, 44100, 48000, 22050, 48000, 96000, 22050}) {
        float level = paths.size() == 6 ? 0.f : 0.1f * float(paths.size() + 1);
        paths.push_back(dir.file(std::to_string(paths.size()) + ".wav"));
        WriteWave(paths.back(), std::vector<float>(rate, level), 1, rate,
                  SF_FORMAT_WAV | SF_FORMAT_PCM_16);
        levels.push_back(ReadStereo(paths.back()).at(0));
    }
    const std::size_t bytes = SoundService::BufferBytes();
    const int threads = SoundService::ReaderThreads();
    {
        Rig rig;
        std::atomic<bool> quit{false};
        std::thread device([&] {
            for (; !quit; std::this_thread::sleep_for(std::chrono::milliseconds(1)))
                rig.Pull(256, false);
        });
        std::size_t last = Churn(rig.svc, paths, 20240601);
        quit = true;
        device.join();
        ASSERT_TRUE(rig.svc.Settle());
        std::vector<float> got = rig.Pull(2048);
        for (std::size_t i = kFade + 400; i < 2048; ++i)
            ASSERT_NEAR(got[2 * i], levels[last], last % 2 ? 2e-3f : 0.f) << i << " of " << last;
        rig.svc.Start(paths[0], true);  // still pending as the service goes
    }
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    {
        SoundService svc;
        Churn(svc, paths, 77);
        ASSERT_TRUE(svc.Settle());
    }
    EXPECT_TRUE(Eventually([&] { return SoundService::ReaderThreads() == threads; }));
    EXPECT_EQ(SoundService::BufferBytes(), bytes);
}

TEST(SdlOutput, TermAndIntKeepTheirDefaultMeaningWhilePlaying) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto playAndRaise = [](int sig) {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        SoundService svc;
        svc.Start("/nowhere/blip.wav", true);  // opens the device
        svc.Settle();
        std::raise(sig);
        std::this_thread::sleep_for(std::chrono::seconds(3));
        std::exit(0);
    };
    for (int sig : {SIGTERM, SIGINT})
        EXPECT_EXIT(playAndRaise(sig), testing::KilledBySignal(sig), "");
}
