// A connection's state, shared by the server's own files only: the slot
// the accept thread weighs when it makes room, and what the thread holding
// the connection knows of it.
#pragma once

#include "cacheserver/core/generic_server.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <string>
#include <vector>

// Guarded by the server's slot lock.
struct CGenericServer::ConnectionSlot {
    Phase phase = Phase::kHeader;
    SrvTime phaseSince = SrvClock::now(); // a header's clock starts at the accept
    // While serving: the peer's recent rate, or -1 before it has been
    // measured; and since when the answer has waited for the peer to make
    // room, while it has not been measured.
    long long readRate = -1;
    bool waitingForRoom = false;
    SrvTime waitingSince;
    // The answer is being made: neither of the above applies meanwhile.
    bool waitingForAnswer = false;
    // Told to end to make room; read by the watch thread without the lock.
    std::atomic<bool> ended{false};
};

// A response's wake-up; shared, as the response may call it from another
// thread until it is destroyed.
struct CGenericServer::WakeState {
    std::atomic<bool> woken{false};
    // The watch thread holds the connection for its answer: only then does
    // a wake-up need to bring that thread out of its wait.
    std::atomic<bool> watched{false};
    // A serving thread waits for this wake-up (AwaitWakeUp): it alone is
    // told, not every thread that waits for a wake-up of its own.
    std::atomic<bool> awaited{false};
    std::condition_variable came; // with the server's queue lock
};

struct CGenericServer::Connection {
    // What the watch thread waits for.
    enum class Wait {
        kRequest,  // bytes of a request (or of the next one)
        kWritable, // room for more of the response
        kResponse, // the response's wake-up (a miss waiting for the CDN), or the peer leaving
        kLinger,   // the peer's close, after the last answer
    };

    Connection(SrvSocket socket, ConnectionSlot* slot) : socket(socket), slot(slot) {}
    ~Connection() { CloseSocket(); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void CloseSocket()
    {
        if (socket != kSrvNoSocket)
            SrvCloseSocket(socket);
        socket = kSrvNoSocket;
    }

    SrvSocket socket;
    // Null once released early (see closing).
    ConnectionSlot* slot;
    Wait wait = Wait::kRequest;
    // kRequest: when the header must be whole (or the idle wait ends);
    // kResponse: when the response is asked again anyway; kLinger: when the
    // lingering ends.
    SrvTime deadline;
    std::string request;
    int keepAlive = 0;
    // No byte of a next request yet: the idle limit applies, not the header's.
    bool idle = false;
    // Given up by the watch thread: its socket and slot are gone, and a
    // serving thread only destroys its response, whose destructor may wait
    // for locks a fetch holds.
    bool closing = false;

    // The response being sent, and the piece of it not yet sent whole.
    std::unique_ptr<CResponse> response;
    CResponse::Piece piece;
    bool pieceHeld = false;
    bool pieceIsFile = false;
    int pieceSent = 0;
    long long total = 0;
    bool sendFileUnsupported = false;
    // Set by the response's wake-up.
    std::shared_ptr<WakeState> wake;
    bool wakeable = false;
    // When the peer last took a byte, when the current wait for room began,
    // how long it has kept us waiting in this rate window and what it took
    // in it. Counting starts at the response's first wait for the peer.
    SrvTime lastProgress;
    SrvTime waitingSince;
    SrvDuration blocked{};
    long long windowBytes = 0;
    bool measuring = false;
    // The peer's recent rate: the span before and the current one.
    SrvDuration span[2] = {};
    long long spanBytes[2] = {0, 0};
    // Room is asked for on the clock (see kBlindRoomFirstMs): when next,
    // and the interval now. Readiness that led to no byte sent, twice in a
    // row, counts as blind too.
    bool roomBlind = false;
    SrvTime roomRetryAt;
    SrvDuration roomRetry{};
    int emptyWakes = 0;
    // Bytes sent in the current serving step.
    long long stepBytes = 0;
};

// The watch thread's connections and what it waits on for them; kept from
// wait to wait.
struct CGenericServer::WatchSet {
    static constexpr size_t kNotPolled = static_cast<size_t>(-1);
    std::vector<ConnectionPtr> watched, kept;
    std::vector<SrvPollItem> items;
    // Each watched connection's item, if it has one.
    std::vector<size_t> polled;
};
