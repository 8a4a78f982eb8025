// The cache server's CDN fetch, done by the download client's stream.
#pragma once

#include "cacheserver/core/cache_server_config.h"

#include <string>

// Sets the fetch's kept connections from the cache server's limits, and
// whom https trusts: the system's certificate store when trustedCaFile is
// empty, else only that PEM file's authorities (test hosts). Called before
// the server starts.
void PrepareCacheFetch(const std::string& trustedCaFile = std::string());

// Uses nothing but its arguments, so it may outlive the server (see CdnFetch).
CdnFetchResult FetchForCache(const std::string& url, ICdnReceiver& receiver);
