// The server platform natively: non-blocking sockets, poll, an eventfd as
// the stop signal, POSIX threads, and sendfile for file bodies.
#include "cacheserver/core/server_platform.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <new>
#include <vector>

const char kSrvPathSeparator = '/';

struct SrvStopEvent {
    int fd;
};
struct SrvListener {
    int fd;
};
struct SrvPoller {
    int wakeFd;
    std::vector<pollfd> fds; // reused from wait to wait
};
struct SrvFile {
    int fd;
    // What the fstat of SrvOpenFile found, or -1. Files are only opened to
    // be read, and cache files are replaced by renaming, never rewritten,
    // so the size of an open one does not change: a hit need not ask twice.
    long long openedSize;
};

namespace {

struct ThreadStart {
    SrvThreadProc proc;
    void* arg;
};

void* ThreadTrampoline(void* raw)
{
    // sendfile has no MSG_NOSIGNAL: a peer that went away must give EPIPE,
    // not end the process. A SIGPIPE raised on this thread stays pending.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    ThreadStart start = *static_cast<ThreadStart*>(raw);
    delete static_cast<ThreadStart*>(raw);
    start.proc(start.arg);
    return nullptr;
}

// Polls the stop event and one socket; the stop event is looked at first so
// that a busy connection cannot delay an orderly stop.
int PollWithStop(SrvStopEvent* stop, int fd, short events, short* revents, int timeoutMs)
{
    pollfd fds[2] = {{stop->fd, POLLIN, 0}, {fd, events, 0}};
    const int n = poll(fds, fd >= 0 ? 2 : 1, timeoutMs);
    if (n < 0)
        return errno == EINTR ? 0 : -1;
    if (fds[0].revents & POLLIN)
        return 1;
    if (revents)
        *revents = fds[1].revents;
    return 0;
}

SrvFile* WrapFileDescriptor(int fd)
{
    if (fd < 0)
        return nullptr;
    auto* file = new (std::nothrow) SrvFile{fd, -1};
    if (!file)
        close(fd);
    return file;
}

} // namespace

SrvStopEvent* SrvCreateStopEvent()
{
    const int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (fd < 0)
        return nullptr;
    return new SrvStopEvent{fd};
}

void SrvSignalStop(SrvStopEvent* stop)
{
    // Never read back, so the event stays signalled.
    const uint64_t one = 1;
    ssize_t written = write(stop->fd, &one, sizeof one);
    (void)written;
}

bool SrvWaitStop(SrvStopEvent* stop, int timeoutMs)
{
    pollfd fd = {stop->fd, POLLIN, 0};
    const int n = poll(&fd, 1, timeoutMs);
    if (n < 0)
        return errno != EINTR;
    return n > 0;
}

void SrvCloseStopEvent(SrvStopEvent* stop)
{
    if (!stop)
        return;
    close(stop->fd);
    delete stop;
}

bool SrvNetStartup()
{
    return true;
}

void SrvNetCleanup() {}

SrvListener* SrvListen(int port, SrvListenStatus* status)
{
    *status = SrvListenStatus::kFailed;
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return nullptr;
    // Lets a restarted server reuse a port that still has closing connections;
    // a port another socket listens on stays taken.
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (errno == EADDRINUSE)
            *status = SrvListenStatus::kAddressInUse;
        close(fd);
        return nullptr;
    }
    if (listen(fd, SOMAXCONN) != 0) {
        if (errno == EADDRINUSE)
            *status = SrvListenStatus::kAddressInUse;
        close(fd);
        return nullptr;
    }
    *status = SrvListenStatus::kOk;
    return new SrvListener{fd};
}

