// Files and file systems that misbehave: the service plays what can be played and never hangs.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <functional>
#include <random>
#include <thread>

#include "AudioFixtures.h"
#include "TestSupport.h"
#include "platform/audio/Decoder.h"

using namespace audiotest;
using testsupport::TempDir;
using testsupport::Tone;
using testsupport::WriteWave;

namespace {

bool WaitFor(const std::function<bool()>& done) {
    for (int i = 0; i < 10000; ++i) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return done();
}

// 16-bit samples of a seeded noise, as the bytes of a data chunk.
std::string NoiseBytes(std::size_t samples, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> d(-20000, 20000);
    std::string b;
    for (std::size_t i = 0; i < samples; ++i) {
        auto v = static_cast<std::int16_t>(d(gen));
        b += char(v & 0xff);
        b += char((v >> 8) & 0xff);
    }
    return b;
}

std::string Chunk(const std::string& id, const std::string& body) {
    std::string c = id;
    for (int i = 0; i < 4; ++i) c += char((body.size() >> (8 * i)) & 0xff);
    return c + body + (body.size() % 2 ? std::string(1, '\0') : "");
}

// Lets held opens go even when a test fails half way.
struct HoldGuard {
    explicit HoldGuard(const std::string& part) { audio::HoldOpens(part); }
    ~HoldGuard() { audio::ReleaseOpens(); }
};

}  // namespace

