#include "cacheserver/core/cache_entries.h"

#include "cacheserver/core/body_checksum.h"
#include "cacheserver/core/cache_files.h"
#include "cacheserver/core/entry_freshness.h"

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
        if (m_without.count(file))
            return EntryKind::kWithout;
    }
    if (ReadEntryMeta(file, meta))
        return EntryKind::kUnchecked;
    // A metadata file that is there but unreadable describes nothing.
    CacheFileStamp stamp;
    if (CacheStampOf(EntryMetaFileFor(file), &stamp))
        return EntryKind::kDamaged;
    // Only a body that is there is remembered: a missing one is fetched,
    // and its store says what it has.
    if (CacheStampOf(file, &stamp)) {
        std::lock_guard<std::mutex> hold(m_lock);
        m_without.insert(file);
    }
    return EntryKind::kWithout;
}

void CCacheEntries::Checked(const std::string& file, const EntryMeta& meta)
{
    std::lock_guard<std::mutex> hold(m_lock);
    m_without.erase(file);
    m_checked[file] = meta;
}

void CCacheEntries::CheckUnknown(const std::string& file)
{
    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (m_checked.count(file) || m_without.count(file))
            return;
    }
    EntryMeta meta;
    if (!ReadEntryMeta(file, &meta))
        return;
    const OwnedSrvFile body(SrvOpenFile(file));
    if (!body)
        return;
    const bool matches =
        SrvFileSize(body.get()) == meta.length && FileHasChecksum(body.get(), meta.length, meta.checksum);
    std::lock_guard<std::mutex> hold(m_lock);
    if (matches && !m_without.count(file))
        m_checked.emplace(file, meta);
}

void CCacheEntries::Renew(const std::string& file, const CdnAnswerFields& notModified, long long now)
{
    EntryMeta stored;
    bool checked = false;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        const auto it = m_checked.find(file);
        checked = it != m_checked.end();
        if (checked)
            stored = it->second;
    }
    // An entry this run has not checked yet is renewed on disk only: its
    // body is still checked when it is next served.
    if (!checked && !ReadEntryMeta(file, &stored))
        return;
    const EntryMeta renewed = RenewedMeta(stored, notModified, now);
    if (!WriteEntryMeta(file, renewed) || !checked)
        return;
    std::lock_guard<std::mutex> hold(m_lock);
    // Removed or replaced meanwhile: the newer word stands.
    const auto it = m_checked.find(file);
    if (it != m_checked.end() && it->second.checksum == stored.checksum)
        it->second = renewed;
}

void CCacheEntries::Remove(const std::string& file)
{
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_checked.erase(file);
        m_without.erase(file);
    }
    RemoveEntry(file);
}

bool FileHasChecksum(SrvFile* file, long long length, uint64_t checksum)
{
    CBodyChecksum sum;
    std::vector<char> piece(kCheckPieceBytes);
    for (long long at = 0; at < length;) {
        const long n = SrvReadAt(file, at, piece.data(),
                                 static_cast<int>(std::min<long long>(kCheckPieceBytes, length - at)));
        if (n <= 0)
            return false;
        sum.Add(piece.data(), static_cast<size_t>(n));
        at += n;
    }
    return sum.Value() == checksum;
}
