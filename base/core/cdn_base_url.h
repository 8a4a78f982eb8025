// A resource CDN base URL (narrow, ends in "/") that one thread may replace
// while others read it: every reader takes a whole copy of an immutable
// value that a writer swaps atomically.
#pragma once

#include <memory>
#include <string>

class CdnBaseUrl {
public:
    explicit CdnBaseUrl(const char* initial);
    std::string Get() const;
    void Set(const std::string& url);

private:
    std::shared_ptr<const std::string> m_value; // only through std::atomic_load/atomic_store
};
