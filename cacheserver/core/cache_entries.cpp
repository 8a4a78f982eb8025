#include "cacheserver/core/cache_entries.h"

#include "cacheserver/core/body_checksum.h"
#include "cacheserver/core/cache_files.h"
#include "cacheserver/core/entry_freshness.h"
#include "cacheserver/core/server_platform.h"

#include <vector>

namespace {

constexpr int kCheckPieceBytes = 256 * 1024;

} // namespace

EntryKind CCacheEntries::Look(const std::string& file, EntryMeta* meta)
{
    {
        std::lock_guard<std::mutex> hold(m_lock);
        const auto it = m_checked.find(file);
        if (it != m_checked.end()) {
            *meta = it->second;
            return EntryKind::kChecked;
        }
    }
    EntryMeta read;
    if (!ReadEntryMeta(file, &read)) {
        // A metadata file that is there but unreadable describes nothing.
        CacheFileStamp stamp;
        return CacheStampOf(EntryMetaFileFor(file), &stamp) ? EntryKind::kDamaged : EntryKind::kWithout;
    }
    if (!BodyMatches(file, read))
        return EntryKind::kDamaged;
    std::lock_guard<std::mutex> hold(m_lock);
    m_checked[file] = read;
    *meta = read;
    return EntryKind::kChecked;
}

bool CCacheEntries::BodyMatches(const std::string& file, const EntryMeta& meta)
{
    SrvFile* body = SrvOpenFile(file);
    if (!body)
        return false;
    bool ok = SrvFileSize(body) == meta.length;
    CBodyChecksum sum;
    std::vector<char> piece(ok ? kCheckPieceBytes : 0);
    for (long long at = 0; ok && at < meta.length;) {
        const long n = SrvReadAt(body, at, piece.data(), kCheckPieceBytes);
        ok = n > 0;
        if (ok) {
            sum.Add(piece.data(), static_cast<size_t>(n));
            at += n;
        }
    }
    SrvCloseFile(body);
    return ok && sum.Value() == meta.checksum;
}

void CCacheEntries::Stored(const std::string& file, const EntryMeta& meta)
{
    std::lock_guard<std::mutex> hold(m_lock);
    m_checked[file] = meta;
}

void CCacheEntries::Renew(const std::string& file, const CdnAnswerFields& notModified, long long now)
{
    EntryMeta stored;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        const auto it = m_checked.find(file);
        // Only a checked entry is ever revalidated; one forgotten meanwhile
        // was removed or replaced.
        if (it == m_checked.end())
            return;
        stored = it->second;
    }
    const EntryMeta renewed = RenewedMeta(stored, notModified, now);
    if (!WriteEntryMeta(file, renewed))
        return;
    std::lock_guard<std::mutex> hold(m_lock);
    m_checked[file] = renewed;
}

void CCacheEntries::Remove(const std::string& file)
{
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_checked.erase(file);
    }
    RemoveEntry(file);
}
