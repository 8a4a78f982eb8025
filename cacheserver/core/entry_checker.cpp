#include "cacheserver/core/entry_checker.h"

#include "cacheserver/core/cache_budget.h"
#include "cacheserver/core/cache_entries.h"
#include "cacheserver/core/cache_files.h"

#include <system_error>
#include <utility>
#include <vector>

CEntryChecker::CEntryChecker(std::string folder, std::shared_ptr<CCacheEntries> entries)
    : m_folder(std::move(folder)), m_entries(std::move(entries))
{
}

CEntryChecker::~CEntryChecker()
{
    Stop();
}

bool CEntryChecker::Start()
{
    if (m_thread.joinable())
        return true;
    try {
        m_thread = std::thread(&CEntryChecker::Run, this);
    } catch (const std::system_error&) {
        return false; // every entry is then checked by its first hit
    }
    return true;
}

void CEntryChecker::Stop()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

void CEntryChecker::Run()
{
    std::vector<std::string> bodies;
    CacheListFiles(m_folder, [this, &bodies](const std::string& name, const CacheFileStamp&) {
        if (IsCacheFileName(name))
            bodies.push_back(name);
        return !m_stop;
    });
    for (const std::string& name : bodies) {
        if (m_stop)
            return;
        m_entries->CheckUnknown(m_folder + name);
    }
}
