#include "platform/audio/SoundService.h"

#include <atomic>
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

using Clock = std::chrono::steady_clock;

constexpr std::size_t kFirstFill = 2048;  // frames decoded before a new voice is handed over
constexpr auto kRefill = std::chrono::milliseconds(10);
// An open still running this long when a newer start waits is taken for stuck (a network mount
// that stopped answering): its thread is left to finish on its own, a fresh one opens the newer.
constexpr auto kStuck = std::chrono::milliseconds(20);
// A start whose file has not opened by then ends the sound before it all the same.
constexpr auto kPatience = std::chrono::milliseconds(100);
// How long a service that goes waits for an open that is merely slow.
constexpr auto kParting = std::chrono::milliseconds(250);

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

std::atomic<int>& OpenerCount() {
    static std::atomic<int> n{0};
    return n;
}

// What a service shares with its opener threads; held by all of them, so an abandoned opener
// may outlive the service.
struct Shared {
    std::mutex mu;
    std::condition_variable wake;  // the loader's
};

struct OpenJob {
    std::uint64_t id;
    std::string path;
    int rate;
    bool loop;
};

// One opener thread's mailbox, guarded by Shared::mu.
struct Opener {
    std::condition_variable go;
    std::optional<OpenJob> job;
    bool busy = false;  // inside Decoder::Open since `since`
    Clock::time_point since;
    bool haveResult = false;
    std::uint64_t resultId = 0;
    std::unique_ptr<Decoder> result;  // null for a file that cannot be played
    bool quit = false;                // abandoned or the service went: touch nothing more
};

void OpenLoop(std::shared_ptr<Shared> sh, std::shared_ptr<Opener> op) {
    std::unique_lock<std::mutex> lock(sh->mu);
    for (;;) {
        op->go.wait(lock, [&] { return op->quit || op->job; });
        if (op->quit) return;
        OpenJob job = std::move(*op->job);
        op->job.reset();
        op->busy = true;
        op->since = Clock::now();
        lock.unlock();
        std::unique_ptr<Decoder> dec = Decoder::Open(job.path, job.rate, job.loop);
        lock.lock();
        op->busy = false;
        if (op->quit) {
            lock.unlock();
            return;  // nobody wants the file any more; it is closed here, not under the lock
        }
        std::swap(op->result, dec);
        op->resultId = job.id;
        op->haveResult = true;
        sh->wake.notify_one();
        lock.unlock();
        dec.reset();  // a result never taken, superseded by this one
        lock.lock();
    }
}

}  // namespace

struct SoundService::Impl {
    struct Request {
        std::string path;
        bool loop;
    };

    explicit Impl(Output& out) : output(out) {
        StartOpener();
        loader = std::thread([this] { Run(); });
    }
    ~Impl() {
        {
            std::lock_guard<std::mutex> lock(sh->mu);
            stop = true;
        }
        sh->wake.notify_all();
        loader.join();
    }

    void Post(Request r) {
        {
            std::lock_guard<std::mutex> lock(sh->mu);
            request = std::move(r);  // a request not yet taken up is superseded
        }
        sh->wake.notify_one();
    }

    bool Settle(std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(sh->mu);
        std::uint64_t ticket = ++settleAsked;
        sh->wake.notify_one();
        return settledCv.wait_for(lock, timeout, [&] { return settled >= ticket || stop; });
    }

    // Everything below runs on the loader thread (StartOpener also in the constructor).
    void StartOpener() {
        opener = std::make_shared<Opener>();
        ++OpenerCount();
        openerThread = std::thread([sh = sh, op = opener]() mutable {
            OpenLoop(std::move(sh), std::move(op));
            --OpenerCount();
        });
    }

