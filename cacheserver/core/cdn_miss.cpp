#include "cacheserver/core/cdn_miss.h"

#include "cacheserver/core/body_checksum.h"
#include "cacheserver/core/entry_freshness.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const char kTemporarySuffix[] = ".part";
constexpr size_t kCacheNameLength = 32;
// A waiting response without a wake-up looks at the stop signal at least
// this often.
constexpr auto kWaitSlice = std::chrono::milliseconds(100);
// How long the fetch thread lets the first waiting request send its header
// before it goes on with the body (see MissWriter::OnHead).
constexpr auto kHeaderHandoff = std::chrono::milliseconds(5);

bool IsHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

// "scheme://host:port" of an absolute URL, in lower case; empty when the
// URL has no scheme.
std::string OriginOf(const std::string& url)
{
    const size_t scheme = url.find("://");
    if (scheme == std::string::npos)
        return std::string();
    const size_t end = url.find_first_of("/?#", scheme + 3);
    std::string origin = url.substr(0, end);
    for (char& c : origin)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return origin;
}

} // namespace

bool IsTemporaryFileName(const std::string& name)
{
    if (name.size() < kCacheNameLength + sizeof kTemporarySuffix || name[kCacheNameLength] != '.')
        return false;
    if (!std::all_of(name.begin(), name.begin() + kCacheNameLength, IsHexDigit))
        return false;
    // Also the older "<name>.part<n>" files.
    return name.find(kTemporarySuffix, kCacheNameLength) != std::string::npos;
}

unsigned long TemporaryFileOwner(const std::string& name)
{
    // "<name>.<process id>-<n>.part"
    if (!IsTemporaryFileName(name))
        return 0;
    unsigned long owner = 0;
    size_t at = kCacheNameLength + 1;
    for (; at < name.size() && name[at] >= '0' && name[at] <= '9'; ++at) {
        if (owner > 0xffffffffUL / 10)
            return 0;
        owner = owner * 10 + static_cast<unsigned long>(name[at] - '0');
    }
    return at < name.size() && name[at] == '-' ? owner : 0;
}

struct CdnMiss {
    enum class State {
        kWaitingHead,
        kStreaming, // head known, body arriving
        kComplete,  // every announced byte is in the file
        kFailed,    // no usable answer
        kTimedOut,  // no answer in time
        kCut,       // the body broke off
        kNotModified, // a revalidation's 304: the stored entry stands
    };

    CdnMiss(std::string path, std::string file, std::string temporary, std::string url, SharedFile body)
        : path(std::move(path)), file(std::move(file)), temporary(std::move(temporary)), url(std::move(url)),
          body(std::move(body))
    {
    }

    bool Final() const { return state != State::kWaitingHead && state != State::kStreaming; }
    bool IsFinal()
    {
        std::lock_guard<std::mutex> hold(lock);
        return Final();
    }
    // Puts the temporary file in its place (a whole 200 answer) or away;
    // the open body stays readable either way. Only the fetch thread calls it.
    void Settle()
    {
        if (settled || temporary.empty())
            return;
        settled = true;
        if (state == State::kComplete && status == 200 && pinnable) {
            meta.length = length;
            meta.checksum = checksum.Value();
            if (StoreEntry(temporary, file, meta)) {
                if (onEntryStored)
                    onEntryStored(file, meta);
                if (onStored)
                    onStored(file, length);
                return;
            }
        }
        SrvRemoveFile(temporary);
    }

    const std::string path;
    const std::string file;
    const std::string temporary; // empty: a scratch file, never stored
    const std::string url;
    const SharedFile body;
    const Clock::time_point started = Clock::now();
    std::atomic<bool> cancelled{false};
    // No request reads it: it runs on only within the budget.
    std::atomic<bool> unattended{false};
    bool settled = false;
    // Every redirect on the way was permanent and stayed on the CDN's
    // host: only then is the answer the resource for good.
    bool pinnable = true;
    std::function<void(const std::string&, long long)> onStored;
    std::function<void(const std::string&, const EntryMeta&)> onEntryStored;
    int readers = 0; // guarded by the board's lock
    // Set for a revalidation of a stored entry before its fetch starts.
    EntryRevalidation revalidation;
    bool revalidating = false;
    // The fetch thread's own: what the answer said and the body's checksum.
    CdnAnswerFields fields;
    EntryMeta meta;
    CBodyChecksum checksum;

