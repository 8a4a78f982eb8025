#pragma once

struct CacheServerConfig;
class CHTTPServer;

// The process-wide cache server. Its threads are stopped at process end,
// before the other process-wide objects go away.
extern CHTTPServer g_httpServer;

// Starts the process-wide cache server with the caller's configuration;
// g_httpServer.ListeningPort() then names the port that listens. A second
// call changes nothing and returns true.
bool LaunchCacheServer(const CacheServerConfig& config);
