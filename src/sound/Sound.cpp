#include "sound/Sound.h"

#include <atomic>
#include <memory>

#include "platform/audio/SoundService.h"

namespace Sound {

namespace {

std::atomic<float> g_gain{1.f};
// Where the program's own player plays instead of the device, and its grace (PlayThrough).
audio::Output* g_output = nullptr;
std::chrono::milliseconds g_grace{0};

// The program's own player: the sound service on the sound device, made when the user first comes
// to the window or at an earlier start, so that nothing touches audio while the program loads.
class ServicePlayer : public Player {
  public:
    ServicePlayer()
        : service_(g_output ? std::make_unique<audio::SoundService>(*g_output, g_grace)
                            : std::make_unique<audio::SoundService>()) {
        service_->SetGain(g_gain.load());
    }
    void Start(const std::string& path, bool loop) override { service_->Start(path, loop); }
    void SetGain(float gain) override { service_->SetGain(gain); }
    void Attend(bool present) override { service_->Attend(present); }

  private:
    std::unique_ptr<audio::SoundService> service_;
};

std::atomic<Player*> g_player{nullptr};
std::atomic<Player*> g_service{nullptr};  // the program's own player once made

Player& Current() {
    if (Player* p = g_player.load(std::memory_order_acquire)) return *p;
    static ServicePlayer service;
    g_service.store(&service, std::memory_order_release);
    return service;
}

}  // namespace

void SetPlayer(Player* player) { g_player.store(player, std::memory_order_release); }

void PlayThrough(audio::Output& output, std::chrono::milliseconds grace) {
    g_output = &output;
    g_grace = grace;
}

void SetGain(float gain) {
    g_gain.store(gain);
    if (Player* p = g_player.load(std::memory_order_acquire)) p->SetGain(gain);
    if (Player* s = g_service.load(std::memory_order_acquire)) s->SetGain(gain);
}

void Attend(bool present) {
    // Leaving before the player exists needs no player.
    if (!present && !g_service.load(std::memory_order_acquire) && !g_player.load()) return;
    Current().Attend(present);
}

}  // namespace Sound

void PlayWave(const std::string& path) { Sound::Current().Start(path, false); }

void LoopWave(const std::string& path) { Sound::Current().Start(path, true); }
