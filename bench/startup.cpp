// Process start to the window shown on a folder of 10,000 WAV files and closed again, against a
// bare Qt program that shows an empty window (and one that shows a line of text), all on the
// offscreen platform, in the same run.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "TestSupport.h"

extern char** environ;

namespace {

struct Library {
    testsupport::TempDir dir;
    std::string exe;     // a copy of the program, so its settings file lands in the temp folder
    std::string target;  // the command-line argument: a file in the 10,000-file folder
    Library() {
        std::string app = dir.mkdir("app");
        exe = app + "/wavplayer";
        std::filesystem::copy_file(WAVPLAYER_EXE, exe);
        std::string lib = dir.mkdir("lib");
        for (int i = 0; i < 10000; ++i) dir.write("lib/Sample " + std::to_string(i) + ".wav", "");
        target = lib + "/Sample 0.wav";
    }
};

Library& Lib() {
    static Library lib;
    return lib;
}

void Run(benchmark::State& state, std::vector<std::string> args) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("WAVPLAYER_QUIT_AFTER_MS", "0", 1);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto _ : state) {
        pid_t pid;
        if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
            state.SkipWithError("cannot start");
            return;
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("program failed");
            return;
        }
    }
}

void BM_Program10kFolder(benchmark::State& state) { Run(state, {Lib().exe, Lib().target}); }
void BM_BareQtWindow(benchmark::State& state) { Run(state, {BARE_WINDOW_EXE}); }
void BM_BareQtWindowWithText(benchmark::State& state) { Run(state, {BARE_WINDOW_EXE, "--text"}); }

BENCHMARK(BM_BareQtWindow)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(BM_BareQtWindowWithText)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(BM_Program10kFolder)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

}  // namespace

BENCHMARK_MAIN();
