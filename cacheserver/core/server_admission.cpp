// Admission: every connection holds a slot, and at the cap a newcomer
// takes the place of the one that holds its slot worst.
#include "cacheserver/core/generic_server.h"

#include "cacheserver/core/server_connection.h"

#include <new>

CGenericServer::ConnectionSlot* CGenericServer::TakeSlot()
{
    std::lock_guard<std::mutex> hold(m_slotLock);
    return TakeSlotLocked();
}

CGenericServer::ConnectionSlot* CGenericServer::AwaitSlot()
{
    std::unique_lock<std::mutex> hold(m_slotLock);
    const SrvTime now = SrvClock::now();
    if (now - m_fullWaitFailedAt < SrvMilliseconds(kHeaderGraceMs))
        return nullptr;
    const SrvTime until = now + SrvMilliseconds(kFullWaitMs);
    while (SrvClock::now() < until && !SrvWaitStop(m_stopEvent, 0)) {
        m_slotFreed.wait_until(hold, until);
        if (ConnectionSlot* slot = TakeSlotLocked())
            return slot;
    }
    m_fullWaitFailedAt = SrvClock::now();
    return nullptr;
}

CGenericServer::ConnectionSlot* CGenericServer::TakeSlotLocked()
{
    const SrvTime graceStart = SrvClock::now() - SrvMilliseconds(kHeaderGraceMs);
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
        } else if (slot->waitingForAnswer) {
            continue; // stays: see below
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
        WakeWatch();
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
    m_slotFreed.notify_all();
}

bool CGenericServer::EnterPhase(Connection& c, Phase phase)
{
    std::lock_guard<std::mutex> hold(m_slotLock);
    if (c.slot->ended)
        return false;
    if (c.slot->phase != phase) {
        c.slot->phase = phase;
        c.slot->phaseSince = SrvClock::now();
    }
    c.slot->readRate = -1;
    c.slot->waitingForRoom = false;
    c.slot->waitingForAnswer = false;
    c.idle = phase == Phase::kIdle;
    return true;
}

bool CGenericServer::Ended(Connection& c)
{
    return c.slot->ended.load();
}

void CGenericServer::PublishRate(Connection& c, long long bytesPerSecond)
{
    std::lock_guard<std::mutex> hold(m_slotLock);
    c.slot->readRate = bytesPerSecond;
}

void CGenericServer::PublishWaitingForRoom(Connection& c)
{
    std::lock_guard<std::mutex> hold(m_slotLock);
    c.slot->waitingForAnswer = false;
    if (c.slot->waitingForRoom)
        return;
    c.slot->waitingForRoom = true;
    c.slot->waitingSince = SrvClock::now();
}

void CGenericServer::PublishWaitingForAnswer(Connection& c)
{
    std::lock_guard<std::mutex> hold(m_slotLock);
    c.slot->waitingForAnswer = true;
}