    // Guarded by lock.
    std::mutex lock;
    std::condition_variable changed;
    State state = State::kWaitingHead;
    int status = 0;
    std::string reason;
    long long length = 0;
    long long written = 0;
    std::string contentType; // the CDN's, for a 200
    bool headerOut = false; // a request has sent its header
    Clock::time_point lastProgress = Clock::now();
    // Wake-ups of requests that wait without a thread of their own.
    std::vector<const std::function<void()>*> wakeUps;

    // Tells every waiting request that something changed. Called under lock.
    void Changed()
    {
        changed.notify_all();
        for (const std::function<void()>* wake : wakeUps)
            (*wake)();
    }
};

namespace {

using State = CdnMiss::State;

// The fetch thread's side of a miss: what the CDN sends goes into the file.
// The CDN-side limits hold here, whether or not a request waits for the
// answer: a fetch nobody reads must end as surely as one that is read.
class MissWriter : public ICdnReceiver {
public:
    MissWriter(std::shared_ptr<CdnMiss> miss, const CMissBoard& board)
        : m_miss(std::move(miss)),
          m_answerTimeout(m_miss->revalidating ? std::min(board.answerTimeoutMs, kRevalidationAnswerMs)
                                                : board.answerTimeoutMs),
          m_stallTimeout(board.stallTimeoutMs), m_budgetBytes(board.budgetBytes)
    {
    }

    std::string RequestFields() const override { return m_miss->revalidation.requestFields; }
    void OnHeaderField(const std::string& name, const std::string& value) override
    {
        m_miss->fields.Add(name, value);
    }

    bool OnHead(int status, const std::string& reason, long long contentLength) override
    {
        CdnMiss& m = *m_miss;
        std::unique_lock<std::mutex> hold(m.lock);
        if (m.cancelled || m.state != State::kWaitingHead || PastLimits(m))
            return false;
        if (m.unattended && OverBudget(contentLength)) {
            m.cancelled = true;
            return false;
        }
        // A resource must arrive with its length, or nobody could tell a
        // whole one from a broken one.
        if (status == 200 && contentLength < 0) {
            m.state = State::kFailed;
            m.Changed();
            return false;
        }
        if (!AcceptRevalidationAnswer(m, status))
            return false;
        if (status == 200) {
            m.meta = MetaOfAnswer(m.fields, static_cast<long long>(std::time(nullptr)));
            m.contentType = m.meta.contentType;
            if (!MayStore(m.fields))
                m.pinnable = false; // passed on as it comes, never stored
        }
        m.status = status;
        m.reason = reason;
        // Another answer without a length is passed on without its body.
        m.length = contentLength < 0 ? 0 : contentLength;
        m.state = State::kStreaming;
        m.lastProgress = Clock::now();
        if (m.length == 0) {
            m.state = State::kComplete;
            m.Settle();
        }
        m.Changed();
        if (m.state != State::kStreaming)
            return false;
        // A thread that has waited for the network tends to take the CPU
        // from the request it just woke, and would write a burst of body
        // before that request's header goes out: let the header go first.
        m.changed.wait_for(hold, kHeaderHandoff, [&] { return m.headerOut || m.cancelled; });
        return m.state == State::kStreaming;
    }

