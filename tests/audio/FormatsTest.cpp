// Every wave variant plays; names that cannot be played give the fallback; huge files stream.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "AudioFixtures.h"
#include "TestSupport.h"

using namespace audiotest;
using testsupport::TempDir;
using testsupport::Tone;
using testsupport::WriteWave;

struct Variant {
    const char* name;
    int format, channels, rate;
};

class FormatMatrix : public testing::TestWithParam<Variant> {};

TEST_P(FormatMatrix, PlaysAtFullLevelForItsLength) {
    const Variant& v = GetParam();
    TempDir dir;
    std::string path = dir.file("v.wav");
    const int frames = v.rate / 2;  // half a second
    if (!WriteWave(path, Tone(440, v.rate, frames, v.channels, 0.5f), v.channels, v.rate, v.format))
        GTEST_SKIP() << "this libsndfile cannot write " << v.name;
    // Block codecs pad the last block; the length is what the file declares.
    const double want = double(ReadStereo(path).size() / 2) * 48000 / v.rate;
    Rig rig(48000);
    rig.Start(path);
    std::vector<float> got = rig.Pull(48000);
    EXPECT_NEAR(double(SoundEnd(got)), want, want * 0.01 + 100);
    EXPECT_LT(want, 24000 * 1.15);
    EXPECT_NEAR(ToneLevel(got, 2400, 21600, 440, 48000), 0.5, 0.05);
    EXPECT_NEAR(ToneLevel(got, 2400, 21600, 440, 48000),
                ToneLevel(std::vector<float>(got.begin() + 1, got.end()), 2400, 21600, 440, 48000),
                0.02);  // right channel as loud as the left
}

INSTANTIATE_TEST_SUITE_P(
    Waves, FormatMatrix,
    testing::Values(
        Variant{"u8_mono_8k", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 1, 8000},
        Variant{"pcm16_stereo_44k", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100},
        Variant{"pcm16_6ch_48k", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 6, 48000},
        Variant{"pcm24_8ch_96k", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 8, 96000},
        Variant{"pcm32_stereo_192k", SF_FORMAT_WAV | SF_FORMAT_PCM_32, 2, 192000},
        Variant{"float_mono_32k", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 32000},
        Variant{"double_6ch_48k", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 6, 48000},
        Variant{"ima_adpcm_mono_22k", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 1, 22050},
        Variant{"ima_adpcm_stereo_44k", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 2, 44100},
        Variant{"ms_adpcm_stereo_44k", SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM, 2, 44100},
        Variant{"gsm610_mono_8k", SF_FORMAT_WAV | SF_FORMAT_GSM610, 1, 8000},
        Variant{"ulaw_mono_8k", SF_FORMAT_WAV | SF_FORMAT_ULAW, 1, 8000},
        Variant{"alaw_stereo_16k", SF_FORMAT_WAV | SF_FORMAT_ALAW, 2, 16000},
        Variant{"extensible_pcm16_6ch", SF_FORMAT_WAVEX | SF_FORMAT_PCM_16, 6, 48000},
        Variant{"extensible_float_8ch_192k", SF_FORMAT_WAVEX | SF_FORMAT_FLOAT, 8, 192000},
        Variant{"extensible_pcm24_mono_11k", SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, 1, 11025},
        Variant{"rf64_pcm24_stereo_48k", SF_FORMAT_RF64 | SF_FORMAT_PCM_24, 2, 48000},
        Variant{"rf64_float_8ch_8k", SF_FORMAT_RF64 | SF_FORMAT_FLOAT, 8, 8000}),
    [](const testing::TestParamInfo<Variant>& i) { return std::string(i.param.name); });

// Each way of naming something unplayable, as a file it leaves in dir.
struct Bad {
    const char* name;
    std::string (*make)(const TempDir& dir);
};

class Unplayable : public testing::TestWithParam<Bad> {};

