#include "platform/search.h"

#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <mutex>
#include <set>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "platform/dirlist.h"
#include "platform/libindex.h"
#include "platform/walkstate.h"
#include "platform/workers.h"

namespace search {

namespace {

std::atomic<void (*)(const std::string&)> g_before{nullptr};

// A stamp this close to the moment of reading may hide a change made in the same clock tick.
constexpr int64_t kRacyNs = 100'000'000;
// Folders a worker reads in turn, at most, when more wait than there are lanes.
constexpr size_t kPerTask = 32;

// Never destroyed: a worker still waiting on a silent folder must not hold up the exit.
workers::Pool& Walkers() {
    static auto* pool = new workers::Pool(32);
    return *pool;
}

bool IsWavName(std::string_view n) {
    if (n.size() < 5) return false;
    auto lower = [](char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); };
    return n[n.size() - 4] == '.' && lower(n[n.size() - 3]) == 'w' &&
           lower(n[n.size() - 2]) == 'a' && lower(n[n.size() - 1]) == 'v';
}

int64_t Ns(const timespec& t) { return t.tv_sec * int64_t{1000000000} + t.tv_nsec; }

bool IsUnder(const std::string& rel, const std::string& folder) {
    return rel.size() >= folder.size() && rel.compare(0, folder.size(), folder) == 0;
}

}  // namespace

namespace {

std::vector<std::string> Matching(const Walk::State& s, const std::string& rel,
                                  const std::vector<std::string>& wavs) {
    std::vector<std::string> out;
    for (const std::string& w : wavs)
        if (s.match(w)) out.push_back(rel + w);
    return out;
}

}  // namespace

void MatchingHeld(const Walk::State& s, const std::string& rel, const Held& h,
                  std::vector<std::string>& out) {
    MatchNames(h.wavs, h.lower, s.lead, s.match, [&](std::string_view n) {
        std::string path;
        path.reserve(rel.size() + n.size());
        (path += rel) += n;
        out.push_back(std::move(path));
    });
}

void Append(std::vector<std::string>& to, std::vector<std::string>&& from) {
    if (to.empty())
        to = std::move(from);
    else
        to.insert(to.end(), std::make_move_iterator(from.begin()),
                  std::make_move_iterator(from.end()));
}

namespace {

// What a folder turned out to hold.
struct Read {
    bool ok = false;
    std::vector<std::string> subs, found, gone;
};

// Reads one folder, or confirms it from the index when its stamp is the recorded one: its
// visible sub-folders, and its wanted WAV files that are new or gone against the index.
// Not ok when it cannot be opened or was read before (through a link).
Read ReadOne(Walk::State& s, const std::string& rel) {
    Read r;
    const std::string path = s.root + rel;
    if (path.find('\0') != std::string::npos) return r;
    int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0) return r;
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return r;
    }
    {
        std::lock_guard lock(s.mu);
        if (!s.seen.insert({st.st_dev, st.st_ino}).second) {
            ::close(fd);
            return r;
        }
    }
    r.ok = true;
    auto known = s.known->map.find(rel);
    const int64_t mtime = Ns(st.st_mtim);
    if (known != s.known->map.end() && known->second.mtime != 0 && known->second.mtime == mtime) {
        ::close(fd);
        r.subs = libindex::Split(known->second.subs);
        return r;
    }
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        r.ok = false;
        return r;
    }
    std::vector<std::string> wavs;
    bool whole = true;
    while (const dirent* e = ::readdir(dir)) {
        if (s.cancelled.load(std::memory_order_relaxed)) {
            whole = false;
            break;
        }
        std::string_view name(e->d_name);
        if (name.empty() || name[0] == '.') continue;  // hidden, "." and ".."
        unsigned char type = e->d_type;
        if (type == DT_LNK || type == DT_UNKNOWN) {
            struct stat target {};
            if (::fstatat(::dirfd(dir), e->d_name, &target, 0) != 0) continue;  // broken link
            type = S_ISDIR(target.st_mode) ? DT_DIR : S_ISREG(target.st_mode) ? DT_REG : DT_FIFO;
        }
        if (type == DT_DIR)
            r.subs.emplace_back(name);
        else if (type == DT_REG && IsWavName(name))
            wavs.emplace_back(name);
    }
    ::closedir(dir);
    std::sort(r.subs.begin(), r.subs.end(), dirlist::NaturalLess);
    std::sort(wavs.begin(), wavs.end(), dirlist::NaturalLess);
    std::vector<std::string> hits = Matching(s, rel, wavs);
    if (known == s.known->map.end()) {
        r.found = std::move(hits);
    } else {
        std::vector<std::string> had;
        MatchingHeld(s, rel, known->second, had);
        std::unordered_set<std::string> before(had.begin(), had.end());
        std::unordered_set<std::string> now(hits.begin(), hits.end());
        for (std::string& h : hits)
            if (!before.count(h)) r.found.push_back(std::move(h));
        for (std::string& h : had)
            if (!now.count(h)) r.gone.push_back(std::move(h));
    }
    if (s.index && whole) {
        timespec clock{};
        ::clock_gettime(CLOCK_REALTIME, &clock);
        const bool settled = std::max(mtime, Ns(st.st_ctim)) < Ns(clock) - kRacyNs;
        s.index->Record({path, settled ? mtime : 0, libindex::Join(r.subs), libindex::Join(wavs)});
    }
    return r;
}

