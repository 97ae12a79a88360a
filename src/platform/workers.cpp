#include "platform/workers.h"

#include <unistd.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

namespace workers {

struct Pool::Task {
    explicit Task(const State* owner) : state(owner) {}
    const State* const state;  // a task of a parent process is not this process's
    std::function<void()> work;
    std::condition_variable finished;
    // Under State::mu.
    bool done = false;
    bool failed = false;  // it threw
    bool abandoned = false;
};

// Shared with the workers, so that a worker still inside a task when the pool goes finds it.
struct Pool::State {
    State(int parked, int busy, std::chrono::milliseconds idle)
        : maxParked(parked), maxBusy(busy), linger(idle) {}
    const int maxParked, maxBusy;
    const std::chrono::milliseconds linger;
    const pid_t pid = ::getpid();
    mutable std::mutex mu;
    std::condition_variable wake;
    std::deque<Handle> queue;
    int idle = 0, busy = 0, parked = 0;
    bool closing = false;
};

// By value on purpose: the worker's own reference keeps the state alive however long it runs.
// NOLINTNEXTLINE(performance-unnecessary-value-param)
void Pool::Work(std::shared_ptr<State> s) {
    std::unique_lock lock(s->mu);
    ++s->idle;
    for (;;) {
        bool woke =
            s->wake.wait_for(lock, s->linger, [&] { return s->closing || !s->queue.empty(); });
        if (s->queue.empty()) {
            if (s->closing || (!woke && s->idle > 1)) break;
            continue;
        }
        --s->idle;
        Handle task = std::move(s->queue.front());
        s->queue.pop_front();
        lock.unlock();
        bool ok = true;
        try {
            task->work();
        } catch (...) {
            ok = false;  // a failed task; the program goes on
        }
        task->work = nullptr;  // what the task holds goes now, not when its last handle does
        lock.lock();
        task->done = true;
        task->failed = !ok;
        --s->busy;
        if (task->abandoned) --s->parked;
        // Idle again in the same breath, so a task that follows this one finds this worker.
        ++s->idle;
        task->finished.notify_all();
    }
    --s->idle;
}

Pool::Pool(int maxParked, int maxBusy, std::chrono::milliseconds linger)
    : state_(std::make_shared<State>(maxParked, maxBusy, linger)) {}

Pool::~Pool() {
    std::shared_ptr<State> s = Live();
    std::lock_guard lock(s->mu);
    s->closing = true;
    s->wake.notify_all();
}

std::shared_ptr<Pool::State> Pool::Live() {
    std::shared_ptr<State> s = std::atomic_load(&state_);
    // A forked child has none of its parent's workers, and their lock may have been held at the
    // fork: it leaves that state alone and starts a fresh one.
    while (s->pid != ::getpid()) {
        auto fresh = std::make_shared<State>(s->maxParked, s->maxBusy, s->linger);
        if (std::atomic_compare_exchange_strong(&state_, &s, fresh)) return fresh;
    }
    return s;
}

Pool::Handle Pool::Run(std::function<void()> work) {
    std::shared_ptr<State> live = Live();
    State& s = *live;
    std::lock_guard lock(s.mu);
    if (s.parked >= s.maxParked || s.busy >= s.maxBusy) return nullptr;
    auto task = std::make_shared<Task>(live.get());
    task->work = std::move(work);
    s.queue.push_back(task);
    if (static_cast<int>(s.queue.size()) > s.idle) {
        try {
            std::thread(Work, live).detach();
        } catch (const std::system_error&) {
            s.queue.pop_back();
            return nullptr;
        }
    } else {
        s.wake.notify_one();
    }
    ++s.busy;
    return task;
}

bool Pool::Wait(const Handle& task, std::chrono::milliseconds timeout) {
    std::shared_ptr<State> s = Live();
    if (task->state != s.get()) return false;  // its worker stayed in the parent
    std::unique_lock lock(s->mu);
    return task->finished.wait_for(lock, timeout, [&] { return task->done; }) && !task->failed;
}

void Pool::Abandon(const Handle& task) {
    std::shared_ptr<State> s = Live();
    if (task->state != s.get()) return;
    std::lock_guard lock(s->mu);
    if (task->done || task->abandoned) return;
    task->abandoned = true;
    ++s->parked;
}

bool Pool::RunWithin(std::function<void()> work, std::chrono::milliseconds timeout) {
    Handle task = Run(std::move(work));
    if (!task) return false;
    if (Wait(task, timeout)) return true;
    Abandon(task);
    return false;
}

int Pool::Busy() {
    std::shared_ptr<State> s = Live();
    std::lock_guard lock(s->mu);
    return s->busy;
}

int Pool::Parked() {
    std::shared_ptr<State> s = Live();
    std::lock_guard lock(s->mu);
    return s->parked;
}

}  // namespace workers
