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

// What the accept thread knows of a connection, to make room for another.
struct CGenericServer::ConnectionSlot {
    SrvWatch* watch = nullptr; // null until the connection thread watches
    Phase phase = Phase::kHeader;
    Clock::time_point phaseSince = Clock::now(); // a header's clock starts at the accept
    // While serving: the peer's recent rate, or -1 before it has kept us waiting.
    long long readRate = -1;
    bool ended = false; // told to end to make room
};

struct CGenericServer::Connection {
    SrvSocket socket = kSrvNoSocket;
    SrvWatch* watch = nullptr;
    ConnectionSlot* slot = nullptr;
    std::string request;
    int keepAlive = 0;
    // No byte of a next request yet: the idle limit applies, not the header's.
    bool idle = false;
    Clock::time_point headerDeadline;
    // The response being sent: when the peer last took a byte, how long
    // it has kept us waiting in this rate window and what it took in it.
    Clock::time_point lastProgress;
    int blockedMs = 0;
    long long windowBytes = 0;
    // Counting starts at the response's first wait for the peer.
    bool measuring = false;
    // The peer's recent rate: the span before and the current one.
    int spanMs[2] = {0, 0};
    long long spanBytes[2] = {0, 0};
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
    // Past the cap a refused connection costs a close, not a thread.
    ConnectionSlot* slot = TakeSlot();
    if (!slot) {
        SrvCloseSocket(socket);
        return;
    }
    OnConnect(peerAddress, peerPort);
    std::lock_guard<std::mutex> record(m_recordLock);
    auto* rec = new (std::nothrow) ConnectionRecord{this, socket, slot};
    SrvThread thread;
    if (rec && SrvStartThread(&CGenericServer::ConnectionThreadProc, rec, &thread, kConnectionStackBytes)) {
        std::lock_guard<std::mutex> list(m_threadListLock);
        m_connectionThreads.push_back(thread);
    } else {
        ReleaseSlot(slot);
        SrvCloseSocket(socket);
        delete rec;
    }
}

CGenericServer::ConnectionSlot* CGenericServer::TakeSlot()
{
    std::lock_guard<std::mutex> hold(m_slotLock);
    const Clock::time_point now = Clock::now();
    const Clock::time_point graceStart = now - std::chrono::milliseconds(kHeaderGraceMs);
    size_t taken = 0;
    ConnectionSlot* longestIdle = nullptr;
    ConnectionSlot* oldestHeader = nullptr;
    ConnectionSlot* slowestReader = nullptr;
    for (ConnectionSlot* slot : m_slots) {
        if (slot->ended)
            continue; // on its way out: its place is free already
        ++taken;
        if (slot->phase == Phase::kIdle) {
            if (!longestIdle || slot->phaseSince < longestIdle->phaseSince)
                longestIdle = slot;
        } else if (slot->phase == Phase::kHeader) {
            if (!oldestHeader || slot->phaseSince < oldestHeader->phaseSince)
                oldestHeader = slot;
        } else if (slot->readRate >= 0 && (!slowestReader || slot->readRate < slowestReader->readRate)) {
            slowestReader = slot;
        }
    }
    if (taken >= static_cast<size_t>(m_limits.maxConnections)) {
        // A connection between requests loses nothing it asked for. A real
        // client's header is whole within milliseconds, so a header that has
        // taken longer is a trickle, and goes before the slowest reader; one
        // younger than that goes only when nothing else can. A connection
        // whose answer is being made (a miss waiting for the CDN) stays.
        ConnectionSlot* victim = longestIdle;
        if (!victim && oldestHeader && oldestHeader->phaseSince <= graceStart)
            victim = oldestHeader;
        if (!victim)
            victim = slowestReader ? slowestReader : oldestHeader;
        if (!victim)
            return nullptr;
        victim->ended = true;
        if (victim->watch)
            SrvWakeWatch(victim->watch);
    }
    auto* slot = new (std::nothrow) ConnectionSlot;
    if (slot)
        m_slots.push_back(slot);
    return slot;
}