int SrvListenerPort(SrvListener* listener)
{
    sockaddr_in address = {};
    socklen_t length = sizeof address;
    if (getsockname(listener->fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}

SrvAcceptWait SrvWaitAccept(SrvListener* listener, SrvStopEvent* stop)
{
    short revents = 0;
    const int r = PollWithStop(stop, listener->fd, POLLIN, &revents, -1);
    if (r < 0)
        return SrvAcceptWait::kFailed;
    if (r > 0)
        return SrvAcceptWait::kStopped;
    return (revents & POLLIN) ? SrvAcceptWait::kReady : SrvAcceptWait::kNothing;
}

SrvSocket SrvAccept(SrvListener* listener, char (&peer)[16], unsigned short* peerPort)
{
    sockaddr_in address = {};
    socklen_t length = sizeof address;
    const int fd = accept4(listener->fd, reinterpret_cast<sockaddr*>(&address), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
    const unsigned char* b = reinterpret_cast<const unsigned char*>(&address.sin_addr.s_addr);
    std::snprintf(peer, sizeof peer, "%d.%d.%d.%d", b[0], b[1], b[2], b[3]);
    *peerPort = address.sin_port;
    if (fd < 0) {
        // The listener stays readable while the connection waits in its
        // queue: without a wait the accept thread would spin.
        const bool exhausted = errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM;
        return exhausted ? kSrvOutOfSockets : kSrvNoSocket;
    }
    // Responses go out whole; waiting for an acknowledgement before the
    // last small piece would only add latency.
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

void SrvCloseListener(SrvListener* listener)
{
    if (!listener)
        return;
    close(listener->fd);
    delete listener;
}

SrvPoller* SrvCreatePoller()
{
    const int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (fd < 0)
        return nullptr;
    auto* poller = new (std::nothrow) SrvPoller{fd, {}};
    if (!poller)
        close(fd);
    return poller;
}

void SrvClosePoller(SrvPoller* poller)
{
    if (!poller)
        return;
    close(poller->wakeFd);
    delete poller;
}

void SrvWakePoller(SrvPoller* poller)
{
    const eventfd_t one = 1;
    // A full counter already wakes the waiter.
    (void)!write(poller->wakeFd, &one, sizeof one);
}

bool SrvPoll(SrvPoller* poller, SrvPollItem* items, size_t count, int timeoutMs)
{
    std::vector<pollfd>& fds = poller->fds;
    try {
        fds.resize(count + 1);
    } catch (const std::bad_alloc&) {
        return false;
    }
    fds[0] = {poller->wakeFd, POLLIN, 0};
    for (size_t i = 0; i < count; ++i)
        fds[i + 1] = {static_cast<int>(items[i].socket), static_cast<short>(items[i].write ? POLLOUT : POLLIN), 0};
    const int n = poll(fds.data(), fds.size(), timeoutMs);
    if (n < 0)
        return errno == EINTR;
    if (fds[0].revents & POLLIN) {
        eventfd_t drained;
        (void)!read(poller->wakeFd, &drained, sizeof drained);
    }
    for (size_t i = 0; i < count; ++i) {
        const short revents = fds[i + 1].revents;
        items[i].ready = revents != 0;
        items[i].hangUp = (revents & (POLLHUP | POLLERR | POLLNVAL)) != 0 && (revents & fds[i + 1].events) == 0;
    }
    return true;
}

bool SrvWaitReadable(SrvSocket socket, int timeoutMs)
{
    pollfd fd = {static_cast<int>(socket), POLLIN, 0};
    return poll(&fd, 1, timeoutMs) > 0;
}

long SrvRecv(SrvSocket socket, char* buffer, int length)
{
    const ssize_t n = recv(static_cast<int>(socket), buffer, static_cast<size_t>(length), 0);
    if (n >= 0)
        return static_cast<long>(n);
    return (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) ? kSrvWouldBlock : kSrvIoError;
}

long SrvSend(SrvSocket socket, const char* bytes, int length, bool more)
{
    const int flags = MSG_NOSIGNAL | (more ? MSG_MORE : 0);
    const ssize_t n = send(static_cast<int>(socket), bytes, static_cast<size_t>(length), flags);
    if (n >= 0)
        return static_cast<long>(n);
    return (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) ? kSrvWouldBlock : kSrvIoError;
}

void SrvShutdownSend(SrvSocket socket)
{
    shutdown(static_cast<int>(socket), SHUT_WR);
}

void SrvCloseSocket(SrvSocket socket)
{
    if (socket != kSrvNoSocket)
        close(static_cast<int>(socket));
}

bool SrvStartThread(SrvThreadProc proc, void* arg, SrvThread* thread, unsigned stackBytes)
{
    auto* start = new (std::nothrow) ThreadStart{proc, arg};
    if (!start)
        return false;
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    if (stackBytes > 0)
        pthread_attr_setstacksize(&attributes, stackBytes);
    pthread_t id;
    const int created = pthread_create(&id, &attributes, &ThreadTrampoline, start);
    pthread_attr_destroy(&attributes);
    if (created != 0) {
        delete start;
        return false;
    }
    thread->handle = static_cast<std::uintptr_t>(id);
    thread->id = static_cast<unsigned long>(id);
    return true;
}

unsigned long SrvCurrentThreadId()
{
    return static_cast<unsigned long>(pthread_self());
}

bool SrvJoinThread(const SrvThread& thread, int timeoutMs)
{
    const pthread_t id = static_cast<pthread_t>(thread.handle);
    if (timeoutMs < 0)
        return pthread_join(id, nullptr) == 0;
    timespec until;
    clock_gettime(CLOCK_REALTIME, &until);
    until.tv_sec += timeoutMs / 1000;
    until.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1000000L;
    if (until.tv_nsec >= 1000000000L) {
        until.tv_sec += 1;
        until.tv_nsec -= 1000000000L;
    }
    return pthread_timedjoin_np(id, nullptr, &until) == 0;
}

void SrvDetachThread(const SrvThread& thread)
{
    pthread_detach(static_cast<pthread_t>(thread.handle));
}

void SrvCloseThread(const SrvThread&) {}

unsigned long SrvProcessId()
{
    return static_cast<unsigned long>(getpid());
}

bool SrvProcessRunning(unsigned long processId)
{
    if (processId == 0 || processId > static_cast<unsigned long>(INT_MAX))
        return false;
    return kill(static_cast<pid_t>(processId), 0) == 0 || errno == EPERM;
}

SrvFile* SrvCreateNewFile(const std::string& path)
{
    return WrapFileDescriptor(open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
}

SrvFile* SrvCreateScratchFile()
{
    const char* folder = std::getenv("TMPDIR");
    std::string pattern = std::string(folder && *folder ? folder : "/tmp") + "/kestrun-scratch-XXXXXX";
    const int fd = mkostemp(&pattern[0], O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    unlink(pattern.c_str());
    return WrapFileDescriptor(fd);
}

SrvFile* SrvOpenFile(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return nullptr;
    }
    SrvFile* file = WrapFileDescriptor(fd);
    if (file)
        file->openedSize = static_cast<long long>(st.st_size);
    return file;
}

long long SrvFileSize(SrvFile* file)
{
    if (file->openedSize >= 0)
        return file->openedSize;
    struct stat st;
    return fstat(file->fd, &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

long SrvReadAt(SrvFile* file, long long offset, char* into, int length)
{
    for (;;) {
        const ssize_t n = pread(file->fd, into, static_cast<size_t>(length), static_cast<off_t>(offset));
        if (n >= 0)
            return static_cast<long>(n);
        if (errno != EINTR)
            return -1;
    }
}

bool SrvWriteAt(SrvFile* file, long long offset, const char* bytes, int length)
{
    while (length > 0) {
        const ssize_t n = pwrite(file->fd, bytes, static_cast<size_t>(length), static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes += n;
        offset += n;
        length -= static_cast<int>(n);
    }
    return true;
}

void SrvCloseFile(SrvFile* file)
{
    if (!file)
        return;
    close(file->fd);
    delete file;
}

bool SrvRemoveFile(const std::string& path)
{
    return unlink(path.c_str()) == 0;
}

void SrvListFolder(const std::string& folder, const std::function<void(const std::string&, long long)>& visit)
{
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return;
    const time_t now = time(nullptr);
    while (dirent* entry = readdir(dir)) {
        struct stat st;
        if (fstatat(dirfd(dir), entry->d_name, &st, 0) == 0 && S_ISREG(st.st_mode))
            visit(entry->d_name, static_cast<long long>(now - st.st_mtime));
    }
    closedir(dir);
}

long SrvSendFile(SrvSocket socket, SrvFile* file, long long offset, int length)
{
    off_t at = static_cast<off_t>(offset);
    const ssize_t n = sendfile(static_cast<int>(socket), file->fd, &at, static_cast<size_t>(length));
    if (n >= 0)
        return static_cast<long>(n);
    return (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) ? kSrvWouldBlock : kSrvIoError;
}

std::string SrvCurrentFolder()
{
    char folder[1000];
    return getcwd(folder, sizeof folder) ? folder : "";
}
