// The player's proxy settings as Windows keeps them (the Internet Settings
// lists read through WinHTTP), turned into the one proxy a fetch uses.
#pragma once

#include <string>

// The proxy for `scheme` ("http" or "https") in a proxy list: entries split
// by ";" or blanks, each "host:port" (any scheme) or "scheme=host:port".
// An entry for the scheme wins over one for any scheme; among equals the
// first wins (the rest are fall-backs). A "socks=host:port" entry serves
// when nothing else does, as "socks4://host:port" (a SOCKS 4 proxy, as
// WinInet speaks it). Empty when the list has none.
std::string ProxyForScheme(const std::string& list, const std::string& scheme);

// Whether `host` (lower case, port apart) is reached directly by a bypass
// list: entries split by ";", "," or blanks, each a host name pattern where
// "*" stands for any run of characters, an optional "http://" or
// "https://" before it and ":port" after it, or "<local>": any name without
// a dot. Case is ignored.
bool BypassesProxy(const std::string& host, int port, const std::string& bypass);
