// Version texts of releases as a keyed build orders them: dotted decimal
// numbers, compared number by number ("1.0.10" is newer than "1.0.9").
#pragma once

#include <string>
#include <vector>

// Components of one to nine decimal digits each, separated by single dots,
// nothing else: "1.0.02" gives {1, 0, 2}. False for any other text ("",
// "1..0", "1.0.", "v1", "1.0 ", "1.0.0000000001").
bool ParseReleaseVersion(const std::wstring& text, std::vector<unsigned long>& components);

// True only when both texts parse and remote is strictly newer than local.
// Missing trailing components count as 0, so "1.0" and "1.0.0" are the same
// release, as are "1.0.01" and "1.0.1".
bool IsNewerRelease(const std::wstring& remote, const std::wstring& local);
