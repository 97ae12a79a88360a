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

    // False when no server answers within a second, when the server offers no audio sink or no
    // session manager to link the stream, or when no sink takes the stream.
    bool Open(Renderer& renderer) override;
    // Follows the graph when it changes its rate under the stream.
    int Rate() const override;
    bool Lost() override;
    void Close() override;
    void Rest() override;

  private:
    struct Session;
    std::unique_ptr<Session> session_;
};

}  // namespace audio
