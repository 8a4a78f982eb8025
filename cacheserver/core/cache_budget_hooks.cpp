// How CHTTPServer runs its folder's budget keeper: started at launch,
// told of stores by the fetches and of hits by ResourceResponse.
#include "cacheserver/core/cache_budget.h"
#include "cacheserver/core/cdn_miss.h"
#include "cacheserver/core/http_server.h"

void CHTTPServer::PrepareBudget()
{
    StopBudget();
    m_budget.reset();
    if (m_config.cacheBudgetBytes <= 0 || !m_misses)
        return;
    m_budget = std::make_shared<CCacheBudget>(m_rootPath, m_config.cacheBudgetBytes, m_config.recencyTouchSeconds);
    // Fetch threads may end after the server: they hold the keeper too.
    m_misses->onStored = [budget = m_budget](const std::string& file, long long bytes) {
        budget->NoteStored(file, bytes);
    };
}

void CHTTPServer::StopBudget()
{
    if (m_budget)
        m_budget->Stop();
}