void Pump(const StatePtr& s);

// Under s->mu: once the walk is through, what the index held in folders it did not find any
// more is gone, from the answer and from the index.
void Sweep(Walk::State& s) {
    if (s.swept || s.cancelled || !s.Done()) return;
    s.swept = true;
    for (const auto& [rel, folder] : s.known->map) {
        if (s.visited.count(rel)) continue;
        if (std::any_of(s.skipped.begin(), s.skipped.end(),
                        [&rel = rel](const std::string& k) { return IsUnder(rel, k); }))
            continue;
        MatchingHeld(s, rel, folder, s.gone);
        if (s.index) s.index->Forget(s.root + rel);
    }
}

}  // namespace

// Pumps and tells the caller what waits, outside the lock.
void Kick(const StatePtr& s) {
    std::unique_lock lock(s->mu);
    Pump(s);
    const bool tell = s->Tell();
    s->cv.notify_all();
    lock.unlock();
    if (tell) s->notify();
}

namespace {

bool Pseudo(const Walk::State& s, const std::string& rel);

// Reads rel, then the folders given to the same worker after it, one at a time.
void Visit(const StatePtr& s, uint64_t id, std::string rel) {
    for (bool next = true; next;) {
        const std::string path = s->root + rel;
        Read r;
        bool opened = false;
        if (!s->cancelled) {  // a walk cancelled meanwhile opens nothing more
            if (auto before = g_before.load()) before(path);
            opened = !s->cancelled;
            if (opened) r = ReadOne(*s, rel);
        }
        ReleaseFolder(path, opened);
        std::unique_lock lock(s->mu);
        auto it = s->flights.find(id);
        if (it == s->flights.end()) return;  // given up on: its late answer is dropped
        if (!s->cancelled && r.ok) {
            s->visited.insert(rel);
            for (const std::string& sub : r.subs) s->queue.push_back(rel + sub + "/");
            Append(s->found, std::move(r.found));
            Append(s->gone, std::move(r.gone));
        }
        next = false;
        std::vector<std::string> later;  // as in Pump
        std::deque<std::string>& more = it->second.more;
        while (!s->cancelled && !more.empty() && !next) {
            std::string n = std::move(more.front());
            more.pop_front();
            const Claim claim = Pseudo(*s, n) ? Claim::Silent : ClaimFolder(s->root + n, s);
            if (claim == Claim::Silent && !Pseudo(*s, n)) ++s->silent;
            if (claim != Claim::Go) {
                (claim == Claim::Wait ? later : s->skipped).push_back(std::move(n));
                continue;
            }
            rel = std::move(n);
            it->second.rel = rel;
            it->second.since = Clock::now();
            next = true;
        }
        s->queue.insert(s->queue.begin(), std::make_move_iterator(later.begin()),
                        std::make_move_iterator(later.end()));
        if (!next) s->flights.erase(it);
        Pump(s);
        const bool tell = s->Tell();
        const bool trim = !s->cancelled && s->Done() && !s->trimmed;
        s->trimmed = s->trimmed || trim;
        s->cv.notify_all();
        lock.unlock();
        if (tell) s->notify();
        // A walk's workers leave much freed memory in their own pools; the system gets it back.
        if (trim) ::malloc_trim(0);
    }
}

bool Pseudo(const Walk::State& s, const std::string& rel) {
    const std::string path = s.root + rel;  // with a trailing "/", the mount points without
    return std::any_of(s.pseudo.begin(), s.pseudo.end(),
                       [&path](const std::string& p) {
                           return p.size() + 1 == path.size() && path.compare(0, p.size(), p) == 0;
                       }) ||
           (path == "/" && std::find(s.pseudo.begin(), s.pseudo.end(), "/") != s.pseudo.end());
}

// Under s->mu: gives up on folders past the bound, then fills the free lanes.
void Pump(const StatePtr& s) {
    const auto now = Clock::now();
    const auto bound = std::chrono::milliseconds(g_boundMs.load());
    for (auto it = s->flights.begin(); it != s->flights.end();) {
        if (now - it->second.since < bound) {
            ++it;
            continue;
        }
        ++s->silent;
        s->skipped.push_back(it->second.rel);
        s->queue.insert(s->queue.begin(), std::make_move_iterator(it->second.more.begin()),
                        std::make_move_iterator(it->second.more.end()));
        if (it->second.task) Walkers().Abandon(it->second.task);
        it = s->flights.erase(it);
    }
    std::vector<std::string> later;  // folders another walk's worker is still in
    while (!s->loading && !s->cancelled && s->flights.size() < s->lanes && !s->queue.empty()) {
        std::string rel = std::move(s->queue.front());
        s->queue.pop_front();
        if (Pseudo(*s, rel)) {
            s->skipped.push_back(rel);
            continue;
        }
        const std::string path = s->root + rel;
        const Claim claim = ClaimFolder(path, s);
        if (claim != Claim::Go) {
            if (claim == Claim::Silent) ++s->silent;
            (claim == Claim::Wait ? later : s->skipped).push_back(std::move(rel));
            continue;
        }
        const uint64_t id = s->next++;
        Walk::State::Flight& flight = s->flights[id];
        flight = {Clock::now(), nullptr, rel, {}};
        // With more folders waiting than lanes, a worker takes a run of them: most are only
        // confirmed, and a task each would cost more than the folder.
        while (flight.more.size() < kPerTask && s->queue.size() > s->lanes) {
            flight.more.push_back(std::move(s->queue.front()));
            s->queue.pop_front();
        }
        auto task = Walkers().Run([s, id, rel] { Visit(s, id, rel); });
        if (task) {
            auto it = s->flights.find(id);
            if (it != s->flights.end()) it->second.task = std::move(task);
            continue;
        }
        // No worker to be had just now: the folder waits for one, it is not silent.
        auto back = s->flights.find(id);
        s->queue.insert(s->queue.begin(), std::make_move_iterator(back->second.more.begin()),
                        std::make_move_iterator(back->second.more.end()));
        s->flights.erase(back);
        GiveBackFolder(path);
        s->queue.push_front(std::move(rel));
        break;
    }
    s->queue.insert(s->queue.begin(), std::make_move_iterator(later.begin()),
                    std::make_move_iterator(later.end()));
    Sweep(*s);
}

}  // namespace

