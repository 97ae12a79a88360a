// Find below's first answer: what the index holds below the folder, handed out before the walk
// confirms it, and kept in memory while the index is unchanged.
#include <algorithm>

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
struct LastLoad {
    std::mutex mu;
    Loaded loaded;
};
LastLoad& Last() {
    static auto* last = new LastLoad;  // never destroyed, likewise
    return *last;
}

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

}  // namespace search
