// Time from a start request to the first frame of the new sound leaving the output, with the
// output pulled by a steady 256-frame period clock, for small, large and huge files. Beside it,
// in the same run, a player that reads and decodes the whole file before playing.
// The same while another file's header read hangs (storage that stopped answering).
// Also the CPU share of playing a 44.1 kHz file on a 48 kHz output.
#include <benchmark/benchmark.h>
#include <sndfile.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/audio/CaptureOutput.h"
#include "platform/audio/Decoder.h"
#include "platform/audio/SoundService.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRate = 48000;
constexpr std::size_t kPeriod = 256;

struct Folder {
    Folder() {
        std::string t = (std::filesystem::temp_directory_path() / "startbench-XXXXXX").string();
        if (mkdtemp(t.data())) path = t;
    }
    ~Folder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::string path;
};

Folder& Dir() {
    static Folder f;
    return f;
}

// A 16-bit stereo wave of dataBytes; real tone for the first `written` bytes, a sparse hole
// after. The first sample is at full tone level so its arrival can be seen.
std::string MakeWave(const std::string& name, std::uint64_t dataBytes, std::uint64_t written,
                     int rate = kRate) {
    std::string path = Dir().path + "/" + name;
    std::ofstream out(path, std::ios::binary);
    auto u32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    out.write("RIFF", 4);
    u32(static_cast<std::uint32_t>(std::min<std::uint64_t>(36 + dataBytes, 0xffffffffu)));
    out.write("WAVEfmt ", 8);
    u32(16), u16(1), u16(2), u32(rate), u32(rate * 4), u16(4), u16(16);
    out.write("data", 4);
    u32(static_cast<std::uint32_t>(dataBytes));
    std::vector<std::int16_t> block(2 * 4096);
    std::uint64_t frame = 0;
    for (std::uint64_t at = 0; at < written; at += block.size() * 2) {
        for (std::size_t i = 0; i < block.size() / 2; ++i, ++frame) {
            auto s = static_cast<std::int16_t>(12000 * std::cos(2 * M_PI * 1000 * frame / rate));
            block[2 * i] = block[2 * i + 1] = s;
        }
        out.write(
            reinterpret_cast<const char*>(block.data()),
            static_cast<std::streamsize>(std::min<std::uint64_t>(written - at, block.size() * 2)));
    }
    out.close();
    if (truncate(path.c_str(), static_cast<off_t>(44 + dataBytes)) != 0) return "";
    return path;
}

std::string Stop() {
    static std::string p = MakeWave("STOP.wav", 4 * 480, 0);
    return p;
}

const std::string& FileOfSize(std::int64_t bytes) {
    static std::map<std::int64_t, std::string> files;
    auto& p = files[bytes];
    if (p.empty()) {
        std::uint64_t data = static_cast<std::uint64_t>(bytes) - 44;
        // Small and large files hold real sound throughout; the huge one is sparse after 1 s.
        p = MakeWave("f" + std::to_string(bytes) + ".wav", data,
                     std::min<std::uint64_t>(data, 32ull << 20));
    }
    return p;
}

// Pulls 256 frames every 256/48000 s from a source, as a sound card would, and notes when the
// first non-silent frame goes out after being armed.
class PeriodClock {
  public:
    explicit PeriodClock(std::function<void(float*, std::size_t)> source)
        : source_(std::move(source)), thread_([this] { Run(); }) {}
    ~PeriodClock() {
        run_ = false;
        thread_.join();
    }
    void Arm() {
        seen_ = 0;
        armed_ = true;
    }
    // Steady-clock nanoseconds when the armed sound went out, 0 while not yet.
    std::int64_t Seen() const { return seen_; }

