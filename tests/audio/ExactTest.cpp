// Files play as they hold their samples: damaged floats, channels without a mask, a read that
// comes up short inside a loop; and the tooltip and the player agree on what plays.
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <limits>

#include "AudioFixtures.h"
#include "platform/audio/FileSource.h"
#include "platform/fileinfo.h"

using namespace audiotest;

namespace {

// A float wave of interleaved samples: plain, or extensible with a channel mask.
std::string FloatWave(const TempDir& dir, const std::string& name, int channels,
                      const std::vector<float>& samples, int mask = -1, int rate = kRate) {
    std::string data(samples.size() * 4, '\0');
    std::memcpy(data.data(), samples.data(), data.size());
    const std::string ieeeFloat =
                          Le(3, 4) + Le(0x00100000, 4) + Le(0xaa000080, 4) + Le(0x719b3800, 4),
                      fmt = mask < 0 ? WaveHeader(channels, rate, 32, 0, 3).substr(12, 24)
                                     : "fmt " + Le(40, 4) + Le(0xfffe, 2) + Le(channels, 2) +
                                           Le(rate, 4) + Le(rate * 4 * channels, 4) +
                                           Le(4 * channels, 2) + Le(32, 2) + Le(22, 2) + Le(32, 2) +
                                           Le(mask, 4) + ieeeFloat,
                      body = "WAVE" + fmt + "data" + Le(data.size(), 4) + data;
    return dir.write(name, "RIFF" + Le(body.size(), 4) + body);
}

// Stream reads of g_path: at 1 the next comes up short (the file cut), at 2 the next finds the
// file whole again, as on a share that answered late once.
std::atomic<int> g_cut{0};
std::string g_path, g_bytes;
std::size_t g_keep = 0;

void Cut(audio::IoStage stage, const std::string& path) {
    if (stage != audio::IoStage::Stream || path != g_path) return;
    if (g_cut == 1)
        g_cut = truncate(path.c_str(), off_t(g_keep)) == 0 ? 2 : 3;
    else if (g_cut == 2)
        g_cut = std::ofstream(path, std::ios::binary) << g_bytes ? 0 : 3;
}

}  // namespace

// Each channel holds its own level: without a mask channels alternate left and right and are
// averaged; a mask that names an LFE leaves it out.
TEST(Exact, ChannelsFoldToStereo) {
    const float levels[] = {0.1f, 0.2f, 0.4f, 0.8f, 0.05f, 0.025f};
    // channels, mask (-1: none); left, right
    const std::tuple<int, int, float, float> rows[] = {{3, -1, 0.25f, 0.2f},
                                                       {4, -1, 0.25f, 0.5f},
                                                       {5, -1, 0.183333f, 0.5f},
                                                       {6, -1, 0.183333f, 0.341667f},
                                                       {6, 0x3f, 0.159891f, 0.187596f}};
    TempDir dir;
    for (auto [channels, mask, left, right] : rows) {
        std::vector<float> s;
        for (int f = 0; f < 100; ++f) s.insert(s.end(), levels, levels + channels);
        const std::vector<float> got =
            Rig().Hear(FloatWave(dir, "fold.wav", channels, s, mask), 200);
        EXPECT_EQ(SoundEnd(got), 100u) << channels;
        for (std::size_t i = 0; i < 100; ++i) {
            ASSERT_NEAR(got[2 * i], left, 1e-6f) << channels << " channels, frame " << i;
            ASSERT_NEAR(got[2 * i + 1], right, 1e-6f) << channels << " channels, frame " << i;
        }
    }
}

