// Every wave variant plays; names that cannot be played give the fallback; huge files stream.
#include "AudioFixtures.h"

using namespace audiotest;

namespace {

struct Variant {
    const char* name;
    int format, channels, rate;
};

const Variant kVariants[] = {
    {"u8_mono_8k", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 1, 8000},
    {"pcm16_stereo_44k", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100},
    {"pcm16_6ch_48k", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 6, 48000},
    {"pcm24_8ch_96k", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 8, 96000},
    {"pcm32_stereo_192k", SF_FORMAT_WAV | SF_FORMAT_PCM_32, 2, 192000},
    {"float_mono_32k", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 32000},
    {"double_6ch_48k", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 6, 48000},
    {"ima_adpcm_mono_22k", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 1, 22050},
    {"ima_adpcm_stereo_44k", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 2, 44100},
    {"ms_adpcm_stereo_44k", SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM, 2, 44100},
    {"gsm610_mono_8k", SF_FORMAT_WAV | SF_FORMAT_GSM610, 1, 8000},
    {"ulaw_mono_8k", SF_FORMAT_WAV | SF_FORMAT_ULAW, 1, 8000},
    {"alaw_stereo_16k", SF_FORMAT_WAV | SF_FORMAT_ALAW, 2, 16000},
    {"extensible_pcm16_6ch", SF_FORMAT_WAVEX | SF_FORMAT_PCM_16, 6, 48000},
    {"extensible_float_8ch_192k", SF_FORMAT_WAVEX | SF_FORMAT_FLOAT, 8, 192000},
    {"extensible_pcm24_mono_11k", SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, 1, 11025},
    {"rf64_pcm24_stereo_48k", SF_FORMAT_RF64 | SF_FORMAT_PCM_24, 2, 48000},
    {"rf64_float_8ch_8k", SF_FORMAT_RF64 | SF_FORMAT_FLOAT, 8, 8000}};

std::string Write(const TempDir& d, const std::string& bytes) { return d.write("bad.wav", bytes); }

// A header that opens, with 4000 data bytes, for a field to be wrong in.
std::string Header(const TempDir& d, int channels, int rate, int format = 1) {
    return Write(d, WaveHeader(channels, rate, 16, 4000, format) + std::string(4000, '\x10'));
}

}  // namespace

TEST(Formats, EveryVariantPlaysAtFullLevelForItsLength) {
    for (const Variant& v : kVariants) {
        SCOPED_TRACE(v.name);
        TempDir dir;
        std::string path =
            ToneWave(dir, "v.wav", 440, v.rate, v.rate / 2, v.channels, 0.5f, v.format);
        if (path.empty()) continue;  // this libsndfile cannot write it
        // Block codecs pad the last block; the length is what the file declares.
        const double want = double(ReadStereo(path).size() / 2) * kRate / v.rate;
        Rig rig;
        std::vector<float> got = rig.Hear(path, kRate), right(got.begin() + 1, got.end());
        EXPECT_NEAR(double(SoundEnd(got)), want, want * 0.01 + 100);
        // Lossless samples come out of the resampler within a hundredth and without images;
        // mixed down, every channel keeps its level on both sides.
        const bool lossless = (v.format & SF_FORMAT_SUBMASK) <= SF_FORMAT_DOUBLE;
        EXPECT_NEAR(ToneLevel(got, 2400, 21600, 440), 0.5, lossless ? 0.01 : 0.05);
        EXPECT_LT(lossless ? ToneLevel(got, 2400, 21600, 660) : 0, 0.005);
        EXPECT_NEAR(ToneLevel(got, 2400, 21600, 440), ToneLevel(right, 2400, 21600, 440), 0.02);
    }
}

