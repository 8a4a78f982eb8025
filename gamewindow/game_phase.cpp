#include "gamewindow/game_phase.h"

void RunGameWindow(CKestrun&)
{
    // not built yet
}
