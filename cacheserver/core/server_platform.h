// What CGenericServer needs from the platform: a stop signal, a loopback
// listener, per-connection readiness waits, non-blocking receive and send,
// and threads. The Windows layer uses Winsock 2 event-select; the native
// layer uses poll with an eventfd as the stop signal.
#pragma once

#include <cstdint>
#include <string>

using SrvSocket = std::intptr_t;
constexpr SrvSocket kSrvNoSocket = -1;

// Readiness bits, with the values of FD_READ, FD_WRITE and FD_CLOSE.
constexpr int kSrvRead = 0x01;
constexpr int kSrvWrite = 0x02;
constexpr int kSrvClose = 0x20;
// Results of SrvWaitConnection besides the bits.
constexpr int kSrvStopped = -1;
constexpr int kSrvWaitFailed = -2;
// Results of SrvRecv and SrvSend besides a byte count.
constexpr long kSrvWouldBlock = -1;
constexpr long kSrvIoError = -2;

// Manual-reset: once signalled, every wait on it returns at once.
struct SrvStopEvent;
SrvStopEvent* SrvCreateStopEvent();
void SrvSignalStop(SrvStopEvent* stop);
// Waits up to timeoutMs; true when the event is signalled (or the wait failed).
bool SrvWaitStop(SrvStopEvent* stop, int timeoutMs);
void SrvCloseStopEvent(SrvStopEvent* stop);

// Socket library start-up and its matching clean-up (Winsock 2.2 exactly).
bool SrvNetStartup();
void SrvNetCleanup();

enum class SrvListenStatus { kOk, kAddressInUse, kFailed };
struct SrvListener;
// A listening socket on 127.0.0.1:port, watched for incoming connections.
// Port 0 lets the system choose one.
SrvListener* SrvListen(int port, SrvListenStatus* status);
int SrvListenerPort(SrvListener* listener);
enum class SrvAcceptWait { kReady, kNothing, kStopped, kFailed };
SrvAcceptWait SrvWaitAccept(SrvListener* listener, SrvStopEvent* stop);
// The accepted socket (non-blocking) or kSrvNoSocket; peer as "%d.%d.%d.%d"
// and its port as stored in the address (network byte order).
SrvSocket SrvAccept(SrvListener* listener, char (&peer)[16], unsigned short* peerPort);
void SrvCloseListener(SrvListener* listener);

// A connection socket watched for read, write and close readiness.
struct SrvWatch;
SrvWatch* SrvWatchSocket(SrvSocket socket);
// Readiness bits (0 when nothing was recorded), kSrvStopped or kSrvWaitFailed.
// Write readiness is asked for only while a response is pending.
int SrvWaitConnection(SrvWatch* watch, SrvStopEvent* stop, bool wantWrite);
void SrvCloseWatch(SrvWatch* watch);
// Bytes received (0: the peer closed), kSrvWouldBlock or kSrvIoError.
long SrvRecv(SrvSocket socket, char* buffer, int length);
long SrvSend(SrvSocket socket, const char* bytes, int length);
void SrvCloseSocket(SrvSocket socket);

struct SrvThread {
    std::uintptr_t handle = 0;
    unsigned long id = 0;
};
using SrvThreadProc = unsigned (*)(void* arg);
bool SrvStartThread(SrvThreadProc proc, void* arg, SrvThread* thread);
unsigned long SrvCurrentThreadId();
// True when the thread has ended within timeoutMs (-1: no limit).
bool SrvJoinThread(const SrvThread& thread, int timeoutMs);
// Gives up on a thread that did not end: terminated on Windows, detached natively.
void SrvAbandonThread(const SrvThread& thread);
// Releases a thread that has been joined.
void SrvCloseThread(const SrvThread& thread);

// The process's current folder (at most 1000 bytes) and the folder separator.
std::string SrvCurrentFolder();
extern const char kSrvPathSeparator;
