// Message loops with message filters and idle handlers, and a per-thread
// registry so that windows can find the loop of the thread they run on.
#pragma once

#include <windows.h>

#include <functional>
#include <vector>

class CMessageLoop {
public:
    // True when the filter consumed the message (it is then not dispatched).
    using Filter = std::function<bool(MSG& msg)>;
    // True when the handler wants to be called again before the next message.
    using IdleHandler = std::function<bool()>;

    // Each returns a cookie for the matching Remove call.
    int AddFilter(Filter filter);
    bool RemoveFilter(int cookie);
    int AddIdleHandler(IdleHandler handler);
    bool RemoveIdleHandler(int cookie);

    // Runs until WM_QUIT; returns its exit code (or -1 on a GetMessage error).
    int Run();

    // The most recently added filters see a message first.
    bool PreTranslateMessage(MSG& msg);
    // Calls every idle handler; true if any wants more idle time.
    bool OnIdle();

private:
    template <typename T>
    struct Slot {
        int cookie;
        T function;
    };
    std::vector<Slot<Filter>> m_filters;
    std::vector<Slot<IdleHandler>> m_idleHandlers;
    int m_nextCookie = 1;
};

// One message loop per thread; the registry does not own the loops.
namespace MessageLoopRegistry {
// False if the calling thread already has a loop.
bool Add(CMessageLoop* loop);
// False if the calling thread has none.
bool Remove();
// The calling thread's loop, or null.
CMessageLoop* Get();
CMessageLoop* GetForThread(DWORD threadId);
} // namespace MessageLoopRegistry
