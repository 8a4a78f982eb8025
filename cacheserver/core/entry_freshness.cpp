#include "cacheserver/core/entry_freshness.h"

#include <cstring>

namespace {

// A repeated list field is joined up to about this length.
constexpr size_t kMaxJoinedFieldBytes = 8192;
// Larger delta-seconds are read as this (RFC 9111, section 1.2.2).
constexpr long long kMaxDeltaSeconds = 2147483648LL;

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerCase(std::string text)
{
    for (char& c : text)
        c = Lower(c);
    return text;
}

std::string Trimmed(const std::string& text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && (text[begin] == ' ' || text[begin] == '\t'))
        ++begin;
    while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t'))
        --end;
    return text.substr(begin, end - begin);
}

// Digits only, read as delta-seconds; false for anything else.
bool ParseDeltaSeconds(const std::string& text, long long* seconds)
{
    if (text.empty())
        return false;
    long long n = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        if (n < kMaxDeltaSeconds)
            n = n * 10 + (c - '0');
    }
    *seconds = n < kMaxDeltaSeconds ? n : kMaxDeltaSeconds;
    return true;
}

struct Directives {
    bool noStore = false;
    bool noCache = false;
    bool mustRevalidate = false;
    bool hasMaxAge = false;
    long long maxAge = 0;
};

Directives ParseCacheControl(const std::string& value)
{
    Directives d;
    size_t at = 0;
    while (at <= value.size()) {
        size_t end = value.find(',', at);
        if (end == std::string::npos)
            end = value.size();
        const std::string item = Trimmed(value.substr(at, end - at));
        at = end + 1;
        const size_t equals = item.find('=');
        const std::string name = LowerCase(Trimmed(item.substr(0, equals)));
        std::string argument = equals == std::string::npos ? std::string() : Trimmed(item.substr(equals + 1));
        if (argument.size() >= 2 && argument.front() == '"' && argument.back() == '"')
            argument = argument.substr(1, argument.size() - 2);
        if (name == "no-store") {
            d.noStore = true;
        } else if (name == "no-cache") {
            // The form that names fields is taken as the whole: asking too
            // often is safe, serving what the publisher withdrew is not.
            d.noCache = true;
        } else if (name == "must-revalidate") {
            d.mustRevalidate = true;
        } else if (name == "max-age") {
            long long seconds = 0;
            // An invalid or repeated max-age makes the answer stale at once.
            if (!ParseDeltaSeconds(argument, &seconds) || d.hasMaxAge)
                seconds = 0;
            d.hasMaxAge = true;
            d.maxAge = seconds;
        }
    }
    return d;
}

bool ContainsToken(const std::string& list, const char* token)
{
    size_t at = 0;
    while (at <= list.size()) {
        size_t end = list.find(',', at);
        if (end == std::string::npos)
            end = list.size();
        if (LowerCase(Trimmed(list.substr(at, end - at))) == token)
            return true;
        at = end + 1;
    }
    return false;
}

int MonthOf(const char* name)
{
    static const char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
    for (int m = 0; m < 12; ++m)
        if (std::strncmp(name, kMonths + 3 * m, 3) == 0)
            return m + 1;
    return 0;
}

long long DaysFromCivil(long long year, int month, int day)
{
    year -= month <= 2 ? 1 : 0;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const long long yoe = year - era * 400;
    const long long doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

bool ReadNumber(const std::string& text, size_t* at, size_t digits, int* value)
{
    if (*at + digits > text.size())
        return false;
    int n = 0;
    for (size_t i = 0; i < digits; ++i) {
        const char c = text[*at + i];
        if (c < '0' || c > '9')
            return false;
        n = n * 10 + (c - '0');
    }
    *at += digits;
    *value = n;
    return true;
}

bool Expect(const std::string& text, size_t* at, const char* literal)
{
    const size_t n = std::strlen(literal);
    if (text.compare(*at, n, literal) != 0)
        return false;
    *at += n;
    return true;
}

bool ReadMonth(const std::string& text, size_t* at, int* month)
{
    if (*at + 3 > text.size())
        return false;
    *month = MonthOf(text.c_str() + *at);
    *at += 3;
    return *month != 0;
}

bool ReadTime(const std::string& text, size_t* at, int* hour, int* minute, int* second)
{
    return ReadNumber(text, at, 2, hour) && Expect(text, at, ":") && ReadNumber(text, at, 2, minute) &&
           Expect(text, at, ":") && ReadNumber(text, at, 2, second);
}

} // namespace

