// How CHTTPServer serves stored entries by what their metadata says: their
// checks, their type and their freshness, with revalidations through the
// miss board.
#include "base/core/cdn_base_url.h"
#include "cacheserver/core/cache_entries.h"
#include "cacheserver/core/cdn_miss.h"
#include "cacheserver/core/entry_checker.h"
#include "cacheserver/core/entry_freshness.h"
#include "cacheserver/core/http_server.h"

#include <ctime>

namespace {

long long UnixNow()
{
    return static_cast<long long>(std::time(nullptr));
}

} // namespace

void CHTTPServer::PrepareEntries()
{
    m_entries = std::make_shared<CCacheEntries>();
    if (!m_misses)
        return;
    m_misses->onEntryStored = [entries = m_entries](const std::string& file, const EntryMeta& meta) {
        entries->Checked(file, meta);
    };
}

void CHTTPServer::StartEntryChecker()
{
    if (!m_entries)
        return;
    m_checker = std::make_unique<CEntryChecker>(m_rootPath, m_entries);
    m_checker->Start();
}

namespace {

// The response of an entry with metadata, its body checked on the way the
// first time this run serves it; null when the body does not match.
std::unique_ptr<CResponse> CheckedHit(CCacheEntries& entries, const std::string& file, const EntryMeta& meta,
                                      bool checked, const ResponseHead& head)
{
    ResponseHead typed = head;
    if (!meta.contentType.empty())
        typed.contentType = meta.contentType;
    std::unique_ptr<CResponse> hit = MakeCacheHitResponse(file, typed, meta.length, checked ? nullptr : &meta.checksum);
    if (hit && !checked)
        entries.Checked(file, meta);
    return hit;
}

} // namespace

std::unique_ptr<CResponse> CHTTPServer::StoredEntryResponse(const std::string& path, const std::string& cdnPath,
                                                            const std::string& file, const ResponseHead& head)
{
    EntryMeta meta;
    const EntryKind kind = m_entries ? m_entries->Look(file, &meta) : EntryKind::kWithout;
    if (kind == EntryKind::kWithout)
        return MakeCacheHitResponse(file, head);
    if (kind != EntryKind::kDamaged) {
        const bool checked = kind == EntryKind::kChecked;
        const EntryFreshness freshness = JudgeEntry(meta, UnixNow());
        if (freshness == EntryFreshness::kFresh || !m_misses) {
            if (std::unique_ptr<CResponse> hit = CheckedHit(*m_entries, file, meta, checked, head))
                return hit;
        } else {
            EntryRevalidation entry;
            entry.path = path;
            entry.file = file;
            entry.url = JoinCdnUrl(m_config.cdnBase ? m_config.cdnBase() : std::string(), cdnPath);
            entry.requestFields = ConditionalHeaders(meta);
            entry.mustRevalidate = meta.mustRevalidate;
            const std::shared_ptr<CCacheEntries> entries = m_entries;
            entry.onNotModified = [entries, file](const CdnAnswerFields& answer) {
                entries->Renew(file, answer, UnixNow());
            };
            entry.onGone = [entries, file] { entries->Remove(file); };
            entry.stored = [entries, file, meta, checked](const ResponseHead& asked) {
                return CheckedHit(*entries, file, meta, checked, asked);
            };
            if (freshness == EntryFreshness::kRevalidateFirst)
                return m_misses->RespondAfterRevalidation(entry, head);
            if (std::unique_ptr<CResponse> hit = CheckedHit(*m_entries, file, meta, checked, head)) {
                m_misses->RevalidateBehind(entry);
                return hit;
            }
        }
    }
    // A body that differs from its metadata, or metadata that describes
    // nothing: the entry is fetched again, never served.
    m_entries->Remove(file);
    return nullptr;
}
