// PlayWave and LoopWave reach whatever player is set.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "sound/Sound.h"

namespace {

struct Recorder : Sound::Player {
    void Start(const std::string& path, bool loop) override { calls.emplace_back(path, loop); }
    std::vector<std::pair<std::string, bool>> calls;
};

}  // namespace

TEST(Sound, RoutinesStartThePlayerOnceOrLooping) {
    Recorder rec;
    Sound::SetPlayer(&rec);
    PlayWave("/a/Ding.wav");
    LoopWave("/a/Loop.wav");
    Sound::SetPlayer(nullptr);
    // Back on the program's own service (a dummy device here): must simply not fail.
    PlayWave("/nowhere/STOP.wav");
    LoopWave("/nowhere/x.wav");
    ASSERT_EQ(rec.calls.size(), 2u);
    EXPECT_EQ(rec.calls[0], std::make_pair(std::string("/a/Ding.wav"), false));
    EXPECT_EQ(rec.calls[1], std::make_pair(std::string("/a/Loop.wav"), true));
}
