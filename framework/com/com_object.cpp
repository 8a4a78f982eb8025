#include "framework/com/com_object.h"

namespace {

LONG g_liveObjects = 0;

} // namespace

LONG LiveComObjects()
{
    return ::InterlockedCompareExchange(&g_liveObjects, 0, 0);
}

void com_detail::CountObject(LONG delta)
{
    ::InterlockedExchangeAdd(&g_liveObjects, delta);
}
