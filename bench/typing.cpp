// A word typed into find below at a typist's pace, on a library the index knows: the time from
// each key to the first find it shows, typed once just after start (the index read from disk
// while the keys come) and once more with the answer in memory, and the ratio of the last keys.
// The index lives in a private cache folder, filled by a first walk when it is empty.
// Usage: typing FOLDER WORD [MS_BETWEEN_KEYS (150)]
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "TestSupport.h"
#include "mainwindow/FormLogic.h"
#include "platform/libindex.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Typist {
    FormLogic logic;
    std::mutex mu;
    std::condition_variable cv;
    bool ready = false;

    Typist() {
        logic.foundReady = [this] {
            std::lock_guard lock(mu);
            ready = true;
            cv.notify_all();
        };
    }

    // Types word a key every gap (the last key waits for its walk to end); returns the last
    // key's time to its first find in ms (-1: none), printing every key's.
    double Type(const std::string& word, std::chrono::milliseconds gap, const char* label) {
        double first = -1;
        for (size_t i = 1; i <= word.size(); ++i) {
            const auto t0 = Clock::now();
            logic.TypeFind(word.substr(0, i));
            first = -1;
            while (logic.Searching() && (i == word.size() || Clock::now() - t0 < gap)) {
                std::unique_lock lock(mu);
                cv.wait_for(lock, std::chrono::milliseconds(2), [this] { return ready; });
                ready = false;
                lock.unlock();
                logic.TakeFound(-1);
                if (first < 0 && !logic.Entries().empty())
                    first = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
            }
            if (i < word.size()) std::this_thread::sleep_until(t0 + gap);
            std::printf("%s key %zu \"%s\": first find %.1f ms\n", label, i,
                        word.substr(0, i).c_str(), first);
        }
        logic.TypeFind("");
        return first;
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: typing FOLDER WORD [MS_BETWEEN_KEYS]\n");
        return 2;
    }
    const std::string folder = argv[1], word = argv[2];
    const std::chrono::milliseconds gap(argc > 3 ? std::atoi(argv[3]) : 150);
    testsupport::TempDir cache;
    setenv("XDG_CACHE_HOME", cache.path().c_str(), 1);
    libindex::UseDefault();
    {
        Typist filling;  // a first walk fills the index
        filling.logic.OpenAndRebuild(folder);
        filling.logic.OpenFind(find::Mode::Below);
        filling.Type(word, gap, "filling the index:");
    }
    // The next start: the index opened afresh, nothing of it in memory.
    libindex::Use(libindex::Index::Open(libindex::CacheFolder()));
    Typist t;
    t.logic.OpenAndRebuild(folder);
    t.logic.OpenFind(find::Mode::Below);
    std::this_thread::sleep_for(std::chrono::seconds(1));  // the line is opened, then typed in
    const double started = t.Type(word, gap, "after start:");
    const double held = t.Type(word, gap, "in memory:");
    std::printf("last key to first find: %.1f ms after start, %.1f ms in memory; ratio %.2f\n",
                started, held, held > 0 ? started / held : 0.0);
    return started < 0 || held < 0;
}
