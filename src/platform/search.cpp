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
#include "platform/workers.h"

namespace search {

namespace {

std::atomic<void (*)(const std::string&)> g_before{nullptr};
std::atomic<int64_t> g_boundMs{dirlist::kScanBound.count()};

// A folder that did not answer is left alone this long before a walk tries it again.
constexpr auto kSilentFor = std::chrono::seconds(30);
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

using Clock = std::chrono::steady_clock;

int64_t Ns(const timespec& t) { return t.tv_sec * int64_t{1000000000} + t.tv_nsec; }

bool IsUnder(const std::string& rel, const std::string& folder) {
    return rel.size() >= folder.size() && rel.compare(0, folder.size(), folder) == 0;
}

}  // namespace

namespace {
// What the index holds of a folder.
struct Held {
    int64_t mtime = 0;
    std::string subs, wavs;  // as in libindex::Folder
    std::string lower;       // wavs lowered, as MatchNames takes it
};
// What the index held below a walk's root, by relative folder ("" for the root), and the same
// in the list's order, so that a later search hands its finds out nearly sorted.
struct Known {
    std::unordered_map<std::string, Held> map;
    std::vector<const std::pair<const std::string, Held>*> order;
};
}  // namespace

struct Walk::State {
    std::string root;  // with a trailing "/"
    Match match;
    std::string lead;  // as Start takes it
    Notify notify;
    size_t lanes = 4;
    std::atomic<bool> cancelled{false};
    std::shared_ptr<libindex::Index> index;
    // What the index held below the root, by relative folder ("" for the root); filled before
    // the first folder is read and not changed after.
    std::shared_ptr<const Known> known = std::make_shared<Known>();
    std::vector<std::string> pseudo;  // mount points not to walk, likewise

    std::mutex mu;
    std::condition_variable cv;
    // Under mu.
    bool loading = true;
    std::deque<std::string> queue;  // folders to read, relative, each with a trailing "/"
    struct Flight {
        Clock::time_point since;  // when the worker went into rel
        workers::Pool::Handle task;
        std::string rel;
        std::deque<std::string> more;  // read after rel by the same worker, in turn
    };
    std::unordered_map<uint64_t, Flight> flights;  // folders being read, by number
    uint64_t next = 0;
    std::set<std::pair<dev_t, ino_t>> seen;
    std::unordered_set<std::string> visited;  // folders read or confirmed
    std::vector<std::string> skipped;         // folders (and all below) not confirmed
    std::vector<std::string> found, gone;
    int silent = 0;
    bool told = false, toldDone = false, swept = false, trimmed = false;

    bool Done() const { return cancelled || (!loading && flights.empty() && queue.empty()); }

    // Whether the caller is to be told now (once per batch waiting, once at the end).
    bool Tell() {
        const bool waiting = !found.empty() || !gone.empty();
        bool tell = (waiting && !told) || (Done() && !toldDone);
        told = told || waiting;
        toldDone = toldDone || Done();
        return tell && notify;
    }
};

namespace {

using StatePtr = std::shared_ptr<Walk::State>;

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

enum class Claim { Go, Wait, Silent };

// Under the walk's mu.
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

void Kick(const StatePtr& s);

// The worker is out of the folder again; opened tells whether it went to the folder at all.
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

std::vector<std::string> Matching(const Walk::State& s, const std::string& rel,
                                  const std::vector<std::string>& wavs) {
    std::vector<std::string> out;
    for (const std::string& w : wavs)
        if (s.match(w)) out.push_back(rel + w);
    return out;
}

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

// Pumps and tells the caller what waits, outside the lock.
void Kick(const StatePtr& s) {
    std::unique_lock lock(s->mu);
    Pump(s);
    const bool tell = s->Tell();
    s->cv.notify_all();
    lock.unlock();
    if (tell) s->notify();
}

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
        {
            // Given back unopened; walks waiting for it try again on their own, since telling
            // them here, under this walk's lock, could deadlock with one telling this walk.
            std::lock_guard watch(Watched().mu);
            auto w = Watched().map.find(path);
            if (w != Watched().map.end()) w->second.busy = false;
            if (w != Watched().map.end() && w->second.silentSince == Clock::time_point() &&
                w->second.waiters.empty())
                Watched().map.erase(w);
        }
        s->queue.push_front(std::move(rel));
        break;
    }
    s->queue.insert(s->queue.begin(), std::make_move_iterator(later.begin()),
                    std::make_move_iterator(later.end()));
    Sweep(*s);
}

// The last load from the index, kept while the index has not been written since: the next
// keystroke's search below the same folder answers from memory.
struct Loaded {
    std::weak_ptr<libindex::Index> index;
    std::string root;
    uint64_t generation = 0;
    std::shared_ptr<const Known> known;
};
struct LastLoad {
    std::mutex mu;
    Loaded loaded;
};
LastLoad& Last() {
    static auto* last = new LastLoad;  // never destroyed, likewise
    return *last;
}

