#include "base/core/cdn_base_url.h"

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
