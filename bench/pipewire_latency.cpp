// Time from a start request to the first frame of the new sound at the sink of a PipeWire server,
// for the sound service (through the output it opens by itself, or SDL with the driver that
// SDL_AUDIODRIVER names) and, as the baseline, for a bare native PipeWire playback stream started
// the same way: "native" fills its buffers on the graph's realtime thread, "native-loop" on its own
// thread loop as SDL's pipewire driver does (SDL leaves out PW_STREAM_FLAG_RT_PROCESS, which costs
// a cycle).
//
// The sink's monitor is recorded by a native capture stream in this same process. Each captured
// buffer is stamped with the CLOCK_MONOTONIC time of the graph cycle that carried it, so a frame's
// time at the sink is that stamp plus its place in the buffer, on the same clock as the start
// request. What the capture side adds is the same for every case: compare cases, not absolutes.
//
// Usage: pipewire_latency service|native|native-loop STARTS [SINK]
// Prints "driver: NAME", "quantum: FRAMES", then per start "latency_ms: X", or "lost: N" when the
// click never arrived within 2 s (fails when more than a quarter are lost).
#include <pipewire/pipewire.h>
#include <sndfile.h>
#include <spa/param/audio/format-utils.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "platform/audio/DeviceOutput.h"
#include "platform/audio/SoundService.h"

namespace {

constexpr int kRate = 48000;
constexpr int kChannels = 2;
// 50 ms: a graph cycle dropped on a loaded machine delays the click rather than hiding it.
constexpr int kClickFrames = 2400;
constexpr float kLevel = 0.9f;
constexpr float kThreshold = 0.1f;

std::int64_t NowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t{ts.tv_sec} * 1000000000 + ts.tv_nsec;
}

// A square wave at full level from its very first frame, so its arrival is plain to see.
std::vector<float> Click() {
    std::vector<float> v(kClickFrames * kChannels);
    for (int i = 0; i < kClickFrames; ++i)
        for (int c = 0; c < kChannels; ++c) v[i * kChannels + c] = (i / 24) % 2 ? -kLevel : kLevel;
    return v;
}

const spa_pod* AudioFormat(spa_pod_builder* b) {
    spa_audio_info_raw info{};
    info.format = SPA_AUDIO_FORMAT_F32;
    info.rate = kRate;
    info.channels = kChannels;
    info.position[0] = SPA_AUDIO_CHANNEL_FL;
    info.position[1] = SPA_AUDIO_CHANNEL_FR;
    return spa_format_audio_raw_build(b, SPA_PARAM_EnumFormat, &info);
}

// Records the sink's monitor and reports when the first loud frame after Arm() went through.
class Probe {
  public:
    void Arm() {
        std::lock_guard<std::mutex> lock(mu_);
        hit_ = 0;
        armed_ = true;
    }
    // The monotonic time of the first loud frame at the sink since Arm(); 0 if none within wait.
    std::int64_t Wait(std::chrono::milliseconds wait) {
        std::unique_lock<std::mutex> lock(mu_);
        cv_.wait_for(lock, wait, [&] { return hit_ != 0; });
        armed_ = false;
        return hit_;
    }
    std::uint32_t Quantum() const { return quantum_.load(); }
    // Graph cycles seen so far, to tell a recorder that stopped from a sound that never came.
    unsigned long Cycles() const { return cycles_.load(); }

    static void Process(void* self) { static_cast<Probe*>(self)->OnProcess(); }
    pw_stream* stream = nullptr;

  private:
    void OnProcess() {
        ++cycles_;
        pw_buffer* b = pw_stream_dequeue_buffer(stream);
        if (!b) return;
        pw_time t{};
        pw_stream_get_time_n(stream, &t, sizeof t);
        spa_data& d = b->buffer->datas[0];
        if (d.data && d.chunk) {
            const auto* p = reinterpret_cast<const float*>(static_cast<const char*>(d.data) +
                                                           d.chunk->offset % d.maxsize);
            const std::uint32_t frames = d.chunk->size / (kChannels * sizeof(float));
            quantum_ = frames;
            std::lock_guard<std::mutex> lock(mu_);
            for (std::uint32_t i = 0; armed_ && hit_ == 0 && i < frames; ++i)
                if (std::fabs(p[i * kChannels]) > kThreshold) {
                    hit_ = t.now + std::int64_t{i} * 1000000000 / kRate;
                    cv_.notify_all();
                }
        }
        pw_stream_queue_buffer(stream, b);
    }

    std::mutex mu_;
    std::condition_variable cv_;
    bool armed_ = false;
    std::int64_t hit_ = 0;
    std::atomic<std::uint32_t> quantum_{0};
    std::atomic<unsigned long> cycles_{0};
};

// The baseline: a native playback stream asking for a 256-frame period, which plays the click
// from the first cycle after Trigger().
class NativePlayer {
  public:
    void Trigger() { pending_ = true; }
    static void Process(void* self) { static_cast<NativePlayer*>(self)->OnProcess(); }
    pw_stream* stream = nullptr;

  private:
    void OnProcess() {
        pw_buffer* b = pw_stream_dequeue_buffer(stream);
        if (!b) return;
        spa_data& d = b->buffer->datas[0];
        if (!d.data) return;
        const std::uint32_t stride = kChannels * sizeof(float);
        std::uint32_t frames = d.maxsize / stride;
        if (b->requested && b->requested < frames)
            frames = static_cast<std::uint32_t>(b->requested);
        auto* out = static_cast<float*>(d.data);
        if (pending_.exchange(false)) pos_ = 0;
        for (std::uint32_t i = 0; i < frames; ++i, ++pos_)
            for (int c = 0; c < kChannels; ++c)
                out[i * kChannels + c] =
                    pos_ < click_.size() / kChannels ? click_[pos_ * kChannels + c] : 0.0f;
        d.chunk->offset = 0;
        d.chunk->stride = static_cast<std::int32_t>(stride);
        d.chunk->size = frames * stride;
        pw_stream_queue_buffer(stream, b);
    }

