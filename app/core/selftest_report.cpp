#include "app/core/selftest_report.h"

namespace {

bool IsNameCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_';
}

bool IsValidName(const std::string& name)
{
    if (name.empty() || name.size() > 64)
        return false;
    for (char c : name)
        if (!IsNameCharacter(c))
            return false;
    return true;
}

// Length of the UTF-8 sequence at text[at], or 0 when it is not a whole,
// shortest-form sequence of a scalar value.
size_t SequenceLength(const std::string& text, size_t at)
{
    const unsigned char lead = static_cast<unsigned char>(text[at]);
    size_t length = 0;
    unsigned long value = 0;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
    } else {
        return 0;
    }
    if (text.size() - at < length)
        return 0;
    for (size_t i = 1; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[at + i]);
        if ((c & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (c & 0x3F);
    }
    const bool overlong = (length == 3 && value < 0x800) || (length == 4 && value < 0x10000);
    const bool surrogate = value >= 0xD800 && value <= 0xDFFF;
    if (overlong || surrogate || value > 0x10FFFF)
        return 0;
    return length;
}

} // namespace

const char* OutcomeText(CheckOutcome outcome)
{
    switch (outcome) {
    case CheckOutcome::kPass:
        return "PASS";
    case CheckOutcome::kFail:
        return "FAIL";
    default:
        return "NOT RUN";
    }
}

std::string CleanDetail(const std::string& text)
{
    std::string out;
    size_t at = 0;
    while (at < text.size()) {
        const size_t length = SequenceLength(text, at);
        if (length == 0) {
            out += '?';
            ++at;
            continue;
        }
        const unsigned char c = static_cast<unsigned char>(text[at]);
        if (c < 0x20 || c == 0x7F)
            out += ' ';
        else
            out.append(text, at, length);
        at += length;
    }
    if (out.size() <= kCheckDetailMaxBytes)
        return out;
    // The cleaned text is valid UTF-8: step back over continuation bytes.
    constexpr char kEllipsis[] = "...";
    size_t cut = kCheckDetailMaxBytes - (sizeof kEllipsis - 1);
    while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80)
        --cut;
    out.resize(cut);
    return out + kEllipsis;
}

void SelfTestReport::Expect(const std::vector<std::string>& names)
{
    for (const std::string& name : names) {
        if (!IsValidName(name))
            continue;
        bool known = false;
        for (const CheckLine& line : m_lines)
            known = known || line.name == name;
        if (!known)
            m_lines.push_back({name, CheckOutcome::kNotRun, std::string(), false});
    }
}

void SelfTestReport::Add(const std::string& name, CheckOutcome outcome, const std::string& detail)
{
    if (!IsValidName(name)) {
        m_lines.push_back({"report.bad_name", CheckOutcome::kFail, CleanDetail("a check was named \"" + name + "\"")});
        return;
    }
    for (CheckLine& line : m_lines) {
        if (line.name != name)
            continue;
        if (line.reached) {
            m_lines.push_back({"report.duplicate", CheckOutcome::kFail, "the check " + name + " was reported twice"});
        } else {
            line = {name, outcome, CleanDetail(detail), true};
        }
        return;
    }
    m_lines.push_back({name, outcome, CleanDetail(detail)});
}

std::vector<CheckLine> SelfTestReport::Lines() const
{
    std::string firstFailure;
    for (const CheckLine& line : m_lines) {
        if (line.reached && line.outcome == CheckOutcome::kFail) {
            firstFailure = line.name;
            break;
        }
    }
    std::vector<CheckLine> lines = m_lines;
    for (CheckLine& line : lines) {
        if (!line.reached)
            line.detail = firstFailure.empty() ? "not reached" : "not reached: " + firstFailure + " failed";
    }
    return lines;
}

size_t SelfTestReport::Count(CheckOutcome outcome) const
{
    size_t n = 0;
    for (const CheckLine& line : m_lines)
        if (line.outcome == outcome)
            ++n;
    return n;
}

bool SelfTestReport::AllPassed() const
{
    return !m_lines.empty() && Count(CheckOutcome::kPass) == m_lines.size();
}

std::string SelfTestReport::Summary() const
{
    return std::to_string(Count(CheckOutcome::kPass)) + " passed, " + std::to_string(Count(CheckOutcome::kFail)) +
           " failed, " + std::to_string(Count(CheckOutcome::kNotRun)) + " not run";
}

std::string SelfTestReport::FileText(const std::string& heading) const
{
    std::string text = "\xEF\xBB\xBF" + CleanDetail(heading) + "\r\n";
    for (const CheckLine& line : Lines()) {
        text += line.name + ": " + OutcomeText(line.outcome);
        if (!line.detail.empty())
            text += ": " + line.detail;
        text += "\r\n";
    }
    text += "result: " + Summary() + "\r\n";
    return text;
}