    bool OnBody(const char* bytes, size_t length) override
    {
        CdnMiss& m = *m_miss;
        {
            std::lock_guard<std::mutex> hold(m.lock);
            if (m.cancelled || m.state != State::kStreaming)
                return false;
        }
        // Only this thread changes the length and the offset, so it may read
        // them unlocked; readers only look at what the offset covers.
        const int n = static_cast<int>(std::min<long long>(m.length - m.written, static_cast<long long>(length)));
        if (n <= 0 || !SrvWriteAt(m.body.get(), m.written, bytes, n))
            return false;
        m.checksum.Add(bytes, static_cast<size_t>(n));
        std::lock_guard<std::mutex> hold(m.lock);
        if (m.state != State::kStreaming)
            return false; // given up by its readers meanwhile
        if (m.written + n == m.length) {
            // In place before anyone has seen the last byte, so a finished
            // response always finds the resource stored.
            m.state = State::kComplete;
            m.Settle();
        }
        m.written += n;
        m.lastProgress = Clock::now();
        m.Changed();
        // Complete is no reason to stop: a fetch that ends by itself leaves
        // its connection open for the next one.
        return m.state == State::kStreaming || m.state == State::kComplete;
    }

    bool KeepGoing() override
    {
        CdnMiss& m = *m_miss;
        std::lock_guard<std::mutex> hold(m.lock);
        return !m.cancelled && !PastLimits(m);
    }

    bool OnRedirect(int status, const std::string& target) override
    {
        CdnMiss& m = *m_miss;
        std::lock_guard<std::mutex> hold(m.lock);
        const bool permanent = status == 301 || status == 308;
        if (!permanent || OriginOf(target).empty() || OriginOf(target) != OriginOf(m.url))
            m.pinnable = false; // served, but asked again next time
        return !m.cancelled;
    }

private:
    bool OverBudget(long long length) const { return m_budgetBytes > 0 && length > m_budgetBytes; }

    // What a revalidation's answer does to the stored entry; false when the
    // answer ends here (a 304, or a CDN failure the stored body covers).
    // Called under m.lock. A 304 asked for by nobody is no answer at all.
    bool AcceptRevalidationAnswer(CdnMiss& m, int status)
    {
        if (!m.revalidating) {
            if (status != 304)
                return true;
            m.state = State::kFailed;
        } else if (status == 304) {
            if (m.revalidation.onNotModified)
                m.revalidation.onNotModified(m.fields);
            m.state = State::kNotModified;
        } else if (status >= 500) {
            m.state = State::kFailed;
        } else {
            // The CDN has no such resource any more, or one that may not be
            // kept: the stored entry goes. A 200 replaces it when stored.
            if ((status == 404 || status == 410 || (status == 200 && !MayStore(m.fields))) &&
                m.revalidation.onGone)
                m.revalidation.onGone();
            return true;
        }
        m.Changed();
        return false;
    }

    // Ends the fetch once the CDN has taken too long to answer, or to send
    // more of the body; false while it is within time. Called under m.lock.
    bool PastLimits(CdnMiss& m)
    {
        const auto now = Clock::now();
        State ended;
        if (m.state == State::kWaitingHead && now - m.started >= m_answerTimeout)
            ended = State::kTimedOut;
        else if (m.state == State::kStreaming && now - m.lastProgress >= m_stallTimeout)
            ended = State::kCut;
        else
            return false;
        m.state = ended;
        m.cancelled = true;
        m.Changed();
        return true;
    }

    std::shared_ptr<CdnMiss> m_miss;
    const std::chrono::milliseconds m_answerTimeout;
    const std::chrono::milliseconds m_stallTimeout;
    const long long m_budgetBytes;
};

// One request's view of a miss: the header once the CDN's answer is known,
// then the body from the file as far as it has been written.
class MissResponse : public CResponse {
public:
    MissResponse(std::shared_ptr<CMissBoard> board, std::shared_ptr<CdnMiss> miss, ResponseHead head)
        : m_board(std::move(board)), m_miss(std::move(miss)), m_head(std::move(head))
    {
    }
    ~MissResponse() override
    {
        {
            std::lock_guard<std::mutex> hold(m_miss->lock);
            auto& wakeUps = m_miss->wakeUps;
            wakeUps.erase(std::remove(wakeUps.begin(), wakeUps.end(), &m_wake), wakeUps.end());
        }
        m_board->Leave(m_miss);
    }

