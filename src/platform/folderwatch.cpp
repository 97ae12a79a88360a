// Folders being read by any walk, and folders that did not answer: a folder is opened by one
// worker at a time, so a share that stopped answering parks one worker, not one a keystroke.
#include <algorithm>

#include "platform/walkstate.h"

namespace search {

namespace {

// A folder that did not answer is left alone this long before a walk tries it again.
constexpr auto kSilentFor = std::chrono::seconds(30);

// Folders being read by any walk, and folders that did not answer, by absolute path: a folder
// is opened by one worker at a time, and a silent one not again before a while has passed and
// its last worker came back.
struct Watch {
    bool busy = false;
    Clock::time_point since;        // when the worker went in
    Clock::time_point silentSince;  // when it was last found silent (epoch: never)
    std::vector<std::weak_ptr<Walk::State>> waiters;
};
// Never destroyed, as the workers: a worker still in a silent folder at exit comes back to it.
struct Watches {
    std::mutex mu;
    std::unordered_map<std::string, Watch> map;
};
Watches& Watched() {
    static auto* watches = new Watches;
    return *watches;
}

}  // namespace

Claim ClaimFolder(const std::string& path, const StatePtr& s) {
    const auto now = Clock::now();
    const auto bound = std::chrono::milliseconds(g_boundMs.load());
    std::lock_guard lock(Watched().mu);
    Watch& w = Watched().map[path];
    if (w.busy) {
        if (now - w.since >= bound) {
            w.silentSince = now;
            return Claim::Silent;
        }
        if (std::none_of(w.waiters.begin(), w.waiters.end(),
                         [&s](const auto& x) { return !x.owner_before(s) && !s.owner_before(x); }))
            w.waiters.push_back(s);
        return Claim::Wait;
    }
    if (w.silentSince != Clock::time_point() && now - w.silentSince < kSilentFor)
        return Claim::Silent;
    w.busy = true;
    w.since = now;
    return Claim::Go;
}

void ReleaseFolder(const std::string& path, bool opened) {
    std::vector<std::weak_ptr<Walk::State>> waiters;
    {
        std::lock_guard lock(Watched().mu);
        auto it = Watched().map.find(path);
        if (it == Watched().map.end()) return;
        Watch& w = it->second;
        w.busy = false;
        waiters.swap(w.waiters);
        const bool late = Clock::now() - w.since >= std::chrono::milliseconds(g_boundMs.load());
        if (late)
            w.silentSince = Clock::now();
        else if (opened)
            w.silentSince = {};
        if (w.silentSince == Clock::time_point()) Watched().map.erase(it);
    }
    for (auto& waiter : waiters)
        if (StatePtr s = waiter.lock()) Kick(s);
}

void GiveBackFolder(const std::string& path) {
    std::lock_guard watch(Watched().mu);
    auto w = Watched().map.find(path);
    if (w == Watched().map.end()) return;
    w->second.busy = false;
    if (w->second.silentSince == Clock::time_point() && w->second.waiters.empty())
        Watched().map.erase(w);
}

}  // namespace search
