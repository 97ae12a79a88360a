#include "sound/Sound.h"

#include <atomic>

#include "platform/audio/SoundService.h"

namespace Sound {

namespace {

// The program's own player: the sound service on the sound device, made at the first start so
// that nothing touches audio while the program loads.
class ServicePlayer : public Player {
  public:
    void Start(const std::string& path, bool loop) override { service_.Start(path, loop); }

  private:
    audio::SoundService service_;
};

std::atomic<Player*> g_player{nullptr};

Player& Current() {
    if (Player* p = g_player.load(std::memory_order_acquire)) return *p;
    static ServicePlayer service;
    return service;
}

}  // namespace

void SetPlayer(Player* player) { g_player.store(player, std::memory_order_release); }

}  // namespace Sound

void PlayWave(const std::string& path) { Sound::Current().Start(path, false); }

void LoopWave(const std::string& path) { Sound::Current().Start(path, true); }
