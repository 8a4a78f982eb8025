// The game phase as start-up runs it: the game window with the application's
// captured URL and process-wide settings.
#pragma once

class CKestrun;

void RunGamePhaseOf(CKestrun& app);
