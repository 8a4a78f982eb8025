#pragma once

class CKestrun;

// Creates the game window and runs the game loop until the quit message.
void RunGameWindow(CKestrun& app);
