// Command line and wiring of the stand-alone cache-server hosts used by
// benchmarks and end-to-end tests:
//   kestrun_cache_host [--budget=BYTES] [--touch=SECONDS] [--trust-ca=FILE] ROOT PORT CDN_BASE [LIMIT_SECONDS]
//   --budget       size budget of the cache folder (0: unbounded)
//   --touch        how often a hit may move its file's time
//   --trust-ca     https CDNs are trusted only when this PEM file's
//                  authorities sign them (a test authority), not the system's
//   ROOT           cache folder ("-": the wz_cdn folder of the current folder)
//   PORT           first port to try (0: one the system chooses)
//   CDN_BASE       resource CDN base URL, ending in "/"
//   LIMIT_SECONDS  replaces the idle, request header, response stall, rate
//                  window, CDN answer and CDN stall time limits
// The hosts are programs of their own, so unlike the server they may use
// the download client: the program's fetch (FetchForCache) is wired in here.
#pragma once

#include "cacheserver/core/cache_server_config.h"

#include <string>

class CHTTPServer;

struct HostOptions {
    std::string root;
    int port = 0;
    std::string cdnBase;
    int limitSeconds = 0; // 0: the server's own limits
    long long budgetBytes = -1; // -1: the server's default
    int touchSeconds = -1;      // -1: the server's default
    std::string trustedCaFile;  // empty: the system's certificate store
};

extern const char kHostUsage[];

bool ParseHostOptions(int argc, char** argv, HostOptions* options);
// The server's configuration for these options; a taken port is replaced
// by one the system chooses. Also prepares the fetch it uses.
CacheServerConfig HostConfig(const HostOptions& options);
// Prints "listening <port>" (or "failed") on stdout for the scripts.
void ReportLaunch(bool ok, int port);
// Launches the server with HostConfig and reports it.
bool LaunchHost(const HostOptions& options, CHTTPServer& server);