// NaN and infinity are silence, at the file's rate and through the resampler.
TEST(Exact, NonFiniteSamplesAreSilence) {
    const float inf = std::numeric_limits<float>::infinity(),
                nan = std::numeric_limits<float>::quiet_NaN();
    TempDir dir;
    const std::string bad =
        FloatWave(dir, "bad.wav", 1, {0.5f, nan, -0.25f, inf, -inf, 0.125f, 2.f});
    EXPECT_TRUE(PlaysExactly(Rig().Hear(bad, 100),
                             {0.5f, 0.5f, 0, 0, -0.25f, -0.25f, 0, 0, 0, 0, 0.125f, 0.125f, 1, 1}));
    std::vector<float> sine = Tone(441, 44100, 4410, 1, 0.5f);
    for (std::size_t i = 50; i < sine.size(); i += 100) sine[i] = i % 200 == 50 ? nan : -inf;
    const std::vector<float> got = Rig().Hear(FloatWave(dir, "sine.wav", 1, sine, -1, 44100), 6000);
    for (std::size_t i = 0; i < got.size(); ++i)
        ASSERT_TRUE(std::isfinite(got[i]) && std::fabs(got[i]) < 0.75f) << i / 2 << ": " << got[i];
}

// A read inside the loop that comes up short once is asked again: the loop keeps its length.
TEST(Exact, AShortReadIsAskedAgain) {
    TempDir dir;
    std::vector<float> ramp(3000);
    for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = float(i + 1) / 4096;
    SF_INSTRUMENT inst{1, 0, 0, 0, 0, 0, 0, 1, {{SF_LOOP_FORWARD, 1000, 2500, 0}}};
    g_path = dir.file("ramp.wav");
    ASSERT_TRUE(WriteWave(g_path, ramp, 1, kRate, SF_FORMAT_WAV | SF_FORMAT_FLOAT, &inst));
    g_bytes = ReadAll(g_path);
    g_keep = g_bytes.find("data") + 8 + 1001 * 4;  // frames 0 to 1000 stay
    audio::SetIoHook(&Cut);
    Rig rig;
    std::vector<float> got = rig.Hear(g_path, 4096, true), more;
    g_cut = 1;
    more = rig.Pull(40960);
    audio::SetIoHook(nullptr);
    EXPECT_EQ(g_cut, 0) << "cut and mended";
    got.insert(got.end(), more.begin(), more.end());
    // Frames 0 to 2499 once, then 1000 to 2499 over and over.
    for (std::size_t i = 0, f = 0; i < got.size() / 2; ++i, f = f == 2499 ? 1000 : f + 1)
        ASSERT_EQ(got[2 * i], float(f + 1) / 4096) << "frame " << i;
}

// What the tooltip shows as not playable is what the player answers with its fallback sound.
TEST(Exact, TooltipAndPlayerAgreeOnWhatPlays) {
    // channels, rate, frames (16-bit, each sample 0x1010); whether it plays
    const std::tuple<int, int, int, bool> rows[] = {
        {1, 48000, 100, true},  {1, 48000, 0, false},   {1, 999, 100, false},
        {1, 1000, 100, true},   {2, 768000, 100, true}, {2, 768001, 100, false},
        {64, 48000, 100, true}, {65, 48000, 100, false}};
    TempDir dir;
    for (auto [channels, rate, frames, plays] : rows) {
        SCOPED_TRACE(std::to_string(channels) + " channels at " + std::to_string(rate));
        const std::uint32_t bytes = std::uint32_t(frames * channels * 2);
        const std::string path =
            dir.write("p.wav", WaveHeader(channels, rate, 16, bytes) + std::string(bytes, 0x10));
        const fileinfo::Info info = fileinfo::ReadInfo(path);
        EXPECT_EQ(info.wave.has_value(), plays);
        EXPECT_EQ(info.overview.lanes > 0, plays);
        EXPECT_EQ(fileinfo::InfoText(info.wave) == "not a playable wave", !plays);
        // The fallback: 880 Hz, then 660 Hz, 40 ms each.
        EXPECT_EQ(ToneLevel(Rig().Hear(path, 4000), 0, 1920, 880) > 0.03, !plays);
    }
}