// On a worker, before the walk: what the index holds below the root is handed out at once.
void Load(const StatePtr& s) {
    s->pseudo = dirlist::PseudoMounts();
    s->index = libindex::Shared();
    std::vector<std::string> batch;
    size_t batches = 0;
    // The first finds go out at once, the rest in batches.
    auto handOut = [&s, &batch, &batches](bool always) {
        // Batches grow, since each is merged into the list whole.
        const size_t size = size_t{4096} << std::min<size_t>(batches, 4);
        if (batch.empty() || (!always && batches > 0 && batch.size() < size)) return;
        ++batches;
        std::unique_lock lock(s->mu);
        Append(s->found, std::move(batch));
        batch.clear();
        const bool tell = s->Tell();
        lock.unlock();
        if (tell) s->notify();
    };
    if (s->index) {
        std::shared_ptr<const Known> cached;
        {
            std::lock_guard lock(Last().mu);
            const Loaded& last = Last().loaded;
            if (last.index.lock() == s->index && last.root == s->root &&
                last.generation == s->index->Generation())
                cached = last.known;
        }
        if (cached) {
            s->known = cached;
            for (const auto* folder : cached->order) {
                if (s->cancelled) break;
                MatchingHeld(*s, folder->first, folder->second, batch);
                handOut(false);
            }
        } else {
            auto known = std::make_shared<Known>();
            const uint64_t generation = s->index->Generation();
            const bool whole = s->index->Below(s->root, [&](libindex::Folder&& f) {
                if (s->cancelled) return false;
                std::string rel = f.path.substr(s->root.size());
                // Hidden folders are listed when asked for, never walked.
                if (rel.find("/.") != std::string::npos || (!rel.empty() && rel[0] == '.'))
                    return true;
                Held h{f.mtime, std::move(f.subs), std::move(f.wavs), {}};
                h.lower = Lowered(h.wavs);
                MatchingHeld(*s, rel, h, batch);
                known->map.emplace(std::move(rel), std::move(h));
                handOut(false);
                return true;
            });
            known->order.reserve(known->map.size());
            for (const auto& folder : known->map) known->order.push_back(&folder);
            std::sort(known->order.begin(), known->order.end(),
                      [](auto* a, auto* b) { return dirlist::NaturalLess(a->first, b->first); });
            s->known = known;
            if (whole && !s->cancelled) {
                std::lock_guard lock(Last().mu);
                Last().loaded = {s->index, s->root, generation, known};
            }
        }
    }
    handOut(true);
    std::unique_lock lock(s->mu);
    s->loading = false;
    lock.unlock();
    Kick(s);
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

void MatchNames(std::string_view names, std::string_view lower, std::string_view lead,
                const Walk::Match& match, const std::function<void(std::string_view)>& take) {
    auto one = [&](size_t at, size_t end) {
        const std::string_view name = names.substr(at, end - at);
        if (match(name)) take(name);
    };
    if (lead.empty() || lower.size() != names.size()) {
        for (size_t at = 0, end; at < names.size(); at = end + 1) {
            end = std::min(names.find('\0', at), names.size());
            one(at, end);
        }
        return;
    }
    // Only the names the lead word occurs in are put to match: one pass over the bytes.
    for (size_t from = 0; from < lower.size();) {
        const void* hit =
            ::memmem(lower.data() + from, lower.size() - from, lead.data(), lead.size());
        if (!hit) break;
        const auto at = static_cast<size_t>(static_cast<const char*>(hit) - lower.data());
        const size_t before = lower.rfind('\0', at);
        const size_t start = before == std::string_view::npos ? 0 : before + 1;
        const size_t end = std::min(lower.find('\0', at), lower.size());
        one(start, end);
        from = end + 1;
    }
}

std::string Lowered(std::string_view names) {
    std::string out(names);
    // Eight bytes at a time: a byte from 'A' to 'Z' gets its 0x20 bit. Bytes above 0x7F (whose
    // high bit the sums below ignore) make the whole block the caller's to fold.
    constexpr uint64_t kHigh = 0x8080808080808080ULL;
    uint64_t all = 0;
    size_t i = 0;
    for (; i + 8 <= out.size(); i += 8) {
        uint64_t w = 0;
        std::memcpy(&w, out.data() + i, 8);
        all |= w;
        const uint64_t low = w & ~kHigh;
        const uint64_t fromA = low + 0x3f3f3f3f3f3f3f3fULL;  // high bit: the byte is >= 'A'
        const uint64_t pastZ = low + 0x2525252525252525ULL;  // high bit: the byte is > 'Z'
        w |= (fromA & ~pastZ & kHigh) >> 2;
        std::memcpy(out.data() + i, &w, 8);
    }
    for (; i < out.size(); ++i) {
        const auto u = static_cast<unsigned char>(out[i]);
        all |= u;
        if (u >= 'A' && u <= 'Z') out[i] = static_cast<char>(u + 32);
    }
    if (all & kHigh) return {};  // folded by the caller's rule, not by ours
    return out;
}

void SetWalkSeam(void (*before)(const std::string& folder), std::chrono::milliseconds bound) {
    g_before = before;
    g_boundMs = bound.count();
}

}  // namespace search
