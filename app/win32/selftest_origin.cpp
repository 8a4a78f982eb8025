#include "app/win32/selftest_origin.h"

#include <ws2tcpip.h>

#include <process.h>

#include <cstdlib>
#include <vector>

namespace {

// A request head longer than this is not one of the cache server's.
constexpr size_t kMaxRequestBytes = 16384;
constexpr DWORD kPeerTimeoutMs = 5000;

class ScopedSocket {
public:
    explicit ScopedSocket(SOCKET s) : m_socket(s) {}
    ~ScopedSocket()
    {
        if (m_socket != INVALID_SOCKET)
            ::closesocket(m_socket);
    }
    ScopedSocket(const ScopedSocket&) = delete;
    ScopedSocket& operator=(const ScopedSocket&) = delete;
    SOCKET Get() const { return m_socket; }

private:
    SOCKET m_socket;
};

void SetTimeouts(SOCKET s, DWORD ms)
{
    ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms);
    ::setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms);
}

bool SendAll(SOCKET s, const std::string& bytes)
{
    size_t at = 0;
    while (at < bytes.size()) {
        const int chunk = bytes.size() - at > 65536 ? 65536 : static_cast<int>(bytes.size() - at);
        const int sent = ::send(s, bytes.data() + at, chunk, 0);
        if (sent <= 0)
            return false;
        at += static_cast<size_t>(sent);
    }
    return true;
}

sockaddr_in Loopback(int port)
{
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<u_short>(port));
    return address;
}

// The target of "GET <target> HTTP/1.x" without its query; empty otherwise.
std::string RequestPath(const std::string& head)
{
    if (head.compare(0, 4, "GET ") != 0)
        return std::string();
    const size_t end = head.find(' ', 4);
    if (end == std::string::npos)
        return std::string();
    std::string target = head.substr(4, end - 4);
    target = target.substr(0, target.find('?'));
    // A base that ends in "/" joined to a path that starts with one.
    while (target.compare(0, 2, "//") == 0)
        target.erase(0, 1);
    return target;
}

} // namespace

void SelfTestOrigin::Serve(const std::string& path, const std::string& contentType, const std::string& body)
{
    std::lock_guard<std::mutex> hold(m_lock);
    m_resources[path] = Resource{contentType, body};
}

bool SelfTestOrigin::Start()
{
    WSADATA data;
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return false;
    m_winsock = true;
    m_listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (m_listener == INVALID_SOCKET)
        return false;
    sockaddr_in address = Loopback(0);
    int length = sizeof address;
    if (::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listener, SOMAXCONN) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return false;
    m_port = ntohs(address.sin_port);
    m_stop.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!m_stop)
        return false;
    m_thread.Reset(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &ThreadMain, this, 0, nullptr)));
    return static_cast<bool>(m_thread);
}

void SelfTestOrigin::Stop()
{
    if (m_thread) {
        ::SetEvent(m_stop.Get());
        ::WaitForSingleObject(m_thread.Get(), INFINITE);
        m_thread.Reset();
    }
    if (m_listener != INVALID_SOCKET) {
        ::closesocket(m_listener);
        m_listener = INVALID_SOCKET;
    }
    if (m_winsock) {
        ::WSACleanup();
        m_winsock = false;
    }
}

std::string SelfTestOrigin::BaseUrl() const
{
    return "http://127.0.0.1:" + std::to_string(m_port) + "/";
}

int SelfTestOrigin::Requests(const std::string& path)
{
    std::lock_guard<std::mutex> hold(m_lock);
    const auto found = m_requests.find(path);
    return found == m_requests.end() ? 0 : found->second;
}

unsigned __stdcall SelfTestOrigin::ThreadMain(void* self)
{
    static_cast<SelfTestOrigin*>(self)->Run();
    return 0;
}

void SelfTestOrigin::Run()
{
    // Wakes at least every 100 ms to see whether it is to stop.
    while (::WaitForSingleObject(m_stop.Get(), 0) == WAIT_TIMEOUT) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(m_listener, &readable);
        timeval wait = {0, 100 * 1000};
        if (::select(0, &readable, nullptr, nullptr, &wait) <= 0)
            continue;
        ScopedSocket peer(::accept(m_listener, nullptr, nullptr));
        if (peer.Get() != INVALID_SOCKET)
            Answer(peer.Get());
    }
}

void SelfTestOrigin::Answer(SOCKET peer)
{
    SetTimeouts(peer, kPeerTimeoutMs);
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos) {
        const int got = ::recv(peer, buffer, sizeof buffer, 0);
        if (got <= 0 || head.size() + static_cast<size_t>(got) > kMaxRequestBytes)
            return;
        head.append(buffer, static_cast<size_t>(got));
    }
    std::string path = RequestPath(head);
    Resource resource;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        const auto found = m_resources.find(path);
        if (found == m_resources.end())
            path.clear();
        else
            resource = found->second;
        ++m_requests[path];
    }
    if (path.empty()) {
        SendAll(peer, "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        return;
    }
    SendAll(peer, "HTTP/1.1 200 OK\r\nContent-Type: " + resource.contentType +
                      "\r\nContent-Length: " + std::to_string(resource.body.size()) +
                      "\r\nConnection: close\r\n\r\n" + resource.body);
    ::shutdown(peer, SD_SEND);
}

bool LoopbackGet(int port, const std::string& path, unsigned timeoutMs, int* status, std::string* body)
{
    ScopedSocket s(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (s.Get() == INVALID_SOCKET)
        return false;
    SetTimeouts(s.Get(), timeoutMs);
    const sockaddr_in address = Loopback(port);
    if (::connect(s.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return false;
    // HTTP/1.0 without keep-alive: the server closes after the answer.
    if (!SendAll(s.Get(), "GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n\r\n"))
        return false;
    std::string answer;
    char buffer[16384];
    for (;;) {
        const int got = ::recv(s.Get(), buffer, sizeof buffer, 0);
        if (got == 0)
            break;
        if (got < 0)
            return false;
        answer.append(buffer, static_cast<size_t>(got));
    }
    const size_t split = answer.find("\r\n\r\n");
    if (split == std::string::npos || answer.compare(0, 5, "HTTP/") != 0)
        return false;
    const size_t space = answer.find(' ');
    if (space == std::string::npos || space > split)
        return false;
    *status = std::atoi(answer.c_str() + space + 1);
    *body = answer.substr(split + 4);
    return true;
}