void CGenericServer::ReleaseSlot(ConnectionSlot* slot)
{
    {
        std::lock_guard<std::mutex> hold(m_slotLock);
        m_slots.remove(slot);
    }
    delete slot;
}

bool CGenericServer::EnterPhase(Connection& c, Phase phase)
{
    std::lock_guard<std::mutex> hold(m_slotLock);
    if (c.slot->ended)
        return false;
    if (c.slot->phase != phase) {
        c.slot->phase = phase;
        c.slot->phaseSince = Clock::now();
    }
    c.slot->readRate = -1;
    c.idle = phase == Phase::kIdle;
    return true;
}

bool CGenericServer::Ended(Connection& c)
{
    std::lock_guard<std::mutex> hold(m_slotLock);
    return c.slot->ended;
}

void CGenericServer::PublishRate(Connection& c, long long bytesPerSecond)
{
    std::lock_guard<std::mutex> hold(m_slotLock);
    c.slot->readRate = bytesPerSecond;
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
    // Joined outside the lock: a thread that is slow to return must not
    // hold up the accept thread's registration of new connections.
    std::deque<SrvThread> finished;
    {
        std::lock_guard<std::mutex> hold(m_threadListLock);
        finished.swap(m_finishedThreads);
    }
    for (const SrvThread& t : finished) {
        // The thread has left EndConnection; it only has to return.
        if (!SrvJoinThread(t, 1000))
            SrvDetachThread(t);
        else
            SrvCloseThread(t);
    }
}

unsigned CGenericServer::ConnectionThreadProc(void* arg)
{
    auto* record = static_cast<ConnectionRecord*>(arg);
    CGenericServer* server = record->server;
    Connection c;
    c.socket = record->socket;
    c.slot = record->slot;
    c.watch = SrvWatchSocket(c.socket);
    if (c.watch) {
        {
            std::lock_guard<std::mutex> hold(server->m_slotLock);
            c.slot->watch = c.watch;
        }
        server->ServeConnection(c);
    }
    // Nobody may wake the watch once it is closed.
    server->ReleaseSlot(c.slot);
    server->EndConnection(c.watch, c.socket, record, SrvCurrentThreadId());
    return kServerThreadExitCode;
}

void CGenericServer::ServeConnection(Connection& c)
{
    c.receiveArea.reset(new (std::nothrow) char[kReceiveAreaBytes]);
    if (!c.receiveArea)
        return;
    // A connection that sends nothing is held to the header's limit.
    c.headerDeadline = Clock::now() + std::chrono::milliseconds(m_limits.headerTimeoutMs);
    for (;;) {
        // Every whole request received so far is answered, in order.
        size_t length = 0;
        while (!c.request.empty() && IsComplete(c.request, &length)) {
            if (!EnterPhase(c, Phase::kServing))
                return;
            const std::unique_ptr<CResponse> response = HandleRequest(c.request.substr(0, length), &c.keepAlive);
            if (!response) {
                // Lingers as after any other last request, so that the
                // close does not reset the answers sent before it.
                Linger(c);
                return;
            }
            c.request.erase(0, length);
            if (SendResponse(c, *response) == Step::kEnd)
                return;
            if (c.keepAlive == 0) {
                Linger(c);
                return;
            }
            // A request already begun runs on the header's clock from now.
            if (!EnterPhase(c, c.request.empty() ? Phase::kIdle : Phase::kHeader))
                return;
            if (!c.request.empty())
                c.headerDeadline = Clock::now() + std::chrono::milliseconds(m_limits.headerTimeoutMs);
        }
        if (c.request.size() > kMaxRequestBytes)
            return;
        if (ReceiveMore(c) == Step::kEnd)
            return;
    }
}

