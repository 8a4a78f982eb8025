// The cache server's CDN fetch, done by the download client's stream.
#pragma once

#include "cacheserver/core/cache_server_config.h"

#include <string>

// Uses nothing but its arguments, so it may outlive the server (see CdnFetch).
CdnFetchResult FetchForCache(const std::string& url, ICdnReceiver& receiver);