  private:
    void Run() {
        std::vector<float> buf(kPeriod * 2);
        auto next = Clock::now();
        const auto period = std::chrono::nanoseconds(1'000'000'000LL * kPeriod / kRate);
        while (run_) {
            next += period;
            std::this_thread::sleep_until(next);
            source_(buf.data(), kPeriod);
            if (armed_ && std::any_of(buf.begin(), buf.end(), [](float s) { return s != 0; })) {
                seen_ = Clock::now().time_since_epoch().count();
                armed_ = false;
            }
        }
    }
    std::function<void(float*, std::size_t)> source_;
    std::atomic<bool> run_{true}, armed_{false};
    std::atomic<std::int64_t> seen_{0};
    std::thread thread_;
};

// The old way: the start reads and decodes the whole file, then the sound begins.
class WholeFilePlayer {
  public:
    void Start(const std::string& path) {
        playing_.store(nullptr);
        SF_INFO info{};
        SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
        if (!f) return;
        auto* head = new std::vector<float>();
        std::vector<float> block(8192 * info.channels);
        sf_count_t n;
        // Decoded in full; only the first second is kept so a 1 GB file does not need 4 GB.
        while ((n = sf_readf_float(f, block.data(), 8192)) > 0)
            if (head->size() < std::size_t(kRate) * 2)
                head->insert(head->end(), block.begin(), block.begin() + n * info.channels);
        sf_close(f);
        pos_ = 0;
        garbage_.emplace_back(head);
        playing_.store(head);
    }
    void Stop() { playing_.store(nullptr); }
    void Render(float* out, std::size_t frames) {
        std::fill(out, out + frames * 2, 0.f);
        const std::vector<float>* p = playing_.load();
        if (!p) return;
        std::size_t at = std::min(p->size(), pos_.load());
        std::size_t n = std::min(frames * 2, p->size() - at);
        std::copy(p->begin() + at, p->begin() + at + n, out);
        pos_ = at + n;
    }