    bool SetWakeUp(std::function<void()> wake) override
    {
        std::lock_guard<std::mutex> hold(m_miss->lock);
        if (m_wake)
            return true; // given once; the first one stands
        m_wake = std::move(wake);
        m_miss->wakeUps.push_back(&m_wake);
        return true;
    }

    Next NextPiece(int maxBytes, Piece* piece) override
    {
        if (!m_headerSent)
            return NextHeader(piece);
        CdnMiss& m = *m_miss;
        std::unique_lock<std::mutex> hold(m.lock);
        if (!m.headerOut) {
            m.headerOut = true;
            m.Changed();
        }
        if (m_offset == m_bodyLength)
            return Next::kEnd;
        if (m.written <= m_offset) {
            AwaitChange(hold, [&] { return m.written > m_offset || m.Final(); });
            if (m.written <= m_offset) {
                if (m.Final())
                    return Next::kCut;
                if (Clock::now() - m.lastProgress < std::chrono::milliseconds(m_board->stallTimeoutMs))
                    return Next::kWait;
                GiveUp(hold, State::kCut);
                return Next::kCut;
            }
        }
        piece->file = m.body.get();
        piece->offset = m_offset;
        piece->length = static_cast<int>(std::min<long long>(m.written - m_offset, maxBytes));
        m_offset += piece->length;
        return Next::kFile;
    }

private:
    Next NextHeader(Piece* piece)
    {
        CdnMiss& m = *m_miss;
        std::unique_lock<std::mutex> hold(m.lock);
        if (m.state == State::kWaitingHead) {
            AwaitChange(hold, [&] { return m.state != State::kWaitingHead; });
            if (m.state == State::kWaitingHead) {
                if (Clock::now() - m.started < std::chrono::milliseconds(m_board->answerTimeoutMs))
                    return Next::kWait;
                GiveUp(hold, State::kTimedOut);
                hold.lock();
            }
        }
        std::string status;
        switch (m.state) {
        case State::kWaitingHead:
        case State::kFailed:
            status = "502 Bad Gateway";
            break;
        case State::kTimedOut:
            status = "504 Gateway Timeout";
            break;
        default:
            if (m.status == 200) {
                status = m_head.FoundStatus();
                m_bodyLength = m.length;
                if (!m.contentType.empty())
                    m_head.contentType = m.contentType;
            } else if (!m_head.notImplemented) {
                status = StatusLine(m.status, m.reason);
                m_bodyLength = m.length;
            }
            break;
        }
        hold.unlock();
        // A request of another method is not implemented whatever the CDN said.
        if (m_head.notImplemented)
            status = kStatusNotImplemented;
        m_header = ComposeHeader(status, m_head, m_bodyLength);
        m_headerSent = true;
        piece->bytes = m_header.data();
        piece->length = static_cast<int>(m_header.size());
        return Next::kBytes;
    }

    // A response with a wake-up gives its thread back at once: the wake-up
    // brings it back when the fetch has more. One without waits a little.
    template <typename Ready>
    void AwaitChange(std::unique_lock<std::mutex>& hold, Ready ready)
    {
        if (!m_wake)
            m_miss->changed.wait_for(hold, kWaitSlice, ready);
    }

    // This request waited too long; so would every other one.
    void GiveUp(std::unique_lock<std::mutex>& hold, State state)
    {
        m_miss->state = state;
        m_miss->cancelled = true;
        m_miss->Changed();
        hold.unlock();
        m_board->Forget(m_miss);
    }