void CdnAnswerFields::Add(const std::string& rawName, const std::string& rawValue)
{
    const std::string name = LowerCase(Trimmed(rawName));
    const std::string value = Trimmed(rawValue);
    // A CDN that repeats a field without end cannot grow it without end;
    // an answer whose fields were cut is never stored, as what was cut
    // may have forbidden it.
    auto join = [this, &value](std::string& into) {
        if (into.size() + value.size() > kMaxJoinedFieldBytes)
            overlong = true;
        else
            into = into.empty() ? value : into + ", " + value;
    };
    if (name == "cache-control")
        join(cacheControl);
    else if (name == "vary")
        join(vary);
    else if (name == "content-encoding")
        join(contentEncoding);
    else if (name == "expires") {
        // Two Expires cannot both hold: the answer is taken as expired.
        expires = hasExpires ? std::string() : value;
        hasExpires = true;
    } else if (name == "date")
        date = value;
    else if (name == "age")
        age = value;
    else if (name == "etag")
        etag = value;
    else if (name == "last-modified")
        lastModified = value;
    else if (name == "content-type")
        contentType = value;
}

bool ParseHttpDate(const std::string& text, long long* unixSeconds)
{
    int day = 0, month = 0, year = 0, hour = 0, minute = 0, second = 0;
    size_t at = 0;
    const size_t comma = text.find(',');
    bool ok = false;
    if (comma == 3) {
        // IMF-fixdate: "Sun, 06 Nov 1994 08:49:37 GMT"
        at = 4;
        ok = Expect(text, &at, " ") && ReadNumber(text, &at, 2, &day) && Expect(text, &at, " ") &&
             ReadMonth(text, &at, &month) && Expect(text, &at, " ") && ReadNumber(text, &at, 4, &year) &&
             Expect(text, &at, " ") && ReadTime(text, &at, &hour, &minute, &second) && Expect(text, &at, " GMT");
    } else if (comma != std::string::npos && comma >= 6 && comma <= 9) {
        // RFC 850: "Sunday, 06-Nov-94 08:49:37 GMT"; a two-digit year more
        // than 50 years ahead is taken as the last century's.
        at = comma + 1;
        int shortYear = 0;
        ok = Expect(text, &at, " ") && ReadNumber(text, &at, 2, &day) && Expect(text, &at, "-") &&
             ReadMonth(text, &at, &month) && Expect(text, &at, "-") && ReadNumber(text, &at, 2, &shortYear) &&
             Expect(text, &at, " ") && ReadTime(text, &at, &hour, &minute, &second) && Expect(text, &at, " GMT");
        year = shortYear < 70 ? 2000 + shortYear : 1900 + shortYear;
    } else if (comma == std::string::npos && text.size() >= 4) {
        // asctime: "Sun Nov  6 08:49:37 1994"
        at = 4;
        ok = ReadMonth(text, &at, &month) && Expect(text, &at, " ");
        if (ok && at < text.size() && text[at] == ' ') {
            ++at;
            ok = ReadNumber(text, &at, 1, &day);
        } else {
            ok = ok && ReadNumber(text, &at, 2, &day);
        }
        ok = ok && Expect(text, &at, " ") && ReadTime(text, &at, &hour, &minute, &second) &&
             Expect(text, &at, " ") && ReadNumber(text, &at, 4, &year);
    }
    if (!ok || at != text.size() || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60)
        return false;
    *unixSeconds = DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    return true;
}

bool MayStore(const CdnAnswerFields& fields)
{
    if (fields.overlong || ParseCacheControl(fields.cacheControl).noStore || ContainsToken(fields.vary, "*"))
        return false;
    return fields.contentEncoding.empty() || LowerCase(fields.contentEncoding) == "identity";
}

