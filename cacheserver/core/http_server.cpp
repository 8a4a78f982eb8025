#include "cacheserver/core/http_server.h"

#include "cacheserver/core/mime_types.h"
#include "base/core/out_buf.h"

#include <cstdio>
#include <ctime>

const char kServerToken[] = "TarnwellWebServer/0.1b";
const char kResponseFormat[] =
    "HTTP/1.0 %s\r\nDate: %s\r\nServer: %s\r\nAccept-Ranges: bytes\r\nContent-Length: %d\r\n"
    "Connection: %s\r\nContent-Type: %s\r\n\r\n";

namespace {

const char kStatusOk[] = "200 OK";
const char kStatusNotImplemented[] = "501 Not Implemented";
const char kDefaultContentType[] = "text/html";
// Every other method is answered with this page.
const char kNotImplementedPage[] = "/mna.html";
const char kKeepAliveMarker[] = "\nConnection: Keep-Alive";
constexpr size_t kHeaderAreaBytes = 2048;

} // namespace

CHTTPServer::CHTTPServer()
{
    FillMimeTypes(m_mimeTypes);
}

CHTTPServer::~CHTTPServer()
{
    // Connection threads call into this object: end them while it is whole.
    Stop();
}

int CHTTPServer::OnConnect(const char*, unsigned short)
{
    return 0;
}

int CHTTPServer::OnSent(int)
{
    return 0;
}

bool CHTTPServer::IsComplete(std::string request)
{
    return request.size() >= 4 && request.compare(request.size() - 4, 4, "\r\n\r\n") == 0;
}

std::string CHTTPServer::ContentTypeFor(const std::string& path) const
{
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos)
        return kDefaultContentType;
    std::string extension = path.substr(dot + 1);
    for (char& ch : extension)
        if (ch >= 'A' && ch <= 'Z')
            ch = static_cast<char>(ch - 'A' + 'a');
    const auto it = m_mimeTypes.find(extension);
    return it != m_mimeTypes.end() ? it->second : kDefaultContentType;
}

bool CHTTPServer::HandleRequest(std::string request, COutBuf* out, int* keepAlive)
{
    const char* status = kStatusOk;
    const size_t space = request.find(' ');
    if (space == std::string::npos)
        return false;
    std::string path;
    if (request.compare(0, space, "GET") == 0) {
        const size_t end = request.find(' ', space + 1);
        path = request.substr(space + 1, end == std::string::npos ? std::string::npos : end - space - 1);
    } else {
        status = kStatusNotImplemented;
        path = kNotImplementedPage;
    }
    if (request.find(kKeepAliveMarker) != std::string::npos)
        *keepAlive = 1;

    const std::string contentType = ContentTypeFor(path);
    const std::string date = HttpDate(static_cast<long long>(std::time(nullptr)));
    const ResponseHead head = {status, date.c_str(), *keepAlive == 1 ? "Keep-Alive" : "close", contentType.c_str()};

    // A hit is read straight into the response; everything else goes
    // through LoadResource.
    if (AppendCachedResponse(path, head, out))
        return true;
    COutBuf body;
    body.SetGrowBy(256);
    LoadResource(path, &body);
    if (!AppendHeader(head, body.GetLength(), out))
        return false;
    out->Write(body.GetData(), body.GetLength());
    return true;
}

bool CHTTPServer::AppendHeader(const ResponseHead& head, int bodyLength, COutBuf* out)
{
    char header[kHeaderAreaBytes];
    const int n = std::snprintf(header, sizeof header, kResponseFormat, head.status, head.date, kServerToken,
                                bodyLength, head.connection, head.contentType);
    if (n < 0 || n >= static_cast<int>(sizeof header))
        return false;
    return out->Write(header, n);
}

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

bool IsFetchablePath(const std::string& path)
{
    for (unsigned char ch : path)
        if (ch <= 0x20 || ch == 0x7f)
            return false;
    return true;
}