    static std::string StatusLine(int status, const std::string& reason)
    {
        // The reason goes into our header: only printable text of a sane length.
        std::string text;
        for (char c : reason)
            if (c >= 0x20 && c < 0x7f && text.size() < 64)
                text += c;
        char line[96];
        std::snprintf(line, sizeof line, "%03d %s", status, text.empty() ? "Unknown" : text.c_str());
        return line;
    }

    std::shared_ptr<CMissBoard> m_board;
    std::shared_ptr<CdnMiss> m_miss;
    ResponseHead m_head;
    std::string m_header;
    bool m_headerSent = false;
    long long m_bodyLength = 0;
    long long m_offset = 0;
    // Registered with the miss; its address must not change.
    std::function<void()> m_wake;
};

} // namespace

struct CMissBoard::FetchJob {
    std::shared_ptr<CMissBoard> board;
    std::shared_ptr<CdnMiss> miss;
    CdnFetch fetch;
    unsigned id;
};

CMissBoard::CMissBoard(CdnFetch fetch, int answerTimeout, int stallTimeout, long long budget)
    : answerTimeoutMs(answerTimeout), stallTimeoutMs(stallTimeout), budgetBytes(budget), m_fetch(std::move(fetch)),
      m_workers(std::make_shared<CWorkerPool>(kFetchThreadsKept, kFetchThreadIdleMs))
{
}

std::unique_ptr<CResponse> CMissBoard::Respond(const std::string& path, const std::string& file,
                                               const std::string& url, const ResponseHead& head)
{
    std::shared_ptr<CdnMiss> miss;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        const auto it = m_misses.find(path);
        // A cancelled fetch is ending: a request starts afresh.
        if (it != m_misses.end() && !it->second->IsFinal() && !it->second->cancelled) {
            miss = it->second;
        } else {
            // A finished miss is not joined: it is in the cache by now, or
            // it failed and deserves another try.
            // A fetch of this path may have finished since the file was tried.
            if (std::unique_ptr<CResponse> hit = MakeCacheHitResponse(file, head))
                return hit;
            miss = StartFetchLocked(path, file, url, nullptr);
            if (!miss)
                return MakeFixedResponse(ComposeHeader("502 Bad Gateway", head, 0));
        }
        ++miss->readers;
        miss->unattended = false;
    }
    return std::make_unique<MissResponse>(shared_from_this(), std::move(miss), head);
}

std::shared_ptr<CdnMiss> CMissBoard::StartFetchLocked(const std::string& path, const std::string& file,
                                                      const std::string& url, const EntryRevalidation* revalidation)
{
    const unsigned fetchId = m_tempCounter++;
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, ".%lu-%u%s", SrvProcessId(), fetchId, kTemporarySuffix);
    std::string temporary = file + suffix;
    SharedFile body = ShareFile(SrvCreateNewFile(temporary));
    if (!body) {
        // No cache folder to write to: the answer is still passed on,
        // only not stored.
        temporary.clear();
        body = ShareFile(SrvCreateScratchFile());
    }
    if (!body || !m_fetch)
        return nullptr;
    auto miss = std::make_shared<CdnMiss>(path, file, temporary, url, std::move(body));
    miss->onStored = onStored;
    miss->onEntryStored = onEntryStored;
    if (revalidation) {
        miss->revalidation = *revalidation;
        miss->revalidating = true;
    }
    auto job = std::make_shared<FetchJob>(FetchJob{shared_from_this(), miss, m_fetch, fetchId});
    if (!m_workers->Run([job] { RunFetch(std::move(*job)); })) {
        if (!temporary.empty())
            SrvRemoveFile(temporary);
        return nullptr;
    }
    m_running[fetchId] = temporary;
    m_misses[path] = miss;
    return miss;
}

