// The self-test's report: one line per check, "name: PASS|FAIL|NOT RUN:
// what was measured or why", in the order the checks ran, as UTF-8 text
// with CRLF line ends (Notepad of every Windows version reads it) after a
// byte-order mark.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

enum class CheckOutcome { kPass, kFail, kNotRun };

struct CheckLine {
    std::string name;   // "area.check": ASCII letters, digits, "." and "_"
    CheckOutcome outcome = CheckOutcome::kNotRun;
    std::string detail; // UTF-8, one line
    bool reached = true; // false: expected, and no check has added it yet
};

// Longest detail kept, in bytes; a longer one is cut at a character boundary
// and ends in "...". A page's user agent is the longest honest detail.
constexpr size_t kCheckDetailMaxBytes = 400;

class SelfTestReport {
public:
    // The lines the report is to hold, in this order, before any check
    // runs: a check that is never reached (an earlier step failed and the
    // run went on without it) still has its line, NOT RUN, naming the
    // first failure. Invalid names are left out.
    void Expect(const std::vector<std::string>& names);
    // Adds one line, in the place Expect gave its name, else at the end.
    // Control characters of the detail (line breaks
    // included) become blanks and invalid UTF-8 becomes "?", so every
    // check stays one line whatever a page or the system answered. A name
    // already used, or one outside its alphabet, is recorded as a FAIL of
    // its own rather than silently merged.
    void Add(const std::string& name, CheckOutcome outcome, const std::string& detail);
    void Pass(const std::string& name, const std::string& detail) { Add(name, CheckOutcome::kPass, detail); }
    void Fail(const std::string& name, const std::string& detail) { Add(name, CheckOutcome::kFail, detail); }
    void NotRun(const std::string& name, const std::string& reason) { Add(name, CheckOutcome::kNotRun, reason); }

    // Every line, those not reached with their NOT RUN detail.
    std::vector<CheckLine> Lines() const;
    size_t Count(CheckOutcome outcome) const;
    // True only when there is at least one check and every one passed.
    bool AllPassed() const;
    // 0 when AllPassed, otherwise 1.
    int ExitCode() const { return AllPassed() ? 0 : 1; }

    // The whole file: the byte-order mark, the heading, one line per check
    // and the counts.
    std::string FileText(const std::string& heading) const;
    // "12 passed, 1 failed, 3 not run".
    std::string Summary() const;

private:
    std::vector<CheckLine> m_lines;
};

const char* OutcomeText(CheckOutcome outcome);
// The detail as a report line may hold it (see SelfTestReport::Add).
std::string CleanDetail(const std::string& text);
