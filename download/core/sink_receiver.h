// FetchToSink's rules on top of a streamed fetch: any status is content, a
// Content-Length is required, the body is appended to the sink as it comes.
#pragma once

#include "download/core/download_client.h"

class SinkReceiver : public IFetchReceiver {
public:
    explicit SinkReceiver(COutBuf* sink) : m_sink(sink) {}

    bool OnHead(int status, const std::string& reason, long long contentLength) override;
    bool OnBody(const char* bytes, size_t length) override;
    // FetchToSink's status for what the stream returned.
    int Status(int streamStatus) const;

private:
    COutBuf* m_sink;
    bool m_headSeen = false;
    bool m_noLength = false;
};
