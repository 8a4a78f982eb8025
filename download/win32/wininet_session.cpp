#include "download/win32/wininet_session.h"

#include <cstdio>

std::string TickAgent()
{
    char agent[32];
    std::snprintf(agent, sizeof agent, "Agent%ld", static_cast<long>(static_cast<LONG>(GetTickCount())));
    return agent;
}

ConnectionState QueryConnectionState()
{
    ConnectionState state;
    state.connected = InternetGetConnectedState(&state.flags, 0) != FALSE;
    return state;
}

DWORD AccessTypeFor(const ConnectionState& state)
{
    return state.Proxy() ? INTERNET_OPEN_TYPE_PRECONFIG : INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY;
}

void ApplyFetchTimeouts(HINTERNET session)
{
    DWORD connect = 15000, receive = 30000;
    InternetSetOptionW(session, INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof connect);
    InternetSetOptionW(session, INTERNET_OPTION_RECEIVE_TIMEOUT, &receive, sizeof receive);
    InternetSetOptionW(session, INTERNET_OPTION_SEND_TIMEOUT, &receive, sizeof receive);
}
