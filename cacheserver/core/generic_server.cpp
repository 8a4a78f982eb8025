#include "cacheserver/core/generic_server.h"

#include "base/core/out_buf.h"

#include <algorithm>
#include <chrono>
#include <memory>

struct CGenericServer::Connection {
    SrvSocket socket = kSrvNoSocket;
    SrvWatch* watch = nullptr;
    std::string request;
    COutBuf out;
    int keepAlive = 0;
    bool pending = false;
    int sent = 0;
    // Bytes of the request buffer the current response answers.
    size_t answered = 0;
};

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
    if (!SrvNetStartup())
        return false;
    m_stopEvent = SrvCreateStopEvent();
    if (!m_stopEvent) {
        SrvNetCleanup();
        return false;
    }

    bool ok = false;
    {
        std::lock_guard<std::mutex> hold(m_startLock);
        m_startState = StartState::kPending;
    }
    if (SrvStartThread(&CGenericServer::AcceptThreadProc, this, &m_acceptThread) && WaitStarted()) {
        {
            std::lock_guard<std::mutex> hold(m_startLock);
            m_startState = StartState::kPending;
        }
        ok = SrvStartThread(&CGenericServer::ReaperThreadProc, this, &m_reaperThread) && WaitStarted();
    }
    if (!ok) {
        // Nothing has been accepted yet: ending the threads that did start is enough.
        SrvSignalStop(m_stopEvent);
        JoinAndClose(m_acceptThread);
        JoinAndClose(m_reaperThread);
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
    JoinAndClose(m_acceptThread);
    JoinAndClose(m_reaperThread);

    // No thread adds to the lists any more; connection threads still running
    // see the stop event and end by themselves.
    std::list<SrvThread> running;
    std::deque<SrvThread> finished;
    {
        std::lock_guard<std::mutex> hold(m_threadListLock);
        running.swap(m_connectionThreads);
        finished.swap(m_finishedThreads);
    }
    for (SrvThread& t : finished)
        JoinAndClose(t);
    for (SrvThread& t : running)
        JoinAndClose(t);

    SrvCloseStopEvent(m_stopEvent);
    m_stopEvent = nullptr;
    SrvNetCleanup();
    m_running = false;
}

size_t CGenericServer::ConnectionThreadCount()
{
    std::lock_guard<std::mutex> hold(m_threadListLock);
    return m_connectionThreads.size() + m_finishedThreads.size();
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
        if (socket == kSrvNoSocket)
            continue;
        AcceptConnection(socket, peer, peerPort);
    }
    SrvCloseListener(listener);
}

void CGenericServer::AcceptConnection(SrvSocket socket, const char* peerAddress, unsigned short peerPort)
{
    OnConnect(peerAddress, peerPort);
    std::lock_guard<std::mutex> record(m_recordLock);
    auto* rec = new (std::nothrow) ConnectionRecord{this, socket};
    SrvThread thread;
    if (rec && SrvStartThread(&CGenericServer::ConnectionThreadProc, rec, &thread)) {
        std::lock_guard<std::mutex> list(m_threadListLock);
        m_connectionThreads.push_back(thread);
    } else {
        SrvCloseSocket(socket);
        delete rec;
    }
}

void CGenericServer::EndConnection(SrvWatch* watch, SrvSocket socket, ConnectionRecord* record, unsigned long threadId)
{
    if (watch)
        SrvCloseWatch(watch);
    SrvCloseSocket(socket);
    {
        std::lock_guard<std::mutex> hold(m_recordLock);
        delete record;
    }
    std::lock_guard<std::mutex> hold(m_threadListLock);
    auto it = std::find_if(m_connectionThreads.begin(), m_connectionThreads.end(),
                           [threadId](const SrvThread& t) { return t.id == threadId; });
    if (it != m_connectionThreads.end()) {
        m_finishedThreads.push_back(*it);
        m_connectionThreads.erase(it);
    }
}

