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
            return path == b ? held.wait(), "" : std::to_string(++reads);
        },
        1);
    auto ask = [&](const std::string& path) {
        auto answer = std::make_shared<std::promise<std::string>>();
        bool asked = cache.Lookup(path, [answer](const std::string& t) { answer->set_value(t); });
        return asked ? answer->get_future().get() : "none";
    };
    EXPECT_EQ(ask(a) + ask(a), "11");
    dir.write("a.wav", "longer");
    EXPECT_EQ(ask(a), "2");
    std::promise<std::string> late;
    ASSERT_TRUE(cache.Lookup(b, [&](const std::string& t) { late.set_value(t); }));
    EXPECT_EQ(ask(a), "none");
    release.set_value();
    late.get_future().wait();
    EXPECT_EQ(ask(a), "2");
}
