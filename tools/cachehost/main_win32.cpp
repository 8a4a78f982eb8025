// The Windows cache server as a console program for end-to-end tests under
// Wine: it serves until its standard input ends, then stops in order. With
// ROOT "-" it starts the process-wide server exactly as the program does.
#include "cacheserver/core/http_server.h"
#include "cacheserver/win32/server_launch.h"
#include "tools/cachehost/host_options.h"

#include <windows.h>

#include <cstdio>

namespace {

void WaitForInputEnd()
{
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    char piece[256];
    DWORD read = 0;
    if (input == nullptr || input == INVALID_HANDLE_VALUE) {
        Sleep(INFINITE);
        return;
    }
    while (ReadFile(input, piece, sizeof piece, &read, nullptr) && read > 0) {
    }
}

} // namespace

int main(int argc, char** argv)
{
    HostOptions options;
    if (!ParseHostOptions(argc, argv, &options)) {
        std::fputs(kHostUsage, stderr);
        return 2;
    }
    if (options.root == "-") {
        const bool ok = LaunchCacheServer(HostConfig(options));
        ReportLaunch(ok, g_httpServer.ListeningPort());
        if (!ok)
            return 1;
        WaitForInputEnd();
        // The process-wide server stops itself at exit.
        std::printf("stopping\n");
        return 0;
    }
    CHTTPServer server;
    if (!LaunchHost(options, server))
        return 1;
    WaitForInputEnd();
    server.Stop();
    std::printf("stopped\n");
    return 0;
}
