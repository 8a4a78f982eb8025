// CGenericServer: a TCP server with one thread per connection. An accept
// thread listens, each accepted connection gets a thread of its own, and a
// reaper thread disposes of the threads of ended connections. The derived
// class frames requests (IsComplete) and starts responses (HandleRequest);
// this class receives, sends the responses piece by piece as they become
// available, and keeps connections alive.
#pragma once

#include "cacheserver/core/server_platform.h"

#include <condition_variable>
#include <deque>
#include <list>
#include <memory>
#include <mutex>
#include <string>

// Exit code of every server thread.
constexpr unsigned kServerThreadExitCode = 4660;
// What a connection holds, whatever the size of the bodies it serves.
constexpr int kReceiveAreaBytes = 16384;
constexpr int kSendAreaBytes = 65536;
// Longest piece of a file body handed to the system at once.
constexpr int kSendFilePieceBytes = 262144;
// A connection thread's deepest path is a request's parsing and the
// composing of its head (a few KiB); the CDN fetch runs on a thread of its
// own. A small stack keeps 256 connections within tens of MiB natively and
// on Windows; Wine gives every thread at least 1 MiB whatever is asked.
constexpr unsigned kConnectionStackBytes = 64 * 1024;
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
};

class CGenericServer {
public:
    CGenericServer() = default;
    // Stops the server first, so no thread outlives the object.
    virtual ~CGenericServer();
    CGenericServer(const CGenericServer&) = delete;
    CGenericServer& operator=(const CGenericServer&) = delete;

    virtual int OnConnect(const char* peerAddress, unsigned short peerPort) = 0;
    virtual int OnSent(int bytes) = 0;
    // True when the received bytes begin with a whole request; its length
    // goes to *length when that is given.
    virtual bool IsComplete(const std::string& received, size_t* length) = 0;
    // The response to one whole request; null closes the connection
    // unanswered. May set *keepAlive to 1, or to 0 to close after it.
    virtual std::unique_ptr<CResponse> HandleRequest(const std::string& request, int* keepAlive) = 0;

    // True once the loopback listener and the accept and reaper threads are
    // ready. Fails at once when the port is taken (see LastStartPortTaken).
    // Port 0 lets the system choose; Port() then names the one chosen.
    bool Start(int port);
    // Signals the stop event and joins every connection thread; each of
    // them waits only in ways the stop event ends. A derived class calls it
    // in its own destructor, while its handlers still exist.
    void Stop();
    bool IsRunning() const { return m_running; }
    bool LastStartPortTaken() const { return m_portTaken; }
    int Port() const { return m_port; }
    // Set before Start; a value of 0 or less keeps the default.
    void SetLimits(const ServerLimits& limits);
    // Connection threads registered and not yet reaped (for tests).
    size_t ConnectionThreadCount();

protected:
    struct ConnectionSlot;
    struct ConnectionRecord {
        CGenericServer* server;
        SrvSocket socket;
        ConnectionSlot* slot;
    };

    void AcceptConnection(SrvSocket socket, const char* peerAddress, unsigned short peerPort);
    void EndConnection(SrvWatch* watch, SrvSocket socket, ConnectionRecord* record, unsigned long threadId);
    // Called by Stop once every connection thread has ended.
    virtual void OnStopped() {}

private:
    enum class StartState { kPending, kReady, kFailed };
    enum class Step { kContinue, kEnd };

    // One connection's own state; only its thread touches it.
    struct Connection;

    static unsigned AcceptThreadProc(void* arg);
    static unsigned ReaperThreadProc(void* arg);
    static unsigned ConnectionThreadProc(void* arg);
    void RunAcceptThread();
    void RunReaperThread();
    void ServeConnection(Connection& c);
    Step ReceiveMore(Connection& c);
    Step SendResponse(Connection& c, CResponse& response);
    bool SendBytes(Connection& c, const char* bytes, int length, bool more);
    bool SendFileRange(Connection& c, SrvFile* file, long long offset, int length);
    bool WaitWritable(Connection& c);
    void CountSent(Connection& c, long bytes);
    // Admits one more connection. At the cap it makes room by ending, in
    // this order: the connection idle longest between requests; the one
    // whose request header has been incomplete longest (past the grace);
    // the reader slowest by its recent rate; the oldest header within its
    // grace. Null when none of these is there.
    ConnectionSlot* TakeSlot();
    void ReleaseSlot(ConnectionSlot* slot);
    enum class Phase { kHeader, kIdle, kServing };
    // Moves the connection to a phase, from now; false when it has been
    // ended to make room for another.
    bool EnterPhase(Connection& c, Phase phase);
    bool Ended(Connection& c);
    void PublishRate(Connection& c, long long bytesPerSecond);
    void Linger(Connection& c);
    void ReapFinished();
    void ReportStarted(StartState state, bool portTaken = false);
    bool WaitStarted();
    void JoinAndClose(SrvThread& thread);

    SrvThread m_acceptThread;
    SrvThread m_reaperThread;
    SrvStopEvent* m_stopEvent = nullptr;

    // Stands in for the started event: each server thread reports ready or failed.
    std::mutex m_startLock;
    std::condition_variable m_startChanged;
    StartState m_startState = StartState::kPending;

    std::list<SrvThread> m_connectionThreads; // in order of creation
    std::deque<SrvThread> m_finishedThreads;
    std::mutex m_recordLock;
    std::mutex m_threadListLock;

    int m_port = 0;
    bool m_running = false;
    bool m_portTaken = false;
    ServerLimits m_limits;
    // Every admitted connection; guarded by m_slotLock.
    std::list<ConnectionSlot*> m_slots;
    std::mutex m_slotLock;
};
