// The fixed markers the browsers' event handlers look for in URLs.
#pragma once

#include <string>

// "client_cmd?" after the first character: the page sends the client a command.
bool IsClientCommandUrl(const std::string& url);
// "loginerrcode=0" after the first character: the command reports a login
// that succeeded.
bool ReportsLoginSuccess(const std::string& url);
// "vexalogin" after the first character: a game page that gets the UI
// handler and with it the script object.
bool CarriesGamePageMarker(const std::string& url);
// Both "openkey" and "openid" anywhere: the page is shown without scroll bars.
bool WantsNoScrollBars(const std::wstring& url);
