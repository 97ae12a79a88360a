// The sound device as a native PipeWire stream: float stereo at the graph's rate, filled on the
// graph's real-time thread, so a start is heard in the next graph cycle.
#pragma once
#include <memory>

#include "platform/audio/Output.h"

namespace audio {

class PipeWireOutput : public Output {
  public:
    PipeWireOutput();
    ~PipeWireOutput() override;
    PipeWireOutput(const PipeWireOutput&) = delete;
    PipeWireOutput& operator=(const PipeWireOutput&) = delete;

    // False when no server answers within a second or no sink takes the stream.
    bool Open(Renderer& renderer) override;
    int Rate() const override { return rate_; }
    // Also true once the graph moved to another rate: the next start reopens at the new one.
    bool Lost() override;
    void Close() override;

  private:
    struct Session;
    std::unique_ptr<Session> session_;
    int rate_ = 0;
};

}  // namespace audio
