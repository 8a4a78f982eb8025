// FetchToSink natively, through libcurl, with the rules of the WinInet
// version: a fresh handle per fetch, a response without Content-Length
// fails with nothing appended, the HTTP status is not examined, and a body
// shorter than its Content-Length gives kFetchIncomplete.
#include "download/core/download_client.h"

#include "base/core/out_buf.h"

#include <curl/curl.h>

#include <cstdio>
#include <ctime>

namespace {

constexpr long kConnectTimeoutSeconds = 15;
// A transfer that moves no byte for this long counts as broken off.
constexpr long kStallSeconds = 30;

struct Transfer {
    CURL* curl;
    COutBuf* sink;
    bool headerSeen = false;   // a status line arrived
    bool noLength = false;     // the body came without Content-Length
};

bool CurlReady()
{
    static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return ready;
}

std::string TickAgent()
{
    // Milliseconds since system start, as a signed 32-bit number.
    timespec now = {};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const unsigned long long ms = static_cast<unsigned long long>(now.tv_sec) * 1000ULL +
                                  static_cast<unsigned long long>(now.tv_nsec / 1000000L);
    char agent[32];
    std::snprintf(agent, sizeof agent, "Agent%ld", static_cast<long>(static_cast<int>(static_cast<unsigned>(ms))));
    return agent;
}

size_t OnHeader(char*, size_t size, size_t count, void* raw)
{
    static_cast<Transfer*>(raw)->headerSeen = true;
    return size * count;
}

size_t OnBody(char* bytes, size_t size, size_t count, void* raw)
{
    auto* t = static_cast<Transfer*>(raw);
    curl_off_t length = -1;
    if (curl_easy_getinfo(t->curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK || length < 0) {
        t->noLength = true;
        return 0; // ends the transfer before anything is kept
    }
    const size_t n = size * count;
    if (t->sink)
        t->sink->Write(bytes, static_cast<int>(n));
    return n;
}

} // namespace

int FetchToSink(const char* url, const char*, COutBuf* sink)
{
    if (!CurlReady())
        return kFetchOffline;
    CURL* curl = curl_easy_init();
    if (!curl)
        return kFetchOffline;

    Transfer t{curl, sink};
    const std::string agent = TickAgent();
    curl_slist* headers = curl_slist_append(nullptr, "Accept: */*");
    headers = curl_slist_append(headers, "Pragma: no-cache");
    curl_easy_setopt(curl, CURLOPT_URL, url);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, agent.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &OnHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &t);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &OnBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &t);

    const CURLcode code = curl_easy_perform(curl);
    curl_off_t length = -1;
    curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    curl_easy_cleanup(curl);
    curl_slist_free_all(headers);

    if (t.noLength || !t.headerSeen)
        return kFetchCannotOpen;
    if (code != CURLE_OK)
        return length < 0 ? kFetchCannotOpen : kFetchIncomplete;
    if (length < 0)
        return kFetchCannotOpen;
    if (sink && sink->GetLength() != length)
        return kFetchIncomplete;
    return kFetchOk;
}
