// Fetch threads are kept for the next job, never make one job wait behind
// another, and end when they have waited long enough or the pool closes.
#include "cacheserver/core/server_platform.h"
#include "cacheserver/core/worker_pool.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// Polls until done() or the time is up; true when done() held.
template <typename Done>
bool Eventually(Done done, int ms = 2000)
{
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    while (!done() && Clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return done();
}

struct Jobs {
    std::mutex lock;
    std::condition_variable changed;
    int started = 0;
    int finished = 0;
    bool release = false;
    unsigned long lastThread = 0;

    // A job that waits until released, so that two can be seen at once.
    std::function<void()> Held()
    {
        return [this] {
            std::unique_lock<std::mutex> hold(lock);
            ++started;
            changed.notify_all();
            changed.wait(hold, [this] { return release; });
            lastThread = SrvCurrentThreadId();
            ++finished;
            changed.notify_all();
        };
    }
    void Release()
    {
        std::lock_guard<std::mutex> hold(lock);
        release = true;
        changed.notify_all();
    }
    int Finished()
    {
        std::lock_guard<std::mutex> hold(lock);
        return finished;
    }
};

} // namespace

TEST(WorkerPool, KeepsThreadsForLaterJobsButNeverQueuesBehindABusyOne)
{
    auto pool = std::make_shared<CWorkerPool>(4, 60000);
    Jobs jobs;
    jobs.Release();
    ASSERT_TRUE(pool->Run(jobs.Held()));
    ASSERT_TRUE(Eventually([&] { return jobs.Finished() == 1 && pool->IdleThreads() == 1; }));
    const unsigned long first = jobs.lastThread;
    ASSERT_TRUE(pool->Run(jobs.Held()));
    ASSERT_TRUE(Eventually([&] { return jobs.Finished() == 2; }));
    EXPECT_EQ(jobs.lastThread, first) << "the waiting thread took the job";

    // Two held jobs run side by side: the second got a thread of its own.
    Jobs held;
    ASSERT_TRUE(pool->Run(held.Held()));
    ASSERT_TRUE(pool->Run(held.Held()));
    {
        std::unique_lock<std::mutex> hold(held.lock);
        EXPECT_TRUE(held.changed.wait_for(hold, std::chrono::seconds(2), [&] { return held.started == 2; }));
    }
    held.Release();
    ASSERT_TRUE(Eventually([&] { return held.Finished() == 2 && pool->IdleThreads() == 2; }));

    // Closed, the waiting threads end; a later job still runs.
    pool->Close();
    EXPECT_TRUE(Eventually([&] { return pool->IdleThreads() == 0; }));
    ASSERT_TRUE(pool->Run(jobs.Held()));
    EXPECT_TRUE(Eventually([&] { return jobs.Finished() == 3; }));
    EXPECT_TRUE(Eventually([&] { return pool->IdleThreads() == 0; }));
}

TEST(WorkerPool, IdleThreadsEndAfterTheirWaitAndBeyondTheKeptNumber)
{
    auto pool = std::make_shared<CWorkerPool>(1, 100);
    Jobs held;
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(pool->Run(held.Held()));
    ASSERT_TRUE(Eventually([&] {
        std::lock_guard<std::mutex> hold(held.lock);
        return held.started == 3;
    }));
    held.Release();
    ASSERT_TRUE(Eventually([&] { return held.Finished() == 3; }));
    // Only one of the three stays, and only for its wait.
    EXPECT_LE(pool->IdleThreads(), 1u);
    EXPECT_TRUE(Eventually([&] { return pool->IdleThreads() == 0; }));
}
