// The game phase's message loop: keyboard and mouse input for the game
// window goes to the browser host first, so the page sees its keys once.
#pragma once

#include <windows.h>

constexpr UINT WM_FORWARDMSG = 0x037F;

// Keyboard (0x100..0x109) and mouse (0x200..0x20D) messages.
bool IsForwardedInput(UINT message);

// Runs until WM_QUIT or a GetMessageW error. browserHost may be null.
void RunGameLoop(HWND gameWindow, HWND browserHost);

// One step of the loop for an already retrieved message.
void RouteGameMessage(HWND gameWindow, HWND browserHost, MSG& msg);
