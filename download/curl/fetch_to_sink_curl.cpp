// The streamed fetch of both builds, through libcurl (Schannel on Windows):
// a fresh handle per fetch, the head (status, reason,
// Content-Length) reported before any body byte, and a body shorter than
// its Content-Length reported as kFetchIncomplete. Connections and name
// look-ups are kept between fetches; a connection carries the next request
// only while nothing unasked waits on it.
#include "download/core/download_client.h"
#include "download/core/response_framing.h"
#include "download/core/sink_receiver.h"
#include "download/curl/curl_platform.h"

#include <curl/curl.h>

#include <cctype>
#include <cstdlib>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

namespace {

constexpr long kConnectTimeoutSeconds = 15;
// Pieces as large as the network delivers them: each costs the receiver a
// write and a wake-up of whoever streams from it.
constexpr long kReceiveBufferBytes = 256 * 1024;
// A transfer that moves no byte for this long counts as timed out.
constexpr long kStallSeconds = 30;

struct Transfer {
    Transfer(CURL* c, IFetchReceiver& r) : curl(c), receiver(r) {}

    CURL* curl;
    IFetchReceiver& receiver;
    // The head being read; a redirect or an interim answer starts another.
    int status = 0;
    std::string reason;
    CHeadFraming framing;
    std::vector<std::pair<std::string, std::string>> fields;
    bool location = false;
    // The head before this one was a redirect that libcurl follows.
    bool followed = false;

    bool headReported = false;
    bool stopped = false;
    bool ambiguous = false;
    // The kept connection held bytes nobody had asked for.
    bool unasked = false;
    long long announced = -1;
    long long received = 0;
};

bool CurlReady()
{
    static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return ready;
}

// Open connections and resolved names shared by every fetch, so that a
// fetch from a server asked before costs a request, not a connection
// set-up. Never freed: a fetch thread that was abandoned at exit may still
// be using it.
class SharedConnections {
public:
    static CURLSH* Get()
    {
        static SharedConnections* const shared = new SharedConnections;
        return shared->m_share;
    }

private:
    SharedConnections()
    {
        m_share = curl_share_init();
        if (!m_share)
            return;
        curl_share_setopt(m_share, CURLSHOPT_LOCKFUNC, &Lock);
        curl_share_setopt(m_share, CURLSHOPT_UNLOCKFUNC, &Unlock);
        curl_share_setopt(m_share, CURLSHOPT_USERDATA, this);
        if (curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT) != CURLSHE_OK ||
            curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS) != CURLSHE_OK) {
            curl_share_cleanup(m_share);
            m_share = nullptr;
        }
    }
    static void Lock(CURL*, curl_lock_data data, curl_lock_access, void* raw)
    {
        static_cast<SharedConnections*>(raw)->LockFor(data).lock();
    }
    static void Unlock(CURL*, curl_lock_data data, void* raw)
    {
        static_cast<SharedConnections*>(raw)->LockFor(data).unlock();
    }
    std::mutex& LockFor(curl_lock_data data)
    {
        return m_locks[data >= 0 && data < CURL_LOCK_DATA_LAST ? data : 0];
    }

    CURLSH* m_share = nullptr;
    std::mutex m_locks[CURL_LOCK_DATA_LAST];
};

// The sockets libcurl has open, so that a kept connection can be looked at
// just before it carries another request: a CDN that sent more than its
// Content-Length would otherwise have those bytes read as the next answer.
// Never freed, like the shared connections that use it.
class CurlSockets {
public:
    static CurlSockets& Get()
    {
        static CurlSockets* const sockets = new CurlSockets;
        return *sockets;
    }

    static curl_socket_t Open(void* raw, curlsocktype, curl_sockaddr* address)
    {
        const curl_socket_t fd = OpenCurlSocket(address->family, address->socktype, address->protocol);
        if (fd != CURL_SOCKET_BAD) {
            CurlSockets* self = static_cast<CurlSockets*>(raw);
            std::lock_guard<std::mutex> hold(self->m_lock);
            self->m_open.insert(fd);
            self->m_unused.insert(fd);
        }
        return fd;
    }
    static int Close(void* raw, curl_socket_t fd)
    {
        CurlSockets* self = static_cast<CurlSockets*>(raw);
        {
            std::lock_guard<std::mutex> hold(self->m_lock);
            self->m_open.erase(fd);
            self->m_unused.erase(fd);
        }
        return CloseCurlSocket(fd);
    }

