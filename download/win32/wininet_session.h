// What every WinInet fetch shares: the user agent, the access type and the
// session handle, which is opened per fetch and closed at its end.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <string>

struct InternetHandleTraits {
    using Type = HINTERNET;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::InternetCloseHandle(h); }
};

#include "framework/handles.h"

using ScopedInternet = UniqueHandle<InternetHandleTraits>;

// "Agent%ld" with the milliseconds since system start as a signed 32-bit number.
std::string TickAgent();

// The connection flags of InternetGetConnectedState (0 when it fails) and
// whether the call itself succeeded.
struct ConnectionState {
    bool connected = false;
    DWORD flags = 0;
    bool Offline() const { return (flags & INTERNET_CONNECTION_OFFLINE) != 0; }
    bool Proxy() const { return (flags & INTERNET_CONNECTION_PROXY) != 0; }
};
ConnectionState QueryConnectionState();

// INTERNET_OPEN_TYPE_PRECONFIG behind a proxy, else PRECONFIG_WITH_NO_AUTOPROXY.
DWORD AccessTypeFor(const ConnectionState& state);

// Time limits for connecting and receiving, so a peer that stops answering
// cannot hold a thread for ever.
void ApplyFetchTimeouts(HINTERNET session);