    void Run() {
        std::unique_lock<std::mutex> lock(sh->mu);
        for (;;) {
            auto due = [&] {
                return stop || request || settleAsked > settled || opener->haveResult;
            };
            std::optional<Clock::time_point> deadline;
            auto by = [&](Clock::time_point t) {
                if (!deadline || t < *deadline) deadline = t;
            };
            if (live > 0) by(Clock::now() + kRefill);
            if (awaited && !hushed) by(askedAt + kPatience);
            if (queued && opener->busy) by(opener->since + kStuck);
            if (deadline)
                sh->wake.wait_until(lock, *deadline, due);
            else
                sh->wake.wait(lock, due);
            if (stop) break;

            std::optional<Request> req;
            req.swap(request);
            std::uint64_t ticket = settleAsked;
            std::uint64_t openedId = 0;
            std::unique_ptr<Decoder> opened;
            if (opener->haveResult) {
                opener->haveResult = false;
                openedId = opener->resultId;
                opened = std::move(opener->result);
            }
            lock.unlock();

            Drain();
            if (req) Begin(*req);
            if (openedId) Arrive(openedId, std::move(opened));
            if (awaited && !hushed && Clock::now() - askedAt >= kPatience) Hush();
            Refill(SIZE_MAX);

            lock.lock();
            Dispatch();
            if (!request && !awaited && ticket > settled) {
                settled = ticket;
                settledCv.notify_all();
            }
        }

        // An open that is merely slow is waited for; a stuck one is left to finish on its own.
        sh->wake.wait_for(lock, kParting, [&] { return !opener->busy; });
        bool stuck = opener->busy;
        opener->quit = true;
        opener->go.notify_one();
        std::unique_ptr<Decoder> unread = std::move(opener->result);
        lock.unlock();
        if (stuck)
            openerThread.detach();
        else
            openerThread.join();
        unread.reset();

        if (open) output.Close();
        mixer.Reset();
        decoder.reset();
        filling = nullptr;
        Drain();
    }

    // Under the lock: gives the newest file to the opener once it is free, or to a fresh one
    // when it seems stuck.
    void Dispatch() {
        if (!queued) return;
        if (opener->busy) {
            if (Clock::now() - opener->since < kStuck) return;  // let it finish, unwanted
            opener->quit = true;
            opener->go.notify_one();
            openerThread.detach();
            StartOpener();
        }
        opener->job = std::move(queued);
        queued.reset();
        opener->go.notify_one();
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
        if (!open) {
            // No device: silent until a later start finds one.
            awaited = 0;
            queued.reset();
            decoder.reset();
            filling = nullptr;
            return;
        }
        // The sound before plays on while the file opens, and fades when the new one is there.
        awaited = ++lastId;
        askedAt = Clock::now();
        hushed = false;
        queued = OpenJob{awaited, req.path, output.Rate(), req.loop};
    }

    void Arrive(std::uint64_t id, std::unique_ptr<Decoder> dec) {
        if (id != awaited) return;  // superseded meanwhile
        awaited = 0;
        decoder.reset();
        filling = nullptr;
        Voice* v;
        if (dec) {
            v = new Voice(RingFrames(output.Rate()));
            dec->Fill(v->ring, kFirstFill);
            if (dec->Done()) v->ended = true;
        } else {
            v = MakeFallback(output.Rate());
        }
        Hand(v);
        if (dec && !dec->Done()) {
            decoder = std::move(dec);
            filling = v;
        }
    }

    // The awaited file is slow to open: end the sound before it with an empty voice.
    void Hush() {
        hushed = true;
        decoder.reset();
        filling = nullptr;
        auto* v = new Voice(1);
        v->ended = true;
        Hand(v);
    }

    void Hand(Voice* v) {
        ++live;
        if (Voice* unseen = mixer.Post(v)) {
            delete unseen;
            --live;
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

    // Shared by the posting thread, the loader and the openers; the callback never takes it.
    std::shared_ptr<Shared> sh = std::make_shared<Shared>();
    std::condition_variable settledCv;
    std::optional<Request> request;
    std::uint64_t settleAsked = 0, settled = 0;
    bool stop = false;
    std::shared_ptr<Opener> opener;  // its fields under sh->mu

    // Loader thread only.
    std::thread openerThread;
    Mixer mixer;
    bool open = false;
    std::unique_ptr<Decoder> decoder;
    Voice* filling = nullptr;
    int live = 0;                 // voices handed to the callback and not yet back
    std::optional<OpenJob> queued;  // the newest file, not yet with an opener
    std::uint64_t lastId = 0;
    std::uint64_t awaited = 0;  // the start whose file is being opened, 0 for none
    Clock::time_point askedAt;
    bool hushed = false;  // the sound before the awaited one was ended already

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

int SoundService::OpenerThreads() { return OpenerCount().load(); }

}  // namespace audio
