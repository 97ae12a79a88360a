// How Loop mode plays a file: its own loop (the first loop of a sampler chunk, checked against
// the data) or, without a usable one, the whole file again and again.
#pragma once
#include <sndfile.h>

#include <cstdint>

namespace audio {

struct LoopPlan {
    enum Mode { Forward, Alternating, Backward };
    // Whether the file's loop is used, and if not, why.
    enum Check { None, Used, NoEnd, EndPastData, StartNotBeforeEnd, TooShort };
    Mode mode = Forward;
    Check check = None;
    // Frames 0 .. end-1 play once, then [start, end) repeats as mode says.
    int64_t start = 0, end = 0;
};

// The plan for a file of frames frames whose instrument libsndfile read (null when it has none).
LoopPlan PlanLoop(int64_t frames, const SF_INSTRUMENT* instrument);

}  // namespace audio
