// Starting sounds: one at a time, each start ends the one before, a start returns at once.
#pragma once
#include <string>

namespace Sound {

// Whatever actually plays: the audio service in the program, a recorder in window tests.
class Player {
  public:
    virtual ~Player() = default;
    virtual void Start(const std::string& path, bool loop) = 0;
    // The preview level as a linear gain (1 full, 0 silent); a player without one ignores it.
    virtual void SetGain(float /*gain*/) {}
};

// Replaces the player (null restores the program's audio service). Not owned.
void SetPlayer(Player* player);

// The preview level for the sound playing now and every later start, on whichever player plays.
// Kept until the audio service is made, so setting it at start-up opens no device.
void SetGain(float gain);

}  // namespace Sound

// Plays path once.
void PlayWave(const std::string& path);
// Plays path in a loop until the next start.
void LoopWave(const std::string& path);
