// The cache server as a native command-line program; it ends in order on
// SIGINT or SIGTERM.
#include "cacheserver/core/http_server.h"
#include "tools/cachehost/host_options.h"

#include <csignal>
#include <cstdio>
#include <pthread.h>

int main(int argc, char** argv)
{
    HostOptions options;
    if (!ParseHostOptions(argc, argv, &options)) {
        std::fputs(kHostUsage, stderr);
        return 2;
    }
    // Blocked before any server thread exists, so only sigwait sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    CHTTPServer server;
    if (!LaunchHost(options, server))
        return 1;
    int received = 0;
    sigwait(&stopSignals, &received);
    server.Stop();
    std::printf("stopped\n");
    return 0;
}
