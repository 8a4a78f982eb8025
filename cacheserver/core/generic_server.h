// CGenericServer: a TCP server whose connections hold a thread only while
// an answer is being made and sent. An accept thread admits connections;
// one watch thread waits on all of them while a request arrives, between
// requests, while a slow reader has no room for more, and while a closed
// connection lingers; a few serving threads answer whole requests and send
// until the peer's buffers are full. So hundreds of slow or idle peers cost
// memory for their bytes, not a thread each. The derived class frames
// requests (IsComplete) and starts responses (HandleRequest); this class
// receives, sends the responses piece by piece as they become available,
// and keeps connections alive.
#pragma once

#include "cacheserver/core/server_clock.h"
#include "cacheserver/core/server_platform.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Exit code of every server thread.
constexpr unsigned kServerThreadExitCode = 4660;
// What the watch thread receives at once, and a serving thread's own area:
// a file body the system cannot send by itself is read into it, and so is
// a kept-alive peer's next request.
constexpr int kReceiveAreaBytes = 16384;
constexpr int kSendAreaBytes = 65536;
// Longest piece of a file body handed to the system at once.
constexpr int kSendFilePieceBytes = 262144;
// Serving threads at most. A browser keeps six connections to a host, and
// the game has two browsers; a peer that reads slowly gives its thread back
// as soon as its buffers are full. Under Wine each thread costs about 1 MiB
// of resident memory whatever stack it reserves.
constexpr size_t kMaxServingThreads = 16;
// A serving thread's deepest path is a request's parsing and the composing
// of its head (a few KiB); the CDN fetch runs on a thread of its own.
constexpr unsigned kServingStackBytes = 64 * 1024;
// How long a serving thread waits for a kept-alive peer's next request
// before handing the connection to the watch thread.
constexpr int kNextRequestWaitMs = 20;
// A response waiting without a thread (a miss waiting for the CDN) is
// asked again at least this often, so that its own time limits hold.
constexpr int kResponseRecheckMs = 1000;
// How long a serving thread waits for a response's wake-up before handing
// the connection to the watch thread, while no other connection waits for
// a thread: a miss from a fast CDN goes on without two hand-overs a piece.
constexpr int kAnswerWaitMs = 5;
// A socket that reports readiness whatever was asked (Windows reports a
// hang-up once the peer has shut down its sending side, even to a wait for
// room) is asked for room on the clock instead: first after this, then
// twice as long after each try that sent nothing, up to the longest.
constexpr int kBlindRoomFirstMs = 25;
constexpr int kBlindRoomLongestMs = 400;
// How long the accept thread waits when the system has no socket to give
// (too many open files): the connection stays queued until then.
constexpr int kAcceptBackoffMs = 100;
// A peer whose request grows beyond this without completing is cut off.
constexpr size_t kMaxRequestBytes = 65536;
// How long Start waits for each server thread to report ready.
constexpr int kStartWaitMs = 30000;
// A closed connection still reads what the peer sends for this long, so
// that unread requests do not turn the close into a reset that could
// destroy the end of the last response on its way.
constexpr int kLingerMs = 1000;
// Limits no peer can stretch. A request header must be whole within
// kRequestHeaderTimeoutMs of its first byte (of the accept, for the first
// request); a kept-alive connection may wait kDefaultIdleTimeoutMs between
// requests; a response the peer takes nothing of for kResponseStallTimeoutMs
// ends, and so does one the peer reads slower than kMinResponseBytesPerSecond
// over kResponseRateWindowMs spent waiting for it (from the first wait on:
// the burst that fills the system's buffers says nothing of the reader).
constexpr int kDefaultIdleTimeoutMs = 60000;
constexpr int kRequestHeaderTimeoutMs = 10000;
constexpr int kResponseStallTimeoutMs = 30000;
constexpr int kMinResponseBytesPerSecond = 1024;
constexpr int kResponseRateWindowMs = 20000;
constexpr int kDefaultMaxConnections = 256;
// A reader's recent rate, which decides who makes room at the cap, covers
// the last one to two of these spans of time spent waiting for it.
constexpr int kRecentRateSpanMs = 2000;
// How long a newcomer may wait for a slot at the cap (see AwaitSlot).
constexpr int kFullWaitMs = 250;
// A request header younger than this may still be a real client's on its
// way: at the cap it makes room only when no other connection can.
constexpr int kHeaderGraceMs = 1000;

struct ServerLimits {
    int idleTimeoutMs = kDefaultIdleTimeoutMs;
    int headerTimeoutMs = kRequestHeaderTimeoutMs;
    int stallTimeoutMs = kResponseStallTimeoutMs;
    int minBytesPerSecond = kMinResponseBytesPerSecond;
    int rateWindowMs = kResponseRateWindowMs;
    // Past this many connections a new one takes the place of the one that
    // holds its slot worst (see TakeSlot), or is closed when none may go.
    int maxConnections = kDefaultMaxConnections;
};