void CMissBoard::RunFetch(FetchJob job)
{
    const std::shared_ptr<CMissBoard> board = std::move(job.board);
    {
        const std::shared_ptr<CdnMiss> miss = std::move(job.miss);
        const CdnFetch fetch = std::move(job.fetch);
        CdnMiss& m = *miss;
        MissWriter writer(miss, *board);
        const CdnFetchResult result = fetch(m.url, writer);
        {
            std::lock_guard<std::mutex> hold(m.lock);
            if (m.state == State::kWaitingHead)
                m.state = result == CdnFetchResult::kTimedOut ? State::kTimedOut : State::kFailed;
            else if (m.state == State::kStreaming)
                m.state = State::kCut;
            m.Settle();
            m.Changed();
        }
        board->Forget(miss);
    }
    // Last, once this thread holds nothing of the fetch any more: whoever
    // waits for the fetches to end may then free what they shared.
    board->FetchEnded(job.id);
}

void CMissBoard::Leave(const std::shared_ptr<CdnMiss>& miss)
{
    std::lock_guard<std::mutex> hold(m_lock);
    if (--miss->readers > 0 || miss->IsFinal())
        return;
    // Nobody waits for it any more; it runs on to be stored, unless there
    // are enough such fetches already or it cannot fit in the cache. The
    // CDN-side limits and a stop end it as they end any other.
    int unattended = 0;
    for (const auto& entry : m_misses)
        if (entry.second != miss && entry.second->readers == 0 && !entry.second->IsFinal())
            ++unattended;
    long long length = -1;
    {
        std::lock_guard<std::mutex> holdMiss(miss->lock);
        if (miss->state == State::kStreaming)
            length = miss->length;
    }
    const bool overBudget = budgetBytes > 0 && length > budgetBytes;
    if (unattended < kMaxUnattendedFetches && !overBudget) {
        miss->unattended = true;
        return;
    }
    miss->cancelled = true;
    const auto it = m_misses.find(miss->path);
    if (it != m_misses.end() && it->second == miss)
        m_misses.erase(it);
}

void CMissBoard::Forget(const std::shared_ptr<CdnMiss>& miss)
{
    std::lock_guard<std::mutex> hold(m_lock);
    const auto it = m_misses.find(miss->path);
    if (it != m_misses.end() && it->second == miss)
        m_misses.erase(it);
}

void CMissBoard::FetchEnded(unsigned fetchId)
{
    std::lock_guard<std::mutex> hold(m_lock);
    m_running.erase(fetchId);
    m_fetchEnded.notify_all();
}

void CMissBoard::CancelAll(int timeoutMs)
{
    m_workers->Close();
    std::unique_lock<std::mutex> hold(m_lock);
    for (auto& entry : m_misses)
        entry.second->cancelled = true;
    m_misses.clear();
    m_fetchEnded.wait_for(hold, std::chrono::milliseconds(timeoutMs), [this] { return m_running.empty(); });
    // A fetch that does not end is never stored: its file goes now, not at
    // some later launch. What it still writes goes into the removed file.
    for (const auto& running : m_running)
        if (!running.second.empty())
            SrvRemoveFile(running.second);
}

int CMissBoard::RunningFetches()
{
    std::lock_guard<std::mutex> hold(m_lock);
    return static_cast<int>(m_running.size());
}

namespace {

// A request for an entry that must be revalidated before it is served: it
// waits for the CDN's head as a request of the miss, then answers as that
// miss or from the stored entry.
class RevalidationResponse : public CResponse {
public:
    RevalidationResponse(std::unique_ptr<CResponse> asMiss, std::shared_ptr<CdnMiss> miss, ResponseHead head)
        : m_asMiss(std::move(asMiss)), m_miss(std::move(miss)), m_head(std::move(head))
    {
    }

    bool SetWakeUp(std::function<void()> wake) override
    {
        m_woken = m_asMiss->SetWakeUp(std::move(wake));
        return m_woken;
    }
    int RecheckMs() const override
    {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            m_started + std::chrono::milliseconds(kRevalidationAnswerMs) - Clock::now());
        return static_cast<int>(std::min<long long>(kResponseRecheckMs, std::max<long long>(1, left.count() + 1)));
    }

