#include "platform/audio/RestRule.h"

namespace audio {

std::optional<RestRule::Clock::time_point> RestRule::Due() const {
    if (!grace_) return std::nullopt;
    return quietSince_ + *grace_;
}

bool RestRule::Rests() const { return grace_ && Clock::now() - quietSince_ >= *grace_; }

}  // namespace audio
