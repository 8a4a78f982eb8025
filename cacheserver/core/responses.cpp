#include "cacheserver/core/responses.h"

#include "cacheserver/core/body_checksum.h"
#include "cacheserver/core/cache_entries.h"

#include <cstdio>
#include <ctime>
#include <utility>

const char kServerToken[] = "TarnwellWebServer/0.1b";
const char kResponseFormat[] =
    "HTTP/1.0 %s\r\nDate: %s\r\nServer: %s\r\nAccept-Ranges: bytes\r\nContent-Length: %lld\r\n"
    "Connection: %s\r\nContent-Type: %s\r\nCache-Control: no-cache\r\n\r\n";
const char kStatusOk[] = "200 OK";
const char kStatusNotImplemented[] = "501 Not Implemented";

namespace {

constexpr size_t kHeaderAreaBytes = 2048;
// A hit this small goes out with its header in one send.
constexpr long long kInlineBodyBytes = 32768;

class FixedResponse : public CResponse {
public:
    explicit FixedResponse(std::string bytes) : m_bytes(std::move(bytes)) {}

    Next NextPiece(int, Piece* piece) override
    {
        if (m_sent)
            return Next::kEnd;
        m_sent = true;
        piece->bytes = m_bytes.data();
        piece->length = static_cast<int>(m_bytes.size());
        return Next::kBytes;
    }

private:
    std::string m_bytes;
    bool m_sent = false;
};

// A cache file too large to hold: its header, then the file in pieces
// that the connection sends straight from the file.
class FileResponse : public CResponse {
public:
    FileResponse(std::string header, SharedFile file, long long size)
        : m_header(std::move(header)), m_file(std::move(file)), m_size(size)
    {
    }

    Next NextPiece(int maxBytes, Piece* piece) override
    {
        if (!m_headerSent) {
            m_headerSent = true;
            piece->bytes = m_header.data();
            piece->length = static_cast<int>(m_header.size());
            piece->more = true;
            return Next::kBytes;
        }
        if (m_offset == m_size)
            return Next::kEnd;
        piece->file = m_file.get();
        piece->offset = m_offset;
        piece->length = static_cast<int>(std::min<long long>(m_size - m_offset, maxBytes));
        m_offset += piece->length;
        return Next::kFile;
    }

private:
    std::string m_header;
    SharedFile m_file;
    long long m_size;
    long long m_offset = 0;
    bool m_headerSent = false;
};

} // namespace

std::string HttpDate(long long unixSeconds)
{
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    long long days = unixSeconds / 86400;
    long long rest = unixSeconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    const int weekday = static_cast<int>(((days % 7) + 11) % 7); // 1970-01-01 was a Thursday
    // Civil date from a day count (proleptic Gregorian calendar).
    const long long z = days + 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    const long long year = yoe + era * 400 + (month <= 2 ? 1 : 0);

    char text[128];
    std::snprintf(text, sizeof text, "%s, %02d %s %lld %02d:%02d:%02d GMT", kDays[weekday], day,
                  kMonths[month - 1], year, static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60),
                  static_cast<int>(rest % 60));
    return text;
}

std::string ComposeHeader(const std::string& status, const ResponseHead& head, long long contentLength)
{
    const std::string date = HttpDate(static_cast<long long>(std::time(nullptr)));
    char header[kHeaderAreaBytes];
    const int n = std::snprintf(header, sizeof header, kResponseFormat, status.c_str(), date.c_str(), kServerToken,
                                contentLength, head.connection, head.contentType.c_str());
    if (n < 0)
        return std::string();
    // Only an absurd Content-Type could overflow; the header stays whole.
    if (n >= static_cast<int>(sizeof header))
        return ComposeHeader(status, ResponseHead{head.connection, "text/html", head.notImplemented}, contentLength);
    return std::string(header, static_cast<size_t>(n));
}

std::unique_ptr<CResponse> MakeFixedResponse(std::string bytes)
{
    return std::unique_ptr<CResponse>(new FixedResponse(std::move(bytes)));
}

std::unique_ptr<CResponse> MakeCacheHitResponse(const std::string& file, const ResponseHead& head,
                                                long long expectedLength, const uint64_t* expectedChecksum)
{
    SharedFile opened = ShareFile(SrvOpenFile(file));
    if (!opened)
        return nullptr;
    const long long size = SrvFileSize(opened.get());
    if (size < 0 || (expectedLength >= 0 && size != expectedLength))
        return nullptr;
    std::string header = ComposeHeader(head.FoundStatus(), head, size);
    if (size > kInlineBodyBytes) {
        if (expectedChecksum && !FileHasChecksum(opened.get(), size, *expectedChecksum))
            return nullptr;
        return std::unique_ptr<CResponse>(new FileResponse(std::move(header), std::move(opened), size));
    }
    // A small file is read now: one send for the whole response, and a
    // file that reads short is still a miss.
    const size_t headerLength = header.size();
    header.resize(headerLength + static_cast<size_t>(size));
    long long got = 0;
    while (got < size) {
        const long n = SrvReadAt(opened.get(), got, &header[headerLength + static_cast<size_t>(got)],
                                 static_cast<int>(size - got));
        if (n <= 0)
            return nullptr;
        got += n;
    }
    if (expectedChecksum &&
        BodyChecksumOf(header.data() + headerLength, static_cast<size_t>(size)) != *expectedChecksum)
        return nullptr;
    return MakeFixedResponse(std::move(header));
}
