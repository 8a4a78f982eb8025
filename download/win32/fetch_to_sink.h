// The WinInet half of FetchToSink and FetchStream: one request on an
// internet handle the caller opened (and closes). The handle gets the
// fetch's status callback, which tells whether each request opened a
// connection of its own; an answer over a connection kept from an earlier
// request is never read.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <string>

class COutBuf;
class IFetchReceiver;

// Appends the body of url to sink (may be null); returns a FetchStatus.
int FetchWithHandle(HINTERNET internet, const char* url, const char* ignored, COutBuf* sink);
// Streams url into receiver, with extraHeaders (CRLF-ended lines) as
// further request fields; returns a FetchStatus.
int StreamWithHandle(HINTERNET internet, const char* url, IFetchReceiver& receiver,
                     const std::string& extraHeaders = std::string());
