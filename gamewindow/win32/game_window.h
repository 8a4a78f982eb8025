// The game phase: the game window with its browser, run by the game loop
// until the quit message.
#pragma once

#include "base/core/trusted_url.h"

#include <windows.h>

#include <functional>
#include <string>

// What a self-test reads of the game window it started, at every tick.
struct GamePageState {
    // A trusted game page completed loading at the top level.
    bool pageCompleted = false;
    // Our UI handler took that page's document and gives it this window's
    // script object.
    bool uiHandlerInPlace = false;
    // The browser's top-level document is a trusted page now.
    bool topLevelTrusted = false;
};

// A self-test's hold on the game window; empty in every other run.
struct PageCheckHooks {
    // The one origin, as "scheme://host:port", whose top-level pages may call
    // the script object's selfTestReport(name, value).
    std::string origin;
    std::function<void(const std::wstring& name, const std::wstring& value)> report;
    // Called about every kPageCheckTickMs on the window's thread while the
    // window lives; false destroys the window and ends the game loop.
    std::function<bool(HWND window, const GamePageState& state)> tick;
};
constexpr UINT kPageCheckTickMs = 100;

struct GameWindowSettings {
    // The captured game URL; empty when no login was captured (the browser
    // then stays on its creation page).
    std::wstring gameUrl;
    // The platform's login page, named in the browser's creation text.
    std::wstring loginPageUrl;
    // Test mode: the exit command saves a capture instead of asking.
    bool testMode = false;
    // The port the local cache server listens on.
    int localPort = 0;
    // Reads and replaces the resource CDN base URL (the page's setWebCdnUrl).
    std::function<std::string()> cdnBase;
    std::function<void(const std::string&)> setCdnBase;
    // The built-in CDN base URL: a page may not leave https for http.
    std::string builtInCdnBase;
    // The sites whose pages get the script object, move the CDN base and
    // send client commands.
    TrustedSites trusted;
    // The clear-cache command of both menus; its messages are owned by the window.
    std::function<void(HWND owner)> clearCaches;
    // Told every page title the game browser reports.
    std::function<void(const wchar_t* title)> pageTitleChanged;
    // The window is never shown (a self-test's).
    bool hidden = false;
    PageCheckHooks pageCheck;
};

// Creates the game window and runs the game loop until the quit message.
// Returns 0 after the loop; non-zero, without running it, when the window
// was gone before the loop could start: its browser could not be created
// (the player has been told), or a client command in its first navigation
// ended it (the quit message is then pending).
int RunGameWindow(const GameWindowSettings& settings);
