// Threads that run one job after another. Starting a thread is dear on some
// systems (a fresh stack is zeroed and faulted in page by page, and the
// thread is announced to every loaded module), dearer than a small miss
// itself: a thread that has finished its job waits a while for the next.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class CWorkerPool : public std::enable_shared_from_this<CWorkerPool> {
public:
    // idleKept: threads at most that wait for work; idleMs: how long each
    // waits before it ends.
    CWorkerPool(size_t idleKept, int idleMs);

    // Runs job on a waiting thread, else on a new one; false when no
    // thread could be had. A job is never joined: one that does not end
    // holds up nothing but its own thread.
    bool Run(std::function<void()> job);
    // Waiting threads end now, busy ones after their job; jobs still run.
    void Close();
    // Threads that wait for work (for tests).
    size_t IdleThreads();

private:
    struct Start;
    static unsigned ThreadProc(void* arg);
    void Work(std::function<void()> job);

    const size_t m_idleKept;
    const int m_idleMs;
    std::mutex m_lock;
    std::condition_variable m_jobCame;
    std::deque<std::function<void()>> m_jobs;
    size_t m_idle = 0;
    bool m_closed = false;
};