// Each way of naming something unplayable ends the sound and gives the same short soft blip.
TEST(Formats, UnplayableNamesGiveTheFallback) {
    using Make = std::string (*)(const TempDir&);
    const Make bad[] = {
        [](const TempDir& d) { return d.file("gone.wav"); },
        [](const TempDir& d) { return Write(d, ""); },
        [](const TempDir& d) { return Write(d, std::string(5000, 'x')); },
        [](const TempDir& d) { return d.mkdir("dir.wav"); },
        [](const TempDir& d) { return mkfifo(d.file("p.wav").c_str(), 0600), d.file("p.wav"); },
        [](const TempDir& d) { return Write(d, WaveHeader(1, kRate, 16, 0)); },  // no frames
        [](const TempDir& d) { return Header(d, 0, kRate); },                    // no channels
        [](const TempDir& d) { return Header(d, 1, 10); },                       // 10 Hz
        [](const TempDir& d) { return Header(d, 2, -1); },                       // 4 GHz
        [](const TempDir& d) { return Header(d, 1, kRate, 0x7777); },            // no such codec
        // Would open loop.wav if the name were cut at the NUL.
        [](const TempDir& d) { return d.file("loop.wav") + '\0' + "x"; },
        [](const TempDir& d) { return d.file(std::string(300, 'n') + ".wav"); },
        [](const TempDir& d) {
            std::string p = NoiseWave(d, "locked.wav", 4800);
            chmod(p.c_str(), 0);
            // Root reads it anyway; then it is a valid file and not this case.
            return access(p.c_str(), R_OK) == 0 ? d.file("gone.wav") : p;
        }};
    TempDir ref;
    Rig refRig;
    std::vector<float> blip = refRig.Hear(ref.file("does-not-exist.wav"), kRate);
    std::size_t end = SoundEnd(blip);
    EXPECT_GT(end, kRate * 50 / 1000u);
    EXPECT_LT(end, kRate * 150 / 1000u);
    EXPECT_GT(Peak(blip, 0, end), 0.05f);
    EXPECT_LE(Peak(blip, 0, end), 0.25f);
    for (std::size_t i = 0; i < std::size(bad); ++i) {
        TempDir dir;
        std::string loop = ToneWave(dir, "loop.wav", 300, kRate, 4800, 1, 0.8f), path = bad[i](dir);
        Rig rig;
        rig.Hear(loop, 3000, true);
        std::vector<float> got = rig.Hear(path, kRate);
        EXPECT_TRUE(std::equal(blip.begin() + kFade * 2, blip.end(), got.begin() + kFade * 2)) << i;
    }
}

TEST(Formats, AGigabyteStreamsWithFlatMemory) {
    TempDir dir;
    std::string path = dir.file("huge.wav");
    const std::uint32_t dataBytes = 1u << 30;
    // One second of tone at the start; the rest is a hole in a sparse file.
    std::string bytes = WaveHeader(2, kRate, 16, dataBytes);
    for (float s : Tone(1000, kRate, kRate, 2, 0.5f))
        bytes += Le(std::uint16_t(std::lround(s * 32767)), 2);
    dir.write("huge.wav", bytes);
    ASSERT_EQ(truncate(path.c_str(), 44 + off_t(dataBytes)), 0);
    Rig rig;
    rig.Hear(NoiseWave(dir, "small.wav", 480000, 2), kRate);
    const std::size_t smallBytes = audio::SoundService::BufferBytes();
    EXPECT_NEAR(ToneLevel(rig.Hear(path, kRate), 0, kRate, 1000), 0.5, 0.01);
    std::size_t peakBytes = 0;
    for (int second = 0; second < 20; ++second, rig.Pull(kRate))
        peakBytes = std::max(peakBytes, audio::SoundService::BufferBytes());
    // Bounded by the ring, not the file: the same as for a ten-second file.
    EXPECT_LE(peakBytes, smallBytes);
    EXPECT_LT(peakBytes, 2u << 20);
}

// Writes small waves of every variant for the decode fuzz target to start from, into the folder
// WAV_FUZZ_SEEDS_DIR names; nothing to do without it.
TEST(FuzzSeeds, WriteDecodeSeedsWhenAsked) {
    const char* out = std::getenv("WAV_FUZZ_SEEDS_DIR");
    if (!out || !*out) GTEST_SKIP() << "WAV_FUZZ_SEEDS_DIR not set";
    for (const Variant& v : kVariants) {
        std::string path = std::string(out) + "/" + v.name + ".wav";
        WriteWave(path, Tone(440, v.rate, 600, v.channels, 0.6f), v.channels, v.rate, v.format);
    }
    std::string cut = std::string(out) + "/truncated_pcm16.wav";
    WriteWave(cut, Tone(440, 16000, 1000, 1), 1, 16000, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_EQ(truncate(cut.c_str(), 44 + 1000), 0);  // half the data
}