TEST(Faults, AStuckOpenDoesNotHoldUpTheStartsAfterIt) {
    TempDir dir;
    std::string stuck = dir.file("stuck.wav"), good = dir.file("good.wav");
    std::string loop = dir.file("loop.wav");
    ASSERT_TRUE(WriteWave(stuck, Tone(700, 48000, 48000, 1, 0.8f), 1, 48000,
                          SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    ASSERT_TRUE(
        WriteWave(loop, Tone(300, 48000, 4800, 1, 0.8f), 1, 48000, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    dir.write("good.wav", WaveHeader(1, 48000, 16, 6000) + NoiseBytes(3000, 4));
    const std::vector<float> want = ReadStereo(good);
    const int threads = audio::SoundService::OpenerThreads();
    {
        HoldGuard hold("stuck");
        Rig rig;
        rig.Start(loop, true);
        rig.svc.Start(stuck, false);
        ASSERT_TRUE(WaitFor([] { return audio::HeldOpens() == 1; }));
        // The start ends the loop although its file never opens.
        // (Pulled straight from the output: Settle would wait for the open.)
        ASSERT_TRUE(WaitFor([&] {
            std::vector<float> period(256 * 2);
            rig.cap.Pull(period.data(), 256);
            return Peak(period, 0, 256) == 0.f;
        }));

        rig.svc.Start(good, false);
        ASSERT_TRUE(rig.svc.Settle(std::chrono::seconds(5)));
        std::vector<float> got = rig.Pull(4000);
        EXPECT_TRUE(std::equal(want.begin(), want.end(), got.begin()));
        EXPECT_EQ(SoundEnd(got), 3000u);

        // When the stuck open returns at last, its file is not wanted any more.
        audio::ReleaseOpens();
        ASSERT_TRUE(WaitFor([&] { return audio::SoundService::OpenerThreads() == threads + 1; }));
        ASSERT_TRUE(rig.svc.Settle());
        EXPECT_EQ(Peak(rig.Pull(48000), 0, 48000), 0.f);
    }
    {
        // A service that goes while an open is stuck does not wait for it.
        HoldGuard hold("stuck");
        {
            Rig rig;
            rig.svc.Start(stuck, true);
            ASSERT_TRUE(WaitFor([] { return audio::HeldOpens() == 1; }));
        }
        EXPECT_EQ(audio::SoundService::OpenerThreads(), threads + 1);
    }
    EXPECT_TRUE(WaitFor([&] { return audio::SoundService::OpenerThreads() == threads; }));
}

// The data chunk declares more than the file holds.
struct Overclaim {
    const char* name;
    int channels, bits;
    std::uint32_t declared;
};

class Overclaiming : public testing::TestWithParam<Overclaim> {};

TEST_P(Overclaiming, PlaysWhatIsThereAndLoopsItWithoutSpinning) {
    const Overclaim& c = GetParam();
    TempDir dir;
    const std::size_t frames = 8000;
    std::string body = NoiseBytes(frames * c.channels * c.bits / 16, 11);
    std::string path = dir.write("big.wav", WaveHeader(c.channels, 48000, c.bits, c.declared) + body);
    std::vector<float> once = ReadStereo(path);
    ASSERT_EQ(once.size(), frames * 2);
    for (bool loop : {false, true}) {
        SCOPED_TRACE(loop);
        Rig rig;
        rig.Start(path, loop);
        std::vector<float> got = rig.Pull(frames * 3);
        if (!loop) {
            EXPECT_TRUE(std::equal(once.begin(), once.end(), got.begin()));
            EXPECT_EQ(SoundEnd(got), frames);
            continue;
        }
        for (std::size_t i = 0; i < got.size(); ++i)
            ASSERT_EQ(got[i], once[i % once.size()]) << "frame " << i / 2;
    }
}

INSTANTIATE_TEST_SUITE_P(Headers, Overclaiming,
                         testing::Values(Overclaim{"pcm16_2g_frames", 1, 16, 0xFFFFFFF0u},
                                         Overclaim{"pcm16_odd_size", 1, 16, 0xFFFFFFFFu},
                                         Overclaim{"pcm24_stereo_2g", 2, 24, 0xFFFFFFF0u}),
                         [](const testing::TestParamInfo<Overclaim>& i) {
                             return std::string(i.param.name);
                         });

class BigMetadata : public testing::TestWithParam<const char*> {};

TEST_P(BigMetadata, TenMegabytesBeforeTheDataStillPlay) {
    TempDir dir;
    const std::string id = GetParam();
    std::string meta(10 << 20, '\0');
    if (id == "LIST") {
        // An INFO list whose one comment fills it.
        std::string text(meta.size() - 12, 'c');
        meta = "INFO" + Chunk("ICMT", text);
    }
    std::string data = NoiseBytes(4000, 12);
    std::string fmt = WaveHeader(1, 48000, 16, 0).substr(12, 24);
    std::string body = "WAVE" + fmt + Chunk(id, meta) + Chunk("data", data);
    std::string path = dir.write("meta.wav", Chunk("RIFF", body));
    std::vector<float> want = ReadStereo(path);
    ASSERT_EQ(want.size(), 4000u * 2);

    Rig rig;
    auto t0 = std::chrono::steady_clock::now();
    rig.Start(path);
    auto t1 = std::chrono::steady_clock::now();
    std::vector<float> got = rig.Pull(5000);
    EXPECT_TRUE(std::equal(want.begin(), want.end(), got.begin()));
    EXPECT_EQ(SoundEnd(got), 4000u);
    std::printf("%s chunk of 10 MiB: started in %.2f ms\n", id.c_str(),
                std::chrono::duration<double, std::milli>(t1 - t0).count());
}

INSTANTIATE_TEST_SUITE_P(Chunks, BigMetadata, testing::Values("LIST", "junk", "abcd"),
                         [](const testing::TestParamInfo<const char*>& i) {
                             return std::string(i.param);
                         });

namespace {

// Removes name in dir and everything below it, relative step by step (any depth).
void RemoveTree(int dir, const char* name) {
    int fd = openat(dir, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        if (DIR* d = fdopendir(fd)) {
            std::vector<std::string> names;
            while (dirent* e = readdir(d))
                if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                    names.push_back(e->d_name);
            for (const std::string& n : names) RemoveTree(dirfd(d), n.c_str());
            closedir(d);
        } else {
            close(fd);
        }
        unlinkat(dir, name, AT_REMOVEDIR);
    } else {
        unlinkat(dir, name, 0);
    }
}

// A wave at dir/sub/.../name, made with relative steps so the whole path may exceed PATH_MAX.
struct Placed {
    std::string path;
    std::vector<float> want;
};

Placed Place(const TempDir& dir, const std::vector<std::string>& subs, const std::string& name) {
    std::string made = dir.write("w.wav", WaveHeader(1, 48000, 16, 6000) + NoiseBytes(3000, 21));
    Placed p{dir.path(), ReadStereo(made)};
    int fd = open(dir.path().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    int top = fd;
    for (const std::string& s : subs) {
        mkdirat(fd, s.c_str(), 0700);
        int next = openat(fd, s.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (fd != top) close(fd);
        fd = next;
        p.path += "/" + s;
    }
    if (renameat(top, "w.wav", fd, name.c_str()) != 0) p.want.clear();
    if (fd != top) close(fd);
    close(top);
    p.path += "/" + name;
    return p;
}

}  // namespace

struct OddName {
    const char* name;
    std::vector<std::string> subs;
    std::string file;
};

class OddNames : public testing::TestWithParam<OddName> {};

TEST_P(OddNames, PlayByTheirBytes) {
    const OddName& c = GetParam();
    TempDir dir;
    Placed p = Place(dir, c.subs, c.file);
    ASSERT_EQ(p.want.size(), 3000u * 2);
    Rig rig;
    rig.Start(p.path);
    std::vector<float> got = rig.Pull(4000);
    EXPECT_TRUE(std::equal(p.want.begin(), p.want.end(), got.begin())) << p.path.size() << " bytes";
    EXPECT_EQ(SoundEnd(got), 3000u);
    if (!c.subs.empty()) {
        int fd = open(dir.path().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        RemoveTree(fd, c.subs[0].c_str());
        close(fd);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Paths, OddNames,
    testing::Values(
        OddName{"newline", {}, "two\nlines.wav"},
        OddName{"name_of_255_bytes", {}, std::string(251, 'n') + ".wav"},
        OddName{"invalid_utf8", {"\xff\xfe dir"}, "caf\xe9 \xc3(.wav"},
        OddName{"deeper_than_path_max", std::vector<std::string>(20, std::string(250, 'd')),
                "deep.wav"},
        OddName{"deep_with_dot_dot",
                [] {
                    std::vector<std::string> s(18, std::string(250, 'e'));
                    s.insert(s.begin() + 9, "..");
                    s.insert(s.begin() + 9, std::string(250, 'f'));
                    return s;
                }(),
                "up.wav"}),
    [](const testing::TestParamInfo<OddName>& i) { return std::string(i.param.name); });
