// What the service plays, checked sample by sample on the capture output.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <random>

#include "AudioFixtures.h"
#include "TestSupport.h"

using namespace audiotest;
using testsupport::TempDir;
using testsupport::Tone;
using testsupport::WriteWave;

namespace {

std::vector<float> Noise(std::size_t samples, unsigned seed, float amp = 0.8f) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> d(-amp, amp);
    std::vector<float> v(samples);
    for (auto& x : v) x = d(gen);
    return v;
}

}  // namespace

TEST(Playback, SameRatePlaysTheFileExactly) {
    TempDir dir;
    struct Case {
        int format, channels;
    } cases[] = {
        {SF_FORMAT_PCM_16, 1}, {SF_FORMAT_PCM_16, 2}, {SF_FORMAT_FLOAT, 2}, {SF_FORMAT_PCM_24, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        // Longer than the ring, so refills from disk are part of what is compared.
        const int frames = 100000;
        std::string path = dir.file("exact.wav");
        ASSERT_TRUE(WriteWave(path, Noise(frames * c.channels, c.format), c.channels, 48000,
                              SF_FORMAT_WAV | c.format));
        std::vector<float> want = ReadStereo(path);
        Rig rig;
        rig.Start(path);
        std::vector<float> got = rig.Pull(frames + 5000);
        ASSERT_EQ(want.size(), std::size_t(frames) * 2);
        EXPECT_TRUE(std::equal(want.begin(), want.end(), got.begin()));
        EXPECT_EQ(SoundEnd(got), std::size_t(frames));
    }
}

TEST(Playback, OtherRatesAreResampledToTheOutput) {
    TempDir dir;
    for (int rate : {44100, 22050, 96000}) {
        SCOPED_TRACE(rate);
        std::string path = dir.file("tone.wav");
        ASSERT_TRUE(WriteWave(path, Tone(1000, rate, rate, 2, 0.5f), 2, rate,
                              SF_FORMAT_WAV | SF_FORMAT_FLOAT));
        Rig rig(48000);
        rig.Start(path);
        std::vector<float> got = rig.Pull(60000);
        EXPECT_NEAR(double(SoundEnd(got)), 48000, 100);
        EXPECT_NEAR(ToneLevel(got, 4800, 43200, 1000, 48000), 0.5, 0.01);
        EXPECT_LT(ToneLevel(got, 4800, 43200, 1500, 48000), 0.005);
    }
}

TEST(Playback, ASecondStartEndsTheFirstWithinTheFade) {
    TempDir dir;
    std::string a = dir.file("a.wav"), b = dir.file("b.wav");
    ASSERT_TRUE(
        WriteWave(a, Tone(440, 48000, 48000, 1, 0.9f), 1, 48000, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    ASSERT_TRUE(
        WriteWave(b, Noise(20000 * 2, 7, 0.05f), 2, 48000, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    std::vector<float> wantB = ReadStereo(b);
    Rig rig;
    rig.Start(a, true);
    rig.Pull(1000);
    rig.Start(b);
    std::vector<float> got = rig.Pull(30000);
    const std::size_t fade = 48000 / 250;
    // The old sound fades out, it does not stop dead ...
    EXPECT_GT(std::fabs(got[0] - wantB[0]), 0.05f);
    // ... and after the fade only the new one is heard, from its first sample on.
    EXPECT_TRUE(std::equal(wantB.begin() + fade * 2, wantB.end(), got.begin() + fade * 2));
    for (std::size_t i = 0; i < fade * 2; ++i) ASSERT_LE(std::fabs(got[i] - wantB[i]), 0.9f);
    EXPECT_EQ(SoundEnd(got), 20000u);
}

TEST(Playback, ManyStartsInARowEndWithTheLastOne) {
    TempDir dir;
    std::vector<std::string> paths;
    for (int i = 0; i < 5; ++i) {
        paths.push_back(dir.file("f" + std::to_string(i) + ".wav"));
        ASSERT_TRUE(WriteWave(paths.back(), Noise(3000, 100 + i), 1, 48000,
                              SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    }
    Rig rig;
    for (int i = 0; i < 300; ++i) rig.svc.Start(paths[i % 5], i % 2 == 0);
    rig.svc.Start(paths[3], false);
    rig.svc.Settle();
    std::vector<float> got = rig.Pull(6000);
    std::vector<float> want = ReadStereo(paths[3]);
    EXPECT_TRUE(std::equal(want.begin(), want.end(), got.begin()));
    EXPECT_EQ(SoundEnd(got), 3000u);
}

TEST(Playback, LoopOfAShortFileRepeatsExactlyOverManySeams) {
    TempDir dir;
    std::string path = dir.file("short.wav");
    ASSERT_TRUE(WriteWave(path, Noise(37 * 2, 3), 2, 48000, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    std::vector<float> one = ReadStereo(path);
    Rig rig;
    rig.Start(path, true);
    std::vector<float> got = rig.Pull(37 * 100 + 11);
    for (std::size_t i = 0; i < got.size(); ++i)
        ASSERT_EQ(got[i], one[i % one.size()]) << "frame " << i / 2;
}

TEST(Playback, ResampledLoopRunsOnWithoutAGapAtTheSeam) {
    TempDir dir;
    std::string path = dir.file("cycle.wav");
    // Exactly 10 periods of 1 kHz, so the loop is one continuous tone.
    ASSERT_TRUE(WriteWave(path, Tone(1000, 44100, 441, 1, 0.5f), 1, 44100,
                          SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    Rig rig(48000);
    rig.Start(path, true);
    std::vector<float> got = rig.Pull(48000);
    EXPECT_NEAR(ToneLevel(got, 2400, 48000, 1000, 48000), 0.5, 0.01);
    // A gap or a restarted resampler would show as a jump far above the tone's largest step.
    const float maxStep = float(0.5 * 2 * M_PI * 1000 / 48000) * 1.05f;
    for (std::size_t i = 2400; i + 1 < 48000; ++i)
        ASSERT_LE(std::fabs(got[2 * i + 2] - got[2 * i]), maxStep) << "frame " << i;
}

TEST(Playback, TheStopFileLeavesSilence) {
    TempDir dir;
    std::string loop = dir.file("loop.wav"), stop = dir.file("STOP.wav");
    ASSERT_TRUE(
        WriteWave(loop, Tone(500, 48000, 4800, 2), 2, 48000, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    ASSERT_TRUE(
        WriteWave(stop, std::vector<float>(2205, 0.f), 1, 22050, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    Rig rig;
    rig.Start(loop, true);
    EXPECT_GT(Peak(rig.Pull(10000), 0, 10000), 0.4f);
    rig.Start(stop);
    std::vector<float> got = rig.Pull(20000);
    EXPECT_EQ(Peak(got, 48000 / 250, 20000), 0.f);
}

TEST(Playback, ATruncatedFilePlaysWhatItHas) {
    TempDir dir;
    std::string path = dir.file("cut.wav");
    ASSERT_TRUE(WriteWave(path, Noise(20000, 5), 1, 48000, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    std::vector<float> full = ReadStereo(path);
    ASSERT_EQ(truncate(path.c_str(), 44 + 8000 * 2 + 1), 0);
    for (bool loop : {false, true}) {
        Rig rig;
        rig.Start(path, loop);
        std::vector<float> got = rig.Pull(loop ? 8000 * 3 : 12000);
        for (std::size_t i = 0; i < got.size() && (loop || i < 8000 * 2); ++i) {
            ASSERT_EQ(got[i], full[i % (8000 * 2)]) << "frame " << i / 2 << " loop " << loop;
        }
        if (!loop) {
            EXPECT_EQ(SoundEnd(got), 8000u);
        }
    }
}

TEST(Playback, AFifoNamedLikeAWaveDoesNotHoldUpTheNextStart) {
    TempDir dir;
    std::string fifo = dir.file("x.wav"), good = dir.file("good.wav");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_TRUE(WriteWave(good, Noise(4000, 9), 1, 48000, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    Rig rig;
    rig.svc.Start(fifo, false);
    rig.svc.Start(good, false);
    ASSERT_TRUE(rig.svc.Settle(std::chrono::seconds(5)));
    rig.svc.Start(fifo, true);
    ASSERT_TRUE(rig.svc.Settle(std::chrono::seconds(5)));
    rig.svc.Start(good, false);
    ASSERT_TRUE(rig.svc.Settle(std::chrono::seconds(5)));
    std::vector<float> want = ReadStereo(good);
    std::vector<float> got = rig.Pull(5000);
    EXPECT_TRUE(std::equal(want.begin(), want.end(), got.begin()));
}

TEST(Playback, NoDeviceIsSilentAndTheNextStartTriesAgain) {
    TempDir dir;
    std::string a = dir.file("a.wav"), b = dir.file("b.wav");
    ASSERT_TRUE(WriteWave(a, Noise(3000, 1), 1, 48000, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    ASSERT_TRUE(WriteWave(b, Noise(3000, 2), 1, 48000, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    Rig rig;
    rig.cap.SetAvailable(false);
    rig.Start(a);
    EXPECT_EQ(Peak(rig.Pull(4000), 0, 4000), 0.f);
    rig.cap.SetAvailable(true);
    rig.Start(a);
    std::vector<float> want = ReadStereo(a);
    std::vector<float> got = rig.Pull(4000);
    EXPECT_TRUE(std::equal(want.begin(), want.end(), got.begin()));

    // Unplugged while playing: closed, and opened afresh by the next start.
    rig.Start(a, true);
    rig.cap.Disconnect();
    EXPECT_EQ(Peak(rig.Pull(2000), 0, 2000), 0.f);
    rig.Start(b);
    EXPECT_EQ(rig.cap.Opens(), 2);
    want = ReadStereo(b);
    got = rig.Pull(4000);
    EXPECT_TRUE(std::equal(want.begin(), want.end(), got.begin()));
}

TEST(Playback, DestroyedWhilePlayingOrNeverOpened) {
    TempDir dir;
    std::string a = dir.file("a.wav");
    ASSERT_TRUE(WriteWave(a, Noise(96000, 1), 1, 48000, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    const std::size_t before = audio::SoundService::BufferBytes();
    { Rig idle; }
    {
        Rig rig;
        rig.Start(a, true);
        rig.Pull(1000);
        rig.svc.Start(a, false);  // still pending when the service goes
    }
    EXPECT_EQ(audio::SoundService::BufferBytes(), before);
}
