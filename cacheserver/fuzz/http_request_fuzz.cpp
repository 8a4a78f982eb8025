// libFuzzer target: arbitrary bytes as a request, through IsComplete and
// HandleRequest of a server whose CDN is never reached.
#include "cacheserver/core/http_server.h"
#include "base/core/out_buf.h"

#include <cstdint>
#include <cstdlib>
#include <string>

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
        // A CDN that echoes the URL, so the response path is exercised fully.
        config.fetch = [](const std::string& url, COutBuf* body) {
            body->Write(url.data(), static_cast<int>(url.size()));
            return 3; // never stored
        };
        s->Launch(config);
        s->Stop();
        return s;
    }();
    return *server;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string request(reinterpret_cast<const char*>(data), size);
    CHTTPServer& server = Server();
    // Also as the last bytes of a complete request, so HandleRequest always runs.
    for (const std::string& r : {request, request + "\r\n\r\n"}) {
        if (!server.IsComplete(r))
            continue;
        COutBuf out;
        int keepAlive = 0;
        if (server.HandleRequest(r, &out, &keepAlive)) {
            if (out.GetLength() < 20 || std::string(out.GetData(), 9) != "HTTP/1.0 ")
                std::abort();
        } else if (r.find(' ') != std::string::npos || out.GetLength() != 0) {
            std::abort();
        }
    }
    return 0;
}
