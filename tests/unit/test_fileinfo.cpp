#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <filesystem>
#include <future>

#include "TestSupport.h"
#include "platform/fileinfo.h"
#include "platform/fileurl.h"

using namespace std::chrono_literals;

TEST(FileInfo, Text) {
    // clang-format off
    const std::pair<fileinfo::WaveInfo, const char*> rows[] = {
        {{55125, 44100, 2, SF_FORMAT_PCM_24}, "0:01.250 · 44.1 kHz · 24-bit · stereo"},
        {{11025, 11025, 3, SF_FORMAT_PCM_U8}, "0:01.000 · 11.025 kHz · 8-bit · 3 Kanäle"},
        {{8, 800, 6, SF_FORMAT_FLOAT}, "0:00.010 · 800 Hz · 32-bit float · 5.1"},
        {{44100LL * 3723 + 22050, 44100, 8, SF_FORMAT_IMA_ADPCM}, "1:02:03.500 · 44.1 kHz · IMA ADPCM · 7.1"},
        {{48000LL * 600 - 1, 48000, 1, SF_FORMAT_ALAW}, "10:00.000 · 48 kHz · A-law · mono"},  // carries
        {{INT64_MAX, 192000, 1, SF_FORMAT_DOUBLE}, "13343998895:54:45.291 · 192 kHz · 64-bit float · mono"},
    };
    // clang-format on
    for (const auto& [info, text] : rows) EXPECT_EQ(fileinfo::InfoText(info), text);
    // A header cut short, or no sound at all, is not playable.
    testsupport::TempDir dir;
    const std::string cut =
        dir.write("cut.wav", testsupport::WaveHeader(1, 8000, 16, 80).substr(0, 20));
    for (const std::string& path : {cut, dir.write("text.wav", "no sound\n"), dir.file("none")})
        EXPECT_EQ(fileinfo::Describe(path), "keine abspielbare WAV-Datei");
    EXPECT_EQ(fileurl::FileUrl("/s/[a b]%#?\xff\xc3\xa4_-.~.wav"),
              "file:///s/%5Ba%20b%5D%25%23%3F%FF%C3%A4_-.~.wav");
}

// Each file is read once per size and time, the 512 used last are kept, and at most one read
// runs at a time here: a held read leaves no thread for another until it answers.
TEST(InfoCache, ReadsOncePerVersionKeeps512AndCapsHeldReads) {
    testsupport::TempDir dir;
    std::string a = dir.write("a.wav", "x"), b = dir.write("b.wav", "y");
    std::promise<void> release;
    std::shared_future<void> held = release.get_future().share();
    int reads = 0;  // one thread at a time
    fileinfo::InfoCache cache(
        [&](const std::string& path) {
            if (path == b) held.wait();
            return fileinfo::Info{{{++reads, 1, 1, 0}}, {}, {}};
        },
        1);
    // Which read answered, "none" when the lookup was refused.
    auto ask = [&](const std::string& path) {
        auto answer = std::make_shared<std::promise<fileinfo::Info>>();
        if (!cache.Lookup(path, [answer](const fileinfo::Info& i) { answer->set_value(i); }))
            return std::string("none");
        return std::to_string(answer->get_future().get().wave->frames);
    };
    EXPECT_EQ(ask(a) + ask(a), "11");
    dir.write("a.wav", "z");  // the same size: only the time tells
    std::filesystem::last_write_time(a, std::filesystem::last_write_time(a) + 2s);
    EXPECT_EQ(ask(a) + ask(a), "22");
    for (int i = 0; i < 512; ++i) ask(dir.write(std::to_string(i), ""));
    EXPECT_EQ(ask(dir.file("0")), "3");
    EXPECT_EQ(ask(a), "515");
    std::promise<void> late;
    ASSERT_TRUE(cache.Lookup(b, [&](const fileinfo::Info&) { late.set_value(); }));
    EXPECT_EQ(ask(a), "none");
    release.set_value();
    late.get_future().wait();
    EXPECT_EQ(ask(a), "515");
}

// Silence, then full scale in the first channel; a single peak a quarter in, in the last one.
// Read whole (96 KB) or sampled (10 MB); a file of any size costs at most 2 MB of reads.
TEST(FileInfo, Overview) {
    testsupport::TempDir dir;
    const std::string path = dir.file("a.wav");
    int64_t read = 0;
    for (auto [frames, channels] : {std::pair(48000, 1), {5 << 20, 1}, {48000, 2}}) {
        std::vector<float> v(size_t(frames) * channels);
        for (size_t i = v.size() / 2; i < v.size(); i += channels) v[i] = i / channels % 2 ? 1 : -1;
        v[size_t(frames / 4 + 1) * channels - 1] = 0.5f;
        ASSERT_TRUE(
            testsupport::WriteWave(path, v, channels, 48000, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
        const overview::Overview ov = fileinfo::ReadInfo(path, &read).overview;
        EXPECT_LE(read, std::min<int64_t>(v.size() * 2 + 4096, (2 << 20) + 4096));
        for (int at = 0; at < overview::kColumns * channels; ++at) {
            const int lane = at / overview::kColumns, c = at % overview::kColumns;
            const int loud = !lane && c >= 120, peak = lane == channels - 1 && c == 60;
            ASSERT_EQ(std::tuple(frames, lane, c, ov.Low(lane, c), ov.High(lane, c)),
                      std::tuple(frames, lane, c, -127 * loud, 127 * loud + 64 * peak));
        }
    }
    // A header claiming 2 GB of 16-bit mono, then a hole.
    const uint32_t bytes = (2u << 30) - 64;
    dir.write("a.wav", testsupport::WaveHeader(1, 48000, 16, bytes));
    ASSERT_EQ(truncate(path.c_str(), int64_t(bytes) + 44), 0);
    EXPECT_EQ(fileinfo::InfoText(fileinfo::ReadInfo(path, &read).wave),
              "6:12:49.621 · 48 kHz · 16-bit · mono");
    EXPECT_LE(read, (2 << 20) + 4096);
}