    Next NextPiece(int maxBytes, Piece* piece) override
    {
        if (!m_stored && m_asMiss && !Decide())
            return Next::kWait;
        return (m_stored ? m_stored : m_asMiss)->NextPiece(maxBytes, piece);
    }

private:
    // False while the CDN's head is awaited within the revalidation's time.
    bool Decide()
    {
        CdnMiss& m = *m_miss;
        std::unique_lock<std::mutex> hold(m.lock);
        if (m.state == State::kWaitingHead) {
            // With a wake-up the thread goes back at once; the wake-up or
            // the recheck at the deadline brings the request back.
            if (!m_woken)
                m.changed.wait_for(hold, kWaitSlice, [&] { return m.state != State::kWaitingHead; });
            if (m.state == State::kWaitingHead &&
                Clock::now() - m_started < std::chrono::milliseconds(kRevalidationAnswerMs))
                return false;
        }
        const State state = m.state;
        hold.unlock();
        const EntryRevalidation& entry = m.revalidation;
        const bool unanswered = state == State::kWaitingHead || state == State::kFailed || state == State::kTimedOut;
        if (state != State::kNotModified && !unanswered)
            return true; // the CDN's answer goes out as the miss
        // A 304, or the CDN could not be asked: what is stored is the best
        // there is, unless the publisher forbade serving it unconfirmed.
        if (state == State::kNotModified || !entry.mustRevalidate)
            m_stored = entry.stored ? entry.stored(m_head) : nullptr;
        if (!m_stored)
            m_stored = MakeFixedResponse(
                ComposeHeader(unanswered ? "504 Gateway Timeout" : "502 Bad Gateway", m_head, 0));
        m_asMiss.reset(); // this request leaves the miss
        return true;
    }

    std::unique_ptr<CResponse> m_asMiss;
    std::shared_ptr<CdnMiss> m_miss;
    const ResponseHead m_head;
    const Clock::time_point m_started = Clock::now();
    std::unique_ptr<CResponse> m_stored;
    bool m_woken = false;
};

} // namespace

void CMissBoard::RevalidateBehind(const EntryRevalidation& entry)
{
    std::lock_guard<std::mutex> hold(m_lock);
    int behind = 0;
    for (const auto& running : m_misses) {
        const CdnMiss& miss = *running.second;
        if (running.first == entry.path)
            return; // one fetch per path: it is being asked already
        if (miss.cancelled)
            continue;
        // Misses go first: nothing starts behind a request that waits.
        if (!miss.revalidating && miss.readers > 0 && !running.second->IsFinal())
            return;
        if (miss.revalidating && miss.readers == 0)
            ++behind;
    }
    if (behind >= kMaxBackgroundRevalidations)
        return;
    if (std::shared_ptr<CdnMiss> miss = StartFetchLocked(entry.path, entry.file, entry.url, &entry))
        miss->unattended = true;
}

std::unique_ptr<CResponse> CMissBoard::RespondAfterRevalidation(const EntryRevalidation& entry,
                                                                const ResponseHead& head)
{
    std::shared_ptr<CdnMiss> miss;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        const auto it = m_misses.find(entry.path);
        if (it != m_misses.end() && !it->second->IsFinal() && !it->second->cancelled)
            miss = it->second;
        else
            miss = StartFetchLocked(entry.path, entry.file, entry.url, &entry);
        if (miss) {
            ++miss->readers;
            miss->unattended = false;
        }
    }
    if (!miss) {
        std::unique_ptr<CResponse> stored = entry.mustRevalidate || !entry.stored ? nullptr : entry.stored(head);
        return stored ? std::move(stored) : MakeFixedResponse(ComposeHeader("504 Gateway Timeout", head, 0));
    }
    auto asMiss = std::make_unique<MissResponse>(shared_from_this(), miss, head);
    // A plain fetch of the path under way is the answer already.
    if (!miss->revalidating)
        return asMiss;
    return std::make_unique<RevalidationResponse>(std::move(asMiss), std::move(miss), head);
}
