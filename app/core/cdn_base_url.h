// The program's resource CDN base URL. The game page replaces it on the UI
// thread while the cache server's threads read it.
#pragma once

#include "base/core/cdn_base_url.h"

extern CdnBaseUrl g_cdnBaseUrl;
