#include "cacheserver/core/generic_server.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <new>

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsUntil(Clock::time_point until)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, INT_MAX));
}

int MillisecondsBetween(Clock::time_point from, Clock::time_point to)
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
    return ms <= 0 ? 0 : static_cast<int>(std::min<long long>(ms, INT_MAX));
}

} // namespace

// What the accept thread knows of a connection, to make room for another.
struct CGenericServer::ConnectionSlot {
    Phase phase = Phase::kHeader;
    Clock::time_point phaseSince = Clock::now(); // a header's clock starts at the accept
    // While serving: the peer's recent rate, or -1 before it has been
    // measured; and since when the answer has waited for the peer to make
    // room, while it has not been measured.
    long long readRate = -1;
    bool waitingForRoom = false;
    Clock::time_point waitingSince;
    bool ended = false; // told to end to make room
};

struct CGenericServer::Connection {
    // What the watch thread waits for.
    enum class Wait {
        kRequest,  // bytes of a request (or of the next one)
        kWritable, // room for more of the response
        kResponse, // the response's wake-up (a miss waiting for the CDN)
        kLinger,   // the peer's close, after the last answer
    };

    Connection(SrvSocket socket, ConnectionSlot* slot) : socket(socket), slot(slot) {}
    ~Connection() { SrvCloseSocket(socket); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    const SrvSocket socket;
    ConnectionSlot* const slot;
    Wait wait = Wait::kRequest;
    // kRequest: when the header must be whole (or the idle wait ends);
    // kLinger: when the lingering ends.
    Clock::time_point deadline;
    std::string request;
    int keepAlive = 0;
    // No byte of a next request yet: the idle limit applies, not the header's.
    bool idle = false;

    // The response being sent, and the piece of it not yet sent whole.
    std::unique_ptr<CResponse> response;
    CResponse::Piece piece;
    bool pieceHeld = false;
    bool pieceIsFile = false;
    int pieceSent = 0;
    long long total = 0;
    bool sendFileUnsupported = false;
    // Set by the response's wake-up; shared, as the response may call it
    // from another thread until it is destroyed.
    std::shared_ptr<std::atomic<bool>> woken;
    bool wakeable = false;
    // When the peer last took a byte, when the current wait for room began,
    // how long it has kept us waiting in this rate window and what it took
    // in it. Counting starts at the response's first wait for the peer.
    Clock::time_point lastProgress;
    Clock::time_point waitingSince;
    int blockedMs = 0;
    long long windowBytes = 0;
    bool measuring = false;
    // The peer's recent rate: the span before and the current one.
    int spanMs[2] = {0, 0};
    long long spanBytes[2] = {0, 0};
};

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
        // Nothing has been accepted yet: ending the threads that did start is enough.
        SrvSignalStop(m_stopEvent);
        SrvWakePoller(m_poller);
        JoinAndClose(m_acceptThread);
        JoinAndClose(m_watchThread);
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
    // No new connection arrives once the accept thread has ended; the watch
    // thread closes those it holds.
    JoinAndClose(m_acceptThread);
    JoinAndClose(m_watchThread);
    std::vector<SrvThread> serving;
    {
        std::lock_guard<std::mutex> hold(m_queueLock);
        m_stopping = true;
        serving.swap(m_servingThreads);
    }
    m_serveQueued.notify_all();
    // A serving thread ends its response at the stop signal and hands the
    // connection over; what is left in the queues is closed here.
    for (SrvThread& t : serving)
        JoinAndClose(t);
    std::deque<ConnectionPtr> left;
    {
        std::lock_guard<std::mutex> hold(m_queueLock);
        left.swap(m_toServe);
        for (ConnectionPtr& c : m_toWatch)
            left.push_back(std::move(c));
        m_toWatch.clear();
        m_freeServingThreads = 0;
    }
    for (ConnectionPtr& c : left)
        Close(std::move(c));
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
    c->deadline = Clock::now() + std::chrono::milliseconds(m_limits.headerTimeoutMs);
    Watch(std::move(c));
}

void CGenericServer::Close(ConnectionPtr c)
{
    ConnectionSlot* slot = c->slot;
    c.reset(); // closes the socket
    ReleaseSlot(slot);
}

