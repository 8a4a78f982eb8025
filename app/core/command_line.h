// The options the program understands on its command line (the text
// after the program's own name, leading blanks already skipped).
#pragma once

#include <string>

enum class StartOption { kNone, kTestUrl, kReOpen, kDelFile, kSelfTest };

struct CommandLine {
    StartOption option = StartOption::kNone;
    // yw_test_url="<url>": the URL without its quotes, at most 8191 units;
    // empty when the value is missing or too short to hold the quotes.
    std::wstring testUrl;
    // delfile=<path>: the file to delete; empty when there is nothing safe to delete.
    std::wstring deletePath;
};

// Longest path the delete accepts: a 260-unit buffer with its terminator.
constexpr size_t kMaxPathUnits = 259;

CommandLine ParseCommandLine(const wchar_t* text);
