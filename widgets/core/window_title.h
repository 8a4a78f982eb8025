#pragma once

// Title of the login window, its control dialog and the game window.
constexpr wchar_t kWindowTitle[] = L"OrvikVelmora\u6781\u901F\u767B\u9646\u5668";