void CGenericServer::Watch(ConnectionPtr c)
{
    {
        std::lock_guard<std::mutex> hold(m_queueLock);
        m_toWatch.push_back(std::move(c));
    }
    SrvWakePoller(m_poller);
}

void CGenericServer::QueueToServe(ConnectionPtr c)
{
    ConnectionPtr unserved;
    {
        std::lock_guard<std::mutex> hold(m_queueLock);
        m_toServe.push_back(std::move(c));
        // A thread more while the waiting outnumber the free, up to the
        // bound; past it the queue waits for a thread to finish its step.
        if (m_freeServingThreads < m_toServe.size() && m_servingThreads.size() < kMaxServingThreads) {
            SrvThread thread;
            if (SrvStartThread(&CGenericServer::ServingThreadProc, this, &thread, kServingStackBytes)) {
                m_servingThreads.push_back(thread);
                ++m_freeServingThreads;
            }
        }
        if (m_servingThreads.empty()) {
            // Not a single thread could be had: nobody would ever answer.
            unserved = std::move(m_toServe.back());
            m_toServe.pop_back();
        }
    }
    if (unserved)
        Close(std::move(unserved));
    else
        m_serveQueued.notify_one();
}

CGenericServer::ConnectionPtr CGenericServer::NextToServe()
{
    std::unique_lock<std::mutex> hold(m_queueLock);
    m_serveQueued.wait(hold, [this] { return m_stopping || !m_toServe.empty(); });
    if (m_stopping)
        return nullptr;
    ConnectionPtr c = std::move(m_toServe.front());
    m_toServe.pop_front();
    --m_freeServingThreads;
    return c;
}

unsigned CGenericServer::WatchThreadProc(void* arg)
{
    static_cast<CGenericServer*>(arg)->RunWatchThread();
    return kServerThreadExitCode;
}

void CGenericServer::RunWatchThread()
{
    std::unique_ptr<char[]> area(new (std::nothrow) char[kReceiveAreaBytes]);
    if (!area) {
        ReportStarted(StartState::kFailed);
        return;
    }
    ReportStarted(StartState::kReady);
    std::vector<ConnectionPtr> watched, kept;
    std::vector<SrvPollItem> items;
    // Each watched connection's item, if it has one.
    constexpr size_t kNotPolled = SIZE_MAX;
    std::vector<size_t> polled;
    while (!SrvWaitStop(m_stopEvent, 0)) {
        {
            std::lock_guard<std::mutex> hold(m_queueLock);
            for (ConnectionPtr& c : m_toWatch)
                watched.push_back(std::move(c));
            m_toWatch.clear();
        }
        // A response waiting for its wake-up has no socket to wait on.
        items.clear();
        polled.assign(watched.size(), kNotPolled);
        Clock::time_point soonest = Clock::time_point::max();
        for (size_t i = 0; i < watched.size(); ++i) {
            const Connection& c = *watched[i];
            if (c.wait != Connection::Wait::kResponse) {
                polled[i] = items.size();
                items.push_back({c.socket, c.wait == Connection::Wait::kWritable, false});
            }
            soonest = std::min(soonest, NextDeadline(c));
        }
        // Rounded up, so that a deadline is past when the wait ends.
        const int timeoutMs = soonest == Clock::time_point::max() ? -1 : MillisecondsUntil(soonest) + 1;
        if (!SrvPoll(m_poller, items.data(), items.size(), timeoutMs)) {
            // Should the wait keep failing, connections still meet their
            // deadlines below rather than waiting for ever.
            SrvWaitStop(m_stopEvent, 10);
        }
        kept.clear();
        for (size_t i = 0; i < watched.size(); ++i) {
            Connection& c = *watched[i];
            Next next = Ended(c) ? Next::kClose : Next::kWatch;
            if (next == Next::kWatch && polled[i] != kNotPolled && items[polled[i]].ready)
                next = OnReady(c, area.get());
            if (next == Next::kWatch)
                next = OnClock(c);
            if (next == Next::kWatch)
                kept.push_back(std::move(watched[i]));
            else if (next == Next::kServe)
                QueueToServe(std::move(watched[i]));
            else
                Close(std::move(watched[i]));
        }
        watched.swap(kept);
    }
    for (ConnectionPtr& c : watched)
        Close(std::move(c));
}