    std::atomic<bool> pending_{false};
    std::vector<float> click_ = Click();
    std::size_t pos_ = SIZE_MAX / 2;
};

pw_stream* Connect(pw_thread_loop* loop, const char* name, pw_properties* props,
                   const pw_stream_events* events, void* data, pw_direction dir, bool rt) {
    pw_properties_set(props, PW_KEY_MEDIA_TYPE, "Audio");
    pw_properties_set(props, PW_KEY_NODE_LATENCY, "256/48000");
    pw_stream* s = pw_stream_new_simple(pw_thread_loop_get_loop(loop), name, props, events, data);
    if (!s) return nullptr;
    std::uint8_t buf[1024];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(buf, sizeof buf);
    const spa_pod* params[1] = {AudioFormat(&b)};
    const auto flags =
        static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS |
                                     (rt ? PW_STREAM_FLAG_RT_PROCESS : 0));
    if (pw_stream_connect(s, dir, PW_ID_ANY, flags, params, 1) < 0) return nullptr;
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    const int starts = argc > 2 ? std::atoi(argv[2]) : 40;
    const char* sink = argc > 3 ? argv[3] : "test";
    const bool native = mode == "native" || mode == "native-loop";
    if ((mode != "service" && !native) || starts < 1) {
        std::fprintf(stderr, "usage: pipewire_latency service|native|native-loop STARTS [SINK]\n");
        return 2;
    }
    pw_init(&argc, &argv);
    pw_thread_loop* loop = pw_thread_loop_new("latency-probe", nullptr);
    if (!loop || pw_thread_loop_start(loop) < 0) return 1;

    Probe probe;
    NativePlayer player;
    pw_stream_events probeEvents{};
    probeEvents.version = PW_VERSION_STREAM_EVENTS;
    probeEvents.process = &Probe::Process;
    pw_stream_events nativeEvents = probeEvents;
    nativeEvents.process = &NativePlayer::Process;

    pw_thread_loop_lock(loop);
    probe.stream =
        Connect(loop, "latency-probe",
                pw_properties_new(PW_KEY_MEDIA_CATEGORY, "Capture", PW_KEY_STREAM_CAPTURE_SINK,
                                  "true", PW_KEY_TARGET_OBJECT, sink, nullptr),
                &probeEvents, &probe, PW_DIRECTION_INPUT, true);
    if (native)
        player.stream = Connect(loop, "latency-native",
                                pw_properties_new(PW_KEY_MEDIA_CATEGORY, "Playback",
                                                  PW_KEY_MEDIA_ROLE, "Music", nullptr),
                                &nativeEvents, &player, PW_DIRECTION_OUTPUT, mode == "native");
    pw_thread_loop_unlock(loop);
    if (!probe.stream || (native && !player.stream)) {
        std::fprintf(stderr, "cannot connect to the PipeWire server\n");
        return 1;
    }

    testsupport::TempDir dir;
    const std::string path = dir.file("click.wav");
    if (!testsupport::WriteWave(path, Click(), kChannels, kRate, SF_FORMAT_WAV | SF_FORMAT_FLOAT))
        return 1;
    audio::DeviceOutput output;  // what the service opens by itself
    std::optional<audio::SoundService> service;
    if (mode == "service") service.emplace(output);
    auto start = [&] {
        if (service)
            service->Start(path, false);
        else
            player.Trigger();
    };

    // Warm up: the device is opened and the streams linked by the first plays, not measured. A
    // click played before the recorder is linked is lost, so the plays repeat until three arrive.
    int status = 0;
    int heard = 0;
    for (int i = 0; heard < 3 && i < 20; ++i) {
        probe.Arm();
        start();
        if (service) service->Settle();
        if (probe.Wait(std::chrono::seconds(1))) ++heard;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (heard < 3) {
        std::fprintf(stderr, "nothing reaches the sink\n");
        status = 1;
    }
    std::printf("driver: %s\nquantum: %u\n", native ? mode.c_str() : output.Name(),
                probe.Quantum());

    // Starts at random phases against the graph cycle, each well after the last click ended.
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> gap(100000, 160000);
    int lost = 0;
    for (int i = 0; status == 0 && i < starts; ++i) {
        std::this_thread::sleep_for(std::chrono::microseconds(gap(rng)));
        probe.Arm();
        const std::int64_t t0 = NowNs();
        start();
        const std::int64_t hit = probe.Wait(std::chrono::seconds(2));
        if (!hit) {
            // Counted and reported; a recorder that stopped makes every later start fail too.
            std::printf("lost: %d (recorder at cycle %lu)\n", i, probe.Cycles());
            if (++lost > starts / 4 + 1) status = 1;
            continue;
        }
        std::printf("latency_ms: %.3f\n", (hit - t0) / 1e6);
        std::fflush(stdout);
    }

    service.reset();  // the service's stream goes before our own
    pw_thread_loop_lock(loop);
    if (player.stream) pw_stream_destroy(player.stream);
    pw_stream_destroy(probe.stream);
    pw_thread_loop_unlock(loop);
    pw_thread_loop_stop(loop);
    pw_thread_loop_destroy(loop);
    pw_deinit();
    return status;
}
