#include "platform/audio/SoundService.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/audio/DeviceOutput.h"
#include "platform/audio/Mixer.h"
#include "platform/audio/RateFollow.h"
#include "platform/audio/Reading.h"
#include "platform/audio/RestRule.h"
#include "platform/audio/Voice.h"

namespace audio {

std::atomic<std::size_t>& BufferBytesCounter() {
    static std::atomic<std::size_t> bytes{0};
    return bytes;
}

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kRefill = std::chrono::milliseconds(10);
// A start whose file has not opened by then ends the sound before it all the same.
constexpr auto kPatience = std::chrono::milliseconds(100);
// How long a service that goes waits for readers that are merely slow.
constexpr auto kParting = std::chrono::milliseconds(250);
// How long the device keeps running after the user left the window and the sound ended: a trip
// to another program and back should find it running.
constexpr auto kGrace = std::chrono::seconds(30);

}  // namespace

struct SoundService::Impl {
    struct Request {
        std::string path;
        bool loop;
    };

    Impl(Output& out, std::optional<std::chrono::milliseconds> grace) : output(out), rest(grace) {
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

    void Attend(bool present) {
        {
            std::lock_guard<std::mutex> lock(sh->mu);
            if (attended == present) return;
            attended = present;
            attendChanged = true;
        }
        sh->wake.notify_one();
    }

    bool Settle(std::chrono::milliseconds timeout) {
        const auto until = Clock::now() + timeout;
        std::unique_lock<std::mutex> lock(sh->mu);
        std::uint64_t ticket = ++settleAsked;
        sh->wake.notify_one();
        if (!sh->progress.wait_until(lock, until, [&] { return settled >= ticket || stop; }))
            return false;
        std::shared_ptr<Job> j = current;
        if (!j || j->state != Job::Ready) return true;
        std::uint64_t ask = ++j->fillAsked;
        j->go.notify_one();
        return sh->progress.wait_until(lock, until,
                                       [&] { return j->fillDone >= ask || j->exited; });
    }

    // Under the lock: the job's voice is no longer wanted; its reader ends after its current
    // read, or counts as parked while that read hangs.
    static void Abandon(std::shared_ptr<Job>& j) {
        if (!j) return;
        if (!j->handed) j->voice->Release();
        j->handed = true;
        j->cancel = true;
        if (!j->exited) Readers().Abandon(j->task);
        j->go.notify_one();
        j.reset();
    }

    // Everything below runs on the loader thread, which never touches a file.
    void Run() {
        std::unique_lock<std::mutex> lock(sh->mu);
        for (;;) {
            auto due = [&] {
                return stop || request || settleAsked > settled || attendChanged ||
                       (awaited && awaited->state != Job::Opening);
            };
            std::optional<Clock::time_point> deadline;
            auto until = [&](Clock::time_point t) {
                if (!deadline || t < *deadline) deadline = t;
            };
            if (live > 0) until(Clock::now() + kRefill);
            if (awaited && !hushed) until(askedAt + kPatience);
            if (open && !attended && live == 0 && !awaited && rest.Due()) until(*rest.Due());
            if (deadline)
                sh->wake.wait_until(lock, *deadline, due);
            else
                sh->wake.wait(lock, due);
            if (stop) break;

            std::optional<Request> req;
            req.swap(request);
            std::uint64_t ticket = settleAsked;
            const bool present = attended;
            const bool waiting = awaited != nullptr;
            attendChanged = false;
            lock.unlock();
            // While the user is at the window the device runs, so that a key finds it ready.
            const bool dropped = (req || present) && Device();
            Drain();
            if (req || present || waiting || live > 0)
                rest.Busy();
            else if (open && rest.Rests())
                Rest();
            lock.lock();
            if (dropped) Abandon(current);
            if (req) Begin(*req);
            if (!awaited && open && current && current->rate != output.Rate()) FollowRate();
            if (awaited && awaited->state != Job::Opening) Arrive();
            if (awaited && !hushed && Clock::now() - askedAt >= kPatience) Hush();
            if (!request && !awaited && ticket > settled) {
                settled = ticket;
                sh->progress.notify_all();
            }
        }

        Abandon(awaited);
        Abandon(current);
        // Readers that are merely slow are waited for; one stuck in a read is left behind.
        sh->progress.wait_for(lock, kParting, [&] { return sh->readers == 0; });
        sh->progress.notify_all();
        lock.unlock();
        if (open) output.Close();
        mixer.Reset();
        Drain();
    }

    void Drain() {
        while (Voice* v = mixer.TakeRetired()) {
            v->Release();
            --live;
        }
    }

    // Without the lock, as opening a device may take a while. True when the device went away:
    // it is dropped with everything it was playing, and opened afresh.
    bool Device() {
        bool dropped = open && output.Lost();
        if (dropped) {
            output.Close();
            open = false;
            mixer.Reset();
        }
        if (!open) open = output.Open(mixer);
        if (open && owned) Warm(output.Rate());
        return dropped;
    }

    // Nothing plays and nobody is at the window: the device may idle.
    void Rest() {
        output.Rest();
        open = false;
    }

    // Under the lock: the output's rate changed under the current sound, which is decoded anew
    // for the new rate and takes over where the old one has got to.
    void FollowRate() {
        const std::shared_ptr<Job>& old = current;
        if (old->stays || (old->exited && old->voice->ring.Available() == 0)) return;
        awaited = Follow(sh, *old, output.Rate());
        if (!awaited) {  // no reader to be had: the sound plays on at the old rate
            old->stays = true;
            return;
        }
        askedAt = Clock::now();
        hushed = true;  // the old voice plays on until the new one is there
    }

    // Under the lock.
    void Begin(const Request& req) {
        Abandon(awaited);
        if (!open) {
            Abandon(current);  // no device: silent until a later start finds one
            return;
        }
        // The sound before plays on while the file opens, and fades when the new one is there.
        auto* v = new Voice(RingFrames(output.Rate()), 2);
        auto job = std::make_shared<Job>(req.path, output.Rate(), req.loop, v);
        if (!StartReader(sh, job)) {
            // Too many readers hang on dead storage already, or no thread to be had: as with a
            // file that cannot be played.
            delete v;
            Abandon(current);
            Hand(MakeFallback(output.Rate()));
            return;
        }
        awaited = std::move(job);
        askedAt = Clock::now();
        hushed = false;
    }

    // Under the lock: the awaited file opened, or could not be.
    void Arrive() {
        std::shared_ptr<Job> j = std::move(awaited);
        j->handed = true;
        if (j->followRate && j->state != Job::Ready && current) {
            j->voice->Release();  // the file went meanwhile: the old voice is better than none
            current->stays = true;
            return;
        }
        Abandon(current);
        if (j->state == Job::Ready) {
            Hand(j->voice);
            current = j;
        } else {
            j->voice->Release();
            Hand(MakeFallback(output.Rate()));
        }
    }

    // Under the lock: the awaited file is slow to open, so the sound before ends now.
    void Hush() {
        hushed = true;
        Abandon(current);
        auto* v = new Voice(1);
        v->ended = true;
        Hand(v);
    }

    void Hand(Voice* v) {
        ++live;
        if (Voice* unseen = mixer.Post(v)) {
            unseen->Release();
            --live;
        }
    }

    Output& output;
    std::unique_ptr<Output> owned;

    // Shared by the posting thread, the loader and the readers; the callback never takes it.
    std::shared_ptr<Shared> sh = std::make_shared<Shared>();
    std::optional<Request> request;
    std::uint64_t settleAsked = 0, settled = 0;
    bool stop = false;
    std::shared_ptr<Job> current;  // the job whose voice the callback plays
    std::shared_ptr<Job> awaited;  // the job being opened for the newest start
    bool attended = false;         // the user is at the window
    bool attendChanged = false;

    // Loader thread only.
    Mixer mixer;
    bool open = false;
    int live = 0;  // voices handed to the callback and not yet back
    Clock::time_point askedAt;
    bool hushed = false;  // the sound before the awaited one was ended already
    RestRule rest;

    std::thread loader;  // last: starts once everything above exists
};

SoundService::SoundService() {
    auto out = std::make_unique<DeviceOutput>();
    Output& ref = *out;
    impl_ = std::make_unique<Impl>(ref, std::chrono::milliseconds(kGrace));
    impl_->owned = std::move(out);
}

SoundService::SoundService(Output& output, std::optional<std::chrono::milliseconds> grace)
    : impl_(std::make_unique<Impl>(output, grace)) {}

SoundService::~SoundService() = default;

void SoundService::Start(const std::string& path, bool loop) { impl_->Post({path, loop}); }

void SoundService::Attend(bool present) { impl_->Attend(present); }

bool SoundService::Settle(std::chrono::milliseconds timeout) { return impl_->Settle(timeout); }

// The mixer takes it atomically; neither the loader nor the callback is disturbed.
void SoundService::SetGain(float gain) { impl_->mixer.SetGain(gain); }

std::size_t SoundService::BufferBytes() { return BufferBytesCounter().load(); }

int SoundService::ReaderThreads() { return Readers().Busy(); }

int SoundService::ParkedReaders() { return Readers().Parked(); }

}  // namespace audio
