// How CHTTPServer serves stored entries by what their metadata says: their
// checks, their type and their freshness, with revalidations through the
// miss board.
#include "base/core/cdn_base_url.h"
#include "cacheserver/core/cache_entries.h"
#include "cacheserver/core/cdn_miss.h"
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
        entries->Stored(file, meta);
    };
}

std::unique_ptr<CResponse> CHTTPServer::StoredEntryResponse(const std::string& path, const std::string& cdnPath,
                                                            const std::string& file, const ResponseHead& head)
{
    EntryMeta meta;
    const EntryKind kind = m_entries ? m_entries->Look(file, &meta) : EntryKind::kWithout;
    if (kind == EntryKind::kWithout)
        return MakeCacheHitResponse(file, head);
    if (kind == EntryKind::kChecked) {
        ResponseHead typed = head;
        if (!meta.contentType.empty())
            typed.contentType = meta.contentType;
        const EntryFreshness freshness = JudgeEntry(meta, UnixNow());
        if (freshness == EntryFreshness::kFresh || !m_misses) {
            if (std::unique_ptr<CResponse> hit = MakeCacheHitResponse(file, typed, meta.length))
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
            const long long length = meta.length;
            const std::string type = meta.contentType;
            entry.stored = [file, length, type](const ResponseHead& asked) {
                ResponseHead typedAgain = asked;
                if (!type.empty())
                    typedAgain.contentType = type;
                return MakeCacheHitResponse(file, typedAgain, length);
            };
            if (freshness == EntryFreshness::kRevalidateFirst)
                return m_misses->RespondAfterRevalidation(entry, typed);
            if (std::unique_ptr<CResponse> hit = MakeCacheHitResponse(file, typed, meta.length)) {
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
