// libFuzzer target: arbitrary bytes as received data, through IsComplete
// and HandleRequest of a server whose CDN answers 404 with the URL as body.
#include "cacheserver/core/http_server.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

CHTTPServer& Server()
{
    static CHTTPServer* server = [] {
        auto* s = new CHTTPServer;
        char folder[] = "/tmp/kestrun_fuzz_XXXXXX";
        if (!mkdtemp(folder))
            std::abort();
        CacheServerConfig config;
        config.folder = folder;
        config.cdnBase = [] { return std::string("http://cdn.test/"); };
        // Never stored, so every request goes the whole way through a miss.
        config.fetch = [](const std::string& url, ICdnReceiver& receiver) {
            if (receiver.OnHead(404, "Not Found", static_cast<long long>(url.size())))
                receiver.OnBody(url.data(), url.size());
            return CdnFetchResult::kComplete;
        };
        s->Launch(config);
        s->Stop();
        return s;
    }();
    return *server;
}

// Everything the response would put on the wire.
std::string Drain(CResponse& response)
{
    std::string text;
    for (;;) {
        CResponse::Piece piece;
        switch (response.NextPiece(65536, &piece)) {
        case CResponse::Next::kWait:
            continue;
        case CResponse::Next::kEnd:
        case CResponse::Next::kCut:
            return text;
        case CResponse::Next::kBytes:
            text.append(piece.bytes, static_cast<size_t>(piece.length));
            break;
        case CResponse::Next::kFile: {
            std::string bytes(static_cast<size_t>(piece.length), '\0');
            if (SrvReadAt(piece.file, piece.offset, &bytes[0], piece.length) != piece.length)
                std::abort();
            text += bytes;
            break;
        }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string received(reinterpret_cast<const char*>(data), size);
    CHTTPServer& server = Server();
    // Every whole request at the front is answered, as a connection would.
    size_t length = 0;
    int keepAlive = 0;
    while (server.IsComplete(received, &length)) {
        if (length == 0 || length > received.size())
            std::abort();
        const std::string request = received.substr(0, length);
        received.erase(0, length);
        std::unique_ptr<CResponse> response = server.HandleRequest(request, &keepAlive);
        if (!response) {
            if (request.find(' ') != std::string::npos)
                std::abort();
            break;
        }
        const std::string text = Drain(*response);
        if (text.size() < 20 || text.compare(0, 9, "HTTP/1.0 ") != 0)
            std::abort();
    }
    // A fetch thread still ending would look like a leak of this input.
    while (server.RunningFetches() > 0)
        std::this_thread::yield();
    return 0;
}
