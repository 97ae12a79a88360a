// Ten thousand starts, loop switches and stops in quick random order, on the capture output and
// on SDL's dummy device: no crash, no deadlock, the last start heard, the buffers given back.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <thread>

#include "AudioFixtures.h"
#include "TestSupport.h"

using namespace audiotest;
using testsupport::TempDir;
using testsupport::WriteWave;

namespace {

constexpr int kOps = 10000;

long RssKb() {
    std::ifstream f("/proc/self/statm");
    long pages = 0, rss = 0;
    f >> pages >> rss;
    return rss * (sysconf(_SC_PAGESIZE) / 1024);
}

// Second-long waves of one constant level each, so any stretch of output tells which one plays;
// some need resampling. The last one is the silent stop wave.
struct Waves {
    Waves() {
        const int rates[] = {48000, 44100, 48000, 22050, 48000, 96000};
        for (int i = 0; i < 6; ++i) {
            std::string p = dir.file("level" + std::to_string(i) + ".wav");
            WriteWave(p, std::vector<float>(rates[i], 0.1f * float(i + 1)), 1, rates[i],
                      SF_FORMAT_WAV | SF_FORMAT_PCM_16);
            paths.push_back(p);
            levels.push_back(ReadStereo(p).at(0));
            exact.push_back(rates[i] == 48000);
        }
        paths.push_back(dir.file("STOP.wav"));
        WriteWave(paths.back(), std::vector<float>(2205, 0.f), 1, 22050,
                  SF_FORMAT_WAV | SF_FORMAT_PCM_16);
        levels.push_back(0.f);
        exact.push_back(true);
    }
    TempDir dir;
    std::vector<std::string> paths;
    std::vector<float> levels;
    std::vector<bool> exact;
};

struct Op {
    std::size_t wave;
    bool loop;
};

// Runs the random starts against svc; returns the last one.
Op Churn(audio::SoundService& svc, const Waves& w, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> pause(0, 2000), kind(0, 9);
    std::uniform_int_distribution<std::size_t> pick(0, w.paths.size() - 2);
    Op op{};
    for (int i = 0; i < kOps; ++i) {
        int k = kind(gen);
        op = k < 2 ? Op{w.paths.size() - 1, false} : Op{pick(gen), k >= 6};
        svc.Start(w.paths[op.wave], op.loop);
        if (int us = pause(gen)) std::this_thread::sleep_for(std::chrono::microseconds(us));
    }
    return op;
}

}  // namespace

TEST(Soak, TenThousandStartsOnTheCaptureOutput) {
    Waves w;
    const std::size_t idleBytes = audio::SoundService::BufferBytes();
    const int idleThreads = audio::SoundService::OpenerThreads();
    const long rssBefore = RssKb();
    std::size_t peakBytes = 0;
    {
        Rig rig;
        std::atomic<bool> quit{false};
        std::atomic<long> periods{0};
        std::thread device([&] {
            std::vector<float> buf(256 * 2);
            while (!quit.load()) {
                rig.cap.Pull(buf.data(), 256);
                ++periods;
                peakBytes = std::max(peakBytes, audio::SoundService::BufferBytes());
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
        auto t0 = std::chrono::steady_clock::now();
        Op last = Churn(rig.svc, w, 20240601);
        quit = true;
        device.join();
        ASSERT_TRUE(rig.svc.Settle());
        double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();

        std::vector<float> got = rig.Pull(2048);
        const float want = w.levels[last.wave];
        const float tol = w.exact[last.wave] ? 0.f : 2e-3f;
        for (std::size_t i = 48000 / 250 + 400; i < 2048; ++i)
            ASSERT_NEAR(got[2 * i], want, tol) << "frame " << i << " of wave " << last.wave;
        std::printf("capture: %d starts in %.1f s, %ld periods pulled; buffers idle %zu, peak %zu, "
                    "now %zu bytes\n",
                    kOps, secs, periods.load(), idleBytes, peakBytes,
                    audio::SoundService::BufferBytes());
    }
    std::printf("capture: resident size %ld KiB before, %ld KiB after\n", rssBefore, RssKb());
    EXPECT_EQ(audio::SoundService::BufferBytes(), idleBytes);
    EXPECT_EQ(audio::SoundService::OpenerThreads(), idleThreads);
}

TEST(Soak, TenThousandStartsOnTheDummyDevice) {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    Waves w;
    const std::size_t idleBytes = audio::SoundService::BufferBytes();
    const int idleThreads = audio::SoundService::OpenerThreads();
    const long rssBefore = RssKb();
    {
        audio::SoundService svc;
        auto t0 = std::chrono::steady_clock::now();
        Churn(svc, w, 77);
        ASSERT_TRUE(svc.Settle());
        double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        std::printf("dummy device: %d starts in %.1f s; buffers %zu bytes while playing\n", kOps,
                    secs, audio::SoundService::BufferBytes());
    }
    std::printf("dummy device: resident size %ld KiB before, %ld KiB after\n", rssBefore, RssKb());
    EXPECT_EQ(audio::SoundService::BufferBytes(), idleBytes);
    EXPECT_EQ(audio::SoundService::OpenerThreads(), idleThreads);
}
