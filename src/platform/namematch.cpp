// Matching a folder's block of names: the lead word found by one scan of a lowered copy, and
// only the names it occurs in put to the full rule.
#include <cstdint>
#include <cstring>

#include "platform/search.h"

namespace search {

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

}  // namespace search
