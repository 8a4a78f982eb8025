#include "skin/login_phase.h"

void RunLoginWindow(CKestrun&)
{
    // not built yet: no login window, so the game phase is never reached
}
