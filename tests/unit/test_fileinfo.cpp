#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <future>

#include "TestSupport.h"
#include "platform/fileinfo.h"
#include "platform/fileurl.h"

TEST(FileInfo, Text) {
    // clang-format off
    const std::pair<fileinfo::WaveInfo, const char*> rows[] = {
        {{55125, 44100, 2, SF_FORMAT_PCM_24}, "0:01.250 · 44.1 kHz · 24-bit · stereo"},
        {{11025, 11025, 3, SF_FORMAT_PCM_U8}, "0:01.000 · 11.025 kHz · 8-bit · 3 channels"},
        {{8, 800, 6, SF_FORMAT_FLOAT}, "0:00.010 · 800 Hz · 32-bit float · 5.1"},
        {{44100LL * 3723 + 22050, 44100, 8, SF_FORMAT_IMA_ADPCM}, "1:02:03.500 · 44.1 kHz · IMA ADPCM · 7.1"},
        {{48000LL * 600 - 1, 48000, 1, SF_FORMAT_ALAW}, "10:00.000 · 48 kHz · A-law · mono"},  // carries
        {{INT64_MAX, 192000, 1, SF_FORMAT_DOUBLE}, "13343998895:54:45.291 · 192 kHz · 64-bit float · mono"},
    };
    // clang-format on
    for (const auto& [info, text] : rows) EXPECT_EQ(fileinfo::InfoText(info), text);
    // A header cut short, or no sound at all, is not playable.
    testsupport::TempDir dir;
    std::string wav = dir.file("a.wav");
    ASSERT_TRUE(testsupport::WriteWave(wav, testsupport::Tone(440, 8000, 4000), 1, 8000,
                                       SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    EXPECT_EQ(fileinfo::Describe(wav), "0:00.500 · 8 kHz · 16-bit · mono");
    ASSERT_EQ(truncate(wav.c_str(), 20), 0);
    for (const std::string& path : {wav, dir.write("text.wav", "no sound\n"), dir.file("none")})
        EXPECT_EQ(fileinfo::Describe(path), "not a playable wave");
    EXPECT_EQ(fileurl::FileUrl("/s/[a b]%#?\xff\xc3\xa4_-.~.wav"),
              "file:///s/%5Ba%20b%5D%25%23%3F%FF%C3%A4_-.~.wav");
}

// Each file is read once per size and time, at most one at a time here: a held read leaves no
// thread for another until it answers.
TEST(InfoCache, ReadsOncePerVersionAndCapsHeldReads) {
    testsupport::TempDir dir;
    std::string a = dir.write("a.wav", "x"), b = dir.write("b.wav", "y");
    std::promise<void> release;
    std::shared_future<void> held = release.get_future().share();
    int reads = 0;  // one thread at a time
    fileinfo::InfoCache cache(
        [&](const std::string& path) {
            if (path == b) held.wait();
            return fileinfo::Info{fileinfo::WaveInfo{++reads, 1, 1, 0}, {}, {}};
        },
        1);
    auto ask = [&](const std::string& path) {
        auto answer = std::make_shared<std::promise<std::string>>();
        bool asked = cache.Lookup(path, [answer](const fileinfo::Info& i) {
            answer->set_value(std::to_string(i.wave->frames));
        });
        return asked ? answer->get_future().get() : "none";
    };
    EXPECT_EQ(ask(a) + ask(a), "11");
    dir.write("a.wav", "longer");
    EXPECT_EQ(ask(a), "2");
    std::promise<void> late;
    ASSERT_TRUE(cache.Lookup(b, [&](const fileinfo::Info&) { late.set_value(); }));
    EXPECT_EQ(ask(a), "none");
    release.set_value();
    late.get_future().wait();
    EXPECT_EQ(ask(a), "2");
}

// The loop line: the file's first loop as Loop mode plays it, or why it is ignored.
TEST(FileInfo, LoopText) {
    const int fwd = SF_LOOP_FORWARD;
    const struct {
        int count, mode;
        uint32_t start, end;  // libsndfile's: end exclusive
        const char* text;
    } rows[] = {
        {1, fwd, 250, 290, "loop 0:00.250–0:00.290 · forward"},
        {1, SF_LOOP_ALTERNATING, 0, 1000, "loop 0:00.000–0:01.000 · alternating"},
        {2, SF_LOOP_BACKWARD, 998, 1000, "loop 0:00.998–0:01.000 · backward"},
        {1, SF_LOOP_NONE, 10, 1001, "loop 0:00.010–0:01.000 · forward"},
        {0, fwd, 250, 290, ""},
        {1, fwd, 250, 1002, "loop ignored: end past the data"},
        {1, fwd, 250, 0, "loop ignored: no end"},
        {1, fwd, 290, 290, "loop ignored: start not before end"},
        {1, fwd, 289, 290, "loop ignored: shorter than two frames"},
    };
    for (const auto& r : rows) {
        SF_INSTRUMENT inst{};
        inst.loop_count = r.count;
        inst.loops[0] = {r.mode, r.start, r.end, 0};
        fileinfo::Info info{fileinfo::WaveInfo{1000, 1000, 1, 0}, audio::PlanLoop(1000, &inst), {}};
        EXPECT_EQ(fileinfo::LoopText(info), r.text);
    }
}

// Known shapes give known columns, whole or sampled; a 2 GB file costs at most 2 MB of reads.
TEST(FileInfo, Overview) {
    testsupport::TempDir dir;
    const int small = 48000, big = 5 << 20;  // 96 KB, read whole; 10 MB, sampled
    auto halfLoud = [](int i, int n) { return i < n / 2 ? 0.f : i % 2 ? 1.f : -1.f; };
    auto midPeak = [](int i, int n) { return i == n / 2 ? 0.5f : 0.f; };
    auto halves = [](int c) { return c < 120 ? std::pair(0, 0) : std::pair(-127, 127); };
    const struct {
        int frames, channels;
        std::function<float(int, int)> shape;
        std::function<std::pair<int, int>(int column)> want;  // low, high
    } rows[] = {
        {small, 1, halfLoud, halves},
        {big, 1, halfLoud, halves},
        {small, 2, midPeak, [](int c) { return std::pair(0, c == 120 ? 64 : 0); }},
        // 2.4 columns a frame: the peak's column holds it alone, the next repeats it.
        {100, 1, midPeak, [](int c) { return c / 2 == 60 ? std::pair(63, 64) : std::pair(0, 0); }},
    };
    for (const auto& r : rows) {
        std::vector<float> v(size_t(r.frames) * r.channels);
        for (size_t i = 0; i < v.size(); ++i) v[i] = r.shape(int(i / r.channels), r.frames);
        std::string path = dir.file("shape.wav");
        ASSERT_TRUE(
            testsupport::WriteWave(path, v, r.channels, 48000, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
        int64_t read = 0;
        const overview::Overview ov = fileinfo::ReadInfo(path, &read).overview;
        ASSERT_EQ(ov.lanes, r.channels);
        EXPECT_LE(read, std::min<int64_t>(v.size() * 2 + 100, overview::kSampledBytes + 4096));
        for (int lane = 0; lane < ov.lanes; ++lane)
            for (int c = 0; c < overview::kColumns; ++c)
                ASSERT_EQ(std::pair(ov.Low(lane, c), ov.High(lane, c)), r.want(c))
                    << r.frames << " frames, column " << c;
    }
    auto le = [](uint32_t v, int n) {
        std::string b;
        for (int i = 0; i < n; ++i) b += char(v >> 8 * i);
        return b;
    };
    const uint32_t bytes = (2u << 30) - 64;  // 16-bit mono at 48 kHz
    std::string sparse =
        dir.write("sparse.wav", "RIFF" + le(bytes + 36, 4) + "WAVEfmt " + le(16, 4) + le(1, 2) +
                                    le(1, 2) + le(48000, 4) + le(96000, 4) + le(2, 2) + le(16, 2) +
                                    "data" + le(bytes, 4));
    ASSERT_EQ(truncate(sparse.c_str(), int64_t(bytes) + 44), 0);
    int64_t read = 0;
    fileinfo::Info info = fileinfo::ReadInfo(sparse, &read);
    EXPECT_EQ(fileinfo::InfoText(info.wave), "6:12:49.621 · 48 kHz · 16-bit · mono");
    EXPECT_EQ(info.overview.lanes, 1);
    EXPECT_LE(read, overview::kSampledBytes + 4096);
}
