// Login URL rewriting: recognising the game's entry URL in what the login
// page's browser sees, and appending the client's own parameters to it.
// Plain text work on narrow strings with ECMAScript regular expressions.
#pragma once

#include <string>

// The standard library's matcher recurses once per character it matches, so
// a long run under "[^&]*" exhausts the stack. Longer texts are not matched.
constexpr size_t kRegexInputMaxBytes = 4096;
// The longest URL the browser control accepts; longer ones are never the
// game's entry URL.
constexpr size_t kLoginUrlMaxBytes = 2083;

// Every non-overlapping match of `pattern` replaced by `replacement`. The
// input comes back unchanged when the pattern is invalid or the input is
// longer than kRegexInputMaxBytes.
std::string RegexReplaceAll(const std::string& input, const std::string& pattern, const std::string& replacement);

// The first match of "(^|&)<key>=([^&]*)(&|$)", the key inserted as given:
// the whole match, so with the "&" around it where there is one. Empty when
// there is none (a key straight after "?" is not found), the key makes an
// invalid pattern, or the text is longer than kRegexInputMaxBytes.
std::string GetQueryParam(const std::string& text, const std::string& key);

// "http://localhost:<port>/wz_cdn/": the local cache server's base URL.
std::string LocalCacheBaseUrl(int port);

struct LoginRewrite {
    std::string gameUrl;  // the URL the game window opens
    std::string pf;       // GetQueryParam(gameUrl, "pf")
    std::string serverId; // GetQueryParam(gameUrl, "serverId")
};

// True when `url` carries the login marker "vexalogin" (or, in test mode,
// "login_kq?") after its first character; `out` then holds the rewritten URL
// and the two parameters that name window captures.
bool RewriteLoginText(const std::string& url, bool testMode, int localPort, LoginRewrite* out);
