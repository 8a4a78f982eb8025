// What the cache server needs from the platform: a stop signal, a loopback
// listener, one wait on the readiness of many connections, non-blocking
// receive and send, threads, and files that can be read while another
// thread appends to them. The Windows layer uses Winsock 2 (event-select for
// the listener, WSAPoll for connections); the native layer uses poll, with
// eventfds as the stop signal and the poller's wake-up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

using SrvSocket = std::intptr_t;
constexpr SrvSocket kSrvNoSocket = -1;

// Results of SrvRecv, SrvSend and SrvSendFile besides a byte count.
constexpr long kSrvWouldBlock = -1;
constexpr long kSrvIoError = -2;
constexpr long kSrvUnsupported = -3;

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
// The accepted socket (non-blocking), kSrvNoSocket, or kSrvOutOfSockets when
// the system has none to give now (the connection stays queued); peer as
// "%d.%d.%d.%d" and its port as stored in the address (network byte order).
constexpr SrvSocket kSrvOutOfSockets = -2;
SrvSocket SrvAccept(SrvListener* listener, char (&peer)[16], unsigned short* peerPort);
void SrvCloseListener(SrvListener* listener);

// Readiness of many connections at once, for the one thread that waits on
// them; any other thread may cut that wait short.
struct SrvPoller;
SrvPoller* SrvCreatePoller();
void SrvClosePoller(SrvPoller* poller);
// Ends the poller's current wait, or its next one, at once.
void SrvWakePoller(SrvPoller* poller);
struct SrvPollItem {
    SrvSocket socket = kSrvNoSocket;
    bool write = false; // wait until it takes bytes; otherwise until bytes arrive
    bool ready = false; // set by SrvPoll, for an error or a hang-up too
    // Set by SrvPoll: what it reported was a hang-up or an error, not the
    // readiness asked for. Once the peer has shut down its sending side a
    // socket may report this at every wait (WSAPoll does).
    bool hangUp = false;
};
// Waits until an item may be ready, the poller is woken or timeoutMs (-1: no
// limit) passed. A readiness is only a hint: the caller's receive or send
// tells for sure. False when the wait itself failed.
bool SrvPoll(SrvPoller* poller, SrvPollItem* items, size_t count, int timeoutMs);
// Waits up to timeoutMs for bytes (or the peer's close) on one socket; true
// when it may have some, as a hint like SrvPoll's.
bool SrvWaitReadable(SrvSocket socket, int timeoutMs);
// Bytes received (0: the peer closed), kSrvWouldBlock or kSrvIoError.
long SrvRecv(SrvSocket socket, char* buffer, int length);
// more: further bytes follow at once, so the system may hold these back to
// fill a segment with them (a header before its body).
long SrvSend(SrvSocket socket, const char* bytes, int length, bool more);
// No more sends: the peer sees the end of the stream.
void SrvShutdownSend(SrvSocket socket);
void SrvCloseSocket(SrvSocket socket);

struct SrvThread {
    std::uintptr_t handle = 0;
    unsigned long id = 0;
};
using SrvThreadProc = unsigned (*)(void* arg);
// stackBytes 0: the platform's default stack.
bool SrvStartThread(SrvThreadProc proc, void* arg, SrvThread* thread, unsigned stackBytes);
unsigned long SrvCurrentThreadId();
// True when the thread has ended within timeoutMs (-1: no limit).
bool SrvJoinThread(const SrvThread& thread, int timeoutMs);
// Lets a thread run on unobserved; it is never waited for or forced to end.
void SrvDetachThread(const SrvThread& thread);
// Releases a thread that has been joined.
void SrvCloseThread(const SrvThread& thread);
unsigned long SrvProcessId();
// True when a process with this id runs (or may: it exists but cannot be asked).
bool SrvProcessRunning(unsigned long processId);

// Files. An open file may be renamed or deleted by others; those who have
// it open keep reading what it held.
struct SrvFile;
// A new file for reading and writing; fails when the name exists.
SrvFile* SrvCreateNewFile(const std::string& path);
// A nameless file for reading and writing that goes away when closed.
SrvFile* SrvCreateScratchFile();
// An existing file for reading.
SrvFile* SrvOpenFile(const std::string& path);
// Size in bytes, or -1.
long long SrvFileSize(SrvFile* file);
// Bytes read at offset (0 at the end), or -1.
long SrvReadAt(SrvFile* file, long long offset, char* into, int length);
// True when all bytes were written at offset.
bool SrvWriteAt(SrvFile* file, long long offset, const char* bytes, int length);
void SrvCloseFile(SrvFile* file);
// Closes an open file when its owner goes.
struct SrvFileCloser {
    void operator()(SrvFile* file) const { SrvCloseFile(file); }
};
using OwnedSrvFile = std::unique_ptr<SrvFile, SrvFileCloser>;
bool SrvRemoveFile(const std::string& path);
// Calls visit with each file name in the folder and its age in seconds.
void SrvListFolder(const std::string& folder, const std::function<void(const std::string& name, long long ageSeconds)>& visit);
// Sends up to length bytes of the file from offset straight from the
// system's cache: bytes sent, kSrvWouldBlock, kSrvIoError, or
// kSrvUnsupported when the caller has to read and send them itself.
long SrvSendFile(SrvSocket socket, SrvFile* file, long long offset, int length);

// The process's current folder (at most 1000 bytes) and the folder separator.
std::string SrvCurrentFolder();
extern const char kSrvPathSeparator;
