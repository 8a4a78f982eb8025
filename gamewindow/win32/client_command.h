// Client commands: a page sends the client a command by navigating to a URL
// with "client_cmd?"; the client then saves a picture of the window's client
// area into .\yw_test\ and ends. Also the test-mode exit of the game window.
#pragma once

#include "framework/handles.h"

#include <windows.h>

// True when `url` is a client command; it has then been carried out: the
// window captured, destroyed, and the quit message posted. A command with
// "loginerrcode=0" marks this and every later capture as a successful login.
bool CheckClientCommand(const wchar_t* url, HWND window, const wchar_t* title);

// Captures `window`, destroys it and posts the quit message (exit code 1).
void CaptureAndExit(HWND window, const wchar_t* title);

// Saves the client area as .\yw_test\[login_error_]<title><tag>.bmp, creating
// the folder when it is missing. False when nothing was written.
bool SaveWindowCapture(HWND window, const wchar_t* title);

// A copy of the window's client area as a device-dependent bitmap, or none.
ScopedGdiObject CaptureClientArea(HWND window);

// Writes the bitmap as a BMP file at the display's depth (1, 4, 8 or 24
// bits). False when it cannot be read or the file cannot be written.
bool WriteBitmapFile(HBITMAP bitmap, const wchar_t* path);
