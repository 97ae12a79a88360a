// What the service plays, checked sample by sample on the capture output.
#include "AudioFixtures.h"

using namespace audiotest;

TEST(Playback, SameRatePlaysTheFileExactly) {
    TempDir dir;
    for (int codec : {SF_FORMAT_PCM_16, SF_FORMAT_PCM_24, SF_FORMAT_FLOAT})
        for (int channels : {1, 2}) {
            SCOPED_TRACE(codec + channels);
            // Longer than the ring, so refills from disk are part of what is compared.
            std::string path = NoiseWave(dir, "exact.wav", 100000, channels, codec, codec);
            Rig rig;
            EXPECT_TRUE(PlaysExactly(rig.Hear(path, 105000), ReadStereo(path)));
        }
}

TEST(Playback, ASecondStartEndsTheFirstWithinTheFade) {
    TempDir dir;
    std::string a = ToneWave(dir, "a.wav", 440, kRate, kRate, 1, 0.9f), b = dir.file("b.wav");
    ASSERT_TRUE(
        WriteWave(b, Noise(20000 * 2, 7, 0.05f), 2, kRate, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    std::string stop =
        ToneWave(dir, "STOP.wav", 0, 22050, 2205, 1, 0.f, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    std::vector<float> wantB = ReadStereo(b);
    Rig rig;
    rig.Hear(a, 1000, true);
    std::vector<float> got = rig.Hear(b, 30000);
    // The old sound fades out, it does not stop dead ...
    EXPECT_GT(std::fabs(got[0] - wantB[0]), 0.05f);
    for (std::size_t i = 0; i < kFade * 2; ++i) ASSERT_LE(std::fabs(got[i] - wantB[i]), 0.9f);
    // ... and after the fade only the new one is heard, from its first sample on.
    EXPECT_TRUE(PlaysExactly(std::vector<float>(got.begin() + kFade * 2, got.end()),
                             std::vector<float>(wantB.begin() + kFade * 2, wantB.end())));
    // The stop file is a start like any other: it leaves silence after the fade.
    EXPECT_GT(Peak(rig.Hear(a, 10000, true), 0, 10000), 0.4f);
    EXPECT_EQ(Peak(rig.Hear(stop, 20000), kFade, 20000), 0.f);
}

// Files whose playable frames libsndfile reads exactly: once they play just those, looped they
// repeat them bit for bit across every seam.
struct Source {
    const char* name;
    std::string (*make)(const TempDir&);
    std::size_t frames;
};

class WhatIsThere : public testing::TestWithParam<Source> {};

TEST_P(WhatIsThere, PlaysOnceOrLoopsBitExact) {
    TempDir dir;
    const std::string path = GetParam().make(dir);
    const std::vector<float> once = ReadStereo(path);
    ASSERT_EQ(once.size(), GetParam().frames * 2);
    for (bool loop : {false, true}) {
        SCOPED_TRACE(loop);
        Rig rig;
        std::vector<float> got =
            rig.Hear(path, std::max<std::size_t>(once.size() * 3 / 2, 4000) + 11, loop);
        if (!loop) {
            EXPECT_TRUE(PlaysExactly(got, once));
            continue;
        }
        for (std::size_t i = 0; i < got.size(); ++i)
            ASSERT_EQ(got[i], once[i % once.size()]) << "frame " << i / 2;
    }
}

// The data chunk declares more than the file holds.
template <int channels, int bits, std::uint32_t declared>
std::string Overclaiming(const TempDir& d) {
    return d.write("big.wav", WaveHeader(channels, kRate, bits, declared) +
                                  RandomBytes(8000 * channels * bits / 8, 11));
}

INSTANTIATE_TEST_SUITE_P(
    Files, WhatIsThere,
    testing::Values(Source{"short_37_frames",
                           [](const TempDir& d) { return NoiseWave(d, "s.wav", 37, 2, 3); }, 37},
                    Source{"truncated_mid_sample",
                           [](const TempDir& d) {
                               std::string p = NoiseWave(d, "cut.wav", 20000, 1, 5);
                               return truncate(p.c_str(), 44 + 8000 * 2 + 1) == 0 ? p : "";
                           },
                           8000},
                    Source{"overclaim_pcm16_2g_frames", Overclaiming<1, 16, 0xFFFFFFF0u>, 8000},
                    Source{"overclaim_pcm16_odd_size", Overclaiming<1, 16, 0xFFFFFFFFu>, 8000},
                    Source{"overclaim_pcm24_stereo", Overclaiming<2, 24, 0xFFFFFFF0u>, 8000}),
    [](const testing::TestParamInfo<Source>& i) { return std::string(i.param.name); });

TEST(Playback, ResampledLoopRunsOnWithoutAGapAtTheSeam) {
    TempDir dir;
    // Exactly 10 periods of 1 kHz, so the loop is one continuous tone.
    std::string path = ToneWave(dir, "cycle.wav", 1000, 44100, 441);
    Rig rig;
    std::vector<float> got = rig.Hear(path, kRate, true);
    EXPECT_NEAR(ToneLevel(got, 2400, kRate, 1000), 0.5, 0.01);
    // A gap or a restarted resampler would show as a jump far above the tone's largest step.
    const float maxStep = float(0.5 * 2 * M_PI * 1000 / kRate) * 1.05f;
    for (std::size_t i = 2400; i + 1 < kRate; ++i)
        ASSERT_LE(std::fabs(got[2 * i + 2] - got[2 * i]), maxStep) << "frame " << i;
}

TEST(Playback, NoDeviceIsSilentAndTheNextStartTriesAgain) {
    TempDir dir;
    std::string a = NoiseWave(dir, "a.wav", 3000, 1, 1), b = NoiseWave(dir, "b.wav", 3000, 1, 2);
    Rig rig;
    rig.cap.SetAvailable(false);
    EXPECT_EQ(Peak(rig.Hear(a, 4000), 0, 4000), 0.f);
    rig.cap.SetAvailable(true);
    EXPECT_TRUE(PlaysExactly(rig.Hear(a, 4000), ReadStereo(a)));
    // Unplugged while playing: closed, and opened afresh by the next start.
    rig.Start(a, true);
    rig.cap.Disconnect();
    EXPECT_EQ(Peak(rig.Pull(2000), 0, 2000), 0.f);
    EXPECT_TRUE(PlaysExactly(rig.Hear(b, 4000), ReadStereo(b)));
    EXPECT_EQ(rig.cap.Opens(), 2);
}
