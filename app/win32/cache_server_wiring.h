#pragma once

// Starts the program's cache server: the wz_cdn folder of the current
// folder, g_localPort first (a drawn port when it is taken), misses fetched
// from g_cdnBaseUrl by the download client. g_localPort then names the port
// that listens.
bool LaunchProgramCacheServer();
