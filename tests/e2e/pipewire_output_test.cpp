// The native PipeWire output on the private server that in_pipewire.sh starts: opened and closed
// while it renders (also run under the thread sanitizer), following the graph's new rate, at rest.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "TestSupport.h"
#include "platform/audio/PipeWireOutput.h"

namespace {

using namespace std::chrono_literals;

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

// The graph as the server has it, for a run in which no cycle came: links, node states, errors.
void ShowGraph() { std::system("pw-link -l; pw-dump | grep -E '\"(node.name|state|error)\"'"); }

// Opened and closed while it renders, every other time racing the first cycles; then following
// the rate the graph changed to, and rested.
TEST(PipeWireOutput, OpensAndClosesWhileItRendersFollowsTheGraphsRateAndRests) {
    const char* run = std::getenv("XDG_RUNTIME_DIR");
    if (!run || access((std::string(run) + "/pipewire-0").c_str(), F_OK) != 0)
        GTEST_SKIP() << "no PipeWire server (run through e2e/in_pipewire.sh)";
    audio::PipeWireOutput out;
    Counter c;
    for (int round = 0; round < 40; ++round) {
        c.closed = false;
        c.cycles = 0;
        ASSERT_TRUE(out.Open(c)) << round;
        EXPECT_EQ(out.Rate(), c.rate);
        const bool ran = round % 2 == 0 || testsupport::Eventually([&] { return c.cycles > 2; });
        if (!ran) ShowGraph();
        EXPECT_TRUE(ran) << round;
        EXPECT_FALSE(out.Lost());
        out.Close();
        c.closed = true;
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_EQ(c.stray, 0);

    // The graph moves to 44.1 kHz under the stream: it follows, and the renderer is prepared for
    // the new rate before it renders at it.
    ASSERT_TRUE(out.Open(c));
    EXPECT_EQ(out.Rate(), 48000);
    ASSERT_EQ(std::system("pw-metadata -n settings 0 clock.force-rate 44100 >/dev/null"), 0);
    EXPECT_TRUE(testsupport::Eventually([&] { return out.Rate() == 44100; }));
    const long at = c.cycles;
    EXPECT_TRUE(testsupport::Eventually([&] { return c.cycles > at + 2; }));
    EXPECT_FALSE(out.Lost());
    // At rest no cycle runs; opened again it runs on.
    out.Rest();
    std::this_thread::sleep_for(50ms);
    const long resting = c.cycles;
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(c.cycles, resting);
    EXPECT_TRUE(out.Open(c));
    EXPECT_TRUE(testsupport::Eventually([&] { return c.cycles > resting + 2; }));
    out.Close();
    EXPECT_EQ(c.rate, 44100);
    std::system("pw-metadata -n settings 0 clock.force-rate 0 >/dev/null");
}

}  // namespace
