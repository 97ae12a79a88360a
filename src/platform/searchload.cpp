// Find below's first answer: what the index holds below the folder, handed out before the walk
// confirms it, and kept in memory while the index is unchanged.
#include <algorithm>
#include <condition_variable>

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

    bool Is(const Walk::State& s, uint64_t gen) const {
        return index.lock() == s.index && root == s.root && generation == gen;
    }
};
struct LastLoad {
    std::mutex mu;
    std::condition_variable changed;
    Loaded loaded;
    // The load under way, if any (its known unset). A search typed while it reads waits for it
    // instead of reading the same answer again, so keys typed faster than a large index loads
    // each cost a scan of memory, not a read of the index.
    bool loading = false;
    Loaded pending;
};
LastLoad& Last() {
    static auto* last = new LastLoad;  // never destroyed, likewise
    return *last;
}

// The answer in memory for this walk, waiting for a load of the same one under way; null when
// there is none, and then claimed says whether this walk's load is the one others wait for.
std::shared_ptr<const Known> Cached(const Walk::State& s, uint64_t gen, bool& claimed) {
    LastLoad& last = Last();
    std::unique_lock lock(last.mu);
    // Of any generation: two reads of one answer side by side take longer than one after the other.
    while (last.loading && last.pending.Is(s, last.pending.generation) && !s.cancelled)
        last.changed.wait_for(lock, std::chrono::milliseconds(20));  // a cancel is not signalled
    if (last.loaded.Is(s, gen)) return last.loaded.known;
    claimed = !last.loading;
    if (claimed) {
        last.loading = true;
        last.pending = {s.index, s.root, gen, nullptr};
    }
    return nullptr;
}

// Lets the searches waiting for a claimed load go on, however the load ended.
struct Release {
    bool claimed;
    ~Release() {
        if (!claimed) return;
        std::lock_guard lock(Last().mu);
        Last().loading = false;
        Last().changed.notify_all();
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
    const uint64_t generation = s->index ? s->index->Generation() : 0;
    bool claimed = false;
    std::shared_ptr<const Known> cached = s->index ? Cached(*s, generation, claimed) : nullptr;
    const Release release{claimed};
    if (cached) {
        s->known = cached;
        for (const auto* folder : cached->order) {
            if (s->cancelled) break;
            MatchingHeld(*s, folder->first, folder->second, batch);
            handOut(false);
        }
    } else if (s->index && !s->cancelled) {
        // Read to the end even once this walk is cancelled: the next keystroke's search then
        // finds the answer in memory.
        auto known = std::make_shared<Known>();
        const bool whole = s->index->Below(s->root, [&](libindex::Folder&& f) {
            std::string rel = f.path.substr(s->root.size());
            // Hidden folders are listed when asked for, never walked.
            if (rel.find("/.") != std::string::npos || (!rel.empty() && rel[0] == '.')) return true;
            Held h{f.mtime, std::move(f.subs), std::move(f.wavs), {}};
            h.lower = Lowered(h.wavs);
            if (!s->cancelled) {
                MatchingHeld(*s, rel, h, batch);
                handOut(false);
            }
            known->map.emplace(std::move(rel), std::move(h));
            return true;
        });
        known->order.reserve(known->map.size());
        for (const auto& folder : known->map) known->order.push_back(&folder);
        std::sort(known->order.begin(), known->order.end(),
                  [](auto* a, auto* b) { return dirlist::NaturalLess(a->first, b->first); });
        s->known = known;
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
