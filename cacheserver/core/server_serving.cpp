// The serving threads: each makes one connection's answers and sends them
// until the peer has no room, the answer has nothing more for now, or the
// connection ends. A kept-alive peer's next request is awaited here briefly.
#include "cacheserver/core/generic_server.h"

#include "cacheserver/core/server_connection.h"

#include <algorithm>
#include <climits>
#include <new>

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
        // A connection the watch thread gave up only has its response destroyed.
        const Next next = c->closing ? Next::kClose : Serve(*c, area);
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
    // Whether this step follows a readiness for room, which it should use.
    const bool afterRoomWait = c.wait == Connection::Wait::kWritable;
    c.stepBytes = 0;
    for (;;) {
        if (!c.response) {
            // Every whole request received so far is answered, in order.
            size_t length = 0;
            if (c.request.empty() || !IsComplete(c.request, &length)) {
                // A request already begun runs on the header's clock from now.
                if (!EnterPhase(c, c.request.empty() ? Phase::kIdle : Phase::kHeader))
                    return Next::kClose;
                c.wait = Connection::Wait::kRequest;
                c.deadline = SrvClock::now() +
                             SrvMilliseconds(c.idle ? m_limits.idleTimeoutMs : m_limits.headerTimeoutMs);
                const Next next = AwaitNextRequest(c, area);
                if (next != Next::kServe)
                    return next;
                continue;
            }
            const Next started = StartResponse(c, length);
            if (started != Next::kServe)
                return started;
        }
        switch (Pump(c, area)) {
        case Pumped::kBlocked:
            return OnBlocked(c, afterRoomWait);
        case Pumped::kWaiting:
            // Its wake-up, or the peer leaving, brings it back.
            PublishWaitingForAnswer(c);
            c.wake->watched.store(true);
            c.wait = Connection::Wait::kResponse;
            c.deadline = SrvClock::now() + SrvMilliseconds(std::max(1, c.response->RecheckMs()));
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

// kServe once the response to the first length bytes of the request is
// under way.
CGenericServer::Next CGenericServer::StartResponse(Connection& c, size_t length)
{
    if (!EnterPhase(c, Phase::kServing))
        return Next::kClose;
    c.response = HandleRequest(c.request.substr(0, length), &c.keepAlive);
    // Lingers as after any other last request, so that the close does not
    // reset the answers sent before it.
    if (!c.response)
        return StartLinger(c);
    c.request.erase(0, length);
    if (!c.wake)
        c.wake = std::make_shared<WakeState>();
    // The response is destroyed before the server, and calls its wake-up
    // no more once destroyed.
    c.wakeable = c.response->SetWakeUp([this, wake = c.wake] { OnWakeUp(*wake); });
    c.pieceHeld = false;
    c.total = 0;
    c.blocked = SrvDuration::zero();
    c.windowBytes = 0;
    c.measuring = false;
    return Next::kServe;
}

// The peer has no room for more: the watch thread waits for it.
CGenericServer::Next CGenericServer::OnBlocked(Connection& c, bool afterRoomWait)
{
    const SrvTime now = SrvClock::now();
    if (!c.measuring) {
        // What went out before the first wait only filled the buffers.
        c.measuring = true;
        c.span[0] = c.span[1] = SrvDuration::zero();
        c.spanBytes[0] = c.spanBytes[1] = 0;
    }
    // Readiness for room that twice in a row let nothing out is not to be
    // trusted: from then on room is asked for on the clock.
    if (c.stepBytes > 0)
        c.emptyWakes = 0;
    else if (afterRoomWait && ++c.emptyWakes >= 2 && !c.roomBlind) {
        c.roomBlind = true;
        c.roomRetry = SrvMilliseconds(kBlindRoomFirstMs);
    }
    if (c.roomBlind) {
        const SrvDuration first = SrvMilliseconds(kBlindRoomFirstMs);
        c.roomRetry = c.stepBytes > 0 ? first : std::min(c.roomRetry * 2, SrvMilliseconds(kBlindRoomLongestMs));
        c.roomRetryAt = now + c.roomRetry;
    }
    c.wait = Connection::Wait::kWritable;
    c.waitingSince = now;
    PublishWaitingForRoom(c);
    return Next::kWatch;
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
    const SrvTime until = SrvClock::now() + SrvMilliseconds(kNextRequestWaitMs);
    for (;;) {
        {
            std::lock_guard<std::mutex> hold(m_queueLock);
            if (!m_toServe.empty())
                return Next::kWatch;
        }
        const int left = SrvMillisecondsUntil(until);
        if (left == 0 || !SrvWaitReadable(c.socket, left))
            return Next::kWatch;
        const Next next = ReceiveRequest(c, area.get(), kSendAreaBytes);
        if (next != Next::kWatch)
            return next;
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
            if (c.wakeable) {
                c.wake->watched.store(false);
                c.wake->woken.store(false);
            }
            const CResponse::Next next = c.response->NextPiece(kSendFilePieceBytes, &c.piece);
            if (next == CResponse::Next::kWait) {
                if (c.wakeable && !AwaitWakeUp(c))
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
            c.lastProgress = SrvClock::now();
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

bool CGenericServer::AwaitWakeUp(Connection& c)
{
    WakeState& wake = *c.wake;
    std::unique_lock<std::mutex> hold(m_queueLock);
    // Room for every serving thread is made at the start.
    if (m_awaitedWakeUps.size() == m_awaitedWakeUps.capacity())
        return false;
    m_awaitedWakeUps.push_back(&wake);
    // Set before the flag is looked at, so that OnWakeUp either sees it or
    // the wait sees the flag.
    wake.awaited.store(true);
    wake.came.wait_for(hold, std::chrono::milliseconds(kAnswerWaitMs),
                       [&] { return wake.woken.load() || !m_toServe.empty() || m_stopping; });
    wake.awaited.store(false);
    m_awaitedWakeUps.erase(std::find(m_awaitedWakeUps.begin(), m_awaitedWakeUps.end(), &wake));
    return wake.woken.load() && m_toServe.empty() && !m_stopping;
}

void CGenericServer::OnWakeUp(WakeState& wake)
{
    wake.woken.store(true);
    if (wake.awaited.load()) {
        {
            std::lock_guard<std::mutex> hold(m_queueLock);
        }
        wake.came.notify_one();
    }
    // Set before the hand-over to the watch thread, so that a wake-up
    // either sees it or is seen there (PrepareWait).
    if (wake.watched.load())
        WakeWatch();
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
    c.stepBytes += bytes;
    if (bytes > 0)
        c.lastProgress = SrvClock::now();
}

CGenericServer::Next CGenericServer::StartLinger(Connection& c)
{
    // A closed connection still reads what the peer sends for a while.
    SrvShutdownSend(c.socket);
    c.request.clear();
    c.wait = Connection::Wait::kLinger;
    c.deadline = SrvClock::now() + SrvMilliseconds(kLingerMs);
    return Next::kWatch;
}
