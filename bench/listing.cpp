// How long one folder listing takes for a folder of 100,000 WAV files and 2,000 sub-folders:
// the program's rebuild against a bare readdir + sort and against QDir, in the same run.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "RatioReporter.h"
#include "platform/dirlist.h"

namespace {

constexpr int kFiles = 100000;
constexpr int kFolders = 2000;

// The generated folder, made once for all benchmarks and removed at exit.
class Fixture {
  public:
    Fixture() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "wavbench-XXXXXX").string();
        if (!mkdtemp(tmpl.data())) {
            std::perror("mkdtemp");
            std::exit(1);
        }
        path_ = tmpl;
        const int dir = open(path_.c_str(), O_RDONLY | O_DIRECTORY);
        const char* const stems[] = {"Kick", "snare", "HiHat", "Pad", "vox take", "FX_"};
        const char* const exts[] = {".wav", ".WAV", ".Wav"};
        char name[64];
        for (int i = 0; i < kFiles; ++i) {
            std::snprintf(name, sizeof name, "%s %d%s", stems[i % 6], i / 6, exts[i % 3]);
            Touch(dir, name);
        }
        // Names the listing must leave out.
        for (int i = 0; i < 500; ++i) {
            std::snprintf(name, sizeof name, "notes %d.txt", i);
            Touch(dir, name);
            std::snprintf(name, sizeof name, ".hidden %d.wav", i);
            Touch(dir, name);
        }
        for (int i = 0; i < kFolders; ++i) {
            std::snprintf(name, sizeof name, i % 10 ? "Folder %03d" : "Sounds %d.wav", i);
            mkdirat(dir, name, 0755);
        }
        close(dir);
    }
    ~Fixture() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }

  private:
    static void Touch(int dir, const char* name) {
        const int fd = openat(dir, name, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) close(fd);
    }
    std::string path_;
};

Fixture* fixture = nullptr;

// What the window does on every rebuild.
void BM_Rebuild(benchmark::State& state) {
    dirlist::DirListBox dirs;
    dirlist::FileListBox files;
    for (auto _ : state) {
        dirs.SetPath(fixture->path());
        files.SetPath(dirs.Path());
        benchmark::DoNotOptimize(dirs.Names().data());
        benchmark::DoNotOptimize(files.Names().data());
    }
    state.counters["folders"] = static_cast<double>(dirs.ListCount());
    state.counters["files"] = static_cast<double>(files.ListCount());
}

// Both lists from one scan.
void BM_ReadFolderOnce(benchmark::State& state) {
    std::vector<std::string> dirs, files;
    for (auto _ : state) {
        dirlist::ReadFolder(fixture->path(), &dirs, &files);
        benchmark::DoNotOptimize(files.data());
    }
    state.counters["files"] = static_cast<double>(files.size());
}

bool CaseLess(const std::string& a, const std::string& b) {
    return strcasecmp(a.c_str(), b.c_str()) < 0;
}

// The least any listing has to do: one scan, d_type only, a plain case-blind sort.
void BM_BareBaseline(benchmark::State& state) {
    std::vector<std::string> dirs, files;
    for (auto _ : state) {
        dirs.clear();
        files.clear();
        DIR* d = opendir(fixture->path().c_str());
        while (const dirent* e = readdir(d)) {
            if (e->d_name[0] == '.') continue;
            const size_t len = std::strlen(e->d_name);
            if (e->d_type == DT_DIR)
                dirs.emplace_back(e->d_name, len);
            else if (e->d_type == DT_REG && len > 4 && strcasecmp(e->d_name + len - 4, ".wav") == 0)
                files.emplace_back(e->d_name, len);
        }
        closedir(d);
        std::sort(dirs.begin(), dirs.end(), CaseLess);
        std::sort(files.begin(), files.end(), CaseLess);
        benchmark::DoNotOptimize(files.data());
    }
    state.counters["files"] = static_cast<double>(files.size());
}

void BM_QDir(benchmark::State& state) {
    const QString path = QString::fromStdString(fixture->path());
    QStringList dirs, files;
    for (auto _ : state) {
        QDir dir(path);  // a fresh QDir each time: it caches what it has read
        dirs = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
        files = dir.entryList(QStringList{"*.wav"}, QDir::Files, QDir::Name | QDir::IgnoreCase);
        benchmark::DoNotOptimize(files.size());
    }
    state.counters["files"] = static_cast<double>(files.size());
}

BENCHMARK(BM_Rebuild)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_ReadFolderOnce)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_BareBaseline)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_QDir)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    Fixture f;
    fixture = &f;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto at = [&](const char* name) { return reporter.At(name); };
    const double rebuild = at("BM_Rebuild"), once = at("BM_ReadFolderOnce");
    const double bare = at("BM_BareBaseline"), qdir = at("BM_QDir");
    if (rebuild > 0 && bare > 0 && qdir > 0) {
        std::printf("\nms per listing: rebuild %.1f, one scan %.1f, bare %.1f, QDir %.1f\n",
                    rebuild, once, bare, qdir);
        std::printf("rebuild / bare baseline: %.2f (target <= 1.5)\n", rebuild / bare);
        std::printf("QDir / rebuild:          %.2f (target >= 3)\n", qdir / rebuild);
        if (once > 0) std::printf("one scan / bare baseline: %.2f\n", once / bare);
    }
    benchmark::Shutdown();
    fixture = nullptr;
    return 0;
}