// One response as its connection sends it: bytes in order, produced as
// they become available. A piece stays valid until the next call.
class CResponse {
public:
    virtual ~CResponse() = default;

    enum class Next {
        kBytes, // piece.bytes, piece.length
        kFile,  // piece.length bytes of piece.file from piece.offset
        kWait,  // nothing yet (it may have waited a little): ask again
        kEnd,   // the response is complete
        kCut,   // it cannot be completed: the connection ends short
    };
    struct Piece {
        const char* bytes = nullptr;
        SrvFile* file = nullptr;
        long long offset = 0;
        int length = 0;
        // The next piece is ready at once (a header before its file).
        bool more = false;
    };
    // The next piece, at most maxBytes long.
    virtual Next NextPiece(int maxBytes, Piece* piece) = 0;
    // Given once, before the first piece. A response that may answer kWait
    // for long calls wake (from any thread, under any lock: it only sets a
    // flag and wakes a wait) whenever it may have more, and returns true;
    // its connection then waits without a thread. Otherwise a kWait is
    // asked again at once.
    virtual bool SetWakeUp(std::function<void()> wake)
    {
        (void)wake;
        return false;
    }
    // How soon a response waiting with a wake-up is asked again all the
    // same: a limit of its own may end sooner than the usual recheck.
    virtual int RecheckMs() const { return kResponseRecheckMs; }
};

class CGenericServer {
public:
    CGenericServer();
    // Stops the server first, so no thread outlives the object.
    virtual ~CGenericServer();
    CGenericServer(const CGenericServer&) = delete;
    CGenericServer& operator=(const CGenericServer&) = delete;

    virtual int OnConnect(const char* peerAddress, unsigned short peerPort) = 0;
    virtual int OnSent(int bytes) = 0;
    // True when the received bytes begin with a whole request; its length
    // goes to *length when that is given. Called on the watch thread and on
    // serving threads.
    virtual bool IsComplete(const std::string& received, size_t* length) = 0;
    // The same, for bytes whose first `from` are known not to hold a whole
    // request: a framing that can look at the new ones only overrides it.
    virtual bool IsCompleteFrom(const std::string& received, size_t from, size_t* length)
    {
        (void)from;
        return IsComplete(received, length);
    }
    // The response to one whole request; null closes the connection
    // unanswered. May set *keepAlive to 1, or to 0 to close after it.
    virtual std::unique_ptr<CResponse> HandleRequest(const std::string& request, int* keepAlive) = 0;

    // True once the loopback listener and the accept and watch threads are
    // ready. Fails at once when the port is taken (see LastStartPortTaken).
    // Port 0 lets the system choose; Port() then names the one chosen.
    bool Start(int port);
    // Ends every thread and closes every connection; each thread waits only
    // in ways the stop ends. A derived class calls it in its own destructor,
    // while its handlers still exist.
    void Stop();
    bool IsRunning() const { return m_running; }
    bool LastStartPortTaken() const { return m_portTaken; }
    int Port() const { return m_port; }
    // Set before Start; a value of 0 or less keeps the default.
    void SetLimits(const ServerLimits& limits);
    // Connections admitted and not yet closed, and serving threads started
    // (for tests).
    size_t ConnectionCount();
    size_t ServingThreadCount();

protected:
    // Called by Stop once every thread has ended.
    virtual void OnStopped() {}

private:
    enum class StartState { kPending, kReady, kFailed };
    enum class Phase { kHeader, kIdle, kServing };
    // Where a connection goes after a step: back to the watch thread, to a
    // serving thread, or closed.
    enum class Next { kWatch, kServe, kClose };
    enum class Pumped { kDone, kBlocked, kWaiting, kCut, kFailed };

    struct ConnectionSlot;
    // One connection's state; only the thread that holds it touches it.
    struct Connection;
    using ConnectionPtr = std::unique_ptr<Connection>;
    struct WatchSet;
    struct WakeState;

    static unsigned AcceptThreadProc(void* arg);
    static unsigned WatchThreadProc(void* arg);
    static unsigned ServingThreadProc(void* arg);
    void RunAcceptThread();
    void RunWatchThread();
    void RunServingThread();

