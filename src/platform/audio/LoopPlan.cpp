#include "platform/audio/LoopPlan.h"

namespace audio {

LoopPlan PlanLoop(int64_t frames, const SF_INSTRUMENT* instrument) {
    LoopPlan whole{LoopPlan::Forward, LoopPlan::None, 0, frames};
    if (!instrument || instrument->loop_count < 1) return whole;
    // libsndfile's end is exclusive: one past the chunk's last frame.
    const int64_t s = instrument->loops[0].start;
    int64_t e = instrument->loops[0].end;
    // An end of 0 is a record the chunk left out, or an inclusive end that wrapped.
    if (e == 0) return whole.check = LoopPlan::NoEnd, whole;
    if (e > frames + 1) return whole.check = LoopPlan::EndPastData, whole;
    if (e == frames + 1) e = frames;  // writers that store the frame count as the last frame
    if (s >= e) return whole.check = LoopPlan::StartNotBeforeEnd, whole;
    if (e - s < 2) return whole.check = LoopPlan::TooShort, whole;
    const int type = instrument->loops[0].mode;
    const LoopPlan::Mode mode = type == SF_LOOP_ALTERNATING ? LoopPlan::Alternating
                                : type == SF_LOOP_BACKWARD  ? LoopPlan::Backward
                                                            : LoopPlan::Forward;
    return {mode, LoopPlan::Used, s, e};
}

}  // namespace audio
