// What the cache server needs from the platform: a stop signal, a loopback
// listener, per-connection readiness waits, non-blocking receive and send,
// threads, and files that can be read while another thread appends to them.
// The Windows layer uses Winsock 2 event-select; the native layer uses poll
// with an eventfd as the stop signal.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

using SrvSocket = std::intptr_t;
constexpr SrvSocket kSrvNoSocket = -1;

// Results of SrvWaitConnection.
constexpr int kSrvReady = 1;
constexpr int kSrvTimedOut = 0;
constexpr int kSrvStopped = -1;
constexpr int kSrvWaitFailed = -2;
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
// The accepted socket (non-blocking) or kSrvNoSocket; peer as "%d.%d.%d.%d"
// and its port as stored in the address (network byte order).
SrvSocket SrvAccept(SrvListener* listener, char (&peer)[16], unsigned short* peerPort);
void SrvCloseListener(SrvListener* listener);

// A connection socket watched for readiness.
struct SrvWatch;
SrvWatch* SrvWatchSocket(SrvSocket socket);
enum class SrvWaitFor { kRead, kWrite };
// Waits until the socket may have become readable (or writable), the stop
// event is signalled or timeoutMs (-1: no limit) passed. A wake-up is only
// a hint: the caller retries its receive or send, which tells for sure.
int SrvWaitConnection(SrvWatch* watch, SrvStopEvent* stop, SrvWaitFor what, int timeoutMs);
void SrvCloseWatch(SrvWatch* watch);
// Ends any wait on the watched socket at once, from another thread; the
// connection is about to be ended.
void SrvWakeWatch(SrvWatch* watch);
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
