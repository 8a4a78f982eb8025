// What a request must be before anything of it reaches the CDN: its target
// read one way only, its header lines read one way only, and the
// keep-alive wish of any browser.
#pragma once

#include <string>

// The embedded browser's own URL limit; a longer target comes from no page
// it loads, and would cost the fetch far more than it is worth.
constexpr size_t kMaxRequestTargetLength = 2083;

enum class TargetVerdict {
    kAccepted,
    kBad,     // 400
    kTooLong, // 414
};

// Judges a GET's target. It must start with "/", hold no blank or control
// character and only whole percent escapes. Decoded once, it may hold no
// "\" or "#", no escaped "/" or "\", and no segment (between "/" and "?",
// up to a ";") that is "." or "..": the CDN, its proxies and the fetch
// itself could each read such a target as another path. When accepted,
// *cdnPath is the target as it goes after the CDN base: every byte of
// 0x80 and above percent-encoded.
TargetVerdict CheckRequestTarget(const std::string& target, std::string* cdnPath);

// True when every line between the request line and the blank line is
// "name:value" with a name free of blanks, no line continues the one
// before it (folding), and no carriage return stands alone. Any of those
// lets two readers of the head disagree on its fields.
bool HeaderLinesWellFormed(const std::string& request);

// True when a Connection header lists the token "keep-alive": names and
// token in any case, blanks around the value.
bool AsksKeepAlive(const std::string& request);
