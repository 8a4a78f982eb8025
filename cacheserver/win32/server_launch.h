#pragma once

// Starts the process-wide cache server on g_localPort with the wz_cdn folder
// of the current folder as its root.
bool LaunchCacheServer();
