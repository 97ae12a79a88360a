// Starting sounds: one at a time, each start ends the one before, a start returns at once.
#pragma once
#include <string>

namespace Sound {

// Whatever actually plays: the audio service in the program, a recorder in window tests.
class Player {
  public:
    virtual ~Player() = default;
    virtual void Start(const std::string& path, bool loop) = 0;
};

// Replaces the player (null restores the program's audio service). Not owned.
void SetPlayer(Player* player);

}  // namespace Sound

// Plays path once.
void PlayWave(const std::string& path);
// Plays path in a loop until the next start.
void LoopWave(const std::string& path);
