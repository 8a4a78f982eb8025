#pragma once

class CHTTPServer;

// The process-wide cache server. Its threads are stopped and joined at
// process end, before the other process-wide objects go away.
extern CHTTPServer g_httpServer;

// Starts the process-wide cache server with the wz_cdn folder of the current
// folder as its root, on g_localPort or, when that port cannot be listened
// on, a freshly drawn one (g_localPort then holds it).
bool LaunchCacheServer();