CGenericServer::Clock::time_point CGenericServer::NextDeadline(const Connection& c) const
{
    if (c.wait != Connection::Wait::kWritable)
        return c.deadline;
    // The stall limit, the end of the rate window and of the recent-rate
    // span: each is looked at when it comes.
    return std::min({c.lastProgress + std::chrono::milliseconds(m_limits.stallTimeoutMs),
                     c.waitingSince + std::chrono::milliseconds(m_limits.rateWindowMs - c.blockedMs),
                     c.waitingSince + std::chrono::milliseconds(kRecentRateSpanMs - c.spanMs[1])});
}

CGenericServer::Next CGenericServer::OnReady(Connection& c, char* area)
{
    if (c.wait == Connection::Wait::kWritable) {
        const Next next = AccountWait(c);
        return next == Next::kWatch ? Next::kServe : next;
    }
    if (c.wait == Connection::Wait::kLinger) {
        // Read only so that the close stays orderly.
        const long n = SrvRecv(c.socket, area, kReceiveAreaBytes);
        return n > 0 || n == kSrvWouldBlock ? Next::kWatch : Next::kClose;
    }
    return ReceiveRequest(c, area, kReceiveAreaBytes);
}

CGenericServer::Next CGenericServer::ReceiveRequest(Connection& c, char* area, int areaBytes)
{
    const long n = SrvRecv(c.socket, area, areaBytes);
    if (n == kSrvWouldBlock)
        return Next::kWatch;
    if (n <= 0)
        return Next::kClose; // closed by the peer, or broken
    if (c.idle) {
        if (!EnterPhase(c, Phase::kHeader))
            return Next::kClose;
        c.deadline = Clock::now() + std::chrono::milliseconds(m_limits.headerTimeoutMs);
    }
    c.request.append(area, static_cast<size_t>(n));
    if (IsComplete(c.request, nullptr))
        return EnterPhase(c, Phase::kServing) ? Next::kServe : Next::kClose;
    return c.request.size() > kMaxRequestBytes ? Next::kClose : Next::kWatch;
}

// A kept-alive peer usually asks again at once: waiting for that here a
// little, while nobody else waits for a thread, spares two hand-overs.
CGenericServer::Next CGenericServer::AwaitNextRequest(Connection& c, std::unique_ptr<char[]>& area)
{
    if (!area) {
        area.reset(new (std::nothrow) char[kSendAreaBytes]);
        if (!area)
            return Next::kWatch;
    }
    const Clock::time_point until = Clock::now() + std::chrono::milliseconds(kNextRequestWaitMs);
    for (;;) {
        {
            std::lock_guard<std::mutex> hold(m_queueLock);
            if (!m_toServe.empty())
                return Next::kWatch;
        }
        const int left = MillisecondsUntil(until);
        if (left == 0 || !SrvWaitReadable(c.socket, left))
            return Next::kWatch;
        const Next next = ReceiveRequest(c, area.get(), kSendAreaBytes);
        if (next != Next::kWatch)
            return next;
    }
}

CGenericServer::Next CGenericServer::OnClock(Connection& c)
{
    if (c.wait == Connection::Wait::kResponse)
        return c.woken->load() || Clock::now() >= c.deadline ? Next::kServe : Next::kWatch;
    if (c.wait == Connection::Wait::kWritable) {
        if (Clock::now() < NextDeadline(c))
            return Next::kWatch;
        return AccountWait(c);
    }
    // Fixed when the wait began: bytes that trickle in do not move it.
    return Clock::now() < c.deadline ? Next::kWatch : Next::kClose;
}

// Counts a wait for room against the peer, and ends the connection when the
// peer has taken too little in the rate window or nothing for too long.
CGenericServer::Next CGenericServer::AccountWait(Connection& c)
{
    // Only time spent waiting for the peer counts against its rate: a miss
    // that waits for a slow CDN is not the peer's fault.
    const Clock::time_point now = Clock::now();
    const int waited = MillisecondsBetween(c.waitingSince, now);
    c.waitingSince = now;
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
    if (c.blockedMs >= m_limits.rateWindowMs) {
        const long long least = static_cast<long long>(m_limits.minBytesPerSecond) * m_limits.rateWindowMs / 1000;
        if (c.windowBytes < least)
            return Next::kClose; // a trickle would hold its slot for ever
        c.blockedMs = 0;
        c.windowBytes = 0;
    }
    if (now - c.lastProgress >= std::chrono::milliseconds(m_limits.stallTimeoutMs))
        return Next::kClose; // the peer has taken nothing for too long
    return Next::kWatch;
}

