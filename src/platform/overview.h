// A picture of a sound file in numbers: the lowest and highest sample of each channel in each of
// a fixed number of columns, small enough to keep hundreds of them at hand.
#pragma once
#include <sndfile.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace overview {

constexpr int kColumns = 240;
// Files up to this size are read whole; bigger ones are sampled, at most kSampledBytes read.
constexpr int64_t kWholeBytes = 8 << 20;
constexpr int64_t kSampledBytes = 2 << 20;

struct Overview {
    // One lane a channel of a mono or stereo file; more channels share one lane.
    int lanes = 0;
    // For each lane and column: its lowest, then its highest sample, in 127ths of full scale.
    std::vector<int8_t> peaks;
    int Low(int lane, int column) const { return peaks[At(lane, column)]; }
    int High(int lane, int column) const { return peaks[At(lane, column) + 1]; }
    static std::size_t At(int lane, int column) {
        return 2 * std::size_t(lane * kColumns + column);
    }
};

// The overview of file, opened for reading at its first frame; fileBytes is the file's size.
// Empty (no lanes) when nothing could be read.
Overview Read(SNDFILE* file, const SF_INFO& info, int64_t fileBytes);

}  // namespace overview
