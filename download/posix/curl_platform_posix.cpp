#include "download/curl/curl_platform.h"

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
