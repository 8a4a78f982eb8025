// Client commands: a page sends the client a command by navigating to a URL
// with "client_cmd?"; the client then saves a picture of the window's client
// area into .\yw_test\ and ends. Also the test-mode exit of the game window.
#pragma once

#include "base/core/trusted_url.h"
#include "framework/handles.h"

#include <windows.h>

// Whether a capture makes .\yw_test\ when it is missing. Test runs ask for
// their pictures; a player's run writes one only into a folder someone made,
// since a picture of a live game may show account details.
enum class CaptureFolder { kExisting, kCreate };

// True when `url` is a client command of a trusted page; it has then been
// carried out: the window captured, destroyed, and the quit message posted.
// A command with "loginerrcode=0" marks this and every later capture as a
// successful login. The command of any other page is ignored (false).
bool CheckClientCommand(const wchar_t* url, const TrustedSites& trusted, HWND window, const wchar_t* title,
                        CaptureFolder folder);

// Captures `window`, destroys it and posts the quit message (exit code 1).
void CaptureAndExit(HWND window, const wchar_t* title, CaptureFolder folder);

// Saves the client area as .\yw_test\[login_error_]<title><tag>.bmp. False
// when nothing was written (with kExisting, when the folder is missing).
bool SaveWindowCapture(HWND window, const wchar_t* title, CaptureFolder folder);

// A copy of the window's client area as a device-dependent bitmap, or none.
ScopedGdiObject CaptureClientArea(HWND window);

// Writes the bitmap as a BMP file at the display's depth (1, 4, 8 or 24
// bits). False when it cannot be read or the file cannot be written.
bool WriteBitmapFile(HBITMAP bitmap, const wchar_t* path);
