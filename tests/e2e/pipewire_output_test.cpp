// The native PipeWire output on the private server that in_pipewire.sh starts: opened and closed
// while it renders (also run under the thread sanitizer), the rate following the graph, and a
// server that is absent or never answers.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/audio/DeviceOutput.h"
#include "platform/audio/PipeWireOutput.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Silence; counts cycles and any Render before Prepare or after Close.
struct Counter : audio::Renderer {
    void Prepare(int r) override { rate = r; }  // plain, as the mixer's state: the sanitizer sees
    void Render(float* out, std::size_t frames) noexcept override {
        if (rate == 0 || closed) ++stray;
        std::fill(out, out + frames * 2, 0.f);
        ++cycles;
    }
    int rate = 0;
    std::atomic<bool> closed{false};
    std::atomic<long> cycles{0}, stray{0};
};

template <class F>
bool Within(std::chrono::milliseconds limit, F done) {
    for (auto until = Clock::now() + limit; !done(); std::this_thread::sleep_for(1ms))
        if (Clock::now() > until) return false;
    return true;
}

std::string RuntimeDir() {
    return std::getenv("XDG_RUNTIME_DIR") ? std::getenv("XDG_RUNTIME_DIR") : "";
}

class PipeWireOutputTest : public ::testing::Test {
    void SetUp() override {
        if (access((RuntimeDir() + "/pipewire-0").c_str(), F_OK) != 0)
            GTEST_SKIP() << "no PipeWire server (run through tests/e2e/in_pipewire.sh)";
    }
};

TEST_F(PipeWireOutputTest, OpensAndClosesWhileItRenders) {
    audio::PipeWireOutput out;
    Counter c;
    for (int round = 0; round < 40; ++round) {
        c.closed = false;
        ASSERT_TRUE(out.Open(c)) << round;
        EXPECT_EQ(out.Rate(), c.rate);
        // Every other round closes at once, racing the first cycles.
        if (round % 2) {
            EXPECT_TRUE(Within(2s, [&] { return c.cycles > 2; }));
        }
        EXPECT_FALSE(out.Lost());
        out.Close();
        c.closed = true;
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_EQ(c.stray, 0);
}

TEST_F(PipeWireOutputTest, ReopensAtTheGraphsNewRate) {
    audio::PipeWireOutput out;
    Counter c;
    ASSERT_TRUE(out.Open(c));
    EXPECT_EQ(out.Rate(), 48000);
    ASSERT_EQ(std::system("pw-metadata -n settings 0 clock.force-rate 44100 >/dev/null"), 0);
    EXPECT_TRUE(Within(3s, [&] { return out.Lost(); }));
    out.Close();
    EXPECT_TRUE(out.Open(c));
    EXPECT_EQ(out.Rate(), 44100);
    EXPECT_EQ(c.rate, 44100);
    out.Close();
    std::system("pw-metadata -n settings 0 clock.force-rate 0 >/dev/null");
}

// No server, or one that takes the connection and never answers: the output gives up within its
// second and SDL (here through the PulseAudio layer) plays instead.
TEST_F(PipeWireOutputTest, AbsentOrSilentServerFallsBackToSdl) {
    int silent = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::string path = RuntimeDir() + "/silent-0";
    path.copy(addr.sun_path, sizeof addr.sun_path - 1);
    unlink(path.c_str());
    ASSERT_EQ(bind(silent, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(listen(silent, 8), 0);
    for (const char* remote : {"absent-0", "silent-0"}) {
        setenv("PIPEWIRE_REMOTE", remote, 1);
        audio::PipeWireOutput pipewire;
        audio::DeviceOutput device;
        Counter c, d;
        const auto start = Clock::now();
        EXPECT_FALSE(pipewire.Open(c)) << remote;
        EXPECT_LT(Clock::now() - start, 5s) << remote;  // a hang, not a speed: the bound is 1 s
        EXPECT_TRUE(device.Open(d)) << remote;
        EXPECT_STREQ(device.Name(), "pulseaudio") << remote;
        EXPECT_EQ(c.cycles, 0);
    }
    unsetenv("PIPEWIRE_REMOTE");
    close(silent);
}

}  // namespace
