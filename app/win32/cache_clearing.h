// The clear-cache command of the game window: the browser's cookies and
// everything the local cache server stored go; the browser's cached pages stay.
#pragma once

#include <windows.h>

#include <string>

// Clears cookie entries, the cookie folder and the cache server's root,
// <program folder>\wz_cdn, then tells the user it is done, whatever each
// step achieved.
void ClearCaches(HWND owner);
// The same with the program's folder given.
void ClearCachesOf(HWND owner, const std::wstring& programFolder);

// Deletes the URL cache entries that carry the cookie bit. False when the
// cache has no entry to enumerate.
bool DeleteCookieEntries();

// Deletes everything inside folder, depth first, except entries named
// "desktop.ini" (a folder holding one stays). False when it cannot be listed.
bool DeleteFolderContents(const std::wstring& folder);
