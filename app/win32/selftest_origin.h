// The self-test's own origin: a loopback HTTP server that stands in for the
// resource CDN. It serves fixed bodies by exact path, one request per
// connection, and counts what it was asked, so the self-test can tell a
// cache miss (the origin is asked) from a hit (it is not).
#pragma once

#include "framework/handles.h"

#include <winsock2.h>
#include <windows.h>

#include <map>
#include <mutex>
#include <string>

class SelfTestOrigin {
public:
    SelfTestOrigin() = default;
    ~SelfTestOrigin() { Stop(); }
    SelfTestOrigin(const SelfTestOrigin&) = delete;
    SelfTestOrigin& operator=(const SelfTestOrigin&) = delete;

    // Also while the origin runs.
    void Serve(const std::string& path, const std::string& contentType, const std::string& body);
    // Listens on 127.0.0.1 on a port the system chooses; false when it cannot.
    bool Start();
    void Stop();
    int Port() const { return m_port; }
    // "http://127.0.0.1:PORT/"
    std::string BaseUrl() const;
    // Requests for the path so far (any path not served counts under "").
    int Requests(const std::string& path);

private:
    struct Resource {
        std::string contentType;
        std::string body;
    };
    static unsigned __stdcall ThreadMain(void* self);
    void Run();
    void Answer(SOCKET peer);

    std::mutex m_lock; // the resources and the counts
    std::map<std::string, Resource> m_resources;
    std::map<std::string, int> m_requests;
    SOCKET m_listener = INVALID_SOCKET;
    bool m_winsock = false;
    int m_port = 0;
    ScopedHandle m_stop;
    ScopedHandle m_thread;
};

// One GET of http://127.0.0.1:port<path> with its own socket (no client
// cache, no proxy between): the status code and the body, or false when no
// whole answer came within timeoutMs.
bool LoopbackGet(int port, const std::string& path, unsigned timeoutMs, int* status, std::string* body);
