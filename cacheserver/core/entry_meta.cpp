#include "cacheserver/core/entry_meta.h"

#include "base/core/platform_fs.h"
#include "cacheserver/core/server_platform.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace {

const char kMagicLine[] = "kestrun-entry 1";
const char kMetaSuffix[] = ".meta";
constexpr size_t kMaxFieldValueBytes = 1024;

enum Field { kLength, kChecksum, kStored, kFresh, kFlags, kType, kEtag, kLastModified, kFieldCount };
const char* const kFieldNames[kFieldCount] = {"length", "checksum", "stored", "fresh",
                                              "flags",  "type",     "etag",   "last-modified"};

bool ParseDecimal(const std::string& text, long long* value)
{
    // Only what FormatEntryMeta writes: plain digits (the one negative
    // value, "-1", is matched before). 18 digits cannot overflow.
    if (text.empty() || text.size() > 18 || (text.size() > 1 && text[0] == '0'))
        return false;
    long long n = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        n = n * 10 + (c - '0');
    }
    *value = n;
    return true;
}

bool ParseHex64(const std::string& text, uint64_t* value)
{
    if (text.size() != 16)
        return false;
    uint64_t n = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else
            return false;
        n = n << 4 | static_cast<uint64_t>(digit);
    }
    *value = n;
    return true;
}

// Exactly as FormatEntryMeta writes them, in its order.
bool ParseFlags(const std::string& text, EntryMeta* meta)
{
    meta->noCache = text == "no-cache" || text == "no-cache must-revalidate";
    meta->mustRevalidate = text == "must-revalidate" || text == "no-cache must-revalidate";
    return text == "-" || meta->noCache || meta->mustRevalidate;
}

bool ParseField(int field, const std::string& value, EntryMeta* meta)
{
    switch (field) {
    case kLength:
        return ParseDecimal(value, &meta->length);
    case kChecksum:
        return ParseHex64(value, &meta->checksum);
    case kStored:
        return ParseDecimal(value, &meta->storedAt);
    case kFresh:
        if (value == "-1") {
            meta->freshFor = kFreshForGood;
            return true;
        }
        return ParseDecimal(value, &meta->freshFor);
    case kFlags:
        return ParseFlags(value, meta);
    case kType:
        meta->contentType = value;
        return true;
    case kEtag:
        meta->etag = value;
        return true;
    case kLastModified:
        meta->lastModified = value;
        return true;
    default:
        return false;
    }
}

} // namespace

bool IsStorableFieldValue(const std::string& value)
{
    if (value.empty() || value.size() > kMaxFieldValueBytes)
        return false;
    for (char c : value)
        if (c < 0x20 || c > 0x7e)
            return false;
    return true;
}

std::string FormatEntryMeta(const EntryMeta& meta)
{
    char numbers[160];
    std::snprintf(numbers, sizeof numbers, "length %lld\nchecksum %016llx\nstored %lld\nfresh %lld\n", meta.length,
                  static_cast<unsigned long long>(meta.checksum), meta.storedAt,
                  meta.freshFor < 0 ? kFreshForGood : meta.freshFor);
    std::string text = std::string(kMagicLine) + "\n" + numbers;
    std::string flags;
    if (meta.noCache)
        flags = "no-cache";
    if (meta.mustRevalidate)
        flags += flags.empty() ? "must-revalidate" : " must-revalidate";
    text += "flags " + (flags.empty() ? std::string("-") : flags) + "\n";
    // Text fields that could not be read back are left out, never cut.
    const std::pair<const char*, const std::string*> texts[] = {
        {"type", &meta.contentType}, {"etag", &meta.etag}, {"last-modified", &meta.lastModified}};
    for (const auto& field : texts)
        if (IsStorableFieldValue(*field.second))
            text += std::string(field.first) + " " + *field.second + "\n";
    return text;
}

bool ParseEntryMeta(const std::string& text, EntryMeta* meta)
{
    if (text.size() > kMaxEntryMetaBytes)
        return false;
    EntryMeta parsed;
    bool seen[kFieldCount] = {};
    size_t at = 0;
    bool first = true;
    while (at < text.size()) {
        const size_t end = text.find('\n', at);
        if (end == std::string::npos)
            return false; // every line ends: a cut file is refused
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        if (first) {
            if (line != kMagicLine)
                return false;
            first = false;
            continue;
        }
        const size_t space = line.find(' ');
        if (space == std::string::npos)
            return false;
        const std::string name = line.substr(0, space);
        const std::string value = line.substr(space + 1);
        if (!IsStorableFieldValue(value))
            return false;
        int field = 0;
        while (field < kFieldCount && name != kFieldNames[field])
            ++field;
        if (field == kFieldCount || seen[field] || !ParseField(field, value, &parsed))
            return false;
        seen[field] = true;
    }
    if (first || !seen[kLength] || !seen[kChecksum] || !seen[kStored] || !seen[kFresh] || !seen[kFlags])
        return false;
    *meta = parsed;
    return true;
}

std::string EntryMetaFileFor(const std::string& file)
{
    return file + kMetaSuffix;
}

bool ReadEntryMeta(const std::string& file, EntryMeta* meta)
{
    const OwnedSrvFile opened(SrvOpenFile(EntryMetaFileFor(file)));
    if (!opened)
        return false;
    const long long size = SrvFileSize(opened.get());
    std::string text;
    bool ok = size > 0 && size <= static_cast<long long>(kMaxEntryMetaBytes);
    if (ok) {
        text.resize(static_cast<size_t>(size));
        long long got = 0;
        while (ok && got < size) {
            const long n =
                SrvReadAt(opened.get(), got, &text[static_cast<size_t>(got)], static_cast<int>(size - got));
            ok = n > 0;
            got += n > 0 ? n : 0;
        }
    }
    return ok && ParseEntryMeta(text, meta);
}

bool WriteEntryMeta(const std::string& file, const EntryMeta& meta)
{
    const std::string target = EntryMetaFileFor(file);
    static std::atomic<unsigned> counter{0};
    char suffix[48];
    // "<name>.<pid>-m<n>.part": a temporary file the launch sweep knows.
    std::snprintf(suffix, sizeof suffix, ".%lu-m%u.part", SrvProcessId(), counter++);
    const std::string temporary = file + suffix;
    const std::string text = FormatEntryMeta(meta);
    bool written;
    {
        // Closed before the rename: Windows does not rename an open file.
        const OwnedSrvFile out(SrvCreateNewFile(temporary));
        if (!out)
            return false;
        written = SrvWriteAt(out.get(), 0, text.data(), static_cast<int>(text.size()));
    }
    if (written && FsReplaceFile(temporary.c_str(), target.c_str()))
        return true;
    SrvRemoveFile(temporary);
    return false;
}

bool StoreEntry(const std::string& temporary, const std::string& file, const EntryMeta& meta)
{
    SrvRemoveFile(EntryMetaFileFor(file));
    if (!FsReplaceFile(temporary.c_str(), file.c_str())) {
        // The old body stays where the replace failed (one a reader holds
        // open, on some systems); without its metadata it would pass for an
        // older entry and be kept for good, so it goes and is fetched again.
        SrvRemoveFile(file);
        return false;
    }
    // Without its metadata the body would pass for an older entry and be
    // kept for good: it goes too.
    if (!WriteEntryMeta(file, meta)) {
        SrvRemoveFile(file);
        return false;
    }
    return true;
}

void RemoveEntry(const std::string& file)
{
    SrvRemoveFile(file);
    SrvRemoveFile(EntryMetaFileFor(file));
}
