#include "cacheserver/win32/server_launch.h"

bool LaunchCacheServer()
{
    return false; // not built yet
}