  private:
    std::atomic<const std::vector<float>*> playing_{nullptr};
    std::atomic<std::size_t> pos_{0};
    std::vector<std::unique_ptr<std::vector<float>>> garbage_;
};

struct Result {
    double p50 = 0, p99 = 0;
};
std::map<std::string, Result> g_results;

void Report(benchmark::State& state, std::vector<double>& ms, const std::string& key) {
    std::sort(ms.begin(), ms.end());
    Result r{ms[ms.size() / 2], ms[std::min(ms.size() - 1, ms.size() * 99 / 100)]};
    g_results[key] = r;
    state.counters["p50_ms"] = r.p50;
    state.counters["p99_ms"] = r.p99;
}

std::string SizeKey(std::int64_t bytes) { return std::to_string(bytes); }

void BM_Baseline_DecodeWholeFile(benchmark::State& state) {
    const std::string& path = FileOfSize(state.range(0));
    WholeFilePlayer player;
    PeriodClock clock([&](float* out, std::size_t n) { player.Render(out, n); });
    std::mt19937 gen(1);
    std::uniform_int_distribution<int> phase(0, 5333);
    std::vector<double> ms;
    for (auto _ : state) {
        player.Stop();
        std::this_thread::sleep_for(std::chrono::microseconds(15000 + phase(gen)));
        clock.Arm();
        auto t0 = Clock::now();
        player.Start(path);
        while (!clock.Seen()) std::this_thread::sleep_for(std::chrono::microseconds(50));
        double d = (clock.Seen() - t0.time_since_epoch().count()) / 1e6;
        ms.push_back(d);
        state.SetIterationTime(d / 1e3);
    }
    Report(state, ms, "base" + SizeKey(state.range(0)));
}

// Starts path after the stop file, at a random moment within the period so every phase of the
// clock is sampled; beforeStart runs first in each round (with the stop file settled),
// afterStart once the first frame was seen. Returns the start-to-first-frame times in ms.
std::vector<double> MeasureStarts(benchmark::State& state, const std::string& path,
                                  const std::function<void(audio::SoundService&)>& beforeStart,
                                  const std::function<void()>& afterStart) {
    audio::CaptureOutput cap(kRate);
    audio::SoundService service(cap);
    PeriodClock clock([&](float* out, std::size_t n) { cap.Pull(out, n); });
    std::mt19937 gen(1);
    std::uniform_int_distribution<int> phase(0, 5333);
    std::vector<double> ms;
    for (auto _ : state) {
        service.Start(Stop(), false);
        service.Settle();
        beforeStart(service);
        std::this_thread::sleep_for(std::chrono::microseconds(15000 + phase(gen)));
        clock.Arm();
        auto t0 = Clock::now();
        service.Start(path, false);
        while (!clock.Seen()) std::this_thread::sleep_for(std::chrono::microseconds(50));
        double d = (clock.Seen() - t0.time_since_epoch().count()) / 1e6;
        ms.push_back(d);
        state.SetIterationTime(d / 1e3);
        afterStart();
    }
    return ms;
}

void BM_Service_Stream(benchmark::State& state) {
    const std::string& path = FileOfSize(state.range(0));
    std::vector<double> ms = MeasureStarts(
        state, path, [](audio::SoundService&) {}, [] {});
    Report(state, ms, "svc" + SizeKey(state.range(0)));
    auto base = g_results.find("base" + SizeKey(state.range(0)));
    if (base != g_results.end())
        state.counters["baseline_p50_over_p50"] =
            base->second.p50 / g_results["svc" + SizeKey(state.range(0))].p50;
    auto small = g_results.find("svc" + SizeKey(20 << 10));
    if (small != g_results.end())
        state.counters["p99_vs_20KB"] =
            g_results["svc" + SizeKey(state.range(0))].p99 / small->second.p99;
    state.counters["p99_target_ms"] = 1000.0 * kPeriod / kRate + 1.0;
}

// Reads of "hung.wav" wait while g_hold is set, as on a share that stopped answering.
std::atomic<bool> g_hold{false};
std::atomic<int> g_held{0};
void HoldHung(audio::IoStage, const std::string& path) {
    if (!g_hold || path.find("/hung.wav") == std::string::npos) return;
    for (++g_held; g_hold;) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    --g_held;
}

// Before each measured start, a start of a file whose header read hangs: the measured one must
// not wait for it. The hung read is let go after each round, so readers never pile up.
void BM_Service_StreamWhileAnotherHangs(benchmark::State& state) {
    const std::string& path = FileOfSize(state.range(0));
    static std::string hung = MakeWave("hung.wav", 4 * kRate, 4 * kRate);
    audio::SetIoHook(&HoldHung);
    std::vector<double> ms = MeasureStarts(
        state, path,
        [](audio::SoundService& service) {
            g_hold = true;
            service.Start(hung, false);
            while (g_held == 0) std::this_thread::sleep_for(std::chrono::microseconds(50));
        },
        [] {
            g_hold = false;
            while (g_held > 0) std::this_thread::sleep_for(std::chrono::microseconds(50));
        });
    audio::SetIoHook(nullptr);
    Report(state, ms, "hung" + SizeKey(state.range(0)));
    auto plain = g_results.find("svc" + SizeKey(state.range(0)));
    if (plain != g_results.end()) {
        state.counters["p99_over_plain_p99"] =
            g_results["hung" + SizeKey(state.range(0))].p99 / plain->second.p99;
        state.counters["p50_over_plain_p50"] =
            g_results["hung" + SizeKey(state.range(0))].p50 / plain->second.p50;
    }
}

double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

// Share of one core while playing: the 44.1 kHz file is resampled and mixed; the baseline is the
// same clock pulling silence.
void BM_PlaybackCpu(benchmark::State& state) {
    const bool playing = state.range(0) != 0;
    static std::string file = MakeWave("cd.wav", 44100ull * 4 * 30, 44100ull * 4 * 30, 44100);
    audio::CaptureOutput cap(kRate);
    audio::SoundService service(cap);
    PeriodClock clock([&](float* out, std::size_t n) { cap.Pull(out, n); });
    double share = 0;
    for (auto _ : state) {
        if (playing) service.Start(file, true);
        service.Settle();
        double c0 = CpuSeconds();
        auto t0 = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(2));
        double wall = std::chrono::duration<double>(Clock::now() - t0).count();
        share = (CpuSeconds() - c0) / wall;
        state.SetIterationTime(wall);
    }
    state.counters["cpu_pct_of_core"] = share * 100;
    static double idle = 0;
    if (!playing)
        idle = share;
    else
        state.counters["cpu_pct_over_idle_clock"] = (share - idle) * 100;
}

}  // namespace

BENCHMARK(BM_Baseline_DecodeWholeFile)
    ->Arg(20 << 10)
    ->Arg(20 << 20)
    ->Iterations(30)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Baseline_DecodeWholeFile)
    ->Arg(1 << 30)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Service_Stream)
    ->Arg(20 << 10)
    ->Arg(20 << 20)
    ->Arg(1 << 30)
    ->Iterations(300)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Service_StreamWhileAnotherHangs)
    ->Arg(20 << 10)
    ->Iterations(300)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlaybackCpu)->Arg(0)->Arg(1)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