namespace {

// The answer's own freshness, from its Cache-Control and Expires; false
// when it gives none.
bool ExplicitFreshness(const CdnAnswerFields& fields, const Directives& d, long long now, long long* seconds)
{
    if (d.hasMaxAge) {
        *seconds = d.maxAge;
        return true;
    }
    if (!fields.hasExpires)
        return false;
    long long expires = 0;
    long long date = now;
    ParseHttpDate(fields.date, &date);
    // An Expires that is no date ("0", "-1") lies in the past.
    *seconds = ParseHttpDate(fields.expires, &expires) && expires > date ? expires - date : 0;
    return true;
}

} // namespace

EntryMeta MetaOfAnswer(const CdnAnswerFields& fields, long long now)
{
    EntryMeta meta;
    if (IsStorableFieldValue(fields.etag))
        meta.etag = fields.etag;
    if (IsStorableFieldValue(fields.lastModified))
        meta.lastModified = fields.lastModified;
    // A generic octet stream says nothing of what the page expects; the
    // extension table decides then, as it does without a type.
    const std::string type = LowerCase(fields.contentType);
    if (IsStorableFieldValue(fields.contentType) && type.compare(0, 24, "application/octet-stream") != 0)
        meta.contentType = fields.contentType;

    long long age = 0;
    if (!ParseDeltaSeconds(fields.age, &age))
        age = 0;
    meta.storedAt = now - age;

    const Directives d = ParseCacheControl(fields.cacheControl);
    meta.mustRevalidate = d.mustRevalidate;
    long long lifetime = 0;
    if (ExplicitFreshness(fields, d, now, &lifetime)) {
        // A publisher who gives no time at all means "ask every time".
        meta.noCache = d.noCache || lifetime == 0;
        meta.freshFor = meta.noCache ? 0 : lifetime;
        return meta;
    }
    meta.noCache = d.noCache;
    if (meta.noCache) {
        meta.freshFor = 0;
        return meta;
    }
    if (meta.etag.empty() && meta.lastModified.empty()) {
        // What versioned paths rely on: nothing says it ever changes.
        meta.freshFor = kFreshForGood;
        return meta;
    }
    long long modified = 0;
    long long date = now;
    ParseHttpDate(fields.date, &date);
    meta.freshFor = 0;
    if (ParseHttpDate(meta.lastModified, &modified) && date > modified) {
        const long long tenth = (date - modified) / 10;
        meta.freshFor = tenth < kHeuristicFreshnessCapSeconds ? tenth : kHeuristicFreshnessCapSeconds;
    }
    return meta;
}

EntryMeta RenewedMeta(const EntryMeta& stored, const CdnAnswerFields& notModified, long long now)
{
    CdnAnswerFields merged = notModified;
    if (!IsStorableFieldValue(merged.etag))
        merged.etag = stored.etag;
    if (!IsStorableFieldValue(merged.lastModified))
        merged.lastModified = stored.lastModified;
    EntryMeta renewed = MetaOfAnswer(merged, now);
    renewed.length = stored.length;
    renewed.checksum = stored.checksum;
    renewed.contentType = stored.contentType;
    const bool newPolicy = !notModified.cacheControl.empty() || notModified.hasExpires;
    if (!newPolicy) {
        // The 304 says nothing of freshness: the stored rules hold anew.
        renewed.freshFor = stored.freshFor;
        renewed.noCache = stored.noCache;
        renewed.mustRevalidate = stored.mustRevalidate;
    }
    return renewed;
}

EntryFreshness JudgeEntry(const EntryMeta& meta, long long now)
{
    if (meta.noCache)
        return EntryFreshness::kRevalidateFirst;
    if (meta.freshFor == kFreshForGood || now - meta.storedAt < meta.freshFor)
        return EntryFreshness::kFresh;
    return meta.mustRevalidate ? EntryFreshness::kRevalidateFirst : EntryFreshness::kStale;
}

std::string ConditionalHeaders(const EntryMeta& meta)
{
    std::string headers;
    if (IsStorableFieldValue(meta.etag))
        headers += "If-None-Match: " + meta.etag + "\r\n";
    if (IsStorableFieldValue(meta.lastModified))
        headers += "If-Modified-Since: " + meta.lastModified + "\r\n";
    return headers;
}
