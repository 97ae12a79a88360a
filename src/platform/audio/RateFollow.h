// A sound following the output to another rate: decoded anew for the new rate from where the
// old voice has got to, which plays on meanwhile and is crossfaded when the new one is there.
#pragma once
#include <memory>

#include "platform/audio/Decoder.h"
#include "platform/audio/Reading.h"

namespace audio {

// Under sh->mu: a started job that plays old's sound at rate from where old's voice is; null
// when none can be started (old then stays at its own rate).
std::shared_ptr<Job> Follow(const std::shared_ptr<Shared>& sh, Job& old, int rate);

// On j's reader, before its first fill: brings dec to where the followed voice has got to.
void CatchUp(Shared& sh, Job& j, Decoder& dec);

}  // namespace audio
