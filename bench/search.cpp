// Finding a sound by name, in one run: the filter of one folder of 100,000 names per keystroke;
// the library index's answer below a folder (the first match and the whole answer, for a rare
// and a common word); the walk that confirms that answer on an unchanged tree against a full walk
// without the index; and the same searches with find, fd and plocate (from its own database)
// where they are installed. Usage: search [FOLDER [COMMON-WORD [RARE-WORD]]] [--cold]
// Without a folder it generates 100,000 WAV names in 2,000 folders. --cold drops the page cache
// before each timed search (needs root).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "RatioReporter.h"
#include "mainwindow/FormLogic.h"
#include "platform/libindex.h"

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
        const int last = open((path_ + "/tree/Kit 39/Take 1999").c_str(), O_RDONLY | O_DIRECTORY);
        Touch(last, "Zebra 1.wav");  // the rare word's one match
        close(last);
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
std::string g_root;  // the folder searched
std::string g_common = "kick", g_rare = "zebra";
std::string g_cache;  // the private index's folder
bool g_cold = false;

void DropCaches() {
    if (!g_cold) return;
    ::sync();
    std::ofstream("/proc/sys/vm/drop_caches") << "3\n";
}

// One keystroke in the search line over this folder: from the line before it to the line after
// it, the list filtered again.
void BM_FilterHere(benchmark::State& state) {
    const std::pair<const char*, const char*> keys[] = {
        {"", "k"},           {"kic", "kick"}, {"kick", "kick 1234"},
        {"kick", "kick -1"}, {"k", ""},       {"kick 1234", "kick"}};
    const auto [before, after] = keys[state.range(0)];
    if (!fixture) return state.SkipWithError("needs the generated library");
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
// the list (argument 1; the rest is cancelled off the clock); without the index (second
// argument 0: a full walk) or with it (1: the index's answer, then the walk that confirms it);
// for the common word (third argument 0) or the rare one (1).
void BM_FindBelow(benchmark::State& state) {
    const bool firstOnly = state.range(0) == 1;
    libindex::Use(state.range(1) ? libindex::Index::Open(g_cache) : nullptr);
    std::mutex mu;  // before the logic, so that its walk goes first
    std::condition_variable cv;
    bool ready = false;
    FormLogic logic;
    logic.OpenAndRebuild(g_root);
    logic.OpenFind(find::Mode::Below);
    logic.foundReady = [&] {
        std::lock_guard lock(mu);
        ready = true;
        cv.notify_one();
    };
    const std::string word = state.range(2) ? g_rare : g_common;
    // One search off the clock: the index's answer is then in memory, as for every keystroke
    // after the first (the first one's load from the database is BM_IndexAnswer).
    logic.TypeFind(word);
    while (Searching(logic)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        logic.TakeFound(-1);
    }
    logic.TypeFind("");
    for (auto _ : state) {
        state.PauseTiming();
        DropCaches();
        state.ResumeTiming();
        logic.TypeFind(word);
        while ((!firstOnly || logic.Entries().empty()) && Searching(logic)) {
            std::unique_lock lock(mu);
            cv.wait_for(lock, std::chrono::milliseconds(250), [&] { return ready; });
            ready = false;
            lock.unlock();
            logic.TakeFound(-1);
        }
        benchmark::DoNotOptimize(logic.Entries().data());
        state.PauseTiming();
        logic.TypeFind("");  // cancels the rest
        state.ResumeTiming();
    }
    logic.foundReady = nullptr;
    if (auto index = libindex::Shared()) index->Flush();
    libindex::Use(nullptr);
}

// The index's answer alone, as the first search after the start reads it from the database: every
// folder recorded below the root, its names matched as a search matches them; to the first match
// (argument 1) or whole (0); common (0) or rare word (1).
void BM_IndexAnswer(benchmark::State& state) {
    auto index = libindex::Index::Open(g_cache);
    const bool firstOnly = state.range(0) == 1;
    const find::NameMatch match(state.range(1) ? g_rare : g_common);
    const std::string lead = match.Lead();
    const std::string root = g_root + "/";
    size_t found = 0;
    for (auto _ : state) {
        state.PauseTiming();
        DropCaches();
        state.ResumeTiming();
        found = 0;
        // As the walk holds it: each folder's names as one block, scanned for the lead word.
        index->Below(root, [&](libindex::Folder&& f) {
            const std::string lower = search::Lowered(f.wavs);
            search::MatchNames(
                f.wavs, lower, lead, [&match](std::string_view n) { return match.Matches(n); },
                [&found](std::string_view) { ++found; });
            return !(firstOnly && found);
        });
    }
    state.counters["found"] = static_cast<double>(found);
}

// The same search by another program, its output thrown away.
void BM_Tool(benchmark::State& state, const std::string& command) {
    for (auto _ : state) {
        state.PauseTiming();
        DropCaches();
        state.ResumeTiming();
        if (std::system((command + " >/dev/null 2>&1").c_str()) != 0)
            return state.SkipWithError("failed");
    }
}

bool Installed(const char* tool) {
    return std::system((std::string("command -v ") + tool + " >/dev/null").c_str()) == 0;
}

std::string Quoted(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

long RssKb() {
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

// The least a recursive search has to do: one walk, a case-blind substring match on each
// WAV file's name, a plain sort of the relative paths.
void BM_BareBaseline(benchmark::State& state) {
    std::vector<std::string> found;
    const fs::path root = g_root;
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
                lower.find(g_common) != std::string::npos)
                found.push_back(it->path().lexically_relative(root).string());
        }
        std::sort(found.begin(), found.end());
        benchmark::DoNotOptimize(found.data());
    }
    state.counters["found"] = static_cast<double>(found.size());
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--cold")
            g_cold = true;
        else
            args.emplace_back(argv[i]);
    }
    std::unique_ptr<Fixture> generated;
    if (args.empty()) {
        generated = std::make_unique<Fixture>();
        fixture = generated.get();
        g_root = fixture->tree();
    } else {
        g_root = fs::absolute(args[0]).lexically_normal().string();
        while (g_root.size() > 1 && g_root.back() == '/') g_root.pop_back();
    }
    if (args.size() > 1) g_common = args[1];
    if (args.size() > 2) g_rare = args[2];
    char tmpl[] = "/tmp/wavfind-index-XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    g_cache = tmpl;
    // The index as earlier searches leave it: one full walk recorded.
    const long rssBefore = RssKb();
    {
        libindex::Use(libindex::Index::Open(g_cache));
        FormLogic logic;
        logic.OpenAndRebuild(g_root);
        logic.OpenFind(find::Mode::Below);
        logic.TypeFind(g_common);
        while (logic.Searching()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            logic.TakeFound(-1);
        }
        libindex::Shared()->Flush();
        libindex::Use(nullptr);
    }
    const std::string db = g_cache + "/plocate.db";
    const bool plocate =
        Installed("plocate") && Installed("updatedb") &&
        std::system(
            ("updatedb -l 0 -U " + Quoted(g_root) + " -o " + db + " >/dev/null 2>&1").c_str()) == 0;
    const std::string fd = Installed("fdfind") ? "fdfind" : Installed("fd") ? "fd" : "";

    auto ms = [](benchmark::internal::Benchmark* b) {
        b->Unit(benchmark::kMillisecond)->UseRealTime();
        if (!g_cold) b->MinTime(1.0);
        if (g_cold) b->Iterations(2);
    };
    ms(benchmark::RegisterBenchmark("BM_FilterHere", BM_FilterHere)->DenseRange(0, 5));
    // Index answer: (first only, rare word).
    ms(benchmark::RegisterBenchmark("BM_IndexAnswer", BM_IndexAnswer)
           ->Args({1, 1})
           ->Args({0, 1})
           ->Args({1, 0})
           ->Args({0, 0}));
    // Find below: (first only, with index, rare word).
    ms(benchmark::RegisterBenchmark("BM_FindBelow", BM_FindBelow)
           ->Args({0, 0, 0})
           ->Args({0, 1, 0})
           ->Args({1, 1, 0})
           ->Args({1, 1, 1})
           ->Args({0, 1, 1}));
    ms(benchmark::RegisterBenchmark("BM_BareBaseline", BM_BareBaseline));
    const std::string word = Quoted(g_common);
    ms(benchmark::RegisterBenchmark(
        "BM_Tool/find", BM_Tool,
        "find " + Quoted(g_root) + " -iname " + Quoted("*" + g_common + "*.wav")));
    if (!fd.empty())
        ms(benchmark::RegisterBenchmark(
            "BM_Tool/fd", BM_Tool, fd + " --no-ignore -i -e wav " + word + " " + Quoted(g_root)));
    if (plocate) {
        ms(benchmark::RegisterBenchmark("BM_Tool/plocate", BM_Tool,
                                        "plocate -d " + db + " -i " + word));
        ms(benchmark::RegisterBenchmark("BM_Tool/plocate-rare", BM_Tool,
                                        "plocate -d " + db + " -i " + Quoted(g_rare)));
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto at = [&](const std::string& name) { return reporter.At(name); };
    double filter = 0;
    for (int i = 0; i < 6; ++i) filter = std::max(filter, at("BM_FilterHere/" + std::to_string(i)));
    auto line = [](const char* what, double t, double base, const char* target) {
        if (t > 0 && base > 0)
            std::printf("%-44s %8.2f ms  %6.2fx  %s\n", what, t, t / base, target);
        else if (t > 0)
            std::printf("%-44s %8.2f ms  %s\n", what, t, target);
    };
    const double full = at("BM_FindBelow/0/0/0"), confirm = at("BM_FindBelow/0/1/0"),
                 locate = at("BM_Tool/plocate/"), fdt = at("BM_Tool/fd/");
    std::printf("\n%s (%s words: \"%s\", \"%s\")\n", g_root.c_str(), g_cold ? "cold" : "warm",
                g_common.c_str(), g_rare.c_str());
    line("filter of 100,000 names, slowest keystroke", filter, 0, "(target <= 2 ms)");
    std::printf("ratios against plocate:\n");
    std::printf("(index: read from the database, as by the first search after the start)\n");
    line("index, rare word, first match", at("BM_IndexAnswer/1/1"), at("BM_Tool/plocate-rare/"),
         "(target <= 20 ms)");
    line("index, rare word, whole answer", at("BM_IndexAnswer/0/1"), at("BM_Tool/plocate-rare/"),
         "(target <= 50 ms)");
    line("index, common word, first match", at("BM_IndexAnswer/1/0"), locate, "(target <= 20 ms)");
    line("index, common word, whole answer", at("BM_IndexAnswer/0/0"), locate, "");
    std::printf("(find below: every keystroke after the first, the index's answer in memory)\n");
    line("keystroke to first find in the list, rare", at("BM_FindBelow/1/1/1"), locate, "");
    line("keystroke to first find in the list, common", at("BM_FindBelow/1/1/0"), locate, "");
    std::printf("ratios against a full walk without the index:\n");
    line("index answer + confirming walk, unchanged", confirm, full, "(target <= 0.5x)");
    line("the same, rare word", at("BM_FindBelow/0/1/1"), full, "");
    line("full walk (find below today)", full, full, "");
    line("bare walk (std::filesystem)", at("BM_BareBaseline"), full, "");
    std::printf("ratios against fd:\n");
    line("full walk", full, fdt, "");
    line("index answer + confirming walk", confirm, fdt, "");
    line("find", at("BM_Tool/find/"), fdt, "");
    line("plocate", locate, fdt, "");
    std::error_code ec;
    const double bytes = static_cast<double>(fs::file_size(g_cache + "/library.sqlite", ec));
    size_t files = 0;
    libindex::Index::Open(g_cache)->Below(g_root + "/", [&](libindex::Folder&& f) {
        files += libindex::Split(f.wavs).size();
        return true;
    });
    if (files)
        std::printf("index: %zu files, %.0f bytes a file (target <= 120)\n", files,
                    bytes / static_cast<double>(files));
    if (plocate)
        std::printf("plocate database: %.0f bytes a file\n",
                    static_cast<double>(fs::file_size(db, ec)) / static_cast<double>(files));
    std::printf("memory after the searches: +%ld MB resident (peak %ld MB)\n",
                (RssKb() - rssBefore) / 1024, [] {
                    rusage u{};
                    getrusage(RUSAGE_SELF, &u);
                    return u.ru_maxrss / 1024;
                }());
    // What the program holds, without the freed memory the allocator keeps for later.
    malloc_trim(0);
    std::printf("memory held after the searches: +%ld MB resident\n", (RssKb() - rssBefore) / 1024);
    benchmark::Shutdown();
    fixture = nullptr;
    fs::remove_all(g_cache, ec);
    return 0;
}
