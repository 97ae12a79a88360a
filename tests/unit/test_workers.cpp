// The workers that folder scans, tooltip reads and sound readers run on, with a gate standing in
// for storage that stopped answering.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/workers.h"

using namespace std::chrono_literals;
using workers::Pool;

namespace {

// Tasks that enter it wait until it opens.
struct Gate {
    void Pass() {
        std::unique_lock lock(mu);
        cv.wait(lock, [this] { return open; });
    }
    void Open() {
        std::lock_guard lock(mu);
        open = true;
        cv.notify_all();
    }
    std::mutex mu;
    std::condition_variable cv;
    bool open = false;
};

bool Eventually(const std::function<bool()>& done) {
    for (int i = 0; i < 500 && !done(); ++i) std::this_thread::sleep_for(10ms);
    return done();
}

}  // namespace

TEST(Workers, HungTasksAreParkedCappedAndFreedWhenTheyReturn) {
    Pool pool(2);
    auto gate = std::make_shared<Gate>();
    auto late = std::make_shared<std::atomic<int>>(0);
    for (int i = 0; i < 2; ++i)
        EXPECT_FALSE(pool.RunWithin([gate, late] { gate->Pass(), ++*late; }, 20ms));
    EXPECT_EQ(pool.Parked(), 2);
    EXPECT_EQ(pool.Busy(), 2);
    EXPECT_EQ(pool.Run([] {}), nullptr) << "past the cap nothing more is taken on";

    gate->Open();
    EXPECT_TRUE(Eventually([&] { return pool.Busy() == 0; }));
    EXPECT_EQ(pool.Parked(), 0);
    EXPECT_EQ(*late, 2) << "late tasks ran to their end on what they own";
    bool ran = false;
    EXPECT_TRUE(pool.RunWithin([&ran] { ran = true; }, 2s) && ran);
}

TEST(Workers, OthersRunBesideAHungTaskOnLongLivedThreads) {
    Pool pool(4);
    auto gate = std::make_shared<Gate>();
    Pool::Handle hung = pool.Run([gate] { gate->Pass(); });
    std::thread::id first, second;
    EXPECT_TRUE(pool.RunWithin([&first] { first = std::this_thread::get_id(); }, 2s));
    EXPECT_TRUE(pool.RunWithin([&second] { second = std::this_thread::get_id(); }, 2s));
    EXPECT_EQ(first, second) << "an idle worker takes the next task";
    EXPECT_FALSE(pool.Wait(hung, 10ms));
    gate->Open();
    EXPECT_TRUE(pool.Wait(hung, 2s));
}

TEST(Workers, BusyCapAndAPoolGoneBeforeItsHungTask) {
    auto gate = std::make_shared<Gate>();
    auto late = std::make_shared<std::atomic<bool>>(false);
    {
        Pool pool(8, 1);
        ASSERT_NE(pool.Run([gate, late] { gate->Pass(), *late = true; }), nullptr);
        EXPECT_EQ(pool.Run([] {}), nullptr);
    }  // returns at once: nothing waits on the hung worker
    gate->Open();
    EXPECT_TRUE(Eventually([&] { return late->load(); }));
}
