// Files and file systems that misbehave: the service plays what can be played and never hangs.
#include <functional>

#include "AudioFixtures.h"
#include "platform/audio/Decoder.h"

using namespace audiotest;

namespace {

bool WaitFor(const std::function<bool()>& done) {
    for (int i = 0; i < 10000 && !done(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return done();
}

// Lets held opens go even when a test fails half way.
struct HoldGuard {
    explicit HoldGuard(const std::string& part) { audio::HoldOpens(part); }
    ~HoldGuard() { audio::ReleaseOpens(); }
};

}  // namespace

TEST(Faults, AStuckOpenDoesNotHoldUpTheStartsAfterIt) {
    TempDir dir;
    std::string stuck = NoiseWave(dir, "stuck.wav", kRate, 1, 1),
                good = NoiseWave(dir, "good.wav", 3000, 1, 4);
    std::string loop = NoiseWave(dir, "loop.wav", 4800, 1, 2);
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
        // Nor do the starts after it wait for it, or for a FIFO named like a wave.
        ASSERT_EQ(mkfifo(dir.file("fifo.wav").c_str(), 0600), 0);
        rig.svc.Start(dir.file("fifo.wav"), true);
        rig.svc.Start(good, false);
        ASSERT_TRUE(rig.svc.Settle(std::chrono::seconds(5)));
        EXPECT_TRUE(PlaysExactly(rig.Pull(4000), ReadStereo(good)));

        // When the stuck open returns at last, its file is not wanted any more.
        audio::ReleaseOpens();
        ASSERT_TRUE(WaitFor([&] { return audio::SoundService::OpenerThreads() == threads + 1; }));
        ASSERT_TRUE(rig.svc.Settle());
        EXPECT_EQ(Peak(rig.Pull(kRate), 0, kRate), 0.f);
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

static std::string Chunk(const std::string& id, const std::string& body) {
    return id + Le(std::uint32_t(body.size()), 4) + body +
           (body.size() % 2 ? std::string(1, '\0') : "");
}

class BigMetadata : public testing::TestWithParam<const char*> {};

TEST_P(BigMetadata, TenMegabytesBeforeTheDataStillPlay) {
    TempDir dir;
    const std::string id = GetParam();
    std::string meta(10 << 20, '\0');
    if (id == "LIST")
        meta = "INFO" + Chunk("ICMT", std::string(meta.size() - 12, 'c'));  // one comment fills it
    std::string fmt = WaveHeader(1, kRate, 16, 0).substr(12, 24);
    std::string body = "WAVE" + fmt + Chunk(id, meta) + Chunk("data", RandomBytes(8000, 12));
    std::string path = dir.write("meta.wav", Chunk("RIFF", body));
    std::vector<float> want = ReadStereo(path);
    ASSERT_EQ(want.size(), 4000u * 2);
    Rig rig;
    EXPECT_TRUE(PlaysExactly(rig.Hear(path, 5000), want));
}

INSTANTIATE_TEST_SUITE_P(Chunks, BigMetadata, testing::Values("LIST", "junk", "abcd"),
                         [](const testing::TestParamInfo<const char*>& i) {
                             return std::string(i.param);
                         });

struct OddName {
    const char* name;
    std::vector<std::string> subs;  // folders to make the file in, one inside the other
    std::string file;
};

class OddNames : public testing::TestWithParam<OddName> {};

TEST_P(OddNames, PlayByTheirBytes) {
    const OddName& c = GetParam();
    TempDir dir;
    const std::vector<float> want = ReadStereo(NoiseWave(dir, "w.wav", 3000, 1, 21));
    // Made with relative steps, so the whole path may exceed PATH_MAX.
    std::string path = dir.path();
    int top = open(dir.path().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC), fd = dup(top);
    for (const std::string& s : c.subs) {
        mkdirat(fd, s.c_str(), 0700);
        int next = openat(fd, s.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        close(fd);
        fd = next;
        path += "/" + s;
    }
    ASSERT_EQ(renameat(top, "w.wav", fd, c.file.c_str()), 0);
    close(fd);
    close(top);
    path += "/" + c.file;
    Rig rig;
    EXPECT_TRUE(PlaysExactly(rig.Hear(path, 4000), want)) << path.size() << " bytes";
    // Too deep for the folder's own clean-up.
    if (!c.subs.empty()) {
        EXPECT_EQ(std::system(("rm -rf '" + dir.path() + "/" + c.subs[0] + "'").c_str()), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Paths, OddNames,
    testing::Values(OddName{"newline", {}, "two\nlines.wav"},
                    OddName{"name_of_255_bytes", {}, std::string(251, 'n') + ".wav"},
                    OddName{"invalid_utf8", {"\xff\xfe dir"}, "caf\xe9 \xc3(.wav"},
                    OddName{"deeper_than_path_max",
                            std::vector<std::string>(20, std::string(250, 'd')), "deep.wav"},
                    OddName{"deep_with_dot_dot",
                            [] {
                                std::vector<std::string> s(18, std::string(250, 'e'));
                                s.insert(s.begin() + 9, {std::string(250, 'f'), ".."});
                                return s;
                            }(),
                            "up.wav"}),
    [](const testing::TestParamInfo<OddName>& i) { return std::string(i.param.name); });
