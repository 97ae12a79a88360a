// Storage that stops answering: one file's hung read costs the other files nothing.
#include <atomic>
#include <optional>

#include "AudioFixtures.h"
#include "platform/audio/Decoder.h"

using namespace audiotest;
using audio::IoStage;
using audio::SoundService;

namespace {

// Reads of files named "stuck..." wait at one stage while a Hang lives (or until g_on drops), as
// on a share or disk that went quiet.
std::atomic<bool> g_on{false};
std::atomic<int> g_stage{0}, g_waiting{0};

void Hook(IoStage stage, const std::string& path) {
    if (!g_on || int(stage) != g_stage || path.find("/stuck") == std::string::npos) return;
    for (++g_waiting; g_on;) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    --g_waiting;
}

struct Hang {
    explicit Hang(IoStage stage) { g_stage = int(stage), g_on = true, audio::SetIoHook(&Hook); }
    ~Hang() { g_on = false; }
};

}  // namespace

// A read that hangs before open, in the header or mid-stream in the playing file: Stop silences
// at once, every other file plays, and once let go the reader ends and gives back all it held.
// A start whose file does not open ends the sound before it all the same. At most 16 threads
// are left in hung reads; past that a start plays the fallback instead.
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
        rig.Hear(stage == IoStage::Stream ? stuck : loop, 1000, true);
        hang.emplace(stage);  // mid-stream: once the ring has run dry
        if (stage != IoStage::Stream) rig.svc.Start(stuck, true);
        ASSERT_TRUE(Eventually([&] { return rig.Pull(256, false).size() && g_waiting == 1; }));
        EXPECT_LE(SoundEnd(rig.Hear(stop, 4000)), kFade);
        EXPECT_TRUE(PlaysExactly(rig.Hear(good, 4000), ReadStereo(good)));
        EXPECT_EQ(SoundService::ParkedReaders(), 1);
        g_on = false;
        EXPECT_TRUE(Eventually([&] { return SoundService::ReaderThreads() == idleThreads; }));
        EXPECT_EQ(SoundEnd(rig.Pull(kRate)), 0u);  // nobody plays the late file
    }
    Hang hang(IoStage::Header);
    {
        Rig rig, ref;
        rig.Hear(good, 0, true);
        for (int i = 1; i <= 16; ++i) {
            rig.svc.Start(NoiseWave(dir, "stuck" + std::to_string(i) + ".wav", 100), false);
            ASSERT_TRUE(Eventually([&] { return g_waiting == i; }));
        }
        EXPECT_TRUE(Eventually([&] { return SoundEnd(rig.Pull(256, false)) == 0; }));
        EXPECT_TRUE(PlaysExactly(rig.Hear(good, kRate), ref.Hear(dir.file("none.wav"), kRate)));
        EXPECT_EQ(SoundService::ParkedReaders(), 16);
    }  // the service goes without waiting for them
    g_on = false;
    EXPECT_TRUE(Eventually([&] { return SoundService::ReaderThreads() == idleThreads; }));
    EXPECT_EQ(SoundService::BufferBytes(), idleBytes);
}

// On a share every read is a round trip: the player reads a header in one, not piece by piece.
TEST(Faults, AHeaderIsOneReadOfStorage) {
    static std::atomic<int> headerReads{0};
    audio::SetIoHook([](IoStage stage, const std::string& path) {
        if (stage == IoStage::Header && path.find("/slow") != std::string::npos) ++headerReads;
    });
    TempDir dir;
    const std::string slow = NoiseWave(dir, "slow.wav", 3000, 2, 3);
    Rig rig;
    EXPECT_TRUE(PlaysExactly(rig.Hear(slow, 4000), ReadStereo(slow)));
    audio::SetIoHook(nullptr);
    EXPECT_EQ(headerReads, 1);
}
