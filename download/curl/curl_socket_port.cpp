// The ports of a socket, through the calls both platforms share.
#include "download/curl/curl_platform.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

int CurlSocketPort(curl_socket_t fd, bool peer)
{
    sockaddr_storage address = {};
    // int on Windows, socklen_t elsewhere.
    curl_socklen_t length = sizeof address;
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
