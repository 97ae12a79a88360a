// The workers that folder scans, tooltip reads and sound readers run on, with a promise standing
// in for storage that stopped answering.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <atomic>
#include <filesystem>
#include <future>
#include <thread>

#include "TestSupport.h"
#include "platform/workers.h"

using namespace std::chrono_literals;
using testsupport::Eventually;
using workers::Pool;

// Tasks past their deadline park their workers, up to the cap; fresh workers run what comes
// next; a late task ends on what it owns, even when its pool has gone. A task may throw.
TEST(Workers, HungTasksParkCapAndEndLate) {
    std::promise<void> release;
    std::shared_future<void> hung = release.get_future().share();
    auto late = std::make_shared<std::atomic<int>>(0);
    Pool pool(2);
    EXPECT_FALSE(pool.RunWithin([hung, late] { hung.wait(), ++*late; }, 20ms));
    EXPECT_TRUE(pool.RunWithin([] {}, 2s)) << "beside a hung task";
    EXPECT_FALSE(pool.RunWithin([hung, late] { hung.wait(), ++*late; }, 20ms));
    EXPECT_EQ(pool.Parked() * 10 + pool.Busy(), 22);
    EXPECT_EQ(pool.Run([] {}), nullptr) << "past the cap nothing more is taken on";
    {
        Pool other(8, 1);  // at most one unfinished task
        ASSERT_NE(other.Run([hung, late] { hung.wait(), ++*late; }), nullptr);
        EXPECT_EQ(other.Run([] {}), nullptr);
    }  // gone at once: nothing waits on its hung worker
    release.set_value();
    EXPECT_TRUE(Eventually([&] { return pool.Busy() + pool.Parked() == 0 && *late == 3; }));
    // A worker done with one task takes the next: one thread runs tasks one after another.
    Pool one(1);
    std::thread::id first, second;
    EXPECT_TRUE(one.RunWithin([&first] { first = std::this_thread::get_id(); }, 2s));
    EXPECT_TRUE(one.RunWithin([&second] { second = std::this_thread::get_id(); }, 2s));
    EXPECT_EQ(first, second);
    EXPECT_FALSE(one.RunWithin([] { throw 7; }, 2s)) << "a task that throws fails; all goes on";
    EXPECT_TRUE(one.RunWithin([] {}, 2s));
}

// In a forked copy, where no other thread runs: idle workers end after their linger time, all
// but the last; a thread that cannot be made refuses the task.
TEST(Workers, IdleWorkersEndButOneAndNoThreadRefuses) {
    EXPECT_TRUE(testsupport::AsUnprivileged([] {
        auto threads = [] {
            return std::distance(std::filesystem::directory_iterator("/proc/self/task"), {});
        };
        std::promise<void> release;
        std::shared_future<void> held = release.get_future().share();
        Pool pool(4, INT_MAX, 20ms);
        for (int i = 0; i < 3; ++i) pool.Run([held] { held.wait(); });
        const bool three = threads() == 4;
        release.set_value();
        rlimit none{0, 0};
        return three && Eventually([&] { return threads() == 2; }) &&
               setrlimit(RLIMIT_NPROC, &none) == 0 && !Pool(4).Run([] {});
    }));
}
