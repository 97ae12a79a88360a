// Starting sounds: one at a time, each start ends the one before, a start returns at once.
#pragma once
#include <chrono>
#include <string>

namespace audio {
class Output;
}

namespace Sound {

// Whatever actually plays: the audio service in the program, a recorder in window tests.
class Player {
  public:
    virtual ~Player() = default;
    virtual void Start(const std::string& path, bool loop) = 0;
    // The preview level as a linear gain (1 full, 0 silent); a player without one ignores it.
    virtual void SetGain(float /*gain*/) {}
    // Whether the user is at the window; the player may idle the device while not.
    virtual void Attend(bool /*present*/) {}
};

// Replaces the player (null restores the program's audio service). Not owned.
void SetPlayer(Player* player);

// The program's own player, once made, plays through output (which must outlive it) and rests it
// grace after the user left, instead of the sound device; for tests that run its attendance.
void PlayThrough(audio::Output& output, std::chrono::milliseconds grace);

// The preview level for the sound playing now and every later start, on whichever player plays.
// Kept until the audio service is made, so setting it at start-up opens no device.
void SetGain(float gain);

// The window became active or the pointer entered it (present), or the user left it. The first
// coming makes the program's player, so the device is open before the first key.
void Attend(bool present);

}  // namespace Sound

// Plays path once.
void PlayWave(const std::string& path);
// Plays path in a loop until the next start.
void LoopWave(const std::string& path);
