// The server platform on Windows: Winsock 2 with the event-select model,
// kernel threads from _beginthreadex.
#include "cacheserver/core/server_platform.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <process.h>

#include <cstdio>
#include <new>

const char kSrvPathSeparator = '\\';

struct SrvStopEvent {
    WSAEVENT event;
};
struct SrvListener {
    SOCKET socket;
    WSAEVENT acceptEvent;
};
struct SrvWatch {
    SOCKET socket;
    WSAEVENT event;
};

namespace {

struct ThreadStart {
    SrvThreadProc proc;
    void* arg;
};

unsigned __stdcall ThreadTrampoline(void* raw)
{
    ThreadStart start = *static_cast<ThreadStart*>(raw);
    delete static_cast<ThreadStart*>(raw);
    return start.proc(start.arg);
}

SOCKET AsSocket(SrvSocket s)
{
    return static_cast<SOCKET>(s);
}

} // namespace

SrvStopEvent* SrvCreateStopEvent()
{
    const WSAEVENT event = WSACreateEvent(); // manual reset, not signalled
    if (event == WSA_INVALID_EVENT)
        return nullptr;
    return new SrvStopEvent{event};
}

void SrvSignalStop(SrvStopEvent* stop)
{
    WSASetEvent(stop->event);
}

bool SrvWaitStop(SrvStopEvent* stop, int timeoutMs)
{
    return WaitForSingleObject(stop->event, timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs)) != WAIT_TIMEOUT;
}

void SrvCloseStopEvent(SrvStopEvent* stop)
{
    if (!stop)
        return;
    WSACloseEvent(stop->event);
    delete stop;
}

bool SrvNetStartup()
{
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return false;
    if (LOBYTE(data.wVersion) != 2 || HIBYTE(data.wVersion) != 2) {
        WSACleanup();
        return false;
    }
    return true;
}

void SrvNetCleanup()
{
    WSACleanup();
}

SrvListener* SrvListen(int port, SrvListenStatus* status)
{
    *status = SrvListenStatus::kFailed;
    const SOCKET s = WSASocketW(AF_INET, SOCK_STREAM, 0, nullptr, 0, WSA_FLAG_OVERLAPPED);
    if (s == INVALID_SOCKET)
        return nullptr;
    // No other socket may share the port, whatever options it sets.
    BOOL on = TRUE;
    setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<u_short>(port));
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == SOCKET_ERROR ||
        listen(s, SOMAXCONN) == SOCKET_ERROR) {
        const int error = WSAGetLastError();
        if (error == WSAEADDRINUSE || error == WSAEACCES)
            *status = SrvListenStatus::kAddressInUse;
        closesocket(s);
        return nullptr;
    }
    const WSAEVENT acceptEvent = WSACreateEvent();
    if (acceptEvent == WSA_INVALID_EVENT) {
        closesocket(s);
        return nullptr;
    }
    if (WSAEventSelect(s, acceptEvent, FD_ACCEPT) == SOCKET_ERROR) {
        WSACloseEvent(acceptEvent);
        closesocket(s);
        return nullptr;
    }
    *status = SrvListenStatus::kOk;
    return new SrvListener{s, acceptEvent};
}

int SrvListenerPort(SrvListener* listener)
{
    sockaddr_in address = {};
    int length = sizeof address;
    if (getsockname(listener->socket, reinterpret_cast<sockaddr*>(&address), &length) == SOCKET_ERROR)
        return 0;
    return ntohs(address.sin_port);
}

SrvAcceptWait SrvWaitAccept(SrvListener* listener, SrvStopEvent* stop)
{
    const WSAEVENT events[2] = {stop->event, listener->acceptEvent};
    const DWORD r = WSAWaitForMultipleEvents(2, events, FALSE, WSA_INFINITE, FALSE);
    if (r == WSA_WAIT_FAILED)
        return SrvAcceptWait::kFailed;
    if (r == WSA_WAIT_EVENT_0)
        return SrvAcceptWait::kStopped;
    WSANETWORKEVENTS network;
    if (WSAEnumNetworkEvents(listener->socket, listener->acceptEvent, &network) == SOCKET_ERROR)
        return SrvAcceptWait::kFailed;
    return network.lNetworkEvents == FD_ACCEPT ? SrvAcceptWait::kReady : SrvAcceptWait::kNothing;
}

