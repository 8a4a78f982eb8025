#include "download/curl/curl_platform.h"

#include <arpa/inet.h>
#include <cstdio>
#include <ctime>
#include <sys/socket.h>
#include <unistd.h>

curl_socket_t OpenCurlSocket(int family, int type, int protocol)
{
    return socket(family, type, protocol);
}

int CloseCurlSocket(curl_socket_t fd)
{
    return close(fd);
}

int CurlSocketPort(curl_socket_t fd, bool peer)
{
    sockaddr_storage address = {};
    socklen_t length = sizeof address;
    const int r = peer ? getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length)
                       : getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    if (r != 0)
        return -1;
    if (address.ss_family == AF_INET)
        return ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port);
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<sockaddr_in6*>(&address)->sin6_port);
    return -1;
}

bool CurlSocketHoldsInput(curl_socket_t fd)
{
    char byte;
    // Fails with EAGAIN when nothing waits: the usual case.
    return recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) >= 0;
}

void ShutCurlSocket(curl_socket_t fd)
{
    shutdown(fd, SHUT_RDWR);
}

std::string CurlTickAgent()
{
    timespec now = {};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const unsigned long long ms = static_cast<unsigned long long>(now.tv_sec) * 1000ULL +
                                  static_cast<unsigned long long>(now.tv_nsec / 1000000L);
    char agent[32];
    std::snprintf(agent, sizeof agent, "Agent%ld", static_cast<long>(static_cast<int>(static_cast<unsigned>(ms))));
    return agent;
}

CurlProxyChoice ChooseCurlProxy(const char*)
{
    // Natively the proxy is the environment's (http_proxy and friends).
    return CurlProxyChoice();
}
