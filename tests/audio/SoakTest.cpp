// Ten thousand starts, loop switches and stops in quick random order, on the capture output and
// on SDL's dummy device: no crash, no deadlock, the last start heard, the buffers given back.
#include <atomic>

#include "AudioFixtures.h"

using namespace audiotest;

namespace {

constexpr int kOps = 10000;

// Second-long waves of one constant level each, so any stretch of output tells which one plays;
// some need resampling. The last one is the silent stop wave.
struct Waves {
    Waves() {
        for (int rate : {48000, 44100, 48000, 22050, 48000, 96000}) {
            float level = 0.1f * float(paths.size() + 1);
            paths.push_back(dir.file("level" + std::to_string(paths.size()) + ".wav"));
            WriteWave(paths.back(), std::vector<float>(rate, level), 1, rate,
                      SF_FORMAT_WAV | SF_FORMAT_PCM_16);
            levels.push_back(ReadStereo(paths.back()).at(0));
            tolerance.push_back(rate == kRate ? 0.f : 2e-3f);
        }
        paths.push_back(
            ToneWave(dir, "STOP.wav", 0, 22050, 2205, 1, 0.f, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
        levels.push_back(0.f);
        tolerance.push_back(0.f);
    }
    TempDir dir;
    std::vector<std::string> paths;
    std::vector<float> levels, tolerance;
};

// Runs the random starts against svc; returns the wave of the last one.
std::size_t Churn(audio::SoundService& svc, const Waves& w, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> pause(0, 2000), kind(0, 9);
    std::uniform_int_distribution<std::size_t> pick(0, w.paths.size() - 2);
    std::size_t wave = 0;
    for (int i = 0; i < kOps; ++i) {
        int k = kind(gen);
        wave = k < 2 ? w.paths.size() - 1 : pick(gen);
        svc.Start(w.paths[wave], k >= 6);
        if (int us = pause(gen)) std::this_thread::sleep_for(std::chrono::microseconds(us));
    }
    return wave;
}

// What the process held before; checked to be given back at the end of scope.
struct Baseline {
    explicit Baseline(const char* what) : what(what) {}
    ~Baseline() {
        std::printf("%s: resident size %ld KiB before, %ld KiB after\n", what, rss, RssKb());
        EXPECT_EQ(audio::SoundService::BufferBytes(), bytes);
        EXPECT_EQ(audio::SoundService::OpenerThreads(), threads);
    }
    const char* what;
    const std::size_t bytes = audio::SoundService::BufferBytes();
    const int threads = audio::SoundService::OpenerThreads();
    const long rss = RssKb();
};

double SecondsSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

TEST(Soak, TenThousandStartsOnTheCaptureOutput) {
    Waves w;
    Baseline base("capture");
    Rig rig;
    std::atomic<bool> quit{false};
    std::atomic<long> periods{0};
    std::size_t peakBytes = 0;
    std::thread device([&] {
        std::vector<float> buf(256 * 2);
        for (; !quit.load(); ++periods) {
            rig.cap.Pull(buf.data(), 256);
            peakBytes = std::max(peakBytes, audio::SoundService::BufferBytes());
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    auto t0 = std::chrono::steady_clock::now();
    std::size_t last = Churn(rig.svc, w, 20240601);
    quit = true;
    device.join();
    ASSERT_TRUE(rig.svc.Settle());
    const double secs = SecondsSince(t0);
    std::vector<float> got = rig.Pull(2048);
    for (std::size_t i = kFade + 400; i < 2048; ++i)
        ASSERT_NEAR(got[2 * i], w.levels[last], w.tolerance[last])
            << "frame " << i << " of wave " << last;
    std::printf(
        "capture: %d starts in %.1f s, %ld periods pulled; buffers idle %zu, peak %zu, now %zu "
        "bytes\n",
        kOps, secs, periods.load(), base.bytes, peakBytes, audio::SoundService::BufferBytes());
    rig.svc.Start(w.paths[0], true);  // still pending as the service goes
}

TEST(Soak, TenThousandStartsOnTheDummyDevice) {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    Waves w;
    Baseline base("dummy device");
    audio::SoundService svc;
    auto t0 = std::chrono::steady_clock::now();
    Churn(svc, w, 77);
    ASSERT_TRUE(svc.Settle());
    std::printf("dummy device: %d starts in %.1f s; buffers %zu bytes while playing\n", kOps,
                SecondsSince(t0), audio::SoundService::BufferBytes());
}
