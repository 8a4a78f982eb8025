// The sites whose pages this run trusts: the built-in domains and, in test
// mode, the exact origin of the test URL (the tests' local origins).
#pragma once

#include "base/core/trusted_url.h"

#include <string>

// `testUrl` counts only when `testMode` is set.
TrustedSites MakeTrustedSites(const char* domains, bool testMode, const std::wstring& testUrl);

// This run's: KESTRUN_TRUSTED_DOMAINS with g_testUrlMode and g_testUrl.
TrustedSites RunTrustedSites();
