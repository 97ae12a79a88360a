// What the service plays, checked sample by sample on the capture output.
#include <soxr.h>

#include "AudioFixtures.h"

using namespace audiotest;

namespace {

// Stereo frames resampled in one pass by the resampler the service uses, its tail included.
std::vector<float> Resample(const std::vector<float>& in, int from, int to) {
    if (from == to) return in;
    std::vector<float> out((in.size() / 2 * std::size_t(to) / std::size_t(from) + 1024) * 2);
    soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    soxr_quality_spec_t q = soxr_quality_spec(SOXR_HQ, 0);
    std::size_t done = 0;
    soxr_oneshot(from, to, 2, in.data(), in.size() / 2, nullptr, out.data(), out.size() / 2, &done,
                 &io, &q, nullptr);
    out.resize(done * 2);
    return out;
}

// Once: the file resampled, nothing more. Looped over 20 seams or more: the endlessly repeated
// file resampled in one pass, so the pitch is exact and no frame is dropped or doubled.
void PlaysLikeTheRepeatedFile(const std::string& path, int from, int to) {
    SCOPED_TRACE(path + " " + std::to_string(from) + " -> " + std::to_string(to));
    const std::vector<float> file = ReadStereo(path);
    ASSERT_FALSE(file.empty());
    const std::size_t len = file.size() / 2;
    const std::vector<float> once = Resample(file, from, to);
    EXPECT_NEAR(double(once.size() / 2), double(len) * to / from, 1.0);
    Rig rig(to);
    EXPECT_TRUE(PlaysExactly(rig.Hear(path, once.size() / 2 + 3000), once, 1e-6f));

    const std::size_t frames = std::max<std::size_t>(20 * len * to / from + 1, 9000);
    std::vector<float> repeated;
    while (repeated.size() / 2 < (frames + 1000) * from / to)
        repeated.insert(repeated.end(), file.begin(), file.end());
    const std::vector<float> want = Resample(repeated, from, to);
    const std::vector<float> got = rig.Hear(path, frames, true);
    for (std::size_t i = 0; i < frames * 2; ++i)
        ASSERT_NEAR(got[i], want[i], 1e-6f)
            << "frame " << i / 2 << " of a " << len << "-frame loop";
}

// The data chunk declares more than the file holds.
std::string Overclaiming(const TempDir& d, int channels, int bits, std::uint32_t declared) {
    return d.write(
        "big" + std::to_string(channels * bits + declared % 7) + ".wav",
        WaveHeader(channels, kRate, bits, declared) + RandomBytes(8000 * channels * bits / 8, 11));
}

}  // namespace

TEST(Playback, OnceAndLoopedEqualTheFileResampledInOnePass) {
    TempDir dir;
    const int rates[][2] = {{44100, 48000}, {22050, 48000}, {96000, 48000},
                            {48000, 44100}, {8000, 48000},  {48000, 48000}};
    const int codecs[] = {SF_FORMAT_PCM_16, SF_FORMAT_PCM_24, SF_FORMAT_FLOAT};
    // Around one read block of the decoder (1024 frames) too.
    const int lengths[] = {1, 37, 441, 4410, 44100, 1023, 1024, 1025};
    unsigned n = 0;
    for (auto& r : rates)
        for (int len : lengths) {
            ++n;
            std::string path =
                NoiseWave(dir, std::to_string(n) + ".wav", len, 1 + n % 2, n, codecs[n % 3], r[0]);
            PlaysLikeTheRepeatedFile(path, r[0], r[1]);
        }
    // Files with less in them than their header says: what libsndfile reads of them.
    std::string cut = NoiseWave(dir, "cut.wav", 20000, 1, 5);
    ASSERT_EQ(truncate(cut.c_str(), 44 + 8000 * 2 + 1), 0);  // mid-sample
    for (const std::string& p :
         {cut, Overclaiming(dir, 1, 16, 0xFFFFFFF0u), Overclaiming(dir, 1, 16, 0xFFFFFFFFu),
          Overclaiming(dir, 2, 24, 0xFFFFFFF0u)})
        PlaysLikeTheRepeatedFile(p, kRate, kRate);
}

TEST(Playback, ASecondStartEndsTheFirstWithinTheFadeAndStopIsSilent) {
    TempDir dir;
    std::string a = ToneWave(dir, "a.wav", 440, kRate, kRate, 1, 0.9f), b = dir.file("b.wav");
    ASSERT_TRUE(
        WriteWave(b, Noise(20000 * 2, 7, 0.05f), 2, kRate, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    std::string stop = ToneWave(dir, "STOP.wav", 0, 22050, 2205, 1, 0.f);
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
