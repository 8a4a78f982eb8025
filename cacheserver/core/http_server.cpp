#include "cacheserver/core/http_server.h"

#include "cacheserver/core/cdn_miss.h"
#include "cacheserver/core/mime_types.h"

namespace {

const char kDefaultContentType[] = "text/html";
// Every other method is answered with this page.
const char kNotImplementedPage[] = "/mna.html";
const char kKeepAliveMarker[] = "\nConnection: Keep-Alive";
const char kRequestEnd[] = "\r\n\r\n";

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

bool CHTTPServer::IsComplete(const std::string& received, size_t* length)
{
    const size_t end = received.find(kRequestEnd);
    if (end == std::string::npos)
        return false;
    if (length)
        *length = end + sizeof kRequestEnd - 1;
    return true;
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
    if (request.find(kKeepAliveMarker) != std::string::npos)
        *keepAlive = 1;
    // The body another method may carry is never read, so nothing after
    // it on this connection could be told apart from it.
    if (head.notImplemented)
        *keepAlive = 0;
    head.connection = *keepAlive == 1 ? "Keep-Alive" : "close";
    head.contentType = ContentTypeFor(path);

    // Such a path would carry header lines or blanks into the CDN request.
    if (!IsFetchablePath(path))
        return MakeFixedResponse(ComposeHeader("400 Bad Request", head, 0));
    return ResourceResponse(path, head);
}

bool IsFetchablePath(const std::string& path)
{
    for (unsigned char ch : path)
        if (ch <= 0x20 || ch == 0x7f)
            return false;
    return true;
}
