// What the walk below a folder shares among its files: its state, and the helpers that the
// walk itself, the folder registry and the index's answer call of each other. Not for callers
// outside the walk.
#pragma once
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "platform/dirlist.h"
#include "platform/libindex.h"
#include "platform/search.h"
#include "platform/workers.h"

namespace search {

using Clock = std::chrono::steady_clock;
// How long a folder may take before it counts as silent (the scan bound unless a test sets it).
inline std::atomic<int64_t> g_boundMs{dirlist::kScanBound.count()};

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

using StatePtr = std::shared_ptr<Walk::State>;

// Pumps the walk and tells the caller what waits, outside the lock.
void Kick(const StatePtr& s);
// The matches among a held folder's names, as paths relative to the root, added to out.
void MatchingHeld(const Walk::State& s, const std::string& rel, const Held& h,
                  std::vector<std::string>& out);
void Append(std::vector<std::string>& to, std::vector<std::string>&& from);

// On a worker, before the walk: what the index holds below the root is handed out at once.
void Load(const StatePtr& s);

enum class Claim { Go, Wait, Silent };
// Under the walk's mu: whether this walk's worker may go into the folder at path now.
Claim ClaimFolder(const std::string& path, const StatePtr& s);
// The worker is out of the folder again; opened tells whether it went to the folder at all.
void ReleaseFolder(const std::string& path, bool opened);
// Under the walk's mu: the folder claimed is given back unopened. Walks waiting for it try again
// on their own, since telling them here, under this walk's lock, could deadlock with one telling
// this walk.
void GiveBackFolder(const std::string& path);

}  // namespace search
