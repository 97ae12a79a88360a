// The preview level: its steps, the Volume setting, and the gain on every mixed sample.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "mainwindow/FormLogic.h"
#include "platform/audio/CaptureOutput.h"
#include "platform/audio/SoundService.h"
#include "startup/Globals.h"

TEST(Level, StepsBoundsAndMute) {
    // A level: one step louder, one quieter, its gain, its text.
    // clang-format off
    for (auto [db, want] : {std::pair{0, "0 -3 1.000000 0 dB"}, {-3, "0 -6 0.707946 -3 dB"}, {-12, "-9 -15 0.251189 -12 dB"},
                            {-45, "-42 -48 0.005623 -45 dB"}, {-48, "-45 -48 0.000000 stumm"}})
        EXPECT_EQ(std::to_string(level::Louder(db)) + " " + std::to_string(level::Quieter(db)) + " " + std::to_string(level::Gain(db)) + " " + level::Text(db), want);
    // clang-format on
}

TEST(Level, SavedAsVolumeAfterTheSevenKeys) {
    testsupport::TempDir dir;
    AppTitle = "App";
    IniFile = dir.file("w.ini");
    // The line in an earlier file of the seven keys, the level read from it at start and written
    // back last at the close.
    // clang-format off
    for (auto [line, read] : {std::pair{"", 0}, {"Volume=-12\n", -12}, {"Volume=-48\n", -48}, {"Volume=-49\n", 0},
                              {"Volume=3\n", 0}, {"Volume=leise\n", 0}, {"Volume=-10.4\n", -9}, {"Volume=\n", 0}}) {
        dir.write("w.ini", std::string("[App]\nLastDir=/\nTop=0\nLeft=0\nHeight=1\nWidth=1\nLoop=0\nOnTop=0\n") + line);
        FormLogic logic;
        logic.SetLevel(FormLogic::SavedLevel());
        logic.Unload(0, 0, 1, 1);
        const std::string saved = testsupport::ReadAll(IniFile);
        EXPECT_EQ(saved.substr(saved.find("Loop")), "Loop=0\nOnTop=0\nVolume=" + std::to_string(read) + "\n") << line;
    }  // clang-format on
    AppTitle = IniFile = StartDir = "";
}

TEST(Level, GainRampsOnEverySampleOfEveryOutput) {
    testsupport::TempDir dir;
    std::vector<float> dc(2 * 2000, 0.5f), out(2 * 1000);
    testsupport::WriteWave(dir.file("dc.wav"), dc, 2, 48000, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    audio::CaptureOutput cap;  // 48 kHz: a ramp of 240 frames
    audio::SoundService svc(cap);
    svc.Start(dir.file("dc.wav"), true), svc.Settle(), cap.Pull(out.data(), 100);
    svc.SetGain(0.25f);
    cap.Pull(out.data() + 200, 900);
    for (auto [frame, want] : {std::pair{99, .5f}, {100, .4984375f}, {219, .3125f}, {339, .125f}})
        EXPECT_NEAR(out[2 * frame + 1], want, 1e-6) << frame;
}
