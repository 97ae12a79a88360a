#include "platform/audio/SoundService.h"

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/audio/Decoder.h"
#include "platform/audio/DeviceOutput.h"
#include "platform/audio/Mixer.h"
#include "platform/audio/Voice.h"
#include "platform/workers.h"

namespace audio {

std::atomic<std::size_t>& BufferBytesCounter() {
    static std::atomic<std::size_t> bytes{0};
    return bytes;
}

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kFirstFill = 2048;  // frames decoded before a new voice is handed over
constexpr auto kRefill = std::chrono::milliseconds(10);
// A start whose file has not opened by then ends the sound before it all the same.
constexpr auto kPatience = std::chrono::milliseconds(100);
// How long a service that goes waits for readers that are merely slow.
constexpr auto kParting = std::chrono::milliseconds(250);
// How long the device keeps running after the user left the window and the sound ended: a trip
// to another program and back should find it running.
constexpr auto kGrace = std::chrono::seconds(30);
// Readers of all services. Past 16 left behind in a read that does not return, a start that
// needs one more plays the fallback instead of parking yet another thread.
workers::Pool& Readers() {
    static auto* pool = new workers::Pool(16);  // never destroyed: exit waits for no reader
    return *pool;
}

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

// What a service shares with its readers; held by all of them, so a reader left in a hung read
// may outlive the service.
struct Shared {
    std::mutex mu;                     // never held across file I/O, never taken by the callback
    std::condition_variable wake;      // the loader's
    std::condition_variable progress;  // a reader opened or filled: for Settle
    int readers = 0;                   // this service's readers not finished
};

// One start's file and the reader task that reads it: open, header and every later block.
struct Job {
    Job(std::string p, int r, bool l, Voice* v) : path(std::move(p)), rate(r), loop(l), voice(v) {}
    const std::string path;
    const int rate;
    const bool loop;
    Voice* const voice;  // one reference is the reader's, one the loader's
    // The same sound playing at another rate, which this one takes over where it has got to:
    // the reader holds a reference until it is there.
    Voice* follow = nullptr;
    int followRate = 0;
    bool stays = false;  // could not be followed: plays on at its rate (under Shared::mu)
    std::condition_variable go;
    // Under Shared::mu.
    enum { Opening, Ready, Failed } state = Opening;
    bool cancel = false;  // nobody wants the sound any more
    bool exited = false;
    workers::Pool::Handle task;
    bool handed = false;  // the loader's reference went to the callback
    std::uint64_t fillAsked = 0, fillDone = 0;
};

// Decodes and drops what the followed voice has played so far, scaled to this rate, so that the
// sound goes on where it was. Its position moves meanwhile; decoding runs far ahead of playing.
void Skip(Shared& sh, Job& j, Decoder& dec) {
    Ring scratch(kFirstFill);
    std::vector<float> drop(kFirstFill * 2);
    std::uint64_t skipped = 0;
    for (;;) {
        const std::uint64_t target = static_cast<std::uint64_t>(
            static_cast<double>(j.follow->ring.Consumed()) * j.rate / j.followRate);
        {
            std::lock_guard<std::mutex> lock(sh.mu);
            if (j.cancel || skipped >= target) return;
        }
        const std::size_t n = static_cast<std::size_t>(
            std::min<std::uint64_t>(target - skipped, static_cast<std::uint64_t>(kFirstFill)));
        dec.Fill(scratch, n);
        const std::size_t got = scratch.Read(drop.data(), n);
        if (got == 0) return;  // a sound that ended on the way
        skipped += got;
    }
}

void ReadLoop(const std::shared_ptr<Shared>& sh, const std::shared_ptr<Job>& j) {
    std::unique_ptr<Decoder> dec = Decoder::Open(j->path, j->rate, j->loop);
    if (j->follow) {
        if (dec) Skip(*sh, *j, *dec);
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

// Once a process, as the device opens: a reader thread started and a small wave decoded and
// resampled, so that the first key pays for no thread, code or table that first use brings in.
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

}  // namespace

struct SoundService::Impl {
    struct Request {
        std::string path;
        bool loop;
    };

    Impl(Output& out, std::optional<std::chrono::milliseconds> g) : output(out), grace(g) {
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
            if (open && grace && !attended && live == 0 && !awaited) until(quietSince + *grace);
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
                quietSince = Clock::now();
            else if (open && grace && Clock::now() - quietSince >= *grace)
                Rest();
            lock.lock();
            if (dropped) Abandon(current);
            if (req) Begin(*req);
            if (!awaited && open && current && current->rate != output.Rate()) Follow();
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
    void Follow() {
        const std::shared_ptr<Job>& old = current;
        if (old->stays || (old->exited && old->voice->ring.Available() == 0)) return;
        const int rate = output.Rate();
        auto* v = new Voice(RingFrames(rate), 2);
        auto job = std::make_shared<Job>(old->path, rate, old->loop, v);
        old->voice->refs.fetch_add(1, std::memory_order_relaxed);
        job->follow = old->voice;
        job->followRate = old->rate;
        job->task = Readers().Run([sh = sh, job] { Reader(sh, job); });
        if (!job->task) {  // no reader to be had: the sound plays on at the old rate
            old->voice->Release();
            old->stays = true;
            delete v;
            return;
        }
        ++sh->readers;
        awaited = std::move(job);
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
        job->task = Readers().Run([sh = sh, job] { Reader(sh, job); });
        if (!job->task) {
            // Too many readers hang on dead storage already, or no thread to be had: as with a
            // file that cannot be played.
            delete v;
            Abandon(current);
            Hand(MakeFallback(output.Rate()));
            return;
        }
        ++sh->readers;  // under the lock, before the reader can take it to count down
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
    const std::optional<std::chrono::milliseconds> grace;
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
    Clock::time_point quietSince = Clock::now();  // nobody at the window and nothing playing

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
