// Names of the window pictures a client command saves:
//   <folder>[login_error_]<title><pf>_<serverId>.bmp
// Titles and tags come from web pages, so whatever a file name cannot hold
// is replaced, and the name is cut to the fixed limits rather than let run.
#pragma once

#include <string>

// The folder the pictures go to, relative to the current folder.
constexpr wchar_t kCaptureFolder[] = L".\\yw_test\\";
// Limits of the whole path and of the tag, in UTF-16 units without the
// terminator.
constexpr size_t kCapturePathMaxUnits = 511;
constexpr size_t kCaptureTagMaxUnits = 199;
// File systems hold at most 255 units in one name.
constexpr size_t kCaptureNameMaxUnits = 255;

// `text` with \ / : * ? " < > | and control characters replaced by "_".
std::wstring FileNameSafe(const std::wstring& text);

// `text` cut to at most `maxUnits` units, never between the two halves of a
// surrogate pair.
std::wstring CutUnits(const std::wstring& text, size_t maxUnits);

// pf + "_" + serverId, one unit per byte, made file-name safe and cut to
// kCaptureTagMaxUnits.
std::wstring CaptureTag(const std::string& pf, const std::string& serverId);

// The whole path. The title is made safe and cut so that the path stays
// within kCapturePathMaxUnits; the prefix, tag and extension are kept.
std::wstring CapturePath(const std::wstring& folder, bool loginSucceeded, const std::wstring& title,
                         const std::string& pf, const std::string& serverId);