unsigned CGenericServer::ReaperThreadProc(void* arg)
{
    static_cast<CGenericServer*>(arg)->RunReaperThread();
    return kServerThreadExitCode;
}

void CGenericServer::RunReaperThread()
{
    ReportStarted(StartState::kReady);
    while (!SrvWaitStop(m_stopEvent, 100))
        ReapFinished();
}

void CGenericServer::ReapFinished()
{
    std::lock_guard<std::mutex> hold(m_threadListLock);
    while (!m_finishedThreads.empty()) {
        SrvThread t = m_finishedThreads.front();
        // The thread has left EndConnection; it only has to return.
        if (!SrvJoinThread(t, 1000))
            SrvAbandonThread(t);
        else
            SrvCloseThread(t);
        m_finishedThreads.pop_front();
    }
}

unsigned CGenericServer::ConnectionThreadProc(void* arg)
{
    auto* record = static_cast<ConnectionRecord*>(arg);
    CGenericServer* server = record->server;
    Connection c;
    c.socket = record->socket;
    c.out.SetGrowBy(256);
    c.watch = SrvWatchSocket(c.socket);
    if (c.watch)
        server->ServeConnection(c);
    server->EndConnection(c.watch, c.socket, record, SrvCurrentThreadId());
    return kServerThreadExitCode;
}

void CGenericServer::ServeConnection(Connection& c)
{
    std::unique_ptr<char[]> area(new (std::nothrow) char[kReceiveAreaBytes]);
    if (!area)
        return;
    for (;;) {
        int events = SrvWaitConnection(c.watch, m_stopEvent, c.pending);
        if (events < 0)
            return;
        if (events & kSrvRead) {
            const long n = SrvRecv(c.socket, area.get(), kReceiveAreaBytes);
            if (n == 0) {
                events |= kSrvClose;
            } else if (n > 0) {
                c.request.append(area.get(), static_cast<size_t>(n));
                if (c.request.size() > kMaxRequestBytes)
                    return;
                // Bytes that arrive while a response is pending wait for it.
                if (!c.pending && HandleCompleteRequests(c) == Step::kEnd)
                    return;
            }
        }
        if ((events & kSrvWrite) && c.pending) {
            if (SendStep(c) == Step::kEnd)
                return;
            if (!c.pending && HandleCompleteRequests(c) == Step::kEnd)
                return;
        }
        if (events & kSrvClose)
            return;
    }
}

CGenericServer::Step CGenericServer::HandleCompleteRequests(Connection& c)
{
    while (!c.pending && !c.request.empty() && IsComplete(c.request)) {
        if (!HandleRequest(c.request, &c.out, &c.keepAlive))
            return Step::kEnd;
        c.answered = c.request.size();
        c.sent = 0;
        if (SendStep(c) == Step::kEnd)
            return Step::kEnd;
    }
    return Step::kContinue;
}

CGenericServer::Step CGenericServer::SendStep(Connection& c)
{
    const int total = c.out.GetLength();
    while (c.sent < total) {
        const int piece = std::min(total - c.sent, kSendPieceBytes);
        const long n = SrvSend(c.socket, c.out.GetData() + c.sent, piece);
        if (n == kSrvWouldBlock) {
            c.pending = true;
            return Step::kContinue;
        }
        if (n < 0) {
            c.keepAlive = 0;
            break;
        }
        c.sent += static_cast<int>(n);
    }
    if (c.sent == total)
        OnSent(c.sent);
    if (c.keepAlive == 0)
        return Step::kEnd;
    c.request.erase(0, c.answered);
    c.answered = 0;
    // The storage serves the next response of this connection, unless it is
    // unusually large.
    if (c.out.GetCapacity() > kKeptOutputBytes)
        c.out.Clear();
    else
        c.out.Truncate(0);
    c.pending = false;
    return Step::kContinue;
}