    void AcceptConnection(SrvSocket socket, const char* peerAddress, unsigned short peerPort);
    // The watch thread's side (server_watch.cpp).
    int PrepareWait(WatchSet& set);
    void Dispatch(WatchSet& set, char* area);
    Next OnReady(Connection& c, const SrvPollItem& item, char* area);
    Next OnAnswerWaitReady(Connection& c, bool hangUp, char* area);
    // Takes what has arrived of a request: kServe once it is whole.
    Next ReceiveRequest(Connection& c, char* area, int areaBytes);
    Next OnClock(Connection& c);
    SrvTime NextDeadline(const Connection& c) const;
    Next AccountWait(Connection& c);
    // Closes a connection the watch thread gives up; one that holds a
    // response leaves its destruction to a serving thread.
    void CloseFromWatch(ConnectionPtr c);
    // A serving thread's side (server_serving.cpp).
    Next Serve(Connection& c, std::unique_ptr<char[]>& area);
    Next StartResponse(Connection& c, size_t length);
    Next OnBlocked(Connection& c, bool afterRoomWait);
    Next AwaitNextRequest(Connection& c, std::unique_ptr<char[]>& area);
    Pumped Pump(Connection& c, std::unique_ptr<char[]>& area);
    // True when the response's wake-up came within kAnswerWaitMs while no
    // other connection waited for a thread.
    bool AwaitWakeUp(Connection& c);
    void OnWakeUp(WakeState& wake);
    long SendFilePart(Connection& c, std::unique_ptr<char[]>& area);
    Next StartLinger(Connection& c);
    void CountSent(Connection& c, long bytes);
    // Ends every wait in AwaitWakeUp. Called under m_queueLock.
    void EndWakeUpWaitsLocked();
    // Hand-overs between the threads.
    void Watch(ConnectionPtr c);
    // Brings the watch thread out of its wait. One signal stands for every
    // change until the watch thread next looks: each costs a system call
    // on both sides, and a fetch makes changes by the hundred.
    void WakeWatch();
    void QueueToServe(ConnectionPtr c);
    ConnectionPtr NextToServe();
    void Close(ConnectionPtr c);
    void CloseQueued();

    // Admission (server_admission.cpp). Admits one more connection. At the
    // cap it makes room by ending, in this order: the connection idle
    // longest between requests; the one whose request header has been
    // incomplete longest (past the grace); the reader slowest by its recent
    // rate; the reader that has kept its answer waiting longest before its
    // rate was first measured; the oldest header within its grace. A
    // connection waiting for its answer to be made stays. Null when none of
    // these is there.
    ConnectionSlot* TakeSlot();
    ConnectionSlot* TakeSlotLocked();
    // When TakeSlot finds nobody to make room: peers that left may not have
    // been noticed yet, so the newcomer waits up to kFullWaitMs for a slot
    // to be freed. After a wait in vain the next newcomers are refused at
    // once for kHeaderGraceMs, so that a full server does not hold up the
    // accepting.
    ConnectionSlot* AwaitSlot();
    void ReleaseSlot(ConnectionSlot* slot);
    // Moves the connection to a phase, from now; false when it has been
    // ended to make room for another.
    bool EnterPhase(Connection& c, Phase phase);
    bool Ended(Connection& c);
    void PublishRate(Connection& c, long long bytesPerSecond);
    void PublishWaitingForRoom(Connection& c);
    // The answer is being made (a miss waiting for the CDN): whatever rate
    // was measured says nothing of the reader meanwhile.
    void PublishWaitingForAnswer(Connection& c);
    void ReportStarted(StartState state, bool portTaken = false);
    bool WaitStarted();
    void JoinAndClose(SrvThread& thread);

    SrvThread m_acceptThread;
    SrvThread m_watchThread;
    SrvStopEvent* m_stopEvent = nullptr;
    SrvPoller* m_poller = nullptr;
    // A signal has gone to the poller that the watch thread has not yet
    // looked past (see WakeWatch).
    std::atomic<bool> m_watchWakePending{false};

    // Stands in for the started event: each server thread reports ready or failed.
    std::mutex m_startLock;
    std::condition_variable m_startChanged;
    StartState m_startState = StartState::kPending;

    // Connections on their way to the watch thread or to a serving thread,
    // and the serving threads; guarded by m_queueLock.
    std::mutex m_queueLock;
    std::condition_variable m_serveQueued;
    std::deque<ConnectionPtr> m_toWatch;
    std::deque<ConnectionPtr> m_toServe;
    // Connections given up whose responses are still to be destroyed: taken
    // only when no answer waits, so that leavers never delay a hit.
    std::deque<ConnectionPtr> m_toDispose;
    std::vector<SrvThread> m_servingThreads;
    size_t m_freeServingThreads = 0; // waiting for a connection, or about to
    // The wake-ups serving threads wait for in AwaitWakeUp: a connection
    // queued for a thread or the stop ends each of those waits.
    std::vector<WakeState*> m_awaitedWakeUps;
    bool m_stopping = false;

    int m_port = 0;
    bool m_running = false;
    bool m_portTaken = false;
    ServerLimits m_limits;
    // Every admitted connection; guarded by m_slotLock.
    std::list<ConnectionSlot*> m_slots;
    std::mutex m_slotLock;
    std::condition_variable m_slotFreed;
    SrvTime m_fullWaitFailedAt{};
};
