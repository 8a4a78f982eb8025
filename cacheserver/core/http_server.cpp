#include "cacheserver/core/http_server.h"

#include "cacheserver/core/cdn_miss.h"
#include "cacheserver/core/entry_checker.h"
#include "cacheserver/core/mime_types.h"
#include "cacheserver/core/request_rules.h"

namespace {

const char kDefaultContentType[] = "text/html";
// Every other method is answered with this page.
const char kNotImplementedPage[] = "/mna.html";

bool StartsWithNoCase(const std::string& text, size_t at, const char* prefix)
{
    for (size_t i = 0; prefix[i] != '\0'; ++i) {
        if (at + i >= text.size())
            return false;
        char c = text[at + i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i])
            return false;
    }
    return true;
}

// True when a header line announces a body: a Content-Length other than 0,
// or any Transfer-Encoding.
bool AnnouncesBody(const std::string& request)
{
    for (size_t line = request.find('\n'); line != std::string::npos; line = request.find('\n', line)) {
        ++line;
        if (StartsWithNoCase(request, line, "transfer-encoding:"))
            return true;
        if (StartsWithNoCase(request, line, "content-length:")) {
            size_t at = line + 15;
            while (at < request.size() && (request[at] == ' ' || request[at] == '\t'))
                ++at;
            size_t zeros = 0;
            while (at + zeros < request.size() && request[at + zeros] == '0')
                ++zeros;
            const size_t after = at + zeros;
            const bool endsThere = after >= request.size() || request[after] == '\r' || request[after] == '\n' ||
                                   request[after] == ' ' || request[after] == '\t';
            if (zeros == 0 || !endsThere)
                return true;
        }
    }
    return false;
}

} // namespace

CHTTPServer::CHTTPServer()
{
    FillMimeTypes(m_mimeTypes);
}

CHTTPServer::~CHTTPServer()
{
    // Server threads call into this object: end them while it is whole.
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

bool CHTTPServer::IsComplete(const std::string& received, size_t* length)
{
    return IsCompleteFrom(received, 0, length);
}

bool CHTTPServer::IsCompleteFrom(const std::string& received, size_t from, size_t* length)
{
    // The blank line that ends a header is at most three bytes, so new
    // bytes complete one that begins at most two before them.
    const size_t start = from > 2 ? from - 2 : 0;
    // Lines may end in a bare LF, as a recipient of HTTP/1.1 may accept.
    for (size_t lf = received.find('\n', start); lf != std::string::npos; lf = received.find('\n', lf + 1)) {
        size_t next = lf + 1;
        if (next < received.size() && received[next] == '\r')
            ++next;
        if (next < received.size() && received[next] == '\n') {
            if (length)
                *length = next + 1;
            return true;
        }
    }
    return false;
}

std::string CHTTPServer::ContentTypeFor(const std::string& target) const
{
    // The query is no part of the file name.
    const std::string path = target.substr(0, target.find_first_of("?#"));
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

std::unique_ptr<CResponse> CHTTPServer::HandleRequest(const std::string& request, int* keepAlive)
{
    const size_t space = request.find(' ');
    if (space == std::string::npos)
        return nullptr;
    ResponseHead head;
    std::string path;
    if (request.compare(0, space, "GET") == 0) {
        const size_t end = request.find(' ', space + 1);
        path = request.substr(space + 1, end == std::string::npos ? std::string::npos : end - space - 1);
    } else {
        head.notImplemented = true;
        path = kNotImplementedPage;
    }
    const bool wellFormed = HeaderLinesWellFormed(request);
    if (wellFormed && AsksKeepAlive(request))
        *keepAlive = 1;
    // The body another method may carry is never read, so nothing after
    // it on this connection could be told apart from it.
    if (head.notImplemented)
        *keepAlive = 0;
    head.contentType = ContentTypeFor(path);

    // A body would never be read, so the connection could not tell where
    // the next request begins; nor could it after a head read two ways.
    std::string cdnPath;
    TargetVerdict verdict = TargetVerdict::kBad;
    if (wellFormed && (head.notImplemented || !AnnouncesBody(request)))
        verdict = CheckRequestTarget(path, &cdnPath);
    if (verdict != TargetVerdict::kAccepted) {
        *keepAlive = 0;
        return MakeFixedResponse(
            ComposeHeader(verdict == TargetVerdict::kTooLong ? "414 URI Too Long" : "400 Bad Request", head, 0));
    }
    head.connection = *keepAlive == 1 ? "Keep-Alive" : "close";
    return ResourceResponse(path, cdnPath, head);
}
