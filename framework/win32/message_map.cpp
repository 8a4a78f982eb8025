#include "framework/win32/message_map.h"

#include <utility>

void CMessageMap::On(UINT message, MessageHandler handler)
{
    OnRange(message, message, std::move(handler));
}

void CMessageMap::Handle(UINT message, std::function<LRESULT(WindowMessage& msg)> handler)
{
    On(message, [handler = std::move(handler)](WindowMessage& msg) {
        msg.result = handler(msg);
        return true;
    });
}

void CMessageMap::OnRange(UINT first, UINT last, MessageHandler handler)
{
    m_entries.push_back(Entry{first, last, std::move(handler)});
}

void CMessageMap::OnCommand(WORD id, WORD code, std::function<void()> action)
{
    On(WM_COMMAND, [id, code, action = std::move(action)](WindowMessage& msg) {
        if (LOWORD(msg.wParam) != id || HIWORD(msg.wParam) != code)
            return false;
        action();
        msg.result = 0;
        return true;
    });
}

void CMessageMap::OnAny(MessageHandler handler)
{
    OnRange(0, UINT(-1), std::move(handler));
}

bool CMessageMap::Dispatch(WindowMessage& msg) const
{
    for (const Entry& entry : m_entries) {
        if (msg.message < entry.first || msg.message > entry.last)
            continue;
        msg.result = 0;
        if (entry.handler(msg))
            return true;
    }
    return false;
}
