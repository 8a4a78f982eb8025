// CGenericServer: a TCP server with one thread per connection. An accept
// thread listens, each accepted connection gets a thread of its own, and a
// reaper thread disposes of the threads of ended connections. The derived
// class frames requests (IsComplete) and writes whole responses
// (HandleRequest); this class receives, sends and keeps connections alive.
#pragma once

#include "cacheserver/core/server_platform.h"

#include <condition_variable>
#include <deque>
#include <list>
#include <mutex>
#include <string>
#include <utility>

class COutBuf;

// Exit code of every server thread.
constexpr unsigned kServerThreadExitCode = 4660;
constexpr int kReceiveAreaBytes = 524288;
constexpr int kSendPieceBytes = 2097152;
// A peer whose request grows beyond this without completing is cut off.
constexpr size_t kMaxRequestBytes = 65536;
// Output storage up to this size is kept for a connection's next response.
constexpr int kKeptOutputBytes = 16 << 20;
// How long Start waits for each server thread to report ready.
constexpr int kStartWaitMs = 30000;

class CGenericServer {
public:
    CGenericServer() = default;
    // Stops the server first, so no thread outlives the object.
    virtual ~CGenericServer();
    CGenericServer(const CGenericServer&) = delete;
    CGenericServer& operator=(const CGenericServer&) = delete;

    virtual int OnConnect(const char* peerAddress, unsigned short peerPort) = 0;
    virtual int OnSent(int bytes) = 0;
    virtual bool IsComplete(std::string request) = 0;
    // Appends the whole response to out; false closes the connection unanswered.
    virtual bool HandleRequest(std::string request, COutBuf* out, int* keepAlive) = 0;

    // True once the loopback listener and the accept and reaper threads are
    // ready. Fails at once when the port is taken (see LastStartPortTaken).
    bool Start(int port);
    // Signals the stop event and joins every server thread. A derived class
    // calls it in its own destructor, while its handlers still exist.
    void Stop();
    bool IsRunning() const { return m_running; }
    bool LastStartPortTaken() const { return m_portTaken; }
    int Port() const { return m_port; }
    // Connection threads registered and not yet reaped (for tests).
    size_t ConnectionThreadCount();

protected:
    struct ConnectionRecord {
        CGenericServer* server;
        SrvSocket socket;
    };

    void AcceptConnection(SrvSocket socket, const char* peerAddress, unsigned short peerPort);
    void EndConnection(SrvWatch* watch, SrvSocket socket, ConnectionRecord* record, unsigned long threadId);

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
    Step HandleCompleteRequests(Connection& c);
    Step SendStep(Connection& c);
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
};
