// A loopback HTTP peer for the download tests: each connection gets the next
// canned answer, written as given, and the request text is kept.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CannedOrigin {
public:
    CannedOrigin();
    ~CannedOrigin();
    CannedOrigin(const CannedOrigin&) = delete;
    CannedOrigin& operator=(const CannedOrigin&) = delete;

    // Answers are used in order; the last one repeats.
    void Answer(const std::string& raw);
    std::wstring Url(const wchar_t* path) const;
    std::vector<std::string> Requests();

    // A whole answer with a Content-Length, or without one (chunked).
    static std::string WithLength(const std::string& body, const char* status = "200 OK");
    static std::string Chunked(const std::string& body);

private:
    void Serve();

    SOCKET m_listener = INVALID_SOCKET;
    int m_port = 0;
    std::mutex m_lock;
    std::vector<std::string> m_answers;
    std::vector<std::string> m_requests;
    size_t m_next = 0;
    std::thread m_thread;
};
