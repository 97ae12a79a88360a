// Every wave variant plays; names that cannot be played give the fallback; huge files stream.
#include "AudioFixtures.h"

using namespace audiotest;

struct Variant {
    const char* name;
    int format, channels, rate;
};

class FormatMatrix : public testing::TestWithParam<Variant> {};

TEST_P(FormatMatrix, PlaysAtFullLevelForItsLength) {
    const Variant& v = GetParam();
    TempDir dir;
    std::string path = ToneWave(dir, "v.wav", 440, v.rate, v.rate / 2, v.channels, 0.5f, v.format);
    if (path.empty()) GTEST_SKIP() << "this libsndfile cannot write " << v.name;
    // Block codecs pad the last block; the length is what the file declares.
    const double want = double(ReadStereo(path).size() / 2) * kRate / v.rate;
    Rig rig;
    std::vector<float> got = rig.Hear(path, kRate);
    EXPECT_NEAR(double(SoundEnd(got)), want, want * 0.01 + 100);
    // Lossless samples come out of the resampler within a hundredth and without images.
    const bool lossless = (v.format & SF_FORMAT_SUBMASK) <= SF_FORMAT_DOUBLE;
    EXPECT_NEAR(ToneLevel(got, 2400, 21600, 440), 0.5, lossless ? 0.01 : 0.05);
    EXPECT_LT(lossless ? ToneLevel(got, 2400, 21600, 660) : 0, 0.005);
    std::vector<float> right(got.begin() + 1, got.end());
    EXPECT_NEAR(ToneLevel(got, 2400, 21600, 440), ToneLevel(right, 2400, 21600, 440), 0.02);
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
    std::string loop = ToneWave(dir, "loop.wav", 300, kRate, 4800, 1, 0.8f);
    std::string bad = GetParam().make(dir);
    Rig rig;
    rig.Hear(loop, 3000, true);
    std::vector<float> got = rig.Hear(bad, kRate);

    // The fallback: the same short soft blip whatever went wrong, then silence.
    Rig ref;
    std::vector<float> blip = ref.Hear(dir.file("does-not-exist.wav"), kRate);
    std::size_t end = SoundEnd(blip);
    EXPECT_GT(end, kRate * 50 / 1000u);
    EXPECT_LT(end, kRate * 150 / 1000u);
    EXPECT_GT(Peak(blip, 0, end), 0.05f);
    EXPECT_LE(Peak(blip, 0, end), 0.25f);
    EXPECT_TRUE(std::equal(blip.begin() + kFade * 2, blip.end(), got.begin() + kFade * 2));
}

namespace {

std::string Write(const TempDir& d, const std::string& bytes) { return d.write("bad.wav", bytes); }

// A header that opens, with 4000 data bytes, for a field to be wrong in.
std::string Header(const TempDir& d, int channels, int rate, int format = 1) {
    return Write(d, WaveHeader(channels, rate, 16, 4000, format) + std::string(4000, '\x10'));
}

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
        Bad{"no_frames", [](const TempDir& d) { return Write(d, WaveHeader(1, kRate, 16, 0)); }},
        Bad{"zero_channels", [](const TempDir& d) { return Header(d, 0, kRate); }},
        Bad{"rate_10hz", [](const TempDir& d) { return Header(d, 1, 10); }},
        Bad{"rate_4ghz", [](const TempDir& d) { return Header(d, 2, -1); }},
        Bad{"unknown_codec", [](const TempDir& d) { return Header(d, 1, kRate, 0x7777); }},
        // Would open loop.wav if the name were cut at the NUL.
        Bad{"nul_in_name", [](const TempDir& d) { return d.file("loop.wav") + '\0' + "x"; }},
        Bad{"component_over_255_bytes",
            [](const TempDir& d) { return d.file(std::string(300, 'n') + ".wav"); }},
        Bad{"unreadable",
            [](const TempDir& d) {
                std::string p = NoiseWave(d, "locked.wav", 4800);
                chmod(p.c_str(), 0);
                // Root reads it anyway; then it is a valid file and not this case.
                return access(p.c_str(), R_OK) == 0 ? d.file("gone.wav") : p;
            }}),
    [](const testing::TestParamInfo<Bad>& i) { return std::string(i.param.name); });

TEST(HugeFile, AGigabyteStreamsWithFlatMemory) {
    TempDir dir;
    std::string path = dir.file("huge.wav");
    const std::uint32_t dataBytes = 1u << 30;
    // One second of tone at the start; the rest is a hole in a sparse file.
    std::string bytes = WaveHeader(2, kRate, 16, dataBytes);
    for (float s : Tone(1000, kRate, kRate, 2, 0.5f))
        bytes += Le(std::uint16_t(std::lround(s * 32767)), 2);
    dir.write("huge.wav", bytes);
    ASSERT_EQ(truncate(path.c_str(), 44 + off_t(dataBytes)), 0);
    std::string small = NoiseWave(dir, "small.wav", 480000, 2);

    Rig rig;
    rig.Hear(small, kRate);
    const std::size_t smallBytes = audio::SoundService::BufferBytes();
    const long rssBefore = RssKb();

    EXPECT_NEAR(ToneLevel(rig.Hear(path, kRate), 0, kRate, 1000), 0.5, 0.01);
    std::size_t peakBytes = 0;
    for (int second = 0; second < 20; ++second) {
        rig.Pull(kRate);
        peakBytes = std::max(peakBytes, audio::SoundService::BufferBytes());
    }
    // Bounded by the ring, not the file: the same as for a ten-second file.
    EXPECT_LE(peakBytes, smallBytes);
    EXPECT_LT(peakBytes, 2u << 20);
    std::printf("buffers %zu bytes; resident size grew by %ld KiB over 21 s of a 1 GiB file\n",
                peakBytes, RssKb() - rssBefore);
}
