// What a response head says about where its body ends. A CDN whose head
// can be read two ways could have its body end where an attacker on the
// path chooses, so such a head is refused rather than guessed at.
#pragma once

#include <string>

class CHeadFraming {
public:
    // A new head begins (a status line).
    void Reset() { *this = CHeadFraming(); }
    // One header line of the head, without its line end.
    void AddLine(const std::string& line);
    // Two different Content-Length values, one that is not a number, or a
    // Content-Length beside a Transfer-Encoding.
    bool Ambiguous() const { return m_ambiguous || (m_length >= 0 && m_transferEncoding); }
    // -1 when the head announces none (or announces a transfer encoding).
    long long ContentLength() const { return m_transferEncoding ? -1 : m_length; }

private:
    long long m_length = -1;
    bool m_transferEncoding = false;
    bool m_ambiguous = false;
};

// The framing of a whole head as "HTTP/1.1 200 OK\r\nName: value\r\n...".
CHeadFraming FramingOfRawHead(const std::string& head);
