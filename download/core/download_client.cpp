#include "download/core/download_client.h"

#include "base/core/out_buf.h"
#include "download/core/sink_receiver.h"

const char kFetchHeaders[] = "Accept: */*\r\n\r\n";

bool SinkReceiver::OnHead(int, const std::string&, long long contentLength)
{
    m_headSeen = true;
    m_noLength = contentLength < 0;
    return !m_noLength; // nothing is appended from an answer without a length
}

bool SinkReceiver::OnBody(const char* bytes, size_t length)
{
    if (m_sink)
        m_sink->Write(bytes, static_cast<int>(length));
    return true;
}

int SinkReceiver::Status(int streamStatus) const
{
    if (m_noLength)
        return kFetchCannotOpen;
    if (streamStatus == kFetchTimedOut || streamStatus == kFetchStopped)
        return m_headSeen ? kFetchIncomplete : kFetchCannotOpen;
    return streamStatus;
}
