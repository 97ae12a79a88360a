#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <future>

#include "TestSupport.h"
#include "platform/fileinfo.h"
#include "platform/fileurl.h"

using namespace std::chrono_literals;
using testsupport::TempDir;

TEST(FileInfo, TextOfGeneratedFiles) {
    // clang-format off
    struct Row { const char* name; int rate, channels, format, frames; const char* text; };
    const Row rows[] = {
        {"pcm24.wav",  44100, 2, SF_FORMAT_PCM_24,   55125, "0:01.250 · 44.1 kHz · 24-bit · stereo"},
        {"u8.wav",     11025, 1, SF_FORMAT_PCM_U8,   11025, "0:01.000 · 11.025 kHz · 8-bit · mono"},
        {"alaw.wav",   22050, 3, SF_FORMAT_ALAW,     22050, "0:01.000 · 22.05 kHz · A-law · 3 channels"},
        {"ima.wav",    44100, 2, SF_FORMAT_IMA_ADPCM, 2041, "0:00.046 · 44.1 kHz · IMA ADPCM · stereo"},
        {"gsm.wav",     8000, 1, SF_FORMAT_GSM610,     640, "0:00.080 · 8 kHz · GSM 6.10 · mono"},
        {"float.wav",  48000, 6, SF_FORMAT_FLOAT,       48, "0:00.001 · 48 kHz · 32-bit float · 5.1"},
        {"double.wav", 96000, 8, SF_FORMAT_DOUBLE,      96, "0:00.001 · 96 kHz · 64-bit float · 7.1"},
        {"low.wav",      800, 1, SF_FORMAT_PCM_16,       8, "0:00.010 · 800 Hz · 16-bit · mono"},
    };
    // clang-format on
    TempDir dir;
    for (const Row& r : rows) {
        std::string path = dir.file(r.name);
        ASSERT_TRUE(testsupport::WriteWave(path,
                                           testsupport::Tone(440, r.rate, r.frames, r.channels),
                                           r.channels, r.rate, SF_FORMAT_WAV | r.format));
        EXPECT_EQ(fileinfo::Describe(path), r.text) << r.name;
    }
    // Cut inside its sound a file tells what is left; cut inside its header, or no sound at
    // all, it is not playable.
    std::string cut = dir.file("pcm24.wav");
    ASSERT_EQ(truncate(cut.c_str(), 44 + 6 * 22050), 0);
    EXPECT_EQ(fileinfo::Describe(cut), "0:00.500 · 44.1 kHz · 24-bit · stereo");
    ASSERT_EQ(truncate(cut.c_str(), 20), 0);
    for (std::string path : {cut, dir.write("text.wav", "no sound\n"), dir.file("none.wav")})
        EXPECT_EQ(fileinfo::Describe(path), "not a playable wave");
    EXPECT_EQ(fileinfo::LengthText(44100LL * 3723 + 22050, 44100), "1:02:03.500");
    EXPECT_EQ(fileinfo::LengthText(48000LL * 600 - 1, 48000), "10:00.000");       // carries
    EXPECT_EQ(fileinfo::LengthText(INT64_MAX, 192000), "13343998895:54:45.291");  // no overflow
}

TEST(FileUrl, EscapesEveryByteButUnreservedAndSlash) {
    EXPECT_EQ(fileurl::FileUrl("/s/Kick_01-a.b~.wav"), "file:///s/Kick_01-a.b~.wav");
    EXPECT_EQ(fileurl::FileUrl("/s/[a b]%#?\xff\xc3\xa4.wav"),
              "file:///s/%5Ba%20b%5D%25%23%3F%FF%C3%A4.wav");
}

// The answer to one lookup ("none" when nothing was started, "late" after 5 s).
std::string Ask(fileinfo::InfoCache& cache, const std::string& path) {
    auto answer = std::make_shared<std::promise<std::string>>();
    std::future<std::string> text = answer->get_future();
    if (!cache.Lookup(path, [answer](const std::string& t) { answer->set_value(t); }))
        return "none";
    return text.wait_for(5s) == std::future_status::ready ? text.get() : "late";
}

TEST(InfoCache, ReadsOncePerVersionAndCapsHeldReads) {
    TempDir dir;
    std::string a = dir.write("a.wav", "x"), b = dir.write("b.wav", "y");
    std::promise<void> release;
    std::shared_future<void> held = release.get_future().share();
    std::atomic<int> reads = 0;
    fileinfo::InfoCache cache(
        [&](const std::string& path) {
            if (path == b) held.wait();
            return std::to_string(++reads);
        },
        1);
    EXPECT_EQ(Ask(cache, a) + Ask(cache, a), "11");  // same size and time: from the cache
    dir.write("a.wav", "longer");
    EXPECT_EQ(Ask(cache, a), "2");
    // A held read takes the only thread: nothing else is read until it answers.
    std::promise<std::string> late;
    ASSERT_TRUE(cache.Lookup(b, [&](const std::string& t) { late.set_value(t); }));
    EXPECT_EQ(Ask(cache, a), "none");
    release.set_value();
    EXPECT_EQ(late.get_future().get() + Ask(cache, a), "32");
}
