// The curl fetch's sockets through Winsock, and the player's proxy as
// Internet Settings give it, read through WinHTTP: a session of the fetch's
// own, so that nothing of WinInet's (the browsers') state is read or changed.
#include "download/curl/curl_platform.h"

#include "base/core/trusted_url.h"
#include "base/win32/wide_text.h"
#include "download/core/proxy_choice.h"

#include <winsock2.h>
#include <windows.h>
#include <winhttp.h>

#include <cstdio>
#include <map>
#include <mutex>

curl_socket_t OpenCurlSocket(int family, int type, int protocol)
{
    return socket(family, type, protocol);
}

int CloseCurlSocket(curl_socket_t fd)
{
    return closesocket(fd);
}

bool CurlSocketHoldsInput(curl_socket_t fd)
{
    // Winsock has no MSG_DONTWAIT: a zero-wait select says whether a peek
    // would return at once (data, the peer's end, or an error).
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(fd, &readable);
    timeval none = {0, 0};
    if (select(0, &readable, nullptr, nullptr, &none) <= 0)
        return false;
    char byte;
    recv(fd, &byte, 1, MSG_PEEK);
    return true;
}

void ShutCurlSocket(curl_socket_t fd)
{
    shutdown(fd, SD_BOTH);
}

std::string CurlTickAgent()
{
    char agent[32];
    std::snprintf(agent, sizeof agent, "Agent%ld", static_cast<long>(static_cast<LONG>(GetTickCount())));
    return agent;
}

namespace {

// A string WinHTTP allocated for its caller (may be null), freed once.
class GlobalText {
public:
    explicit GlobalText(LPWSTR text) : m_text(text) {}
    ~GlobalText()
    {
        if (m_text)
            GlobalFree(m_text);
    }
    GlobalText(const GlobalText&) = delete;
    GlobalText& operator=(const GlobalText&) = delete;
    std::string Narrow() const { return m_text ? ToNarrow(std::wstring(m_text)) : std::string(); }
    bool Empty() const { return !m_text || !*m_text; }

private:
    LPWSTR const m_text;
};

// A proxy decision stands this long: a script or detection costs a round
// trip or more, too much for every miss.
constexpr DWORD kProxyChoiceMs = 60000;
constexpr size_t kProxyChoicesKept = 64;
constexpr int kScriptTimeoutMs = 5000;

struct KeptChoice {
    CurlProxyChoice choice;
    DWORD madeAt = 0;
};

// The list and bypass a configuration script (or detection) gives for url;
// false when it gave nothing, and the fixed settings then apply.
bool ScriptProxy(const std::wstring& url, const WINHTTP_CURRENT_USER_IE_PROXY_CONFIG& ie, std::string* list,
                 std::string* bypass)
{
    // Opened once and kept: WinHTTP keeps what it learnt of the script in
    // it. A script server that does not answer costs a miss seconds, not
    // its whole answer time.
    static HINTERNET const session = [] {
        const HINTERNET h = WinHttpOpen(L"", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
        if (h)
            WinHttpSetTimeouts(h, kScriptTimeoutMs, kScriptTimeoutMs, kScriptTimeoutMs, kScriptTimeoutMs);
        return h;
    }();
    if (!session)
        return false;
    WINHTTP_AUTOPROXY_OPTIONS options = {};
    if (ie.fAutoDetect) {
        options.dwFlags |= WINHTTP_AUTOPROXY_AUTO_DETECT;
        options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
    }
    if (ie.lpszAutoConfigUrl && *ie.lpszAutoConfigUrl) {
        options.dwFlags |= WINHTTP_AUTOPROXY_CONFIG_URL;
        options.lpszAutoConfigUrl = ie.lpszAutoConfigUrl;
    }
    options.fAutoLogonIfChallenged = TRUE;
    WINHTTP_PROXY_INFO info = {};
    const BOOL ok = WinHttpGetProxyForUrl(session, url.c_str(), &options, &info);
    const GlobalText proxy(info.lpszProxy), proxyBypass(info.lpszProxyBypass);
    if (!ok)
        return false;
    if (info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY) {
        *list = proxy.Narrow();
        *bypass = proxyBypass.Narrow();
    }
    return true;
}

CurlProxyChoice Decide(const char* url, const UrlOrigin& origin)
{
    CurlProxyChoice choice;
    choice.decided = true;
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG ie = {};
    if (!WinHttpGetIEProxyConfigForCurrentUser(&ie))
        return choice;
    const GlobalText script(ie.lpszAutoConfigUrl), fixed(ie.lpszProxy), fixedBypass(ie.lpszProxyBypass);

    std::string list, bypass;
    const bool scripted = (ie.fAutoDetect || !script.Empty()) && ScriptProxy(ToWide(std::string(url)), ie, &list, &bypass);
    if (!scripted) {
        list = fixed.Narrow();
        bypass = fixedBypass.Narrow();
    }
    if (!BypassesProxy(origin.host, origin.port, bypass))
        choice.proxy = ProxyForScheme(list, origin.scheme);
    return choice;
}

} // namespace

CurlProxyChoice ChooseCurlProxy(const char* url)
{
    UrlOrigin origin;
    if (!ParseUrlOrigin(url, &origin)) {
        CurlProxyChoice direct;
        direct.decided = true;
        return direct;
    }
    const std::string key = origin.scheme + "://" + origin.host + ":" + std::to_string(origin.port);
    // Never freed: a fetch thread abandoned at exit may still be asking.
    static std::mutex* const lock = new std::mutex;
    static std::map<std::string, KeptChoice>* const kept = new std::map<std::string, KeptChoice>;
    {
        std::lock_guard<std::mutex> hold(*lock);
        const auto found = kept->find(key);
        if (found != kept->end() && GetTickCount() - found->second.madeAt < kProxyChoiceMs)
            return found->second.choice;
    }
    // Decided outside the lock: a script may take seconds.
    KeptChoice made;
    made.choice = Decide(url, origin);
    made.madeAt = GetTickCount();
    std::lock_guard<std::mutex> hold(*lock);
    if (kept->size() >= kProxyChoicesKept)
        kept->clear();
    (*kept)[key] = made;
    return made.choice;
}
