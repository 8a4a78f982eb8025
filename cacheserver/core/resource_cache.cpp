// Cache mapping and fetch-on-miss of CHTTPServer, and its launch.
#include "cacheserver/core/http_server.h"

#include "base/core/debug_trace.h"
#include "base/core/directory_path.h"
#include "base/core/md5.h"
#include "base/core/out_buf.h"
#include "base/core/platform_fs.h"

#include <atomic>
#include <climits>
#include <condition_variable>
#include <cstdio>

struct CHTTPServer::SharedMiss {
    std::mutex lock;
    std::condition_variable done;
    bool finished = false;
    std::string bytes;
};

namespace {

const char kCacheFolderName[] = "wz_cdn";
std::atomic<unsigned> g_partCounter{0};

// Writes the body beside its final name and renames it into place, so a
// reader opens either no file or the whole one.
void StoreAtomically(const std::string& file, const COutBuf& body)
{
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".part%u", g_partCounter.fetch_add(1));
    const std::string part = file + suffix;
    if (!body.SaveFile(part.c_str()) || !FsReplaceFile(part.c_str(), file.c_str()))
        std::remove(part.c_str());
}

} // namespace

std::string CurrentFolderCache()
{
    std::string folder = SrvCurrentFolder();
    folder += kSrvPathSeparator;
    folder += kCacheFolderName;
    folder += kSrvPathSeparator;
    return folder;
}

bool CHTTPServer::Launch(const CacheServerConfig& config)
{
    // A second launch must not change the folder or the port under the
    // threads that already serve them.
    if (IsRunning())
        return true;
    m_config = config;
    m_rootPath = config.folder;
    MakeDirectoryPath(m_rootPath.c_str());
    if (m_rootPath.empty() || m_rootPath.back() != kSrvPathSeparator)
        m_rootPath += kSrvPathSeparator;
    int port = config.firstPort;
    for (int attempt = 1;; ++attempt) {
        if (Start(port))
            return true;
        DebugTrace("cache server: cannot listen on port %d%s", port, LastStartPortTaken() ? " (taken)" : "");
        if (attempt == kLaunchAttempts || !config.drawPort)
            return false;
        port = config.drawPort();
    }
}

std::string CHTTPServer::CacheFileFor(const std::string& path) const
{
    return m_rootPath + Md5Hex(path.data(), path.size());
}

void CHTTPServer::LoadResource(const std::string& path, COutBuf* body)
{
    const std::string file = CacheFileFor(path);
    if (body->LoadFile(file.c_str()))
        return;
    // Such a path would carry header lines or blanks into the CDN request.
    if (!IsFetchablePath(path))
        return;
    FetchMiss(path, file, body);
}

bool CHTTPServer::AppendCachedResponse(const std::string& path, const ResponseHead& head, COutBuf* out)
{
    const std::string file = CacheFileFor(path);
    FILE* stream = std::fopen(file.c_str(), "rb");
    if (!stream)
        return false;
    bool ok = false;
    int size = 0;
    const int mark = out->GetLength();
    if (StreamSizeForBuffer(stream, size) && AppendHeader(head, size, out)) {
        char* body = size > 0 ? out->Extend(size) : nullptr;
        ok = size == 0 || (body && std::fread(body, 1, static_cast<size_t>(size), stream) == static_cast<size_t>(size));
    }
    std::fclose(stream);
    if (!ok)
        out->Truncate(mark);
    return ok;
}

void CHTTPServer::FetchMiss(const std::string& path, const std::string& file, COutBuf* body)
{
    std::shared_ptr<SharedMiss> miss;
    bool first = false;
    {
        std::lock_guard<std::mutex> hold(m_missLock);
        std::shared_ptr<SharedMiss>& slot = m_misses[path];
        if (!slot) {
            slot = std::make_shared<SharedMiss>();
            first = true;
        }
        miss = slot;
    }
    if (!first) {
        std::unique_lock<std::mutex> hold(miss->lock);
        miss->done.wait(hold, [&] { return miss->finished; });
        body->Write(miss->bytes.data(), static_cast<int>(miss->bytes.size()));
        return;
    }

    // An earlier fetch of this path may have finished since the file was tried.
    if (!body->LoadFile(file.c_str())) {
        const std::string url = (m_config.cdnBase ? m_config.cdnBase() : std::string()) + path;
        if (m_config.fetch && m_config.fetch(url, body) == 0)
            StoreAtomically(file, *body);
    }

    // Once out of the table no one else can join; a request after this point
    // finds the stored file or starts a fetch of its own.
    {
        std::lock_guard<std::mutex> hold(m_missLock);
        m_misses.erase(path);
    }
    std::lock_guard<std::mutex> hold(miss->lock);
    if (miss.use_count() > 1 && body->GetLength() > 0)
        miss->bytes.assign(body->GetData(), static_cast<size_t>(body->GetLength()));
    miss->finished = true;
    miss->done.notify_all();
}
