#include "platform/search.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>
#include <unordered_map>
#include <utility>

#include "platform/dirlist.h"
#include "platform/workers.h"

namespace search {

namespace {

std::atomic<void (*)(const std::string&)> g_before{nullptr};
std::atomic<int64_t> g_boundMs{dirlist::kScanBound.count()};

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

}  // namespace

struct Walk::State {
    std::string root;  // with a trailing "/"
    Match match;
    Notify notify;
    size_t lanes = 4;
    std::atomic<bool> cancelled{false};

    std::mutex mu;
    std::condition_variable cv;
    // Under mu.
    std::deque<std::string> queue;  // folders to read, relative, each with a trailing "/"
    struct Flight {
        Clock::time_point since;
        workers::Pool::Handle task;
    };
    std::unordered_map<uint64_t, Flight> flights;  // folders being read, by number
    uint64_t next = 0;
    std::set<std::pair<dev_t, ino_t>> seen;
    std::vector<std::string> found;
    int silent = 0;
    bool told = false, toldDone = false;

    bool Done() const { return cancelled || (flights.empty() && queue.empty()); }

    // Whether the caller is to be told now (once per batch waiting, once at the end).
    bool Tell() {
        bool tell = (!found.empty() && !told) || (Done() && !toldDone);
        told = told || !found.empty();
        toldDone = toldDone || Done();
        return tell && notify;
    }
};

namespace {

using StatePtr = std::shared_ptr<Walk::State>;

// Reads one folder: its visible sub-folders and its wanted WAV files, both in natural order.
// False when it cannot be opened or was read before (through a link).
bool ReadOne(Walk::State& s, const std::string& rel, std::vector<std::string>* subs,
             std::vector<std::string>* hits) {
    const std::string path = s.root + rel;
    if (path.find('\0') != std::string::npos) return false;
    int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0) return false;
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return false;
    }
    {
        std::lock_guard lock(s.mu);
        if (!s.seen.insert({st.st_dev, st.st_ino}).second) {
            ::close(fd);
            return false;
        }
    }
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return false;
    }
    while (const dirent* e = ::readdir(dir)) {
        if (s.cancelled.load(std::memory_order_relaxed)) break;
        std::string_view name(e->d_name);
        if (name.empty() || name[0] == '.') continue;  // hidden, "." and ".."
        unsigned char type = e->d_type;
        if (type == DT_LNK || type == DT_UNKNOWN) {
            struct stat target {};
            if (::fstatat(::dirfd(dir), e->d_name, &target, 0) != 0) continue;  // broken link
            type = S_ISDIR(target.st_mode) ? DT_DIR : S_ISREG(target.st_mode) ? DT_REG : DT_FIFO;
        }
        if (type == DT_DIR)
            subs->emplace_back(name);
        else if (type == DT_REG && IsWavName(name) && s.match(name))
            hits->emplace_back(name);
    }
    ::closedir(dir);
    std::sort(subs->begin(), subs->end(), dirlist::NaturalLess);
    std::sort(hits->begin(), hits->end(), dirlist::NaturalLess);
    for (std::string& h : *hits) h.insert(0, rel);
    return true;
}

void Pump(const StatePtr& s);

void Visit(const StatePtr& s, uint64_t id, const std::string& rel) {
    if (auto before = g_before.load()) before(s->root + rel);
    std::vector<std::string> subs, hits;
    ReadOne(*s, rel, &subs, &hits);
    std::unique_lock lock(s->mu);
    auto it = s->flights.find(id);
    if (it == s->flights.end()) return;  // given up on: its late answer is dropped
    s->flights.erase(it);
    if (!s->cancelled) {
        for (const std::string& sub : subs) s->queue.push_back(rel + sub + "/");
        if (s->found.empty())
            s->found = std::move(hits);
        else
            s->found.insert(s->found.end(), std::make_move_iterator(hits.begin()),
                            std::make_move_iterator(hits.end()));
    }
    Pump(s);
    const bool tell = s->Tell();
    s->cv.notify_all();
    lock.unlock();
    if (tell) s->notify();
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
        if (it->second.task) Walkers().Abandon(it->second.task);
        it = s->flights.erase(it);
    }
    while (!s->cancelled && s->flights.size() < s->lanes && !s->queue.empty()) {
        const uint64_t id = s->next++;
        std::string rel = std::move(s->queue.front());
        s->queue.pop_front();
        s->flights[id] = {Clock::now(), nullptr};
        auto task = Walkers().Run([s, id, rel] { Visit(s, id, rel); });
        if (task) {
            auto it = s->flights.find(id);
            if (it != s->flights.end()) it->second.task = std::move(task);
            continue;
        }
        // No worker to be had: try again later, or, with none of ours running, give up.
        s->flights.erase(id);
        if (!s->flights.empty()) {
            s->queue.push_front(std::move(rel));
        } else {
            s->silent += static_cast<int>(s->queue.size()) + 1;
            s->queue.clear();
        }
        break;
    }
}

}  // namespace

std::shared_ptr<Walk> Walk::Start(const std::string& root, Match match, Notify notify, int lanes) {
    auto s = std::make_shared<State>();
    s->root = root;
    if (s->root.empty() || s->root.back() != '/') s->root += '/';
    s->match = std::move(match);
    s->notify = std::move(notify);
    s->lanes = static_cast<size_t>(std::max(1, lanes));
    s->queue.emplace_back();
    std::unique_lock lock(s->mu);
    Pump(s);
    const bool tell = s->Tell();
    lock.unlock();
    if (tell) s->notify();
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
    s_->told = false;
    p.done = s_->Done();
    p.silent = s_->silent;
    return p;
}

void Walk::WaitFor(std::chrono::milliseconds timeout) {
    const auto end = Clock::now() + timeout;
    std::unique_lock lock(s_->mu);
    while (s_->found.empty() && !s_->Done() && Clock::now() < end) {
        auto until = end;
        for (const auto& [id, flight] : s_->flights)
            until = std::min(until, flight.since + std::chrono::milliseconds(g_boundMs.load()));
        s_->cv.wait_until(lock, until);
        Pump(s_);
    }
}

void SetWalkSeam(void (*before)(const std::string& folder), std::chrono::milliseconds bound) {
    g_before = before;
    g_boundMs = bound.count();
}

}  // namespace search
