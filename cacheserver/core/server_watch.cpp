// The watch thread: one wait on every connection that holds no serving
// thread, and the deadlines of each. It only receives and decides; it never
// sends a response or destroys one, so nothing a fetch holds can stall it.
#include "cacheserver/core/generic_server.h"

#include "cacheserver/core/server_connection.h"

#include <new>

unsigned CGenericServer::WatchThreadProc(void* arg)
{
    static_cast<CGenericServer*>(arg)->RunWatchThread();
    return kServerThreadExitCode;
}

void CGenericServer::RunWatchThread()
{
    std::unique_ptr<char[]> area(new (std::nothrow) char[kReceiveAreaBytes]);
    std::unique_ptr<WatchSet> set(new (std::nothrow) WatchSet);
    if (!area || !set) {
        ReportStarted(StartState::kFailed);
        return;
    }
    ReportStarted(StartState::kReady);
    while (!SrvWaitStop(m_stopEvent, 0)) {
        const int timeoutMs = PrepareWait(*set);
        if (!SrvPoll(m_poller, set->items.data(), set->items.size(), timeoutMs)) {
            // Should the wait keep failing, connections still meet their
            // deadlines below rather than waiting for ever.
            SrvWaitStop(m_stopEvent, 10);
        }
        Dispatch(*set, area.get());
    }
    for (ConnectionPtr& c : set->watched)
        Close(std::move(c));
}

// Takes the connections handed over and says what to wait on, and how long.
int CGenericServer::PrepareWait(WatchSet& set)
{
    // Cleared before anything is looked at: a change from now on signals
    // the poller again.
    m_watchWakePending.store(false);
    {
        std::lock_guard<std::mutex> hold(m_queueLock);
        for (ConnectionPtr& c : m_toWatch)
            set.watched.push_back(std::move(c));
        m_toWatch.clear();
    }
    set.items.clear();
    set.polled.assign(set.watched.size(), WatchSet::kNotPolled);
    SrvTime soonest = SrvTime::max();
    // A wake-up or an ending may have come while the connection was on its
    // way here, and its signal to the poller been spent already: such a
    // connection is ready now, not at its next deadline.
    bool readyNow = false;
    for (size_t i = 0; i < set.watched.size(); ++i) {
        const Connection& c = *set.watched[i];
        if (c.wait == Connection::Wait::kResponse && c.wake->woken.load())
            readyNow = true;
        else if (c.slot->ended)
            readyNow = true;
        const bool polled = c.wait != Connection::Wait::kWritable || !c.roomBlind;
        if (polled) {
            set.polled[i] = set.items.size();
            SrvPollItem item;
            item.socket = c.socket;
            item.write = c.wait == Connection::Wait::kWritable;
            set.items.push_back(item);
        }
        soonest = std::min(soonest, NextDeadline(c));
    }
    if (readyNow)
        return 0;
    return soonest == SrvTime::max() ? -1 : SrvMillisecondsUntil(soonest);
}

void CGenericServer::Dispatch(WatchSet& set, char* area)
{
    set.kept.clear();
    for (size_t i = 0; i < set.watched.size(); ++i) {
        Connection& c = *set.watched[i];
        Next next = Ended(c) ? Next::kClose : Next::kWatch;
        if (next == Next::kWatch && set.polled[i] != WatchSet::kNotPolled && set.items[set.polled[i]].ready)
            next = OnReady(c, set.items[set.polled[i]], area);
        if (next == Next::kWatch)
            next = OnClock(c);
        if (next == Next::kWatch)
            set.kept.push_back(std::move(set.watched[i]));
        else if (next == Next::kServe)
            QueueToServe(std::move(set.watched[i]));
        else
            CloseFromWatch(std::move(set.watched[i]));
    }
    set.watched.swap(set.kept);
}

void CGenericServer::CloseFromWatch(ConnectionPtr c)
{
    if (!c->response) {
        Close(std::move(c));
        return;
    }
    // The peer and the slot are done with now; the response goes on a
    // serving thread.
    ConnectionSlot* slot = c->slot;
    c->slot = nullptr;
    c->CloseSocket();
    ReleaseSlot(slot);
    c->closing = true;
    QueueToServe(std::move(c));
}

SrvTime CGenericServer::NextDeadline(const Connection& c) const
{
    if (c.wait != Connection::Wait::kWritable)
        return c.deadline;
    // The stall limit, the end of the rate window and of the recent-rate
    // span: each is looked at when it comes.
    SrvTime next = std::min({c.lastProgress + SrvMilliseconds(m_limits.stallTimeoutMs),
                             c.waitingSince + (SrvMilliseconds(m_limits.rateWindowMs) - c.blocked),
                             c.waitingSince + (SrvMilliseconds(kRecentRateSpanMs) - c.span[1])});
    if (c.roomBlind)
        next = std::min(next, c.roomRetryAt);
    return next;
}

