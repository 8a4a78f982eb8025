#include "cacheserver/core/worker_pool.h"

#include "cacheserver/core/generic_server.h"
#include "cacheserver/core/server_platform.h"

#include <chrono>
#include <new>
#include <utility>

struct CWorkerPool::Start {
    std::shared_ptr<CWorkerPool> pool;
    std::function<void()> job;
};

CWorkerPool::CWorkerPool(size_t idleKept, int idleMs) : m_idleKept(idleKept), m_idleMs(idleMs) {}

bool CWorkerPool::Run(std::function<void()> job)
{
    {
        std::lock_guard<std::mutex> hold(m_lock);
        // Each waiting thread takes one job: more queued than waiting would
        // leave the rest to wait for a job to end.
        if (m_idle > m_jobs.size()) {
            m_jobs.push_back(std::move(job));
            m_jobCame.notify_one();
            return true;
        }
    }
    auto* start = new (std::nothrow) Start{shared_from_this(), std::move(job)};
    SrvThread thread;
    if (!start || !SrvStartThread(&CWorkerPool::ThreadProc, start, &thread, 0)) {
        delete start;
        return false;
    }
    SrvDetachThread(thread);
    return true;
}

void CWorkerPool::Close()
{
    std::lock_guard<std::mutex> hold(m_lock);
    m_closed = true;
    m_jobCame.notify_all();
}

size_t CWorkerPool::IdleThreads()
{
    std::lock_guard<std::mutex> hold(m_lock);
    return m_idle;
}

unsigned CWorkerPool::ThreadProc(void* arg)
{
    std::unique_ptr<Start> start(static_cast<Start*>(arg));
    const std::shared_ptr<CWorkerPool> pool = std::move(start->pool);
    std::function<void()> job = std::move(start->job);
    start.reset();
    pool->Work(std::move(job));
    return kServerThreadExitCode;
}

void CWorkerPool::Work(std::function<void()> job)
{
    for (;;) {
        job();
        // Whatever the job held goes before the wait, not at the next job.
        job = nullptr;
        std::unique_lock<std::mutex> hold(m_lock);
        if (m_closed || m_idle >= m_idleKept)
            return;
        ++m_idle;
        m_jobCame.wait_for(hold, std::chrono::milliseconds(m_idleMs), [this] { return m_closed || !m_jobs.empty(); });
        --m_idle;
        // A job queued for this thread is run even when the pool has closed
        // meanwhile: Run promised it a thread.
        if (m_jobs.empty())
            return;
        job = std::move(m_jobs.front());
        m_jobs.pop_front();
    }
}
