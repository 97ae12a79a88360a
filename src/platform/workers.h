// Long-lived worker threads for work that storage may hang (a share or disk that stopped
// answering): folder scans, header reads, sound file reads. A caller waits for its task with a
// deadline, or not at all; a task the caller gave up on while it still runs keeps its worker
// parked, counted and capped, and a fresh worker takes the next task. Nothing ever joins a
// worker, so neither a late task nor the program's exit waits on a parked one.
#pragma once
#include <chrono>
#include <climits>
#include <functional>
#include <memory>

namespace workers {

class Pool {
  public:
    struct Task;
    using Handle = std::shared_ptr<Task>;

    // Run refuses tasks while maxParked workers are parked or maxBusy tasks are unfinished.
    // A worker idle for linger ends, unless it is the pool's last idle one: that one stays, so
    // the next task finds a thread (and its memory arena) warm.
    explicit Pool(int maxParked, int maxBusy = INT_MAX,
                  std::chrono::milliseconds linger = std::chrono::seconds(10));
    // Idle workers end; busy and parked ones end after their task. Waits for none of them.
    ~Pool();
    Pool(const Pool&) = delete;
    Pool& operator=(const Pool&) = delete;

    // Starts work on an idle worker or a new one; null when refused or no thread can be had.
    // work may outlive the caller's interest in it, so it must own what it touches.
    Handle Run(std::function<void()> work);
    // True when the task finished within timeout; false too when it threw.
    bool Wait(const Handle& task, std::chrono::milliseconds timeout);
    // The caller no longer waits for task: while it still runs its worker counts as parked.
    void Abandon(const Handle& task);
    // Run, then Wait; a task that missed the deadline is abandoned. False when refused, late or
    // failed.
    bool RunWithin(std::function<void()> work, std::chrono::milliseconds timeout);

    // Tasks not finished yet, parked ones included.
    int Busy();
    // Tasks abandoned while still running.
    int Parked();

  private:
    struct State;
    static void Work(std::shared_ptr<State> s);
    // The state of this process: a forked child starts afresh.
    std::shared_ptr<State> Live();
    std::shared_ptr<State> state_;  // through std::atomic_load/store
};

}  // namespace workers
