#include "cacheserver/core/generic_server.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <new>

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsUntil(Clock::time_point until)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, INT_MAX));
}

} // namespace

struct CGenericServer::Connection {
    SrvSocket socket = kSrvNoSocket;
    SrvWatch* watch = nullptr;
    std::string request;
    int keepAlive = 0;
    std::unique_ptr<char[]> receiveArea;
    // Only for file bodies the system cannot send by itself.
    std::unique_ptr<char[]> sendArea;
    bool sendFileUnsupported = false;
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
    if (SrvStartThread(&CGenericServer::AcceptThreadProc, this, &m_acceptThread, 0) && WaitStarted()) {
        {
            std::lock_guard<std::mutex> hold(m_startLock);
            m_startState = StartState::kPending;
        }
        ok = SrvStartThread(&CGenericServer::ReaperThreadProc, this, &m_reaperThread, 0) && WaitStarted();
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
    OnStopped();

    SrvCloseStopEvent(m_stopEvent);
    m_stopEvent = nullptr;
    SrvNetCleanup();
    m_running = false;
}

void CGenericServer::SetLimits(int idleTimeoutMs, int maxConnections)
{
    m_idleTimeoutMs = idleTimeoutMs > 0 ? idleTimeoutMs : kDefaultIdleTimeoutMs;
    m_maxConnections = maxConnections > 0 ? static_cast<size_t>(maxConnections) : kDefaultMaxConnections;
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
    {
        // Past the cap a connection costs a close, not a thread.
        std::lock_guard<std::mutex> list(m_threadListLock);
        if (m_connectionThreads.size() >= m_maxConnections) {
            SrvCloseSocket(socket);
            return;
        }
    }
    OnConnect(peerAddress, peerPort);
    std::lock_guard<std::mutex> record(m_recordLock);
    auto* rec = new (std::nothrow) ConnectionRecord{this, socket};
    SrvThread thread;
    if (rec && SrvStartThread(&CGenericServer::ConnectionThreadProc, rec, &thread, kConnectionStackBytes)) {
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
            SrvDetachThread(t);
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
    c.watch = SrvWatchSocket(c.socket);
    if (c.watch)
        server->ServeConnection(c);
    server->EndConnection(c.watch, c.socket, record, SrvCurrentThreadId());
    return kServerThreadExitCode;
}

void CGenericServer::ServeConnection(Connection& c)
{
    c.receiveArea.reset(new (std::nothrow) char[kReceiveAreaBytes]);
    if (!c.receiveArea)
        return;
    for (;;) {
        // Every whole request received so far is answered, in order.
        size_t length = 0;
        while (!c.request.empty() && IsComplete(c.request, &length)) {
            const std::unique_ptr<CResponse> response = HandleRequest(c.request.substr(0, length), &c.keepAlive);
            if (!response)
                return;
            c.request.erase(0, length);
            if (SendResponse(c, *response) == Step::kEnd)
                return;
            if (c.keepAlive == 0) {
                Linger(c);
                return;
            }
        }
        if (c.request.size() > kMaxRequestBytes)
            return;
        if (ReceiveMore(c) == Step::kEnd)
            return;
    }
}

CGenericServer::Step CGenericServer::ReceiveMore(Connection& c)
{
    const Clock::time_point idleUntil = Clock::now() + std::chrono::milliseconds(m_idleTimeoutMs);
    for (;;) {
        const long n = SrvRecv(c.socket, c.receiveArea.get(), kReceiveAreaBytes);
        if (n > 0) {
            c.request.append(c.receiveArea.get(), static_cast<size_t>(n));
            return Step::kContinue;
        }
        if (n != kSrvWouldBlock)
            return Step::kEnd; // closed by the peer, or broken
        const int left = MillisecondsUntil(idleUntil);
        if (left == 0)
            return Step::kEnd; // idle too long
        const int wait = SrvWaitConnection(c.watch, m_stopEvent, SrvWaitFor::kRead, left);
        if (wait == kSrvStopped || wait == kSrvWaitFailed)
            return Step::kEnd;
    }
}

CGenericServer::Step CGenericServer::SendResponse(Connection& c, CResponse& response)
{
    long long total = 0;
    for (;;) {
        CResponse::Piece piece;
        bool sent = true;
        switch (response.NextPiece(kSendFilePieceBytes, &piece)) {
        case CResponse::Next::kWait:
            if (SrvWaitStop(m_stopEvent, 0))
                return Step::kEnd;
            continue;
        case CResponse::Next::kEnd:
            OnSent(static_cast<int>(std::min<long long>(total, INT_MAX)));
            return Step::kContinue;
        case CResponse::Next::kCut:
            // The peer sees the stream end before the announced length.
            SrvShutdownSend(c.socket);
            return Step::kEnd;
        case CResponse::Next::kBytes:
            sent = SendBytes(c, piece.bytes, piece.length, piece.more);
            break;
        case CResponse::Next::kFile:
            sent = SendFileRange(c, piece.file, piece.offset, piece.length);
            break;
        }
        if (!sent) {
            c.keepAlive = 0;
            return Step::kEnd;
        }
        total += piece.length;
    }
}

bool CGenericServer::SendBytes(Connection& c, const char* bytes, int length, bool more)
{
    while (length > 0) {
        const long n = SrvSend(c.socket, bytes, length, more);
        if (n > 0) {
            bytes += n;
            length -= static_cast<int>(n);
        } else if (n != kSrvWouldBlock || !WaitWritable(c)) {
            return false;
        }
    }
    return true;
}

bool CGenericServer::SendFileRange(Connection& c, SrvFile* file, long long offset, int length)
{
    while (length > 0) {
        if (!c.sendFileUnsupported) {
            const long n = SrvSendFile(c.socket, file, offset, length);
            if (n > 0) {
                offset += n;
                length -= static_cast<int>(n);
            } else if (n == kSrvUnsupported) {
                c.sendFileUnsupported = true;
            } else if (n != kSrvWouldBlock || !WaitWritable(c)) {
                return false; // includes a file that ended early
            }
            continue;
        }
        if (!c.sendArea) {
            c.sendArea.reset(new (std::nothrow) char[kSendAreaBytes]);
            if (!c.sendArea)
                return false;
        }
        const long got = SrvReadAt(file, offset, c.sendArea.get(), std::min(length, kSendAreaBytes));
        if (got <= 0 || !SendBytes(c, c.sendArea.get(), static_cast<int>(got), got < length))
            return false;
        offset += got;
        length -= static_cast<int>(got);
    }
    return true;
}

bool CGenericServer::WaitWritable(Connection& c)
{
    // A peer that takes nothing for as long as an idle connection may last
    // gives up its thread.
    return SrvWaitConnection(c.watch, m_stopEvent, SrvWaitFor::kWrite, m_idleTimeoutMs) == kSrvReady;
}

void CGenericServer::Linger(Connection& c)
{
    SrvShutdownSend(c.socket);
    const Clock::time_point until = Clock::now() + std::chrono::milliseconds(kLingerMs);
    for (;;) {
        const long n = SrvRecv(c.socket, c.receiveArea.get(), kReceiveAreaBytes);
        if (n == 0 || n == kSrvIoError)
            return;
        const int left = MillisecondsUntil(until);
        if (left == 0)
            return;
        if (n == kSrvWouldBlock && SrvWaitConnection(c.watch, m_stopEvent, SrvWaitFor::kRead, left) != kSrvReady)
            return;
    }
}