unsigned CGenericServer::ServingThreadProc(void* arg)
{
    static_cast<CGenericServer*>(arg)->RunServingThread();
    return kServerThreadExitCode;
}

void CGenericServer::RunServingThread()
{
    // For file bodies the system cannot send by itself, and a next request.
    std::unique_ptr<char[]> area;
    while (ConnectionPtr c = NextToServe()) {
        const Next next = Serve(*c, area);
        {
            std::lock_guard<std::mutex> hold(m_queueLock);
            ++m_freeServingThreads;
        }
        if (next == Next::kWatch)
            Watch(std::move(c));
        else
            Close(std::move(c));
    }
}

CGenericServer::Next CGenericServer::Serve(Connection& c, std::unique_ptr<char[]>& area)
{
    for (;;) {
        if (!c.response) {
            // Every whole request received so far is answered, in order.
            size_t length = 0;
            if (c.request.empty() || !IsComplete(c.request, &length)) {
                // A request already begun runs on the header's clock from now.
                if (!EnterPhase(c, c.request.empty() ? Phase::kIdle : Phase::kHeader))
                    return Next::kClose;
                c.wait = Connection::Wait::kRequest;
                c.deadline = Clock::now() +
                             std::chrono::milliseconds(c.idle ? m_limits.idleTimeoutMs : m_limits.headerTimeoutMs);
                const Next next = AwaitNextRequest(c, area);
                if (next != Next::kServe)
                    return next;
                continue;
            }
            if (!EnterPhase(c, Phase::kServing))
                return Next::kClose;
            c.response = HandleRequest(c.request.substr(0, length), &c.keepAlive);
            // Lingers as after any other last request, so that the close
            // does not reset the answers sent before it.
            if (!c.response)
                return StartLinger(c);
            c.request.erase(0, length);
            if (!c.woken)
                c.woken = std::make_shared<std::atomic<bool>>(false);
            c.wakeable = c.response->SetWakeUp([woken = c.woken, poller = m_poller] {
                woken->store(true);
                SrvWakePoller(poller);
            });
            c.pieceHeld = false;
            c.total = 0;
            c.blockedMs = 0;
            c.windowBytes = 0;
            c.measuring = false;
        }
        switch (Pump(c, area)) {
        case Pumped::kBlocked:
            if (!c.measuring) {
                // What went out before the first wait only filled the buffers.
                c.measuring = true;
                c.spanMs[0] = c.spanMs[1] = 0;
                c.spanBytes[0] = c.spanBytes[1] = 0;
            }
            c.wait = Connection::Wait::kWritable;
            c.waitingSince = Clock::now();
            PublishWaitingForRoom(c);
            return Next::kWatch;
        case Pumped::kWaiting:
            c.wait = Connection::Wait::kResponse;
            c.deadline = Clock::now() + std::chrono::milliseconds(kResponseRecheckMs);
            return Next::kWatch;
        case Pumped::kCut:
            // The peer sees the stream end before the announced length.
            SrvShutdownSend(c.socket);
            return Next::kClose;
        case Pumped::kFailed:
            return Next::kClose;
        case Pumped::kDone:
            OnSent(static_cast<int>(std::min<long long>(c.total, INT_MAX)));
            c.response.reset();
            if (c.keepAlive == 0)
                return StartLinger(c);
            break;
        }
    }
}

