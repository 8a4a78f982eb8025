#include "framework/win32/message_loop.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <utility>

namespace {

template <typename Slots>
bool RemoveSlot(Slots& slots, int cookie)
{
    auto it = std::find_if(slots.begin(), slots.end(), [cookie](const auto& s) { return s.cookie == cookie; });
    if (it == slots.end())
        return false;
    slots.erase(it);
    return true;
}

} // namespace

int CMessageLoop::AddFilter(Filter filter)
{
    m_filters.push_back({m_nextCookie, std::move(filter)});
    return m_nextCookie++;
}

bool CMessageLoop::RemoveFilter(int cookie)
{
    return RemoveSlot(m_filters, cookie);
}

int CMessageLoop::AddIdleHandler(IdleHandler handler)
{
    m_idleHandlers.push_back({m_nextCookie, std::move(handler)});
    return m_nextCookie++;
}

bool CMessageLoop::RemoveIdleHandler(int cookie)
{
    return RemoveSlot(m_idleHandlers, cookie);
}

bool CMessageLoop::PreTranslateMessage(MSG& msg)
{
    // A filter may remove itself while it runs: walk a copy.
    const std::vector<Slot<Filter>> filters = m_filters;
    for (auto it = filters.rbegin(); it != filters.rend(); ++it)
        if (it->function(msg))
            return true;
    return false;
}

bool CMessageLoop::OnIdle()
{
    const std::vector<Slot<IdleHandler>> handlers = m_idleHandlers;
    bool more = false;
    for (const auto& slot : handlers)
        more = slot.function() || more;
    return more;
}

int CMessageLoop::Run()
{
    MSG msg;
    bool idle = true;
    for (;;) {
        while (idle && !::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE))
            idle = OnIdle();
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == -1)
            return -1;
        if (got == 0)
            return static_cast<int>(msg.wParam);
        if (!PreTranslateMessage(msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        // Idle time again after input or painting, as the system's own loops do.
        switch (msg.message) {
        case WM_MOUSEMOVE:
        case WM_NCMOUSEMOVE:
        case WM_PAINT:
        case 0x0118: // the system timer that blinks the caret
            break;
        default:
            idle = true;
        }
    }
}

namespace MessageLoopRegistry {
namespace {

std::mutex& Lock()
{
    static std::mutex lock;
    return lock;
}

std::map<DWORD, CMessageLoop*>& Loops()
{
    static std::map<DWORD, CMessageLoop*> loops;
    return loops;
}

} // namespace

bool Add(CMessageLoop* loop)
{
    std::lock_guard<std::mutex> guard(Lock());
    return loop && Loops().emplace(::GetCurrentThreadId(), loop).second;
}

bool Remove()
{
    std::lock_guard<std::mutex> guard(Lock());
    return Loops().erase(::GetCurrentThreadId()) == 1;
}

CMessageLoop* Get()
{
    return GetForThread(::GetCurrentThreadId());
}

CMessageLoop* GetForThread(DWORD threadId)
{
    std::lock_guard<std::mutex> guard(Lock());
    auto it = Loops().find(threadId);
    return it == Loops().end() ? nullptr : it->second;
}

} // namespace MessageLoopRegistry