    // True when the connection from localPort to remotePort, kept from an
    // earlier answer, already holds bytes or its end; it is then shut, so
    // that it is never used again. A connection's first request is not
    // looked at: no answer has come over it, and what waits there is the
    // server's own (a TLS 1.3 server sends its session tickets right after
    // the handshake).
    bool TakeIfSpoilt(int localPort, int remotePort)
    {
        std::lock_guard<std::mutex> hold(m_lock);
        for (const curl_socket_t fd : m_open) {
            if (CurlSocketPort(fd, false) != localPort || CurlSocketPort(fd, true) != remotePort)
                continue;
            if (m_unused.erase(fd) > 0)
                return false;
            if (!CurlSocketHoldsInput(fd))
                return false; // the usual case
            ShutCurlSocket(fd);
            return true;
        }
        return false;
    }

private:
    std::mutex m_lock;
    std::set<curl_socket_t> m_open;
    // Opened, and not yet used for a request.
    std::set<curl_socket_t> m_unused;
};

// Called once the connection for a request is chosen, new or kept, before
// the request goes out on it.
int OnConnectionChosen(void* raw, char*, char*, int remotePort, int localPort)
{
    auto* t = static_cast<Transfer*>(raw);
    if (!CurlSockets::Get().TakeIfSpoilt(localPort, remotePort))
        return CURL_PREREQFUNC_OK;
    t->unasked = true;
    return CURL_PREREQFUNC_ABORT;
}

std::string Trim(const std::string& text)
{
    const size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos)
        return std::string();
    return text.substr(begin, text.find_last_not_of(" \t") - begin + 1);
}

