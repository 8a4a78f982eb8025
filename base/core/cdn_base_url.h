// A resource CDN base URL (narrow) that one thread may replace while others
// read it: every reader takes a whole copy of an immutable value that a
// writer swaps atomically. Also the rules for a base that a page asks for,
// and how a request path is put after a base.
#pragma once

#include "base/core/trusted_url.h"

#include <memory>
#include <string>

class CdnBaseUrl {
public:
    explicit CdnBaseUrl(const char* initial);
    std::string Get() const;
    void Set(const std::string& url);

private:
    std::shared_ptr<const std::string> m_value; // only through std::atomic_load/atomic_store
};

// Whether a page may make `url` the CDN base: an http or https URL without
// blanks, control characters or a backslash before its path (parsers read
// those differently), at most 2048 bytes, whose port is not `ownPort`. Any
// host name may resolve to this machine, which cannot be told without
// resolving it, so any host on the local server's own port counts as that
// server, whose every miss would fetch from itself again. A port that is no
// number is refused as well. With or without a "/" at the end.
bool IsAcceptableCdnBase(const std::string& url, int ownPort);

// Whether a page may make `url` the CDN base: acceptable as above, on a
// trusted site, and not plain http when the built-in base `builtIn` is
// https (the stored resources run as the game's own scripts, so a page may
// not open them to anyone on the network path).
bool IsAllowedPageCdnBase(const std::string& url, int ownPort, const TrustedSites& trusted,
                          const std::string& builtIn);

// The URL of request `path` under `base`: the two joined as they are (a base
// ending in "/" and a path starting with one give "//", as the built-in base
// always has), with a "/" put between when neither has one, so that a path
// can never continue the base's host name.
std::string JoinCdnUrl(const std::string& base, const std::string& path);
