#include "framework/win32/message_loop.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

TEST(MessageLoop, FiltersSeeMessagesNewestFirstAndMayConsumeThem)
{
    CMessageLoop loop;
    std::vector<int> order;
    int dispatched = 0;
    HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    loop.AddFilter([&](MSG& msg) {
        order.push_back(1);
        if (msg.message == WM_APP)
            ++dispatched; // seen here only when the newer filter let it pass
        return false;
    });
    const int consumer = loop.AddFilter([&](MSG& msg) {
        order.push_back(2);
        return msg.message == WM_APP;
    });
    // The queue starts empty: the loop goes idle first, and the idle
    // handler sends the messages.
    int idle = 0;
    loop.AddIdleHandler([&] {
        if (++idle == 1) {
            PostMessageW(window, WM_APP, 0, 0);
            PostMessageW(window, WM_APP + 1, 0, 0);
            PostQuitMessage(9);
        }
        return false;
    });
    MSG stale;
    while (PeekMessageW(&stale, nullptr, 0, 0, PM_REMOVE)) {
    }
    EXPECT_EQ(loop.Run(), 9);
    // WM_APP: consumed by the newest filter; WM_APP + 1: both filters.
    EXPECT_EQ(order, (std::vector<int>{2, 2, 1}));
    EXPECT_EQ(dispatched, 0);
    EXPECT_EQ(idle, 1);

    EXPECT_TRUE(loop.RemoveFilter(consumer));
    EXPECT_FALSE(loop.RemoveFilter(consumer));
    PostMessageW(window, WM_APP, 0, 0);
    PostQuitMessage(3);
    EXPECT_EQ(loop.Run(), 3);
    EXPECT_EQ(dispatched, 1);
    DestroyWindow(window);
}

TEST(MessageLoop, IdleHandlersRunUntilTheyAreDoneOrRemoved)
{
    CMessageLoop loop;
    int calls = 0;
    const int cookie = loop.AddIdleHandler([&] { return ++calls < 3; });
    EXPECT_TRUE(loop.OnIdle());
    EXPECT_TRUE(loop.OnIdle());
    EXPECT_FALSE(loop.OnIdle());
    EXPECT_TRUE(loop.RemoveIdleHandler(cookie));
    EXPECT_FALSE(loop.OnIdle());
    EXPECT_EQ(calls, 3);
}

TEST(MessageLoopRegistry, OneLoopPerThread)
{
    CMessageLoop mine;
    CMessageLoop another;
    ASSERT_EQ(MessageLoopRegistry::Get(), nullptr);
    EXPECT_TRUE(MessageLoopRegistry::Add(&mine));
    EXPECT_FALSE(MessageLoopRegistry::Add(&another));
    EXPECT_EQ(MessageLoopRegistry::Get(), &mine);

    const DWORD self = GetCurrentThreadId();
    CMessageLoop* seenThere = &another;
    CMessageLoop* mineFromThere = nullptr;
    bool addedThere = false;
    std::thread other([&] {
        seenThere = MessageLoopRegistry::Get();
        mineFromThere = MessageLoopRegistry::GetForThread(self);
        addedThere = MessageLoopRegistry::Add(&another);
        MessageLoopRegistry::Remove();
    });
    other.join();
    EXPECT_EQ(seenThere, nullptr);
    EXPECT_EQ(mineFromThere, &mine);
    EXPECT_TRUE(addedThere);
    EXPECT_EQ(MessageLoopRegistry::Get(), &mine);

    EXPECT_TRUE(MessageLoopRegistry::Remove());
    EXPECT_FALSE(MessageLoopRegistry::Remove());
    EXPECT_EQ(MessageLoopRegistry::Get(), nullptr);
}