std::shared_ptr<Walk> Walk::Start(const std::string& root, Match match, Notify notify, int lanes,
                                  std::string lead) {
    auto s = std::make_shared<State>();
    s->root = root;
    if (s->root.empty() || s->root.back() != '/') s->root += '/';
    s->match = std::move(match);
    s->lead = std::move(lead);
    s->notify = std::move(notify);
    s->lanes = static_cast<size_t>(std::max(1, lanes));
    s->queue.emplace_back();
    if (!Walkers().Run([s] { Load(s); })) {  // no worker for the index: the walk alone
        std::lock_guard lock(s->mu);
        s->loading = false;
    }
    Kick(s);
    return std::shared_ptr<Walk>(new Walk(std::move(s)));
}

Walk::~Walk() { Cancel(); }

void Walk::Cancel() {
    s_->cancelled = true;
    std::lock_guard lock(s_->mu);
    s_->queue.clear();
    for (auto& [id, flight] : s_->flights)
        if (flight.task) Walkers().Abandon(flight.task);
    s_->flights.clear();
    s_->cv.notify_all();
}

bool Walk::Cancelled() const { return s_->cancelled; }

Walk::Progress Walk::Take() {
    std::lock_guard lock(s_->mu);
    Pump(s_);
    Progress p;
    p.found.swap(s_->found);
    p.gone.swap(s_->gone);
    s_->told = false;
    p.done = s_->Done();
    p.silent = s_->silent;
    return p;
}

void Walk::WaitFor(std::chrono::milliseconds timeout) {
    const auto end = Clock::now() + timeout;
    std::unique_lock lock(s_->mu);
    while (s_->found.empty() && s_->gone.empty() && !s_->Done() && Clock::now() < end) {
        auto until = end;
        for (const auto& [id, flight] : s_->flights)
            until = std::min(until, flight.since + std::chrono::milliseconds(g_boundMs.load()));
        // Folders waiting for a worker or for another walk's worker are tried again soon.
        if (!s_->queue.empty())
            until = std::min(until, Clock::now() + std::chrono::milliseconds(50));
        s_->cv.wait_until(lock, until);
        Pump(s_);
    }
}

void SetWalkSeam(void (*before)(const std::string& folder), std::chrono::milliseconds bound) {
    g_before = before;
    g_boundMs = bound.count();
}

}  // namespace search
