// Message maps: an ordered list of handlers. The first handler that takes a
// message gives its result; a handler that declines passes the message on to
// the next entry and finally to the window's default processing.
#pragma once

#include <windows.h>

#include <functional>
#include <vector>

struct WindowMessage {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result;
};

// Returns true when it handled the message; the answer goes in msg.result.
using MessageHandler = std::function<bool(WindowMessage& msg)>;

class CMessageMap {
public:
    // One message; the handler decides whether it takes it.
    void On(UINT message, MessageHandler handler);
    // A message that is always taken, with the handler's return as result.
    void Handle(UINT message, std::function<LRESULT(WindowMessage& msg)> handler);
    // Messages first..last inclusive.
    void OnRange(UINT first, UINT last, MessageHandler handler);
    // WM_COMMAND with this control id and notification code; taken, result 0.
    void OnCommand(WORD id, WORD code, std::function<void()> action);
    // Every message that reaches this entry.
    void OnAny(MessageHandler handler);

    bool Dispatch(WindowMessage& msg) const;
    bool Empty() const { return m_entries.empty(); }

private:
    struct Entry {
        UINT first;
        UINT last;
        MessageHandler handler;
    };
    std::vector<Entry> m_entries;
};
