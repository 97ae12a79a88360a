// Files and storage that misbehave: the service plays what can be played and never hangs.
#include <fcntl.h>

#include <optional>

#include "AudioFixtures.h"

using namespace audiotest;
using audio::IoStage;
using audio::SoundService;

namespace {

// One period straight from the output, without waiting for anything.
bool Silent(Rig& rig) {
    std::vector<float> period(256 * 2);
    rig.cap.Pull(period.data(), 256);
    return Peak(period, 0, 256) == 0.f;
}

}  // namespace

// A read that hangs in the header, or mid-stream in the playing file, costs the other files
// nothing; Stop silences at once; released, the reader ends and gives back all it held.
TEST(Faults, AHungReadHoldsUpNoOtherFile) {
    TempDir dir;
    const std::string loop = NoiseWave(dir, "loop.wav", 4800, 1, 2),
                      good = NoiseWave(dir, "good.wav", 3000, 1, 4),
                      stuck = NoiseWave(dir, "stuck.wav", kRate * 4, 1, 1),
                      stop = ToneWave(dir, "STOP.wav", 0, 22050, 2205, 1, 0.f);
    const std::size_t idleBytes = SoundService::BufferBytes();
    const int idleThreads = SoundService::ReaderThreads();
    for (IoStage stage : {IoStage::Open, IoStage::Header, IoStage::Stream}) {
        SCOPED_TRACE(int(stage));
        std::optional<Hang> hang;
        Rig rig;
        if (stage == IoStage::Stream) {
            rig.Hear(stuck, 1000, true);
            hang.emplace("stuck", stage);  // its refills hang once the ring has run dry
            rig.Pull(kRate, false);
        } else {
            hang.emplace("stuck", stage);
            rig.Start(loop, true);
            rig.svc.Start(stuck, true);
            // The start ends the loop although its file never opens.
            ASSERT_TRUE(WaitFor([&] { return Silent(rig); }));
        }
        ASSERT_TRUE(WaitFor([] { return Hang::Waiting() == 1; }));
        rig.Pull(kRate, false);  // what was decoded before the hang
        // Every other file starts and plays exactly, and Stop silences.
        EXPECT_TRUE(PlaysExactly(rig.Hear(good, 4000), ReadStereo(good)));
        rig.Start(loop, true);
        rig.svc.Start(stop, false);
        EXPECT_TRUE(rig.svc.Settle(std::chrono::seconds(5)));
        EXPECT_EQ(Peak(rig.Pull(4000), kFade, 4000), 0.f);
        EXPECT_EQ(SoundService::ParkedReaders(), 1);
        // Let go, the hung reader ends and its file is not played by anyone.
        Hang::Release();
        EXPECT_TRUE(WaitFor([&] { return SoundService::ReaderThreads() == idleThreads; }));
        EXPECT_EQ(SoundService::ParkedReaders(), 0);
        EXPECT_EQ(Peak(rig.Pull(kRate), 0, kRate), 0.f);
    }
    EXPECT_EQ(SoundService::BufferBytes(), idleBytes);
}

// At most 16 threads are left in hung reads; past that a start plays the fallback instead.
TEST(Faults, ParkedReadersAreCapped) {
    TempDir dir;
    const std::string good = NoiseWave(dir, "good.wav", 3000, 1, 4);
    const std::size_t idleBytes = SoundService::BufferBytes();
    const int idleThreads = SoundService::ReaderThreads();
    Hang hang("stuck", IoStage::Header);
    {
        Rig rig;
        for (int i = 1; i <= 16; ++i) {
            rig.svc.Start(NoiseWave(dir, "stuck" + std::to_string(i) + ".wav", 100), false);
            ASSERT_TRUE(WaitFor([&] { return Hang::Waiting() == i; }));
        }
        rig.svc.Start(good, false);
        ASSERT_TRUE(rig.svc.Settle());
        EXPECT_EQ(SoundService::ParkedReaders(), 16);
        EXPECT_EQ(SoundService::ReaderThreads(), idleThreads + 16);
        Rig ref;
        EXPECT_TRUE(PlaysExactly(rig.Pull(kRate), ref.Hear(dir.file("none.wav"), kRate)));
    }  // the service goes without waiting for them
    Hang::Release();
    EXPECT_TRUE(WaitFor([&] { return SoundService::ReaderThreads() == idleThreads; }));
    EXPECT_EQ(SoundService::BufferBytes(), idleBytes);
    Rig rig;
    EXPECT_TRUE(PlaysExactly(rig.Hear(good, 4000), ReadStereo(good)));
}

static std::string Chunk(const std::string& id, const std::string& body) {
    return id + Le(std::uint32_t(body.size()), 4) + body +
           (body.size() % 2 ? std::string(1, '\0') : "");
}

TEST(Faults, TenMegabytesOfMetadataBeforeTheDataStillPlay) {
    TempDir dir;
    for (std::string id : {"LIST", "junk", "abcd"}) {
        std::string meta(10 << 20, '\0');
        if (id == "LIST") meta = "INFO" + Chunk("ICMT", std::string(meta.size() - 12, 'c'));
        std::string fmt = WaveHeader(1, kRate, 16, 0).substr(12, 24);
        std::string body = "WAVE" + fmt + Chunk(id, meta) + Chunk("data", RandomBytes(8000, 12));
        std::string path = dir.write("meta.wav", Chunk("RIFF", body));
        std::vector<float> want = ReadStereo(path);
        ASSERT_EQ(want.size(), 4000u * 2);
        Rig rig;
        EXPECT_TRUE(PlaysExactly(rig.Hear(path, 5000), want)) << id;
    }
}

// Names play by their bytes: newlines, 255-byte names, invalid UTF-8, paths over PATH_MAX.
TEST(Faults, OddNamesPlay) {
    struct OddName {
        std::vector<std::string> subs;  // folders to make the file in, one inside the other
        std::string file;
    };
    std::vector<std::string> deep(20, std::string(250, 'd')), up(18, std::string(250, 'e'));
    up.insert(up.begin() + 9, {std::string(250, 'f'), ".."});
    const OddName cases[] = {{{}, "two\nlines.wav"},
                             {{}, std::string(251, 'n') + ".wav"},
                             {{"\xff\xfe dir"}, "caf\xe9 \xc3(.wav"},
                             {deep, "deep.wav"},
                             {up, "up.wav"}};
    for (const OddName& c : cases) {
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
}
