// Find below's first answer: what the index holds below the folder, handed out before the walk
// confirms it, and kept in memory while the index is unchanged.
#include <algorithm>
#include <condition_variable>
#include <deque>

#include "platform/walkstate.h"

namespace search {

namespace {

// The last load from the index, kept while the index has not been written since: the next
// keystroke's search below the same folder answers from memory.
struct Loaded {
    std::weak_ptr<libindex::Index> index;
    std::string root;
    uint64_t generation = 0;
    std::shared_ptr<const Known> known;
};

// A read of the index under way. The searches typed while it reads match its folders as they
// come instead of reading the same answer again side by side, so keys typed faster than a large
// index loads each cost a scan of memory; the read goes on to its end though its own search was
// overtaken, for the next keystroke's sake.
struct Reading {
    Reading(const std::shared_ptr<libindex::Index>& i, std::string r)
        : index(i), root(std::move(r)) {}
    const std::weak_ptr<libindex::Index> index;
    const std::string root;
    std::mutex mu;
    std::condition_variable more;
    // Under mu. Elements never move: a follower matches them outside the lock.
    std::deque<std::pair<std::string, Held>> folders;
    bool done = false;
    std::shared_ptr<const Known> known;  // once done
};

struct LastLoad {
    std::mutex mu;
    Loaded loaded;
    std::shared_ptr<Reading> reading;
};
LastLoad& Last() {
    static auto* last = new LastLoad;  // never destroyed, likewise
    return *last;
}

// However the read ends, its followers go on and the next search reads afresh.
struct Finish {
    const std::shared_ptr<Reading>& reading;
    ~Finish() {
        {
            std::lock_guard lock(reading->mu);
            reading->done = true;
        }
        reading->more.notify_all();
        std::lock_guard lock(Last().mu);
        if (Last().reading == reading) Last().reading.reset();
    }
};

}  // namespace

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
    auto match = [&s, &batch, &handOut](const std::string& rel, const Held& held) {
        MatchingHeld(*s, rel, held, batch);
        handOut(false);
    };
    const uint64_t generation = s->index ? s->index->Generation() : 0;
    std::shared_ptr<const Known> cached;
    std::shared_ptr<Reading> follow, mine;
    if (s->index) {
        std::lock_guard lock(Last().mu);
        const Loaded& last = Last().loaded;
        const auto& under = Last().reading;
        if (last.index.lock() == s->index && last.root == s->root && last.generation == generation)
            cached = last.known;
        else if (under && under->index.lock() == s->index && under->root == s->root)
            follow = under;  // of an older generation too: the walk confirms it either way
        else if (!s->cancelled)
            mine = Last().reading = std::make_shared<Reading>(s->index, s->root);
    }
    if (cached) {
        s->known = cached;
        for (const auto* folder : cached->order) {
            if (s->cancelled) break;
            match(folder->first, folder->second);
        }
    } else if (follow) {
        for (size_t next = 0; !s->cancelled;) {
            std::vector<const std::pair<std::string, Held>*> come;
            bool done = false;
            {
                std::unique_lock lock(follow->mu);
                // A cancel is not signalled: it is looked at now and then.
                follow->more.wait_for(lock, std::chrono::milliseconds(20), [&] {
                    return follow->done || follow->folders.size() > next;
                });
                for (; next < follow->folders.size(); ++next)
                    come.push_back(&follow->folders[next]);
                done = follow->done;
                if (done && follow->known) s->known = follow->known;
            }
            for (const auto* folder : come) {
                if (s->cancelled) break;
                match(folder->first, folder->second);
            }
            if (done) break;
        }
    } else if (mine) {
        const Finish finish{mine};
        const bool whole = s->index->Below(s->root, [&](libindex::Folder&& f) {
            std::string rel = f.path.substr(s->root.size());
            // Hidden folders are listed when asked for, never walked.
            if (rel.find("/.") != std::string::npos || (!rel.empty() && rel[0] == '.')) return true;
            Held h{f.mtime, std::move(f.subs), std::move(f.wavs), {}};
            h.lower = Lowered(h.wavs);
            if (!s->cancelled) match(rel, h);
            {
                std::lock_guard lock(mine->mu);
                mine->folders.emplace_back(std::move(rel), std::move(h));
            }
            mine->more.notify_all();
            return true;
        });
        // A copy: followers may still be matching the folders read.
        auto known = std::make_shared<Known>();
        for (const auto& [rel, held] : mine->folders) known->map.emplace(rel, held);
        known->order.reserve(known->map.size());
        for (const auto& folder : known->map) known->order.push_back(&folder);
        std::sort(known->order.begin(), known->order.end(),
                  [](auto* a, auto* b) { return dirlist::NaturalLess(a->first, b->first); });
        s->known = known;
        {
            std::lock_guard lock(mine->mu);
            mine->known = known;
        }
        if (whole) {
            std::lock_guard lock(Last().mu);
            Last().loaded = {s->index, s->root, generation, known};
        }
    }
    handOut(true);
    std::unique_lock lock(s->mu);
    s->loading = false;
    lock.unlock();
    Kick(s);
}

}  // namespace search