TEST_P(Unplayable, EndsTheSoundAndGivesTheFallback) {
    TempDir dir;
    std::string loop = dir.file("loop.wav");
    ASSERT_TRUE(WriteWave(loop, Tone(300, 48000, 4800, 1, 0.8f), 1, 48000,
                          SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    std::string bad = GetParam().make(dir);

    Rig rig;
    rig.Start(loop, true);
    rig.Pull(3000);
    rig.Start(bad);
    std::vector<float> got = rig.Pull(48000);

    // The fallback: the same short soft blip whatever went wrong, then silence.
    Rig ref;
    ref.Start(dir.file("does-not-exist.wav"));
    std::vector<float> blip = ref.Pull(48000);
    const std::size_t fade = 48000 / 250;
    std::size_t end = SoundEnd(blip);
    EXPECT_GT(end, 48000 * 50 / 1000u);
    EXPECT_LT(end, 48000 * 150 / 1000u);
    EXPECT_GT(Peak(blip, 0, end), 0.05f);
    EXPECT_LE(Peak(blip, 0, end), 0.25f);
    EXPECT_TRUE(std::equal(blip.begin() + fade * 2, blip.end(), got.begin() + fade * 2));
}

namespace {

std::string Write(const TempDir& d, const std::string& bytes) { return d.write("bad.wav", bytes); }

}  // namespace

INSTANTIATE_TEST_SUITE_P(
    Names, Unplayable,
    testing::Values(
        Bad{"missing", [](const TempDir& d) { return d.file("gone.wav"); }},
        Bad{"empty", [](const TempDir& d) { return Write(d, ""); }},
        Bad{"text", [](const TempDir& d) { return Write(d, std::string(5000, 'x')); }},
        Bad{"folder", [](const TempDir& d) { return d.mkdir("dir.wav"); }},
        Bad{"fifo",
            [](const TempDir& d) {
                mkfifo(d.file("p.wav").c_str(), 0600);
                return d.file("p.wav");
            }},
        Bad{"no_frames", [](const TempDir& d) { return Write(d, WaveHeader(1, 48000, 16, 0)); }},
        Bad{"zero_channels",
            [](const TempDir& d) {
                return Write(d, WaveHeader(0, 48000, 16, 4000) + std::string(4000, '\x10'));
            }},
        Bad{"rate_10hz",
            [](const TempDir& d) {
                return Write(d, WaveHeader(1, 10, 16, 4000) + std::string(4000, '\x10'));
            }},
        Bad{"rate_4ghz",
            [](const TempDir& d) {
                return Write(d, WaveHeader(2, -1, 16, 4000) + std::string(4000, '\x10'));
            }},
        Bad{"unknown_codec",
            [](const TempDir& d) {
                return Write(d, WaveHeader(1, 48000, 16, 4000, 0x7777) + std::string(4000, '\x10'));
            }},
        // Would open loop.wav if the name were cut at the NUL.
        Bad{"nul_in_name", [](const TempDir& d) { return d.file("loop.wav") + '\0' + "x"; }},
        Bad{"component_over_255_bytes",
            [](const TempDir& d) { return d.file(std::string(300, 'n') + ".wav"); }},
        Bad{"unreadable",
            [](const TempDir& d) {
                std::string p = d.file("locked.wav");
                WriteWave(p, Tone(300, 48000, 4800), 1, 48000, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
                chmod(p.c_str(), 0);
                // Root reads it anyway; then it is a valid file and not this case.
                return access(p.c_str(), R_OK) == 0 ? d.file("gone.wav") : p;
            }}),
    [](const testing::TestParamInfo<Bad>& i) { return std::string(i.param.name); });

namespace {

long RssKb() {
    std::ifstream f("/proc/self/statm");
    long pages = 0, rss = 0;
    f >> pages >> rss;
    return rss * (sysconf(_SC_PAGESIZE) / 1024);
}

}  // namespace

TEST(HugeFile, AGigabyteStreamsWithFlatMemory) {
    TempDir dir;
    std::string path = dir.file("huge.wav");
    const std::uint32_t dataBytes = 1u << 30;
    {
        // One second of tone at the start; the rest is a hole in a sparse file.
        std::vector<float> tone = Tone(1000, 48000, 48000, 2, 0.5f);
        std::string bytes = WaveHeader(2, 48000, 16, dataBytes);
        for (float s : tone) {
            auto v = static_cast<std::int16_t>(std::lround(s * 32767));
            bytes += char(v & 0xff);
            bytes += char((v >> 8) & 0xff);
        }
        dir.write("huge.wav", bytes);
        ASSERT_EQ(truncate(path.c_str(), 44 + off_t(dataBytes)), 0);
    }
    std::string small = dir.file("small.wav");
    ASSERT_TRUE(
        WriteWave(small, Tone(1000, 48000, 480000, 2), 2, 48000, SF_FORMAT_WAV | SF_FORMAT_PCM_16));

    Rig rig;
    rig.Start(small);
    rig.Pull(48000);
    const std::size_t smallBytes = audio::SoundService::BufferBytes();
    const long rssBefore = RssKb();

    rig.Start(path);
    std::vector<float> head = rig.Pull(48000);
    EXPECT_NEAR(ToneLevel(head, 0, 48000, 1000, 48000), 0.5, 0.01);
    std::size_t peakBytes = 0;
    for (int second = 0; second < 20; ++second) {
        rig.Pull(48000);
        peakBytes = std::max(peakBytes, audio::SoundService::BufferBytes());
    }
    // Bounded by the ring, not the file: the same as for a ten-second file.
    EXPECT_LE(peakBytes, smallBytes);
    EXPECT_LT(peakBytes, 2u << 20);
    std::printf("buffers %zu bytes; resident size grew by %ld KiB over 21 s of a 1 GiB file\n",
                peakBytes, RssKb() - rssBefore);
}
