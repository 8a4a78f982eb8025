#include "gamewindow/core/login_state.h"

std::string g_loginPf;
std::string g_loginServerId;
std::string g_loginErrCode;
