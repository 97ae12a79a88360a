#include "platform/audio/Reading.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/audio/Decoder.h"
#include "platform/audio/RateFollow.h"

namespace audio {

namespace {

constexpr std::size_t kFirstFill = 2048;  // frames decoded before a new voice is handed over
constexpr auto kRefill = std::chrono::milliseconds(10);

void ReadLoop(const std::shared_ptr<Shared>& sh, const std::shared_ptr<Job>& j) {
    std::unique_ptr<Decoder> dec = Decoder::Open(j->path, j->rate, j->loop);
    if (j->follow) {
        if (dec) CatchUp(*sh, *j, *dec);
        j->follow->Release();
        j->follow = nullptr;
    }
    std::unique_lock<std::mutex> lock(sh->mu);
    if (!dec) j->state = Job::Failed;
    std::uint64_t asked = j->fillAsked;
    while (dec && !j->cancel) {
        lock.unlock();
        dec->Fill(j->voice->ring, j->state == Job::Opening ? kFirstFill : SIZE_MAX);
        if (dec->Done()) j->voice->ended.store(true, std::memory_order_release);
        lock.lock();
        if (j->state == Job::Opening) {
            j->state = Job::Ready;
            sh->wake.notify_all();
        }
        j->fillDone = asked;
        sh->progress.notify_all();
        if (dec->Done()) break;
        j->go.wait_for(lock, kRefill, [&] { return j->cancel || j->fillAsked > j->fillDone; });
        asked = j->fillAsked;
    }
    sh->wake.notify_all();
    lock.unlock();
    dec.reset();  // the file is closed here, on this thread, whatever it costs
}

void Reader(const std::shared_ptr<Shared>& sh, const std::shared_ptr<Job>& j) {
    // A read that throws (memory gone) ends this sound like a failed read; the count below must
    // still go down, or the reader cap fills.
    try {
        ReadLoop(sh, j);
    } catch (...) {
    }
    j->voice->Release();
    std::lock_guard<std::mutex> lock(sh->mu);
    j->exited = true;
    --sh->readers;
    sh->progress.notify_all();
}

}  // namespace

workers::Pool& Readers() {
    static auto* pool = new workers::Pool(16);  // never destroyed: exit waits for no reader
    return *pool;
}

Voice* MakeFallback(int rate) {
    const std::size_t half = static_cast<std::size_t>(rate) / 25;
    auto* v = new Voice(std::max(RingFrames(rate), half * 2));
    std::vector<float> buf(half * 2 * 2);
    for (std::size_t i = 0; i < half * 2; ++i) {
        double hz = i < half ? 880.0 : 660.0;
        double t = double(i % half) / double(half);
        double env = 0.5 - 0.5 * std::cos(2 * M_PI * t);
        float s = static_cast<float>(0.2 * env * std::sin(2 * M_PI * hz * double(i) / rate));
        buf[2 * i] = buf[2 * i + 1] = s;
    }
    v->ring.Write(buf.data(), half * 2);
    v->ended = true;
    return v;
}

bool StartReader(const std::shared_ptr<Shared>& sh, const std::shared_ptr<Job>& j) {
    j->task = Readers().Run([sh, j] { Reader(sh, j); });
    if (!j->task) return false;
    ++sh->readers;  // under the lock, before the reader can take it to count down
    return true;
}

void Warm(int rate) {
    static std::once_flag once;
    std::call_once(once, [rate] {
        Readers().Run([rate] {
            constexpr std::uint32_t kFrames = 512;
            std::vector<unsigned char> wav(44 + std::size_t{kFrames} * 2, 0);
            auto put = [&](std::size_t at, std::uint32_t v, int bytes) {
                for (int i = 0; i < bytes; ++i) wav[at + i] = (v >> (8 * i)) & 0xff;
            };
            std::memcpy(wav.data(), "RIFF\0\0\0\0WAVEfmt ", 16);
            put(4, 36 + kFrames * 2, 4);
            put(16, 16, 4), put(20, 1, 2), put(22, 1, 2), put(24, 44100, 4), put(28, 88200, 4);
            put(32, 2, 2), put(34, 16, 2);
            std::memcpy(wav.data() + 36, "data", 4);
            put(40, kFrames * 2, 4);
            if (auto dec = Decoder::OpenMemory(wav.data(), wav.size(), rate, false)) {
                Ring ring(std::size_t{kFrames} * 2);
                dec->Fill(ring, SIZE_MAX);
            }
        });
    });
}

}  // namespace audio
