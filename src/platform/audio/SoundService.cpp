#include "platform/audio/SoundService.h"

#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/audio/Decoder.h"
#include "platform/audio/Mixer.h"
#include "platform/audio/SdlOutput.h"
#include "platform/audio/Voice.h"

namespace audio {

std::atomic<std::size_t>& BufferBytesCounter() {
    static std::atomic<std::size_t> bytes{0};
    return bytes;
}

namespace {

constexpr std::size_t kFirstFill = 2048;  // frames decoded before a new voice is handed over
constexpr auto kRefill = std::chrono::milliseconds(10);

// Half a second or a little more, whatever the file size.
std::size_t RingFrames(int rate) { return static_cast<std::size_t>(rate) / 2; }

// The sound for a name that cannot be played: two soft 40 ms tones, falling.
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

}  // namespace

struct SoundService::Impl {
    struct Request {
        std::string path;
        bool loop;
    };

    explicit Impl(Output& out) : output(out) {
        loader = std::thread([this] { Run(); });
    }
    ~Impl() {
        {
            std::lock_guard<std::mutex> lock(mu);
            stop = true;
        }
        wake.notify_all();
        loader.join();
    }

    void Post(Request r) {
        {
            std::lock_guard<std::mutex> lock(mu);
            request = std::move(r);  // a request not yet taken up is superseded
        }
        wake.notify_one();
    }

    bool Settle(std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(mu);
        std::uint64_t ticket = ++settleAsked;
        wake.notify_one();
        return settledCv.wait_for(lock, timeout, [&] { return settled >= ticket || stop; });
    }

    // Everything below runs on the loader thread.
    void Run() {
        for (;;) {
            std::optional<Request> req;
            std::uint64_t ticket = 0;
            {
                std::unique_lock<std::mutex> lock(mu);
                auto due = [&] { return stop || request || settleAsked > settled; };
                if (live > 0)
                    wake.wait_for(lock, kRefill, due);
                else
                    wake.wait(lock, due);
                if (stop) break;
                req.swap(request);
                ticket = settleAsked;
            }
            Drain();
            if (req) Begin(*req);
            Refill(SIZE_MAX);
            {
                std::lock_guard<std::mutex> lock(mu);
                if (!request && ticket > settled) {
                    settled = ticket;
                    settledCv.notify_all();
                }
            }
        }
        if (open) output.Close();
        mixer.Reset();
        decoder.reset();
        filling = nullptr;
        Drain();
    }

    void Drain() {
        while (Voice* v = mixer.TakeRetired()) {
            if (v == filling) {
                filling = nullptr;
                decoder.reset();
            }
            delete v;
            --live;
        }
    }

    void Begin(const Request& req) {
        if (open && output.Lost()) {
            // The device went away: drop it and everything it was playing, then try afresh.
            output.Close();
            open = false;
            mixer.Reset();
            Drain();
        }
        if (!open) open = output.Open(mixer);
        decoder.reset();
        filling = nullptr;
        if (!open) return;  // no device: silent until a later start finds one

        int rate = output.Rate();
        Voice* v;
        auto dec = Decoder::Open(req.path, rate, req.loop);
        if (dec) {
            v = new Voice(RingFrames(rate));
            dec->Fill(v->ring, kFirstFill);
            if (dec->Done()) v->ended = true;
        } else {
            v = MakeFallback(rate);
        }
        ++live;
        if (Voice* unseen = mixer.Post(v)) {
            delete unseen;
            --live;
        }
        if (dec && !dec->Done()) {
            decoder = std::move(dec);
            filling = v;
        }
    }

    void Refill(std::size_t limit) {
        if (!decoder || !filling) return;
        decoder->Fill(filling->ring, limit);
        if (decoder->Done()) {
            filling->ended.store(true, std::memory_order_release);
            decoder.reset();
            filling = nullptr;
        }
    }

    Output& output;
    std::unique_ptr<Output> owned;

    // Shared by the posting thread and the loader only; the callback never takes it.
    std::mutex mu;
    std::condition_variable wake, settledCv;
    std::optional<Request> request;
    std::uint64_t settleAsked = 0, settled = 0;
    bool stop = false;

    // Loader thread only.
    Mixer mixer;
    bool open = false;
    std::unique_ptr<Decoder> decoder;
    Voice* filling = nullptr;
    int live = 0;  // voices handed to the callback and not yet back

    std::thread loader;  // last: starts once everything above exists
};

SoundService::SoundService() {
    auto out = std::make_unique<SdlOutput>();
    Output& ref = *out;
    impl_ = std::make_unique<Impl>(ref);
    impl_->owned = std::move(out);
}

SoundService::SoundService(Output& output) : impl_(std::make_unique<Impl>(output)) {}

SoundService::~SoundService() = default;

void SoundService::Start(const std::string& path, bool loop) { impl_->Post({path, loop}); }

bool SoundService::Settle(std::chrono::milliseconds timeout) { return impl_->Settle(timeout); }

std::size_t SoundService::BufferBytes() { return BufferBytesCounter().load(); }

}  // namespace audio
