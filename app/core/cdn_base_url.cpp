#include "app/core/cdn_base_url.h"

#include "build_config.h"

CdnBaseUrl g_cdnBaseUrl(KESTRUN_CDN_BASE_URL);

CdnBaseUrl::CdnBaseUrl(const char* initial)
    : m_value(std::make_shared<const std::string>(initial))
{
}

std::string CdnBaseUrl::Get() const
{
    return *std::atomic_load(&m_value);
}

void CdnBaseUrl::Set(const std::string& url)
{
    std::atomic_store(&m_value, std::make_shared<const std::string>(url));
}
