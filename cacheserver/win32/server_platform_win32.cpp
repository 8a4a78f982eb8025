// The server platform on Windows: Winsock 2 (event-select for the listener,
// WSAPoll for connections),
// kernel threads from _beginthreadex, files through the kernel's handles
// (the C runtime's cannot be renamed or deleted while open).
#include "cacheserver/core/server_platform.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <process.h>

#include <atomic>
#include <cstdio>
#include <new>
#include <vector>

const char kSrvPathSeparator = '\\';

struct SrvStopEvent {
    WSAEVENT event;
};
struct SrvListener {
    SOCKET socket;
    WSAEVENT acceptEvent;
};
struct SrvPoller {
    // A datagram socket connected to itself: a byte sent to it ends a wait.
    SOCKET wake;
    std::vector<WSAPOLLFD> fds; // reused from wait to wait
};
struct SrvFile {
    HANDLE handle;
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

SrvFile* WrapHandle(HANDLE handle)
{
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    auto* file = new (std::nothrow) SrvFile{handle};
    if (!file)
        CloseHandle(handle);
    return file;
}

OVERLAPPED At(long long offset)
{
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(static_cast<unsigned long long>(offset) & 0xffffffffULL);
    at.OffsetHigh = static_cast<DWORD>(static_cast<unsigned long long>(offset) >> 32);
    return at;
}

// Others may read the file and rename or delete it while we hold it.
constexpr DWORD kShareReadDelete = FILE_SHARE_READ | FILE_SHARE_DELETE;

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
    if (s == INVALID_SOCKET) {
        const int error = WSAGetLastError();
        return error == WSAEMFILE || error == WSAENOBUFS ? kSrvOutOfSockets : kSrvNoSocket;
    }
    // The accepted socket inherits the listener's event-select, which a
    // connection has no use for; without it, it is made non-blocking
    // explicitly ("accept" and "WSAEventSelect" on learn.microsoft.com).
    u_long nonBlocking = 1;
    if (WSAEventSelect(s, nullptr, 0) == SOCKET_ERROR || ioctlsocket(s, FIONBIO, &nonBlocking) == SOCKET_ERROR) {
        closesocket(s);
        return kSrvNoSocket;
    }
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

SrvPoller* SrvCreatePoller()
{
    const SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET)
        return nullptr;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    u_long nonBlocking = 1;
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == SOCKET_ERROR ||
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == SOCKET_ERROR ||
        connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == SOCKET_ERROR ||
        ioctlsocket(s, FIONBIO, &nonBlocking) == SOCKET_ERROR) {
        closesocket(s);
        return nullptr;
    }
    auto* poller = new (std::nothrow) SrvPoller{s, {}};
    if (!poller)
        closesocket(s);
    return poller;
}

void SrvClosePoller(SrvPoller* poller)
{
    if (!poller)
        return;
    closesocket(poller->wake);
    delete poller;
}

void SrvWakePoller(SrvPoller* poller)
{
    // Bytes already waiting wake the waiter just as well, so a full buffer
    // loses nothing.
    send(poller->wake, "w", 1, 0);
}

bool SrvPoll(SrvPoller* poller, SrvPollItem* items, size_t count, int timeoutMs)
{
    std::vector<WSAPOLLFD>& fds = poller->fds;
    try {
        fds.resize(count + 1);
    } catch (const std::bad_alloc&) {
        return false;
    }
    // Only POLLRDNORM and POLLWRNORM are asked for: WSAPoll reports errors
    // and hang-ups by itself, and refuses some other requested flags.
    fds[0] = {poller->wake, POLLRDNORM, 0};
    for (size_t i = 0; i < count; ++i)
        fds[i + 1] = {AsSocket(items[i].socket), static_cast<SHORT>(items[i].write ? POLLWRNORM : POLLRDNORM), 0};
    if (WSAPoll(fds.data(), static_cast<ULONG>(fds.size()), timeoutMs < 0 ? -1 : timeoutMs) == SOCKET_ERROR)
        return false;
    if (fds[0].revents != 0) {
        char drained[64];
        while (recv(poller->wake, drained, sizeof drained, 0) > 0) {
        }
    }
    // After the peer's FIN, WSAPoll reports POLLHUP whatever was asked for
    // ("WSAPoll function", learn.microsoft.com): the caller is told, so
    // that a wait for room does not become a busy loop.
    for (size_t i = 0; i < count; ++i) {
        const SHORT revents = fds[i + 1].revents;
        items[i].ready = revents != 0;
        items[i].hangUp = (revents & (POLLHUP | POLLERR | POLLNVAL)) != 0 && (revents & fds[i + 1].events) == 0;
    }
    return true;
}

bool SrvWaitReadable(SrvSocket socket, int timeoutMs)
{
    WSAPOLLFD fd = {AsSocket(socket), POLLRDNORM, 0};
    return WSAPoll(&fd, 1, timeoutMs) > 0;
}

long SrvRecv(SrvSocket socket, char* buffer, int length)
{
    WSABUF piece = {static_cast<ULONG>(length), buffer};
    DWORD received = 0, flags = 0;
    if (WSARecv(AsSocket(socket), &piece, 1, &received, &flags, nullptr, nullptr) == 0)
        return static_cast<long>(received);
    return WSAGetLastError() == WSAEWOULDBLOCK ? kSrvWouldBlock : kSrvIoError;
}

