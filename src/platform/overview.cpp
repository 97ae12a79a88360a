#include "platform/overview.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace overview {

namespace {

constexpr sf_count_t kBlock = 4096;  // frames read at a time

struct Peaks {
    int lanes, channels;
    std::vector<float> low, high;
    Peaks(int l, int c)
        : lanes(l),
          channels(c),
          low(std::size_t(l) * kColumns, std::numeric_limits<float>::infinity()),
          high(std::size_t(l) * kColumns, -std::numeric_limits<float>::infinity()) {}
    // n frames into column; NaN never counts.
    void Take(const float* frames, sf_count_t n, int column) {
        for (sf_count_t i = 0; i < n; ++i)
            for (int c = 0; c < channels; ++c) {
                const std::size_t at = std::size_t(lanes == 1 ? 0 : c) * kColumns + column;
                const float x = frames[i * channels + c];
                if (x < low[at]) low[at] = x;
                if (x > high[at]) high[at] = x;
            }
    }
};

int8_t Quantise(float x, bool up) {
    const float scaled = std::clamp(x, -1.f, 1.f) * 127.f;
    return static_cast<int8_t>(up ? std::ceil(scaled) : std::floor(scaled));
}

}  // namespace

Overview Read(SNDFILE* file, const SF_INFO& info, int64_t fileBytes) {
    const int64_t frames = info.frames;
    // A claim of more than 2^40 frames is a lie the column arithmetic must not meet.
    if (!file || frames <= 0 || frames > (int64_t(1) << 40) || info.channels < 1) return {};
    Peaks peaks(info.channels == 2 ? 2 : 1, info.channels);
    std::vector<float> buf(std::size_t(kBlock) * info.channels);
    auto column = [&](int64_t frame) { return static_cast<int>(frame * kColumns / frames); };
    if (fileBytes <= kWholeBytes) {
        int64_t at = 0;
        for (sf_count_t n; at < frames && (n = sf_readf_float(file, buf.data(), kBlock)) > 0;) {
            for (sf_count_t i = 0; i < n; ++i)
                peaks.Take(buf.data() + i * info.channels, 1, column(std::min(at + i, frames - 1)));
            at += n;
        }
    } else {
        // One block at the start of each column, all of them together within the budget.
        const int64_t bytesPerFrame = std::max<int64_t>(1, fileBytes / frames);
        const sf_count_t block =
            std::clamp<int64_t>(kSampledBytes / kColumns / bytesPerFrame, 1, kBlock);
        for (int c = 0; c < kColumns; ++c) {
            const int64_t first = int64_t(c) * frames / kColumns;
            const int64_t last = int64_t(c + 1) * frames / kColumns;
            if (last <= first || sf_seek(file, first, SEEK_SET) != first) continue;
            sf_count_t n = sf_readf_float(file, buf.data(), std::min<int64_t>(block, last - first));
            if (n > 0) peaks.Take(buf.data(), n, c);
        }
    }
    Overview out{peaks.lanes, std::vector<int8_t>(std::size_t(peaks.lanes) * kColumns * 2)};
    for (std::size_t at = 0; at < peaks.low.size(); ++at) {
        // A column with nothing read (fewer frames than columns, a read that failed) repeats
        // the one before it.
        if (peaks.low[at] > peaks.high[at]) {
            const bool first = at % kColumns == 0;
            peaks.low[at] = first ? 0.f : peaks.low[at - 1];
            peaks.high[at] = first ? 0.f : peaks.high[at - 1];
        }
        out.peaks[2 * at] = Quantise(peaks.low[at], false);
        out.peaks[2 * at + 1] = Quantise(peaks.high[at], true);
    }
    return out;
}

}  // namespace overview
