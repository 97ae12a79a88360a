// Stands in for the sound service in window tests: records what was started.
#pragma once
#include <string>
#include <vector>

#include "sound/Sound.h"

namespace testsupport {

struct Start {
    std::string path;
    bool loop;
    bool operator==(const Start& o) const { return path == o.path && loop == o.loop; }
};

class Recorder : public Sound::Player {
public:
    Recorder() { Sound::SetPlayer(this); }
    ~Recorder() override { Sound::SetPlayer(nullptr); }
    void Start(const std::string& path, bool loop) override { starts.push_back({path, loop}); }
    std::vector<testsupport::Start> starts;
};

}  // namespace testsupport
