#include "base/tests_win/canned_origin.h"

#include <ws2tcpip.h>

#include <cstdio>

CannedOrigin::CannedOrigin()
{
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    m_listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(m_listener, 8);
    int length = sizeof address;
    getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { Serve(); });
}

CannedOrigin::~CannedOrigin()
{
    closesocket(m_listener); // ends accept()
    m_thread.join();
    WSACleanup();
}

void CannedOrigin::Answer(const std::string& raw)
{
    std::lock_guard<std::mutex> hold(m_lock);
    m_answers.push_back(raw);
}

std::wstring CannedOrigin::Url(const wchar_t* path) const
{
    return L"http://127.0.0.1:" + std::to_wstring(m_port) + path;
}

std::vector<std::string> CannedOrigin::Requests()
{
    std::lock_guard<std::mutex> hold(m_lock);
    return m_requests;
}

std::string CannedOrigin::WithLength(const std::string& body, const char* status)
{
    return std::string("HTTP/1.1 ") + status + "\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

std::string CannedOrigin::Chunked(const std::string& body)
{
    char size[16];
    std::snprintf(size, sizeof size, "%zx", body.size());
    return "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n" + std::string(size) + "\r\n" +
           body + "\r\n0\r\n\r\n";
}

void CannedOrigin::Serve()
{
    for (;;) {
        const SOCKET peer = accept(m_listener, nullptr, nullptr);
        if (peer == INVALID_SOCKET)
            return;
        std::string request;
        char piece[1024];
        while (request.find("\r\n\r\n") == std::string::npos) {
            const int got = recv(peer, piece, sizeof piece, 0);
            if (got <= 0)
                break;
            request.append(piece, got);
        }
        std::string answer;
        {
            std::lock_guard<std::mutex> hold(m_lock);
            m_requests.push_back(request);
            if (!m_answers.empty())
                answer = m_answers[m_next < m_answers.size() ? m_next++ : m_answers.size() - 1];
        }
        send(peer, answer.data(), static_cast<int>(answer.size()), 0);
        shutdown(peer, SD_SEND);
        closesocket(peer);
    }
}
