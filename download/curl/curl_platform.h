// What the curl fetch needs of the platform: its sockets, the user agent's
// clock and the player's proxy. Implemented in posix/ and win32/.
#pragma once

#include <curl/curl.h>

#include <string>

curl_socket_t OpenCurlSocket(int family, int type, int protocol);
int CloseCurlSocket(curl_socket_t fd);
// The local or (peer) remote port of a connected socket; -1 when unknown.
int CurlSocketPort(curl_socket_t fd, bool peer);
// True when data or the peer's end already waits on the socket; asks
// without waiting and reads nothing.
bool CurlSocketHoldsInput(curl_socket_t fd);
void ShutCurlSocket(curl_socket_t fd);

// "Agent%ld" with the milliseconds since system start as a signed 32-bit number.
std::string CurlTickAgent();

// How a fetch of url reaches the network, as set by the player's system.
struct CurlProxyChoice {
    // False: libcurl's own default (its environment variables) is left alone.
    bool decided = false;
    // "host:port", or empty for a direct connection.
    std::string proxy;
};
CurlProxyChoice ChooseCurlProxy(const char* url);
