#include "framework/win32/window_base.h"

CWindowOwner::~CWindowOwner()
{
    // Only reached with a window when WindowObject's destructor could not
    // destroy it (another thread's window): cut it loose rather than leave it
    // pointing at a dead object.
    if (m_hWnd && ::IsWindow(m_hWnd))
        ::SetWindowLongPtrW(m_hWnd, m_objectSlot, 0);
}

void CWindowOwner::DestroyForObject()
{
    if (!m_hWnd || !::IsWindow(m_hWnd))
        return;
    m_objectDying = true;
    ::DestroyWindow(m_hWnd);
}