CGenericServer::Next CGenericServer::OnReady(Connection& c, const SrvPollItem& item, char* area)
{
    switch (c.wait) {
    case Connection::Wait::kWritable:
        if (item.hangUp) {
            // The peer has shut down its side and the socket says so at
            // every wait: from now on room is asked for on the clock.
            c.roomBlind = true;
            c.roomRetry = SrvMilliseconds(kBlindRoomFirstMs);
            c.roomRetryAt = SrvClock::now() + c.roomRetry;
            return Next::kWatch;
        }
        {
            const Next next = AccountWait(c);
            return next == Next::kWatch ? Next::kServe : next;
        }
    case Connection::Wait::kLinger: {
        // Read only so that the close stays orderly.
        const long n = SrvRecv(c.socket, area, kReceiveAreaBytes);
        return n > 0 || n == kSrvWouldBlock ? Next::kWatch : Next::kClose;
    }
    case Connection::Wait::kResponse:
        return OnAnswerWaitReady(c, item.hangUp, area);
    case Connection::Wait::kRequest:
        break;
    }
    return ReceiveRequest(c, area, kReceiveAreaBytes);
}

// While its answer is being made, the peer may send a next request, or
// leave. A peer that leaves frees its slot; what the response was waiting
// for goes on without it.
CGenericServer::Next CGenericServer::OnAnswerWaitReady(Connection& c, bool hangUp, char* area)
{
    const long n = SrvRecv(c.socket, area, kReceiveAreaBytes);
    if (n == kSrvWouldBlock)
        return hangUp ? Next::kClose : Next::kWatch;
    // A peer that has shut down its side is taken as gone: it might still
    // read, but nothing tells that apart from a close while it waits.
    if (n <= 0)
        return Next::kClose;
    // Kept for after this answer, as any request that arrives early.
    c.request.append(area, static_cast<size_t>(n));
    return c.request.size() > kMaxRequestBytes ? Next::kClose : Next::kWatch;
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
        c.deadline = SrvClock::now() + SrvMilliseconds(m_limits.headerTimeoutMs);
    }
    const size_t before = c.request.size();
    c.request.append(area, static_cast<size_t>(n));
    // Only the bytes just arrived can complete it: a header that trickles
    // in is not scanned again from its start at every piece.
    if (IsCompleteFrom(c.request, before, nullptr))
        return EnterPhase(c, Phase::kServing) ? Next::kServe : Next::kClose;
    return c.request.size() > kMaxRequestBytes ? Next::kClose : Next::kWatch;
}

CGenericServer::Next CGenericServer::OnClock(Connection& c)
{
    const SrvTime now = SrvClock::now();
    switch (c.wait) {
    case Connection::Wait::kResponse:
        return c.wake->woken.load() || now >= c.deadline ? Next::kServe : Next::kWatch;
    case Connection::Wait::kWritable: {
        if (now < NextDeadline(c))
            return Next::kWatch;
        const bool retry = c.roomBlind && now >= c.roomRetryAt;
        const Next next = AccountWait(c);
        return next == Next::kWatch && retry ? Next::kServe : next;
    }
    case Connection::Wait::kRequest:
    case Connection::Wait::kLinger:
        break;
    }
    // Fixed when the wait began: bytes that trickle in do not move it.
    return now < c.deadline ? Next::kWatch : Next::kClose;
}

// Counts a wait for room against the peer, and ends the connection when the
// peer has taken too little in the rate window or nothing for too long.
CGenericServer::Next CGenericServer::AccountWait(Connection& c)
{
    // Only time spent waiting for the peer counts against its rate: a miss
    // that waits for a slow CDN is not the peer's fault.
    const SrvTime now = SrvClock::now();
    const SrvDuration waited = now - c.waitingSince;
    c.waitingSince = now;
    c.blocked += waited;
    c.span[1] += waited;
    const SrvDuration recent = c.span[0] + c.span[1];
    if (recent > SrvDuration::zero())
        PublishRate(c, SrvBytesPerSecond(c.spanBytes[0] + c.spanBytes[1], recent));
    if (c.span[1] >= SrvMilliseconds(kRecentRateSpanMs)) {
        c.span[0] = c.span[1];
        c.spanBytes[0] = c.spanBytes[1];
        c.span[1] = SrvDuration::zero();
        c.spanBytes[1] = 0;
    }
    if (c.blocked >= SrvMilliseconds(m_limits.rateWindowMs)) {
        const long long least = static_cast<long long>(m_limits.minBytesPerSecond) * m_limits.rateWindowMs / 1000;
        if (c.windowBytes < least)
            return Next::kClose; // a trickle would hold its slot for ever
        c.blocked = SrvDuration::zero();
        c.windowBytes = 0;
    }
    if (now - c.lastProgress >= SrvMilliseconds(m_limits.stallTimeoutMs))
        return Next::kClose; // the peer has taken nothing for too long
    return Next::kWatch;
}