// Sends what the peer has room for.
CGenericServer::Pumped CGenericServer::Pump(Connection& c, std::unique_ptr<char[]>& area)
{
    for (;;) {
        if (!c.pieceHeld) {
            // Ended to make room for another, or by the stop.
            if (Ended(c) || SrvWaitStop(m_stopEvent, 0))
                return Pumped::kFailed;
            c.piece = CResponse::Piece();
            // Cleared before asking: a wake-up from now on is not lost.
            if (c.wakeable)
                c.woken->store(false);
            const CResponse::Next next = c.response->NextPiece(kSendFilePieceBytes, &c.piece);
            if (next == CResponse::Next::kWait) {
                if (c.wakeable)
                    return Pumped::kWaiting;
                continue;
            }
            if (next == CResponse::Next::kEnd)
                return Pumped::kDone;
            if (next == CResponse::Next::kCut)
                return Pumped::kCut;
            c.pieceIsFile = next == CResponse::Next::kFile;
            c.pieceHeld = true;
            c.pieceSent = 0;
            // The stall clock runs only while there is something to send.
            c.lastProgress = Clock::now();
        }
        if (c.pieceSent < c.piece.length) {
            const long n = c.pieceIsFile ? SendFilePart(c, area)
                                        : SrvSend(c.socket, c.piece.bytes + c.pieceSent,
                                                  c.piece.length - c.pieceSent, c.piece.more);
            if (n == kSrvWouldBlock)
                return Pumped::kBlocked;
            if (n <= 0)
                return Pumped::kFailed; // includes a file that ended early
            CountSent(c, n);
            c.pieceSent += static_cast<int>(n);
        }
        if (c.pieceSent >= c.piece.length) {
            c.pieceHeld = false;
            c.total += c.piece.length;
        }
    }
}

long CGenericServer::SendFilePart(Connection& c, std::unique_ptr<char[]>& area)
{
    const long long offset = c.piece.offset + c.pieceSent;
    const int left = c.piece.length - c.pieceSent;
    if (!c.sendFileUnsupported) {
        const long n = SrvSendFile(c.socket, c.piece.file, offset, left);
        if (n != kSrvUnsupported)
            return n;
        c.sendFileUnsupported = true;
    }
    if (!area) {
        area.reset(new (std::nothrow) char[kSendAreaBytes]);
        if (!area)
            return kSrvIoError;
    }
    // What the peer has no room for is read again next time: the bytes of
    // a cache file never change once written.
    const long got = SrvReadAt(c.piece.file, offset, area.get(), std::min(left, kSendAreaBytes));
    if (got <= 0)
        return kSrvIoError;
    return SrvSend(c.socket, area.get(), static_cast<int>(got), got < left || c.piece.more);
}

void CGenericServer::CountSent(Connection& c, long bytes)
{
    if (c.measuring) {
        c.windowBytes += bytes;
        c.spanBytes[1] += bytes;
    }
    if (bytes > 0)
        c.lastProgress = Clock::now();
}

CGenericServer::Next CGenericServer::StartLinger(Connection& c)
{
    // A closed connection still reads what the peer sends for a while.
    SrvShutdownSend(c.socket);
    c.request.clear();
    c.wait = Connection::Wait::kLinger;
    c.deadline = Clock::now() + std::chrono::milliseconds(kLingerMs);
    return Next::kWatch;
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
    ConnectionSlot* longestUnmeasured = nullptr;
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
        } else if (slot->readRate >= 0) {
            if (!slowestReader || slot->readRate < slowestReader->readRate)
                slowestReader = slot;
        } else if (slot->waitingForRoom) {
            if (!longestUnmeasured || slot->waitingSince < longestUnmeasured->waitingSince)
                longestUnmeasured = slot;
        }
    }
    if (taken >= static_cast<size_t>(m_limits.maxConnections)) {
        // A connection between requests loses nothing it asked for. A real
        // client's header is whole within milliseconds, so a header that has
        // taken longer is a trickle, and goes before the slowest reader; one
        // younger than that goes only when nothing else can. A reader whose
        // rate is not known yet has at least kept its answer waiting. A
        // connection whose answer is being made (a miss waiting for the CDN)
        // stays.
        ConnectionSlot* victim = longestIdle;
        if (!victim && oldestHeader && oldestHeader->phaseSince <= graceStart)
            victim = oldestHeader;
        if (!victim)
            victim = slowestReader;
        if (!victim)
            victim = longestUnmeasured;
        if (!victim)
            victim = oldestHeader;
        if (!victim)
            return nullptr;
        // The watch thread closes it now; a serving thread at its next step.
        victim->ended = true;
        SrvWakePoller(m_poller);
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
    c.slot->waitingForRoom = false;
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

void CGenericServer::PublishWaitingForRoom(Connection& c)
{
    std::lock_guard<std::mutex> hold(m_slotLock);
    if (c.slot->waitingForRoom)
        return;
    c.slot->waitingForRoom = true;
    c.slot->waitingSince = Clock::now();
}