SrvSocket SrvAccept(SrvListener* listener, char (&peer)[16], unsigned short* peerPort)
{
    sockaddr_in address = {};
    int length = sizeof address;
    const SOCKET s = WSAAccept(listener->socket, reinterpret_cast<sockaddr*>(&address), &length, nullptr, 0);
    const unsigned char* b = reinterpret_cast<const unsigned char*>(&address.sin_addr.s_addr);
    std::snprintf(peer, sizeof peer, "%d.%d.%d.%d", b[0], b[1], b[2], b[3]);
    *peerPort = address.sin_port;
    if (s == INVALID_SOCKET)
        return kSrvNoSocket;
    // Responses go out whole; waiting for an acknowledgement before the
    // last small piece would only add latency.
    BOOL on = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    return static_cast<SrvSocket>(s);
}

void SrvCloseListener(SrvListener* listener)
{
    if (!listener)
        return;
    WSACloseEvent(listener->acceptEvent);
    closesocket(listener->socket);
    delete listener;
}

SrvWatch* SrvWatchSocket(SrvSocket socket)
{
    const WSAEVENT event = WSACreateEvent();
    if (event == WSA_INVALID_EVENT)
        return nullptr;
    if (WSAEventSelect(AsSocket(socket), event, FD_READ | FD_WRITE | FD_CLOSE) == SOCKET_ERROR) {
        WSACloseEvent(event);
        return nullptr;
    }
    auto* watch = new (std::nothrow) SrvWatch{AsSocket(socket), event};
    if (!watch)
        WSACloseEvent(event);
    return watch;
}

int SrvWaitConnection(SrvWatch* watch, SrvStopEvent* stop, bool)
{
    // FD_WRITE is recorded only after a send would have blocked, so there is
    // nothing to ask for: the caller ignores it without a pending response.
    const WSAEVENT events[2] = {stop->event, watch->event};
    const DWORD r = WSAWaitForMultipleEvents(2, events, FALSE, WSA_INFINITE, FALSE);
    if (r == WSA_WAIT_FAILED)
        return kSrvWaitFailed;
    if (r == WSA_WAIT_EVENT_0)
        return kSrvStopped;
    WSANETWORKEVENTS network;
    if (WSAEnumNetworkEvents(watch->socket, watch->event, &network) == SOCKET_ERROR)
        return 0;
    return static_cast<int>(network.lNetworkEvents & (FD_READ | FD_WRITE | FD_CLOSE));
}

void SrvCloseWatch(SrvWatch* watch)
{
    if (!watch)
        return;
    WSACloseEvent(watch->event);
    delete watch;
}

long SrvRecv(SrvSocket socket, char* buffer, int length)
{
    WSABUF piece = {static_cast<ULONG>(length), buffer};
    DWORD received = 0, flags = 0;
    if (WSARecv(AsSocket(socket), &piece, 1, &received, &flags, nullptr, nullptr) == 0)
        return static_cast<long>(received);
    return WSAGetLastError() == WSAEWOULDBLOCK ? kSrvWouldBlock : kSrvIoError;
}

long SrvSend(SrvSocket socket, const char* bytes, int length)
{
    WSABUF piece = {static_cast<ULONG>(length), const_cast<char*>(bytes)};
    DWORD sent = 0;
    if (WSASend(AsSocket(socket), &piece, 1, &sent, 0, nullptr, nullptr) == 0)
        return static_cast<long>(sent);
    return WSAGetLastError() == WSAEWOULDBLOCK ? kSrvWouldBlock : kSrvIoError;
}

void SrvCloseSocket(SrvSocket socket)
{
    if (socket != kSrvNoSocket)
        closesocket(AsSocket(socket));
}

bool SrvStartThread(SrvThreadProc proc, void* arg, SrvThread* thread)
{
    auto* start = new (std::nothrow) ThreadStart{proc, arg};
    if (!start)
        return false;
    unsigned id = 0;
    const uintptr_t handle = _beginthreadex(nullptr, 0, &ThreadTrampoline, start, 0, &id);
    if (handle == 0) {
        delete start;
        return false;
    }
    thread->handle = handle;
    thread->id = id;
    return true;
}

unsigned long SrvCurrentThreadId()
{
    return GetCurrentThreadId();
}

bool SrvJoinThread(const SrvThread& thread, int timeoutMs)
{
    const DWORD limit = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
    return WaitForSingleObject(reinterpret_cast<HANDLE>(thread.handle), limit) == WAIT_OBJECT_0;
}

void SrvAbandonThread(const SrvThread& thread)
{
    TerminateThread(reinterpret_cast<HANDLE>(thread.handle), 4660);
    CloseHandle(reinterpret_cast<HANDLE>(thread.handle));
}

void SrvCloseThread(const SrvThread& thread)
{
    CloseHandle(reinterpret_cast<HANDLE>(thread.handle));
}

std::string SrvCurrentFolder()
{
    char folder[1000];
    const DWORD n = GetCurrentDirectoryA(sizeof folder, folder);
    return (n > 0 && n < sizeof folder) ? std::string(folder, n) : std::string();
}
