#include "app/win32/self_update.h"

bool CheckForUpdate(CKestrun&, bool)
{
    return true; // not built yet: no update is looked for
}
