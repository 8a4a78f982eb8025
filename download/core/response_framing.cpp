#include "download/core/response_framing.h"

#include <cctype>

namespace {

bool NameIs(const std::string& line, const char* name, size_t length)
{
    if (line.size() <= length || line[length] != ':')
        return false;
    for (size_t i = 0; i < length; ++i)
        if (std::tolower(static_cast<unsigned char>(line[i])) != name[i])
            return false;
    return true;
}

// A list of decimal numbers ("5" or "5, 5"): true when all are the same,
// which is then in *value.
bool ReadLengths(const std::string& text, long long* value)
{
    long long first = -1;
    size_t at = 0;
    for (;;) {
        while (at < text.size() && (text[at] == ' ' || text[at] == '\t'))
            ++at;
        long long number = 0;
        size_t digits = 0;
        for (; at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])); ++at, ++digits) {
            if (number > (0x7fffffffffffffffLL - 9) / 10)
                return false;
            number = number * 10 + (text[at] - '0');
        }
        while (at < text.size() && (text[at] == ' ' || text[at] == '\t'))
            ++at;
        if (digits == 0 || (first >= 0 && number != first))
            return false;
        first = number;
        if (at == text.size())
            break;
        if (text[at] != ',')
            return false;
        ++at;
    }
    *value = first;
    return true;
}

} // namespace

void CHeadFraming::AddLine(const std::string& line)
{
    if (NameIs(line, "transfer-encoding", 17)) {
        m_transferEncoding = true;
        return;
    }
    if (!NameIs(line, "content-length", 14))
        return;
    long long value = -1;
    if (!ReadLengths(line.substr(15), &value) || (m_length >= 0 && value != m_length))
        m_ambiguous = true;
    else
        m_length = value;
}

CHeadFraming FramingOfRawHead(const std::string& head)
{
    CHeadFraming framing;
    size_t start = head.find('\n'); // past the status line
    while (start != std::string::npos && start + 1 < head.size()) {
        ++start;
        size_t end = head.find('\n', start);
        std::string line = head.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            break;
        framing.AddLine(line);
        start = end;
    }
    return framing;
}
