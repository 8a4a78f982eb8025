// The server's life (start and stop), the accept thread, and the queues
// that hand connections between the watch thread and the serving threads.
// Admission is in server_admission.cpp, the watch thread in
// server_watch.cpp, the serving threads in server_serving.cpp.
#include "cacheserver/core/generic_server.h"

#include "cacheserver/core/server_connection.h"

#include <new>

CGenericServer::CGenericServer() = default;

CGenericServer::~CGenericServer()
{
    Stop();
}

bool CGenericServer::Start(int port)
{
    if (m_running)
        return false;
    m_port = port & 0xffff;
    m_portTaken = false;
    try {
        m_awaitedWakeUps.reserve(kMaxServingThreads);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (!SrvNetStartup())
        return false;
    m_stopEvent = SrvCreateStopEvent();
    m_poller = m_stopEvent ? SrvCreatePoller() : nullptr;
    if (!m_poller) {
        SrvCloseStopEvent(m_stopEvent);
        m_stopEvent = nullptr;
        SrvNetCleanup();
        return false;
    }
    {
        std::lock_guard<std::mutex> hold(m_queueLock);
        m_stopping = false;
    }

    bool ok = false;
    {
        std::lock_guard<std::mutex> hold(m_startLock);
        m_startState = StartState::kPending;
    }
    if (SrvStartThread(&CGenericServer::AcceptThreadProc, this, &m_acceptThread, 0) && WaitStarted()) {
        {
            std::lock_guard<std::mutex> hold(m_startLock);
            m_startState = StartState::kPending;
        }
        ok = SrvStartThread(&CGenericServer::WatchThreadProc, this, &m_watchThread, 0) && WaitStarted();
    }
    if (!ok) {
        SrvSignalStop(m_stopEvent);
        SrvWakePoller(m_poller);
        JoinAndClose(m_acceptThread);
        JoinAndClose(m_watchThread);
        // The accept thread may have admitted connections the watch thread
        // never took.
        CloseQueued();
        SrvClosePoller(m_poller);
        m_poller = nullptr;
        SrvCloseStopEvent(m_stopEvent);
        m_stopEvent = nullptr;
        SrvNetCleanup();
        return false;
    }
    m_running = true;
    return true;
}

void CGenericServer::Stop()
{
    if (!m_running)
        return;
    SrvSignalStop(m_stopEvent);
    SrvWakePoller(m_poller);
    {
        // A newcomer waiting for a slot sees the stop now.
        std::lock_guard<std::mutex> hold(m_slotLock);
    }
    m_slotFreed.notify_all();
    // No new connection arrives once the accept thread has ended; the watch
    // thread closes those it holds.
    JoinAndClose(m_acceptThread);
    JoinAndClose(m_watchThread);
    std::vector<SrvThread> serving;
    {
        std::lock_guard<std::mutex> hold(m_queueLock);
        m_stopping = true;
        serving.swap(m_servingThreads);
        EndWakeUpWaitsLocked();
    }
    m_serveQueued.notify_all();
    // A serving thread ends its response at the stop signal and hands the
    // connection over; what is left in the queues is closed here.
    for (SrvThread& t : serving)
        JoinAndClose(t);
    CloseQueued();
    OnStopped();

    SrvClosePoller(m_poller);
    m_poller = nullptr;
    SrvCloseStopEvent(m_stopEvent);
    m_stopEvent = nullptr;
    SrvNetCleanup();
    m_running = false;
}

void CGenericServer::SetLimits(const ServerLimits& limits)
{
    const ServerLimits defaults;
    const auto pick = [](int value, int otherwise) { return value > 0 ? value : otherwise; };
    m_limits.idleTimeoutMs = pick(limits.idleTimeoutMs, defaults.idleTimeoutMs);
    m_limits.headerTimeoutMs = pick(limits.headerTimeoutMs, defaults.headerTimeoutMs);
    m_limits.stallTimeoutMs = pick(limits.stallTimeoutMs, defaults.stallTimeoutMs);
    m_limits.minBytesPerSecond = pick(limits.minBytesPerSecond, defaults.minBytesPerSecond);
    m_limits.rateWindowMs = pick(limits.rateWindowMs, defaults.rateWindowMs);
    m_limits.maxConnections = pick(limits.maxConnections, defaults.maxConnections);
}

size_t CGenericServer::ConnectionCount()
{
    std::lock_guard<std::mutex> hold(m_slotLock);
    return m_slots.size();
}

size_t CGenericServer::ServingThreadCount()
{
    std::lock_guard<std::mutex> hold(m_queueLock);
    return m_servingThreads.size();
}

void CGenericServer::JoinAndClose(SrvThread& thread)
{
    if (thread.handle == 0)
        return;
    SrvJoinThread(thread, -1);
    SrvCloseThread(thread);
    thread = SrvThread();
}

void CGenericServer::ReportStarted(StartState state, bool portTaken)
{
    std::lock_guard<std::mutex> hold(m_startLock);
    m_startState = state;
    if (portTaken)
        m_portTaken = true;
    m_startChanged.notify_all();
}

bool CGenericServer::WaitStarted()
{
    std::unique_lock<std::mutex> hold(m_startLock);
    m_startChanged.wait_for(hold, std::chrono::milliseconds(kStartWaitMs),
                            [this] { return m_startState != StartState::kPending; });
    return m_startState == StartState::kReady;
}

unsigned CGenericServer::AcceptThreadProc(void* arg)
{
    static_cast<CGenericServer*>(arg)->RunAcceptThread();
    return kServerThreadExitCode;
}

void CGenericServer::RunAcceptThread()
{
    SrvListenStatus status = SrvListenStatus::kFailed;
    SrvListener* listener = SrvListen(m_port, &status);
    if (!listener) {
        // Tell Start now rather than letting it wait out its time-out.
        ReportStarted(StartState::kFailed, status == SrvListenStatus::kAddressInUse);
        return;
    }
    // Port 0 asks the system for one: report the one it chose.
    m_port = SrvListenerPort(listener);
    ReportStarted(StartState::kReady);

    for (;;) {
        const SrvAcceptWait wait = SrvWaitAccept(listener, m_stopEvent);
        if (wait == SrvAcceptWait::kStopped || wait == SrvAcceptWait::kFailed)
            break;
        if (wait == SrvAcceptWait::kNothing)
            continue;
        char peer[16];
        unsigned short peerPort = 0;
        const SrvSocket socket = SrvAccept(listener, peer, &peerPort);
        if (socket == kSrvOutOfSockets) {
            // Closing connections give their sockets back meanwhile.
            SrvWaitStop(m_stopEvent, kAcceptBackoffMs);
            continue;
        }
        if (socket == kSrvNoSocket)
            continue;
        AcceptConnection(socket, peer, peerPort);
    }
    SrvCloseListener(listener);
}

void CGenericServer::AcceptConnection(SrvSocket socket, const char* peerAddress, unsigned short peerPort)
{
    // Past the cap a refused connection costs a close.
    ConnectionSlot* slot = TakeSlot();
    if (!slot)
        slot = AwaitSlot();
    if (!slot) {
        SrvCloseSocket(socket);
        return;
    }
    ConnectionPtr c(new (std::nothrow) Connection(socket, slot));
    if (!c) {
        ReleaseSlot(slot);
        SrvCloseSocket(socket);
        return;
    }
    OnConnect(peerAddress, peerPort);
    // A connection that sends nothing is held to the header's limit.
    c->deadline = SrvClock::now() + SrvMilliseconds(m_limits.headerTimeoutMs);
    Watch(std::move(c));
}

void CGenericServer::Close(ConnectionPtr c)
{
    ConnectionSlot* slot = c->slot;
    c.reset(); // closes the socket
    if (slot)
        ReleaseSlot(slot);
}

void CGenericServer::CloseQueued()
{
    std::deque<ConnectionPtr> left;
    {
        std::lock_guard<std::mutex> hold(m_queueLock);
        left.swap(m_toServe);
        for (ConnectionPtr& c : m_toDispose)
            left.push_back(std::move(c));
        m_toDispose.clear();
        for (ConnectionPtr& c : m_toWatch)
            left.push_back(std::move(c));
        m_toWatch.clear();
        m_freeServingThreads = 0;
    }
    for (ConnectionPtr& c : left)
        Close(std::move(c));
}

void CGenericServer::Watch(ConnectionPtr c)
{
    {
        std::lock_guard<std::mutex> hold(m_queueLock);
        m_toWatch.push_back(std::move(c));
    }
    WakeWatch();
}

void CGenericServer::WakeWatch()
{
    if (!m_watchWakePending.exchange(true))
        SrvWakePoller(m_poller);
}

void CGenericServer::QueueToServe(ConnectionPtr c)
{
    ConnectionPtr unserved;
    {
        std::lock_guard<std::mutex> hold(m_queueLock);
        std::deque<ConnectionPtr>& queue = c->closing ? m_toDispose : m_toServe;
        queue.push_back(std::move(c));
        // A thread more while the waiting outnumber the free, up to the
        // bound; past it the queue waits for a thread to finish its step.
        const size_t waiting = m_toServe.size() + m_toDispose.size();
        if (m_freeServingThreads < waiting && m_servingThreads.size() < kMaxServingThreads) {
            SrvThread thread;
            if (SrvStartThread(&CGenericServer::ServingThreadProc, this, &thread, kServingStackBytes)) {
                m_servingThreads.push_back(thread);
                ++m_freeServingThreads;
            }
        }
        if (m_servingThreads.empty()) {
            // Not a single thread could be had: nobody would ever answer.
            unserved = std::move(queue.back());
            queue.pop_back();
        }
        // A thread waiting for a response's wake-up gives way.
        if (!unserved)
            EndWakeUpWaitsLocked();
    }
    if (unserved) {
        Close(std::move(unserved));
        return;
    }
    m_serveQueued.notify_one();
}

void CGenericServer::EndWakeUpWaitsLocked()
{
    for (WakeState* wake : m_awaitedWakeUps)
        wake->came.notify_one();
}

CGenericServer::ConnectionPtr CGenericServer::NextToServe()
{
    std::unique_lock<std::mutex> hold(m_queueLock);
    m_serveQueued.wait(hold, [this] { return m_stopping || !m_toServe.empty() || !m_toDispose.empty(); });
    if (m_stopping)
        return nullptr;
    std::deque<ConnectionPtr>& queue = m_toServe.empty() ? m_toDispose : m_toServe;
    ConnectionPtr c = std::move(queue.front());
    queue.pop_front();
    --m_freeServingThreads;
    return c;
}
