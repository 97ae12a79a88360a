// The decoder on its own: a file in memory decodes exactly as the same file on disk.
#include "AudioFixtures.h"
#include "platform/audio/Decoder.h"

using namespace audiotest;
using testsupport::ReadAll;

namespace {

// Every frame the decoder gives until it is done, or until a loop started over `restarts` times.
std::vector<float> DecodeAll(audio::Decoder& d, std::uint64_t restarts = 1) {
    audio::Ring ring(4096);
    std::vector<float> out, buf(4096 * 2);
    while (!d.Done() && d.Restarts() < restarts) {
        d.Fill(ring, 4096);
        std::size_t n = ring.Read(buf.data(), 4096);
        out.insert(out.end(), buf.begin(), buf.begin() + n * 2);
        if (n == 0 && !d.Done()) break;
    }
    while (std::size_t n = ring.Read(buf.data(), 4096))
        out.insert(out.end(), buf.begin(), buf.begin() + n * 2);
    return out;
}

struct Kind {
    const char* name;
    int format, channels, rate;
    off_t cutTo;  // 0: whole file
};

}  // namespace

class FromMemory : public testing::TestWithParam<Kind> {};

TEST_P(FromMemory, DecodesAsTheFileDoes) {
    const Kind& k = GetParam();
    TempDir dir;
    std::string path = dir.file("m.wav");
    ASSERT_TRUE(WriteWave(path, Tone(440, k.rate, 9000, k.channels), k.channels, k.rate, k.format));
    if (k.cutTo) {
        ASSERT_EQ(truncate(path.c_str(), k.cutTo), 0);
    }
    const std::string bytes = ReadAll(path);
    for (bool loop : {false, true}) {
        SCOPED_TRACE(loop);
        auto fromFile = audio::Decoder::Open(path, kRate, loop);
        auto fromMemory = audio::Decoder::OpenMemory(bytes.data(), bytes.size(), kRate, loop);
        ASSERT_TRUE(fromFile && fromMemory);
        std::vector<float> a = DecodeAll(*fromFile, 2), b = DecodeAll(*fromMemory, 2);
        EXPECT_GT(a.size(), 2000u);
        EXPECT_EQ(a, b);
        EXPECT_EQ(fromMemory->Restarts(), loop ? 2u : 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, FromMemory,
    testing::Values(Kind{"pcm16_mono", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 48000, 0},
                    Kind{"float_6ch_44k", SF_FORMAT_WAVEX | SF_FORMAT_FLOAT, 6, 44100, 0},
                    Kind{"ima_adpcm_22k", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 2, 22050, 0},
                    Kind{"rf64_pcm24", SF_FORMAT_RF64 | SF_FORMAT_PCM_24, 2, 48000, 0},
                    Kind{"truncated_pcm16", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 32000, 20001}),
    [](const testing::TestParamInfo<Kind>& i) { return std::string(i.param.name); });

// Writes small waves of many kinds for the decode fuzz target to start from, into the folder
// WAV_FUZZ_SEEDS_DIR names; nothing to do without it.
TEST(FuzzSeeds, WriteDecodeSeedsWhenAsked) {
    const char* out = std::getenv("WAV_FUZZ_SEEDS_DIR");
    if (!out || !*out) GTEST_SKIP() << "WAV_FUZZ_SEEDS_DIR not set";
    struct Seed {
        const char* name;
        int format, channels, rate, frames;
    } seeds[] = {
        {"pcm16_stereo_44k.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, 600},
        {"u8_mono_8k.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 1, 8000, 800},
        {"float_mono_48k.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 48000, 500},
        {"ima_adpcm_stereo_22k.wav", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 2, 22050, 2000},
        {"ms_adpcm_mono_11k.wav", SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM, 1, 11025, 2000},
        {"gsm610_mono_8k.wav", SF_FORMAT_WAV | SF_FORMAT_GSM610, 1, 8000, 1600},
        {"ulaw_mono_8k.wav", SF_FORMAT_WAV | SF_FORMAT_ULAW, 1, 8000, 800},
        {"extensible_pcm16_6ch.wav", SF_FORMAT_WAVEX | SF_FORMAT_PCM_16, 6, 48000, 300},
        {"rf64_pcm24_stereo.wav", SF_FORMAT_RF64 | SF_FORMAT_PCM_24, 2, 48000, 400},
        {"truncated_pcm16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 16000, 1000},
    };
    for (const Seed& s : seeds) {
        std::string path = std::string(out) + "/" + s.name;
        bool ok = WriteWave(path, Tone(440, s.rate, s.frames, s.channels, 0.6f), s.channels, s.rate,
                            s.format);
        EXPECT_TRUE(ok) << s.name;
        if (ok && std::string(s.name).rfind("truncated", 0) == 0) {
            EXPECT_EQ(truncate(path.c_str(), 44 + s.frames), 0);  // half the data
        }
    }
}