CGenericServer::Step CGenericServer::ReceiveMore(Connection& c)
{
    // Fixed when the wait begins: bytes that trickle in do not move it.
    const Clock::time_point until =
        c.idle ? Clock::now() + std::chrono::milliseconds(m_limits.idleTimeoutMs) : c.headerDeadline;
    for (;;) {
        const long n = SrvRecv(c.socket, c.receiveArea.get(), kReceiveAreaBytes);
        if (n > 0) {
            if (c.idle) {
                if (!EnterPhase(c, Phase::kHeader))
                    return Step::kEnd;
                c.headerDeadline = Clock::now() + std::chrono::milliseconds(m_limits.headerTimeoutMs);
            }
            c.request.append(c.receiveArea.get(), static_cast<size_t>(n));
            return Step::kContinue;
        }
        if (n != kSrvWouldBlock)
            return Step::kEnd; // closed by the peer, or broken
        if (Ended(c))
            return Step::kEnd; // ended to make room for another (a wake-up without bytes)
        const int left = MillisecondsUntil(until);
        if (left == 0)
            return Step::kEnd; // idle too long, or the header too slow
        const int wait = SrvWaitConnection(c.watch, m_stopEvent, SrvWaitFor::kRead, left);
        if (wait == kSrvStopped || wait == kSrvWaitFailed)
            return Step::kEnd;
    }
}

CGenericServer::Step CGenericServer::SendResponse(Connection& c, CResponse& response)
{
    long long total = 0;
    c.blockedMs = 0;
    c.windowBytes = 0;
    c.measuring = false;
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
    // The stall clock runs only while there is something to send.
    c.lastProgress = Clock::now();
    while (length > 0) {
        const long n = SrvSend(c.socket, bytes, length, more);
        if (n > 0) {
            CountSent(c, n);
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
    c.lastProgress = Clock::now();
    while (length > 0) {
        if (!c.sendFileUnsupported) {
            const long n = SrvSendFile(c.socket, file, offset, length);
            if (n > 0) {
                CountSent(c, n);
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

void CGenericServer::CountSent(Connection& c, long bytes)
{
    if (c.measuring) {
        c.windowBytes += bytes;
        c.spanBytes[1] += bytes;
    }
    c.lastProgress = Clock::now();
}

bool CGenericServer::WaitWritable(Connection& c)
{
    if (!c.measuring) {
        // What went out before the first wait only filled the buffers.
        c.measuring = true;
        c.spanMs[0] = c.spanMs[1] = 0;
        c.spanBytes[0] = c.spanBytes[1] = 0;
    }
    // Only time spent waiting for the peer counts against its rate: a miss
    // that waits for a slow CDN is not the peer's fault.
    if (c.blockedMs >= m_limits.rateWindowMs) {
        const long long least = static_cast<long long>(m_limits.minBytesPerSecond) * m_limits.rateWindowMs / 1000;
        if (c.windowBytes < least)
            return false; // a trickle would hold the thread for ever
        c.blockedMs = 0;
        c.windowBytes = 0;
    }
    const int stallLeft = MillisecondsUntil(c.lastProgress + std::chrono::milliseconds(m_limits.stallTimeoutMs));
    if (stallLeft == 0)
        return false; // the peer has taken nothing for too long
    const Clock::time_point start = Clock::now();
    const int wait = SrvWaitConnection(c.watch, m_stopEvent, SrvWaitFor::kWrite,
                                       std::min({stallLeft, m_limits.rateWindowMs - c.blockedMs, kRecentRateSpanMs}));
    const int waited = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
    c.blockedMs += waited;
    c.spanMs[1] += waited;
    const int ms = c.spanMs[0] + c.spanMs[1];
    if (ms > 0)
        PublishRate(c, (c.spanBytes[0] + c.spanBytes[1]) * 1000 / ms);
    if (c.spanMs[1] >= kRecentRateSpanMs) {
        c.spanMs[0] = c.spanMs[1];
        c.spanBytes[0] = c.spanBytes[1];
        c.spanMs[1] = 0;
        c.spanBytes[1] = 0;
    }
    if (Ended(c))
        return false; // made room for another
    // After a time-out the caller's next send tells whether room was made.
    return wait == kSrvReady || wait == kSrvTimedOut;
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
        if (n == kSrvWouldBlock &&
            (SrvWaitConnection(c.watch, m_stopEvent, SrvWaitFor::kRead, left) != kSrvReady || Ended(c)))
            return;
    }
}
