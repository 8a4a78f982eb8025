#include "app/core/command_line.h"

#include "app/core/app_globals.h"

namespace {

bool StartsWith(const std::wstring& text, const wchar_t* prefix)
{
    return text.compare(0, std::wstring(prefix).size(), prefix) == 0;
}

} // namespace

CommandLine ParseCommandLine(const wchar_t* raw)
{
    CommandLine result;
    const std::wstring text = raw ? raw : L"";

    if (StartsWith(text, L"yw_test_url")) {
        result.option = StartOption::kTestUrl;
        // The value is written yw_test_url="<url>": skip "=" and the opening
        // quote, drop the closing one.
        const size_t eq = text.find(L'=');
        if (eq != std::wstring::npos && text.size() - eq - 1 >= 2) {
            result.testUrl = text.substr(eq + 2, text.size() - eq - 3);
            if (result.testUrl.size() > kTestUrlMaxUnits)
                result.testUrl.resize(kTestUrlMaxUnits);
        }
    } else if (text == L"re_open") {
        result.option = StartOption::kReOpen;
    } else if (text == L"yw_selftest") {
        result.option = StartOption::kSelfTest;
    } else if (StartsWith(text, L"delfile")) {
        result.option = StartOption::kDelFile;
        // Everything after "delfile=" is the path, "=" and blanks included.
        // A path too long for the platform's buffer is refused, never cut:
        // a shortened path could name another file.
        const std::wstring path = StartsWith(text, L"delfile=") ? text.substr(8) : std::wstring();
        if (path.size() <= kMaxPathUnits)
            result.deletePath = path;
    }
    return result;
}
