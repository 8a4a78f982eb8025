#include "app/core/cdn_base_url.h"

#include "build_config.h"

CdnBaseUrl g_cdnBaseUrl(KESTRUN_CDN_BASE_URL);