long SrvSend(SrvSocket socket, const char* bytes, int length, bool)
{
    WSABUF piece = {static_cast<ULONG>(length), const_cast<char*>(bytes)};
    DWORD sent = 0;
    if (WSASend(AsSocket(socket), &piece, 1, &sent, 0, nullptr, nullptr) == 0)
        return static_cast<long>(sent);
    return WSAGetLastError() == WSAEWOULDBLOCK ? kSrvWouldBlock : kSrvIoError;
}

void SrvShutdownSend(SrvSocket socket)
{
    shutdown(AsSocket(socket), SD_SEND);
}

void SrvCloseSocket(SrvSocket socket)
{
    if (socket != kSrvNoSocket)
        closesocket(AsSocket(socket));
}

bool SrvStartThread(SrvThreadProc proc, void* arg, SrvThread* thread, unsigned stackBytes)
{
    auto* start = new (std::nothrow) ThreadStart{proc, arg};
    if (!start)
        return false;
    unsigned id = 0;
    // A reservation, not a commitment: the serving threads must fit a
    // 32-bit address space.
    const unsigned flags = stackBytes > 0 ? STACK_SIZE_PARAM_IS_A_RESERVATION : 0;
    const uintptr_t handle = _beginthreadex(nullptr, stackBytes, &ThreadTrampoline, start, flags, &id);
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

void SrvDetachThread(const SrvThread& thread)
{
    // Never TerminateThread: a thread killed inside the heap or WinInet
    // would leave their locks held for the rest of the process.
    CloseHandle(reinterpret_cast<HANDLE>(thread.handle));
}

void SrvCloseThread(const SrvThread& thread)
{
    CloseHandle(reinterpret_cast<HANDLE>(thread.handle));
}

unsigned long SrvProcessId()
{
    return GetCurrentProcessId();
}

bool SrvProcessRunning(unsigned long processId)
{
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(processId));
    if (!process)
        return GetLastError() == ERROR_ACCESS_DENIED;
    DWORD code = 0;
    const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    CloseHandle(process);
    return running;
}

SrvFile* SrvCreateNewFile(const std::string& path)
{
    return WrapHandle(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShareReadDelete, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
}

SrvFile* SrvCreateScratchFile()
{
    static std::atomic<unsigned> counter{0};
    char folder[MAX_PATH + 1];
    const DWORD n = GetTempPathA(sizeof folder, folder);
    if (n == 0 || n >= sizeof folder)
        return nullptr;
    for (int attempt = 0; attempt < 16; ++attempt) {
        char name[64];
        std::snprintf(name, sizeof name, "kestrun-%lu-%u.tmp", GetCurrentProcessId(), counter.fetch_add(1));
        const std::string path = std::string(folder) + name;
        const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShareReadDelete, nullptr,
                                          CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (handle != INVALID_HANDLE_VALUE)
            return WrapHandle(handle);
        if (GetLastError() != ERROR_FILE_EXISTS)
            return nullptr;
    }
    return nullptr;
}

SrvFile* SrvOpenFile(const std::string& path)
{
    const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        CloseHandle(handle);
        return nullptr;
    }
    return WrapHandle(handle);
}

long long SrvFileSize(SrvFile* file)
{
    LARGE_INTEGER size;
    return GetFileSizeEx(file->handle, &size) ? static_cast<long long>(size.QuadPart) : -1;
}

long SrvReadAt(SrvFile* file, long long offset, char* into, int length)
{
    OVERLAPPED at = At(offset);
    DWORD got = 0;
    if (ReadFile(file->handle, into, static_cast<DWORD>(length), &got, &at))
        return static_cast<long>(got);
    return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
}

bool SrvWriteAt(SrvFile* file, long long offset, const char* bytes, int length)
{
    while (length > 0) {
        OVERLAPPED at = At(offset);
        DWORD written = 0;
        if (!WriteFile(file->handle, bytes, static_cast<DWORD>(length), &written, &at) || written == 0)
            return false;
        bytes += written;
        offset += written;
        length -= static_cast<int>(written);
    }
    return true;
}

void SrvCloseFile(SrvFile* file)
{
    if (!file)
        return;
    CloseHandle(file->handle);
    delete file;
}

bool SrvRemoveFile(const std::string& path)
{
    return DeleteFileA(path.c_str()) != FALSE;
}

void SrvListFolder(const std::string& folder, const std::function<void(const std::string&, long long)>& visit)
{
    std::string pattern = folder;
    if (pattern.empty() || (pattern.back() != '\\' && pattern.back() != '/'))
        pattern += '\\';
    pattern += '*';
    WIN32_FIND_DATAA entry;
    const HANDLE find = FindFirstFileA(pattern.c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return;
    FILETIME nowTime;
    GetSystemTimeAsFileTime(&nowTime);
    const auto ticks = [](const FILETIME& t) {
        return static_cast<long long>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    };
    const long long now = ticks(nowTime);
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            visit(entry.cFileName, (now - ticks(entry.ftLastWriteTime)) / 10000000LL);
    } while (FindNextFileA(find, &entry));
    FindClose(find);
}

long SrvSendFile(SrvSocket, SrvFile*, long long, int)
{
    // TransmitFile is throttled on client editions of Windows; plain reads
    // and sends serve every edition alike.
    return kSrvUnsupported;
}

std::string SrvCurrentFolder()
{
    char folder[1000];
    const DWORD n = GetCurrentDirectoryA(sizeof folder, folder);
    return (n > 0 && n < sizeof folder) ? std::string(folder, n) : std::string();
}