bool HasPrefix(const std::string& line, const char* prefix, size_t n)
{
    if (line.size() < n)
        return false;
    for (size_t i = 0; i < n; ++i) {
        if (std::tolower(static_cast<unsigned char>(line[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    }
    return true;
}

// Reads the header lines of each answer; the blank line that ends the final
// one reports the head.
size_t OnHeader(char* data, size_t size, size_t count, void* raw)
{
    auto* t = static_cast<Transfer*>(raw);
    const size_t n = size * count;
    std::string line(data, n);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    if (line.compare(0, 5, "HTTP/") == 0) {
        if (t->followed) {
            // libcurl has made the next request by now: its URL is the target.
            t->followed = false;
            char* target = nullptr;
            curl_easy_getinfo(t->curl, CURLINFO_EFFECTIVE_URL, &target);
            if (!t->receiver.OnRedirect(t->status, target ? target : "")) {
                t->stopped = true;
                return 0;
            }
        }
        const size_t space = line.find(' ');
        const size_t second = space == std::string::npos ? std::string::npos : line.find(' ', space + 1);
        t->status = space == std::string::npos ? 0 : std::atoi(line.c_str() + space + 1);
        t->reason = second == std::string::npos ? std::string() : line.substr(second + 1);
        t->framing.Reset();
        t->fields.clear();
        t->location = false;
    } else if (!line.empty()) {
        if (HasPrefix(line, "location:", 9))
            t->location = true;
        else
            t->framing.AddLine(line);
        const size_t colon = line.find(':');
        if (colon != std::string::npos && colon > 0)
            t->fields.emplace_back(line.substr(0, colon), Trim(line.substr(colon + 1)));
    } else if (!t->headReported) {
        // Where such a body ends is anybody's guess; so is what follows it.
        if (t->framing.Ambiguous()) {
            t->ambiguous = true;
            return 0;
        }
        // Interim answers and redirects that libcurl follows are not the answer.
        if (t->status / 100 == 1)
            return n;
        if (t->status / 100 == 3 && t->location) {
            t->followed = true;
            return n;
        }
        t->headReported = true;
        // A 304 has no body whatever length it names.
        t->announced = t->status == 304 ? 0 : t->framing.ContentLength();
        for (const auto& field : t->fields)
            t->receiver.OnHeaderField(field.first, field.second);
        if (!t->receiver.OnHead(t->status, t->reason, t->announced)) {
            t->stopped = true;
            return 0; // ends the transfer
        }
    }
    return n;
}

size_t OnBody(char* bytes, size_t size, size_t count, void* raw)
{
    auto* t = static_cast<Transfer*>(raw);
    const size_t n = size * count;
    if (!t->receiver.KeepGoing() || !t->receiver.OnBody(bytes, n)) {
        t->stopped = true;
        return 0;
    }
    t->received += static_cast<long long>(n);
    return n;
}

int OnProgress(void* raw, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    auto* t = static_cast<Transfer*>(raw);
    if (t->receiver.KeepGoing())
        return 0;
    t->stopped = true;
    return 1;
}

// Set by the program before its first fetch; never freed, like the
// shared connections.
std::mutex& SettingsLock()
{
    static std::mutex* const lock = new std::mutex;
    return *lock;
}
FetchConnectionSettings& Settings()
{
    static FetchConnectionSettings* const settings = new FetchConnectionSettings;
    return *settings;
}

// How many connections stay, for how long, whom https trusts and which
// proxy the platform names.
void ApplyConnectionOptions(CURL* curl, const char* url)
{
    FetchConnectionSettings settings;
    {
        std::lock_guard<std::mutex> hold(SettingsLock());
        settings = Settings();
    }
    // libcurl's default of 5 counts the connections in use too, so with a
    // browser's 6 parallel misses nearly every fetch closed an idle one and
    // opened a new one: a round trip more each.
    curl_easy_setopt(curl, CURLOPT_MAXCONNECTS, static_cast<long>(settings.keptConnections));
    curl_easy_setopt(curl, CURLOPT_MAXAGE_CONN, static_cast<long>(settings.idleSeconds));
    // libcurl copies string options: the local copy may go.
    if (!settings.trustedCaFile.empty())
        curl_easy_setopt(curl, CURLOPT_CAINFO, settings.trustedCaFile.c_str());
    // Schannel: a certificate whose revocation no server can tell (offline
    // lists) is taken; one known to be revoked is not. Ignored elsewhere.
    curl_easy_setopt(curl, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_REVOKE_BEST_EFFORT));
    const CurlProxyChoice proxy = ChooseCurlProxy(url);
    if (!proxy.decided)
        return;
    // An empty name is a direct connection, whatever the environment says.
    curl_easy_setopt(curl, CURLOPT_PROXY, proxy.proxy.c_str());
    if (!proxy.proxy.empty()) {
        // A proxy that asks for Windows sign-in gets the player's own
        // credentials, as WinInet gave them; never a password in the clear.
        curl_easy_setopt(curl, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_NEGOTIATE | CURLAUTH_NTLM));
        curl_easy_setopt(curl, CURLOPT_PROXYUSERPWD, ":");
    }
}

// One attempt; fresh: on a new connection.
int Perform(const char* url, IFetchReceiver& receiver, const std::string& extraHeaders, bool fresh, bool* unasked)
{
    CURL* curl = curl_easy_init();
    if (!curl)
        return kFetchOffline;

    Transfer t(curl, receiver);
    const std::string agent = CurlTickAgent();
    curl_slist* headers = curl_slist_append(nullptr, "Accept: */*");
    // A conditional request lets the CDN's edge answer from its own cache.
    if (extraHeaders.empty())
        headers = curl_slist_append(headers, "Pragma: no-cache");
    for (size_t at = 0; at < extraHeaders.size();) {
        size_t end = extraHeaders.find("\r\n", at);
        if (end == std::string::npos)
            end = extraHeaders.size();
        const std::string line = extraHeaders.substr(at, end - at);
        if (!line.empty() && line.find_first_of("\r\n") == std::string::npos)
            headers = curl_slist_append(headers, line.c_str());
        at = end + 2;
    }
    curl_easy_setopt(curl, CURLOPT_URL, url);
    if (CURLSH* share = SharedConnections::Get())
        curl_easy_setopt(curl, CURLOPT_SHARE, share);
    ApplyConnectionOptions(curl, url);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, agent.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    // The path exactly as the client sent it: no dot segment is folded.
    curl_easy_setopt(curl, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    CurlSockets& sockets = CurlSockets::Get();
    curl_easy_setopt(curl, CURLOPT_OPENSOCKETFUNCTION, &CurlSockets::Open);
    curl_easy_setopt(curl, CURLOPT_OPENSOCKETDATA, &sockets);
    curl_easy_setopt(curl, CURLOPT_CLOSESOCKETFUNCTION, &CurlSockets::Close);
    curl_easy_setopt(curl, CURLOPT_CLOSESOCKETDATA, &sockets);
    curl_easy_setopt(curl, CURLOPT_PREREQFUNCTION, &OnConnectionChosen);
    curl_easy_setopt(curl, CURLOPT_PREREQDATA, &t);
    if (fresh)
        curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
    curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &OnHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &t);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &OnBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &t);
    // Lets a receiver that lost interest end a transfer that is waiting.
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &OnProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &t);

    const CURLcode code = curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    curl_slist_free_all(headers);

    *unasked = t.unasked;
    if (t.stopped)
        return kFetchStopped;
    if (t.ambiguous)
        return kFetchCannotOpen;
    if (code == CURLE_OPERATION_TIMEDOUT)
        return kFetchTimedOut;
    if (!t.headReported)
        return kFetchCannotOpen;
    if (code != CURLE_OK || (t.announced >= 0 && t.received != t.announced))
        return kFetchIncomplete;
    return kFetchOk;
}

} // namespace

int FetchStream(const char* url, IFetchReceiver& receiver, const std::string& extraHeaders)
{
    if (!CurlReady())
        return kFetchOffline;
    bool unasked = false;
    const int status = Perform(url, receiver, extraHeaders, false, &unasked);
    // Nothing was reported yet: the request goes again on a new connection.
    if (unasked)
        return Perform(url, receiver, extraHeaders, true, &unasked);
    return status;
}

void SetFetchConnectionSettings(const FetchConnectionSettings& settings)
{
    std::lock_guard<std::mutex> hold(SettingsLock());
    Settings() = settings;
}

int FetchToSink(const char* url, const char*, COutBuf* sink)
{
    SinkReceiver receiver(sink);
    return receiver.Status(FetchStream(url, receiver));
}
