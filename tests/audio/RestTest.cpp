// The device runs while the user is at the window or a sound plays and rests otherwise; a sound
// follows the output to another rate at its own pitch, from where it was.
#include "AudioFixtures.h"
#include "sound/Sound.h"

using namespace audiotest;
using namespace std::chrono_literals;

namespace {

// Frequency of the left channel over [from, to) at rate, from its rising zero crossings.
double Hz(const std::vector<float>& s, std::size_t from, std::size_t to, int rate) {
    int up = 0;
    for (std::size_t i = from + 1; i < to; ++i) up += s[2 * i - 2] < 0 && s[2 * i] >= 0;
    return up * double(rate) / double(to - from);
}

}  // namespace

TEST(Rest, RunsWhileTheUserIsThereOrASoundPlays) {
    enum Play { None, Once, Loop };
    // Comes, plays, leaves, comes back; then whether the output runs and how often it opened.
    const std::tuple<const char*, bool, Play, bool, bool, bool, int> rows[] = {
        {"at the window", true, None, false, false, true, 1},
        {"left", true, None, true, false, false, 1},
        {"left while a loop plays", true, Loop, true, false, true, 1},
        {"left while a sound plays out", true, Once, true, false, false, 1},
        {"never came, a start played out", false, Once, false, false, false, 1},
        {"came back", true, None, true, true, true, 2}};
    TempDir dir;
    const std::string tone = ToneWave(dir, "tone.wav", 1000, kRate, 4800);
    for (const auto& [name, come, play, leave, back, running, opens] : rows) {
        SCOPED_TRACE(name);
        audio::CaptureOutput cap;
        audio::SoundService svc(cap, 20ms);
        if (come) svc.Attend(true);
        if (play != None) svc.Start(tone, play == Loop);
        svc.Settle();
        if (leave) svc.Attend(false);
        if (back) {
            EXPECT_TRUE(Eventually([&] { return !cap.Running(); }));
            svc.Attend(true);
        }
        // Ten graces, the device pulling meanwhile.
        std::vector<float> period(1024 * 2);
        for (int i = 0; i < 10; ++i, std::this_thread::sleep_for(20ms))
            cap.Pull(period.data(), 1024);
        svc.Settle();
        EXPECT_TRUE(Eventually([&] { return cap.Running() == running; }));
        EXPECT_EQ(cap.Opens(), opens);
    }
}

TEST(Rest, ASoundFollowsTheOutputToAnotherRate) {
    // Output rate before and after, a loop or once; the pitch heard after (Hz), or for the 1 s
    // sound the frames it lasts after the change: 28096 of its 48000 frames are played by the end
    // of the first period at the new rate, the other 19904 take 18287 frames at 44.1 kHz.
    const std::tuple<int, int, bool, double, std::size_t> rows[] = {
        {48000, 44100, true, 1000, 0},
        {44100, 48000, true, 1000, 0},
        {48000, 96000, true, 1000, 0},
        {48000, 44100, false, 0, 22383}};
    TempDir dir;
    const std::string loop = ToneWave(dir, "loop.wav", 1000, kRate, 4800);
    const std::string once = ToneWave(dir, "once.wav", 1000, kRate, kRate);
    for (const auto& [from, to, looped, hz, tail] : rows) {
        SCOPED_TRACE(std::to_string(from) + " to " + std::to_string(to));
        Rig rig(from);
        rig.Hear(looped ? loop : once, kRate / 2, looped);
        rig.cap.SetRate(to);
        const std::vector<float> after = rig.Pull(std::size_t(to));
        if (looped)
            EXPECT_NEAR(Hz(after, std::size_t(to) / 4, std::size_t(to), to), hz, 2);
        else
            EXPECT_NEAR(double(SoundEnd(after)), double(tail), 300);
    }
}

// The program's own player, not a test's: coming to the window before any sound runs the device,
// and it keeps running while the user stays, a sound played or not.
TEST(Rest, TheProgramsOwnPlayerRunsTheDeviceWhileTheUserIsThere) {
    static audio::CaptureOutput cap;  // outlives the player, which lives to the process's end
    Sound::PlayThrough(cap, 20ms);
    Sound::Attend(true);
    EXPECT_TRUE(Eventually([&] { return cap.Running(); }));
    TempDir dir;
    PlayWave(ToneWave(dir, "tone.wav", 1000, kRate, 480));
    std::vector<float> period(1024 * 2);
    for (int i = 0; i < 10; ++i, std::this_thread::sleep_for(20ms)) cap.Pull(period.data(), 1024);
    EXPECT_TRUE(cap.Running());
    EXPECT_EQ(cap.Opens(), 1);
}
