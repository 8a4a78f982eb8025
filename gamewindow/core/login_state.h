// What the login capture and the client commands remember for the rest of
// the run; read when window pictures are named. UI thread only.
#pragma once

#include <string>

// The "pf" and "serverId" texts of the last captured login URL (GetQueryParam).
extern std::string g_loginPf;
extern std::string g_loginServerId;
// "0" once a client command reported a successful login; never cleared.
extern std::string g_loginErrCode;
