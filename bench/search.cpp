// Finding a sound by name in a library of 100,000 WAV files in 2,000 folders (warm cache): the
// filter of one folder of 100,000 names per keystroke, the whole walk below a folder against a
// bare recursive walk + substring match + sort, and the time from the keystroke to the first
// find, in the same run.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "RatioReporter.h"
#include "mainwindow/FormLogic.h"

namespace {

namespace fs = std::filesystem;

constexpr int kFiles = 100000;
constexpr int kParents = 40, kFolders = 2000;  // 50 folders in each parent, 50 files in each

const char* const kStems[] = {"Kick", "snare", "HiHat", "Pad", "vox take", "FX_"};

void Touch(int dir, const char* name) {
    const int fd = openat(dir, name, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) close(fd);
}

// The generated library, made once for all benchmarks and removed at exit: "tree" holds the
// folders, "flat" one folder of all 100,000 names.
class Fixture {
  public:
    Fixture() {
        std::string tmpl = (fs::temp_directory_path() / "wavfind-XXXXXX").string();
        if (!mkdtemp(tmpl.data())) {
            std::perror("mkdtemp");
            std::exit(1);
        }
        path_ = tmpl;
        fs::create_directories(path_ + "/flat");
        const int flat = open((path_ + "/flat").c_str(), O_RDONLY | O_DIRECTORY);
        char name[96], folder[128];
        for (int i = 0; i < kFiles; ++i) {
            const int f = i / (kFiles / kFolders);
            std::snprintf(folder, sizeof folder, "%s/tree/Kit %02d/Take %d", path_.c_str(),
                          f / (kFolders / kParents), f);
            if (i % (kFiles / kFolders) == 0) fs::create_directories(folder);
            std::snprintf(name, sizeof name, "%s %d.wav", kStems[i % 6], i / 6);
            const int dir = open(folder, O_RDONLY | O_DIRECTORY);
            Touch(dir, name);
            close(dir);
            Touch(flat, name);
        }
        close(flat);
    }
    ~Fixture() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::string tree() const { return path_ + "/tree"; }
    std::string flat() const { return path_ + "/flat"; }

  private:
    std::string path_;
};

Fixture* fixture = nullptr;

// One keystroke in the search line over this folder: from the line before it to the line after
// it, the list filtered again.
void BM_FilterHere(benchmark::State& state) {
    const std::pair<const char*, const char*> keys[] = {
        {"", "k"},           {"kic", "kick"}, {"kick", "kick 1234"},
        {"kick", "kick -1"}, {"k", ""},       {"kick 1234", "kick"}};
    const auto [before, after] = keys[state.range(0)];
    FormLogic logic;
    logic.OpenAndRebuild(fixture->flat());
    logic.OpenFind(find::Mode::Here);
    for (auto _ : state) {
        state.PauseTiming();
        logic.TypeFind(before);
        state.ResumeTiming();
        logic.TypeFind(after);
        benchmark::DoNotOptimize(logic.Entries().data());
    }
    state.SetLabel(std::string("\"") + before + "\" -> \"" + after + "\"");
    state.counters["shown"] = static_cast<double>(logic.Entries().size());
}

bool Searching(const FormLogic& logic) { return logic.Searching(); }

// The walk below a folder as the window runs it, started by a keystroke, its finds taken as
// they are announced and merged into the list: whole (argument 0), or up to the first find in
// the list (argument 1; the rest is cancelled off the clock).
void BM_FindBelow(benchmark::State& state) {
    const bool firstOnly = state.range(0) == 1;
    std::mutex mu;  // before the logic, so that its walk goes first
    std::condition_variable cv;
    bool ready = false;
    FormLogic logic;
    logic.OpenAndRebuild(fixture->tree());
    logic.OpenFind(find::Mode::Below);
    logic.foundReady = [&] {
        std::lock_guard lock(mu);
        ready = true;
        cv.notify_one();
    };
    for (auto _ : state) {
        logic.TypeFind("kick");
        while ((!firstOnly || logic.Entries().empty()) && Searching(logic)) {
            std::unique_lock lock(mu);
            cv.wait_for(lock, std::chrono::milliseconds(250), [&] { return ready; });
            ready = false;
            lock.unlock();
            logic.TakeFound(-1);
        }
        benchmark::DoNotOptimize(logic.Entries().data());
        if (!firstOnly) continue;
        state.PauseTiming();
        logic.TypeFind("");  // cancels the rest
        state.ResumeTiming();
    }
    logic.foundReady = nullptr;
    if (!firstOnly) state.counters["found"] = static_cast<double>(logic.Entries().size());
}

// The least a recursive search has to do: one walk, a case-blind substring match on each
// WAV file's name, a plain sort of the relative paths.
void BM_BareBaseline(benchmark::State& state) {
    std::vector<std::string> found;
    const fs::path root = fixture->tree();
    for (auto _ : state) {
        found.clear();
        for (auto it = fs::recursive_directory_iterator(root); it != fs::end(it); ++it) {
            const std::string name = it->path().filename().string();
            if (name[0] == '.') {
                if (it->is_directory()) it.disable_recursion_pending();
                continue;
            }
            if (name.size() < 5 || !it->is_regular_file()) continue;
            std::string lower = name;
            std::transform(lower.begin(), lower.end(), lower.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            if (lower.compare(lower.size() - 4, 4, ".wav") == 0 &&
                lower.find("kick") != std::string::npos)
                found.push_back(it->path().lexically_relative(root).string());
        }
        std::sort(found.begin(), found.end());
        benchmark::DoNotOptimize(found.data());
    }
    state.counters["found"] = static_cast<double>(found.size());
}

BENCHMARK(BM_FilterHere)->DenseRange(0, 5)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(BM_FindBelow)->Arg(0)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_BareBaseline)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_FindBelow)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    Fixture f;
    fixture = &f;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto at = [&](const std::string& prefix) { return reporter.At(prefix); };
    double filter = 0;
    for (int i = 0; i < 6; ++i) filter = std::max(filter, at("BM_FilterHere/" + std::to_string(i)));
    const double below = at("BM_FindBelow/0"), bare = at("BM_BareBaseline"),
                 first = at("BM_FindBelow/1");
    if (filter > 0)
        std::printf("\nfilter of 100,000 names, slowest keystroke: %.2f ms (target <= 2)\n",
                    filter);
    if (below > 0 && bare > 0)
        std::printf("find below / bare walk:  %.2f (%.1f ms / %.1f ms, target <= 1.0)\n",
                    below / bare, below, bare);
    if (first > 0) std::printf("keystroke to first find: %.2f ms (target <= 30)\n", first);
    benchmark::Shutdown();
    fixture = nullptr;
    return 0;
}
