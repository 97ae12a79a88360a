// Every wave variant plays; names that cannot be played give the fallback; huge files stream.
#include <algorithm>
#include <tuple>

#include "AudioFixtures.h"

using namespace audiotest;

// Plays at full level for its length, mixed down and resampled.
TEST(Formats, EveryVariantPlays) {
    const int W = SF_FORMAT_WAV, X = SF_FORMAT_WAVEX, R = SF_FORMAT_RF64;  // format, channels, rate
    const int variants[][3] = {
        {W | SF_FORMAT_PCM_U8, 1, 8000},     {W | SF_FORMAT_PCM_16, 2, 44100},
        {W | SF_FORMAT_PCM_16, 6, 48000},    {W | SF_FORMAT_PCM_24, 8, 96000},
        {W | SF_FORMAT_PCM_32, 2, 192000},   {W | SF_FORMAT_FLOAT, 1, 32000},
        {W | SF_FORMAT_DOUBLE, 6, 48000},    {W | SF_FORMAT_IMA_ADPCM, 1, 22050},
        {W | SF_FORMAT_IMA_ADPCM, 2, 44100}, {W | SF_FORMAT_MS_ADPCM, 2, 44100},
        {W | SF_FORMAT_GSM610, 1, 8000},     {W | SF_FORMAT_ULAW, 1, 8000},
        {W | SF_FORMAT_ALAW, 2, 16000},      {X | SF_FORMAT_PCM_16, 6, 48000},
        {X | SF_FORMAT_FLOAT, 8, 192000},    {X | SF_FORMAT_PCM_24, 1, 11025},
        {R | SF_FORMAT_PCM_24, 2, 48000},    {R | SF_FORMAT_FLOAT, 8, 8000}};
    std::string unwritable;
    for (auto [format, channels, rate] : variants) {
        SCOPED_TRACE(testing::Message() << format << ' ' << channels << ' ' << rate);
        TempDir dir;
        std::string path = ToneWave(dir, "v.wav", 440, rate, rate / 2, channels, 0.5f, format);
        if (path.empty()) unwritable += " " + std::to_string(format);
        if (path.empty()) continue;
        // Block codecs pad the last block; the length is what the file declares.
        const double want = double(ReadStereo(path).size() / 2) * kRate / rate;
        std::vector<float> got = Rig().Hear(path, kRate), right(got.begin() + 1, got.end());
        EXPECT_NEAR(double(SoundEnd(got)), want, want * 0.01 + 100);
        // Lossless samples come out of the resampler within a hundredth, and a rate below the
        // output's leaves no image of the tone where one would land (its rate less 440 Hz);
        // mixed down, every channel keeps its level on both sides.
        const bool lossless = (format & SF_FORMAT_SUBMASK) <= SF_FORMAT_DOUBLE;
        EXPECT_NEAR(ToneLevel(got, 2400, 21600, 440), 0.5, lossless ? 0.01 : 0.05);
        EXPECT_LT(lossless && rate < kRate ? ToneLevel(got, 2400, 21600, rate - 440) : 0, 1e-5);
        EXPECT_NEAR(ToneLevel(got, 2400, 21600, 440), ToneLevel(right, 2400, 21600, 440), 0.02);
    }
    if (!unwritable.empty()) GTEST_SKIP() << "this libsndfile cannot write" << unwritable;
}

