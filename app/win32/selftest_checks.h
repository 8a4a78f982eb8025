// The self-test's checks. Each adds its lines to the report and undoes
// whatever it made; they run on the UI thread, in the order of the report.
#pragma once

#include "app/core/selftest_report.h"

#include <windows.h>

#include <string>

class SelfTestOrigin;

// UTF-8 of UTF-16 text, for report details.
std::string Utf8(const std::wstring& text);
// "error 5" for a GetLastError value.
std::string ErrorText(DWORD error);
// Writes the whole file; `creation` as for CreateFileW (CREATE_NEW, CREATE_ALWAYS).
bool WriteFileBytes(const std::wstring& path, const std::string& bytes, DWORD creation);
// The file's first `limit` bytes (all of a shorter file); false when it
// cannot be read.
bool ReadFileBytes(const std::wstring& path, size_t limit, std::string* bytes);

// Windows version and build, the program's word size against the system's,
// common controls 6 and the display's DPI.
void CheckSystem(SelfTestReport& report);
// The update's signature check with a built-in release statement: accepted
// as signed, refused once changed.
void CheckSignatures(SelfTestReport& report);
// The update's rename-and-replace on a running copy of the program in
// `work` (a folder of the self-test's own), then its clean-up.
void CheckUpdateSwap(SelfTestReport& report, const std::wstring& modulePath, const std::wstring& work);

// The real cache server over `work`, its misses fetched from `origin`
// (started already): a miss and then a hit of a known body, byte for byte.
// The port that listens, or 0 when the server did not start.
int CheckCacheServer(SelfTestReport& report, SelfTestOrigin& origin, const std::wstring& work);
// Stops the server CheckCacheServer started.
void StopSelfTestCacheServer();

// Puts the self-test page among the origin's resources.
bool ServeSelfTestPage(SelfTestOrigin& origin);
// The hidden game window's browser on the self-test page through the cache
// server on `port`, and a picture of that window. `port` 0: not run.
void CheckBrowserAndPicture(SelfTestReport& report, SelfTestOrigin& origin, int port, const std::wstring& work);
