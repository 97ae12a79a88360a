#include "platform/audio/CaptureOutput.h"

#include <algorithm>

namespace audio {

void CaptureOutput::Pull(float* stereo, std::size_t frames) {
    std::lock_guard<std::mutex> lock(device_);
    if (renderer_ && !lost_ && prepared_ != rate_) {
        prepared_ = rate_;
        renderer_->Prepare(prepared_);
    }
    if (renderer_ && !lost_)
        renderer_->Render(stereo, frames);
    else
        std::fill(stereo, stereo + frames * 2, 0.f);
}

bool CaptureOutput::Open(Renderer& renderer) {
    if (!available_) return false;
    std::lock_guard<std::mutex> lock(device_);
    if (renderer_) return true;
    prepared_ = rate_;
    renderer.Prepare(prepared_);
    renderer_ = &renderer;
    lost_ = false;
    ++opens_;
    return true;
}

bool CaptureOutput::Running() {
    std::lock_guard<std::mutex> lock(device_);
    return renderer_ != nullptr;
}

void CaptureOutput::Close() {
    std::lock_guard<std::mutex> lock(device_);
    renderer_ = nullptr;
}

}  // namespace audio
