// Command line of the stand-alone cache-server host used by benchmarks and
// end-to-end tests:  kestrun_cache_host ROOT PORT CDN_BASE
//   ROOT      cache folder ("-": the wz_cdn folder of the current folder)
//   PORT      first port to try (0: the usual drawn port)
//   CDN_BASE  resource CDN base URL, ending in "/"
#pragma once

#include <string>

struct HostOptions {
    std::string root;
    int port = 0;
    std::string cdnBase;
};

extern const char kHostUsage[];

bool ParseHostOptions(int argc, char** argv, HostOptions* options);
// Sets the port and the CDN base, then launches the server; prints
// "listening <port>" (or "failed") on stdout.
bool LaunchHost(const HostOptions& options, class CHTTPServer& server);
