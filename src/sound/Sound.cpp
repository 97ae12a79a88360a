#include "sound/Sound.h"

#include <atomic>

#include "platform/audio/SoundService.h"

namespace Sound {

namespace {

// The program's own player: the sound service on the sound device, made when the user first comes
// to the window or at an earlier start, so that nothing touches audio while the program loads.
class ServicePlayer : public Player {
  public:
    void Start(const std::string& path, bool loop) override { service_.Start(path, loop); }
    void Attend(bool present) override { service_.Attend(present); }

  private:
    audio::SoundService service_;
};

std::atomic<Player*> g_player{nullptr};
std::atomic<bool> g_made{false};

Player& Current() {
    if (Player* p = g_player.load(std::memory_order_acquire)) return *p;
    static ServicePlayer service;
    g_made.store(true, std::memory_order_relaxed);
    return service;
}

}  // namespace

void SetPlayer(Player* player) { g_player.store(player, std::memory_order_release); }

void Attend(bool present) {
    // Leaving before the player exists needs no player.
    if (!present && !g_made.load(std::memory_order_relaxed) && !g_player.load()) return;
    Current().Attend(present);
}

}  // namespace Sound

void PlayWave(const std::string& path) { Sound::Current().Start(path, false); }

void LoopWave(const std::string& path) { Sound::Current().Start(path, true); }