// A tone on one channel only is heard on that channel's side only ("?": faintly): stereo, and
// six channels without a mask, which alternate left and right.
TEST(Formats, EachChannelIsHeardOnItsSide) {
    const std::tuple<int, int, const char*> rows[] = {{2, 0, "L"}, {2, 1, "R"}, {6, 0, "L"},
                                                      {6, 1, "R"}, {6, 2, "L"}, {6, 3, "R"},
                                                      {6, 4, "L"}, {6, 5, "R"}};
    for (auto [channels, toned, heard] : rows) {
        TempDir dir;
        std::vector<float> v(std::size_t(kRate / 4) * channels), tone = Tone(440, kRate, kRate / 4);
        for (std::size_t i = 0; i < tone.size(); ++i) v[i * channels + toned] = tone[i];
        ASSERT_TRUE(
            WriteWave(dir.file("s.wav"), v, channels, kRate, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
        std::vector<float> got = Rig().Hear(dir.file("s.wav"), kRate / 4),
                           right(got.begin() + 1, got.end());
        std::string sides;
        for (auto [side, level] : {std::pair{"L", ToneLevel(got, 2400, 9600, 440)},
                                   {"R", ToneLevel(right, 2400, 9600, 440)}})
            sides += level > 0.1 ? side : level > 1e-4 ? "?" : "";
        EXPECT_EQ(sides, heard) << channels << " channels, tone on " << toned;
    }
}

// Each way of naming something unplayable ends the sound and gives the same short soft blip.
TEST(Formats, UnplayableNamesGiveTheFallback) {
    std::vector<float> blip = Rig().Hear("/nowhere/does-not-exist.wav", kRate);
    std::size_t end = SoundEnd(blip);
    const auto [low, high] = std::minmax_element(blip.begin(), blip.end());
    const float peak = std::max(*high, -*low);
    EXPECT_TRUE(end > kRate / 20u && end < kRate * 3 / 20u && peak > 0.05f && peak <= 0.25f);
    // Files of these bytes: empty, text, no frames, and 4000 data bytes after a header with no
    // channels, 10 Hz, 4 GHz, no such codec.
    std::vector<std::string> contents = {"", std::string(5000, 'x'), WaveHeader(1, kRate, 16, 0)};
    for (auto [ch, rate, codec] :
         {std::tuple{0, kRate, 1}, {1, 10, 1}, {2, -1, 1}, {1, kRate, 0x7777}})
        contents.push_back(WaveHeader(ch, rate, 16, 4000, codec) + std::string(4000, '\x10'));
    TempDir dir;
    std::string loop = ToneWave(dir, "loop.wav", 300, kRate, 4800, 1, 0.8f);
    std::vector<std::string> bad = {dir.file("gone.wav"), dir.mkdir("dir.wav"), dir.file("p.wav"),
                                    dir.file("loop.wav") + '\0' + "x",  // not loop.wav
                                    dir.file(std::string(300, 'n') + ".wav")};
    ASSERT_EQ(mkfifo(bad[2].c_str(), 0600), 0);
    for (const std::string& c : contents) bad.push_back(dir.write(std::to_string(bad.size()), c));
    std::string locked = NoiseWave(dir, "locked.wav", 4800);
    chmod(locked.c_str(), 0);
    if (access(locked.c_str(), R_OK) != 0) bad.push_back(locked);  // root reads it anyway
    for (const std::string& path : bad) {
        Rig rig;
        rig.Hear(loop, 3000, true);
        std::vector<float> got = rig.Hear(path, kRate);
        EXPECT_TRUE(std::equal(blip.begin() + kFade * 2, blip.end(), got.begin() + kFade * 2))
            << path;
    }
}

TEST(Formats, AGigabyteStreamsWithFlatMemory) {
    TempDir dir;
    const std::uint32_t dataBytes = 1u << 30;
    // One second of tone at the start; the rest is a hole in a sparse file.
    std::string bytes = WaveHeader(2, kRate, 16, dataBytes);
    for (float s : Tone(1000, kRate, kRate, 2))
        bytes += Le(std::uint16_t(std::lround(s * 32767)), 2);
    std::string path = dir.write("huge.wav", bytes);
    ASSERT_EQ(truncate(path.c_str(), 44 + off_t(dataBytes)), 0);
    Rig rig;
    rig.Hear(NoiseWave(dir, "small.wav", 480000, 2), kRate);
    const std::size_t smallBytes = audio::SoundService::BufferBytes();
    EXPECT_NEAR(ToneLevel(rig.Hear(path, kRate), 0, kRate, 1000), 0.5, 0.01);
    // The small file's voice goes once its reader has seen the switch; on a busy machine that
    // can take a moment, and a voice never freed fails below all the same.
    Eventually([&] { return audio::SoundService::BufferBytes() <= smallBytes; });
    std::size_t peakBytes = 0;
    for (int second = 0; second < 20; ++second, rig.Pull(kRate))
        peakBytes = std::max(peakBytes, audio::SoundService::BufferBytes());
    // Bounded by the ring, not the file: the same as for a ten-second file.
    EXPECT_LE(peakBytes, smallBytes);
    EXPECT_LT(peakBytes, 2u << 20);
}
