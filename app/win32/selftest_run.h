#pragma once

// The "yw_selftest" run: every check, the report beside the program, a
// message box that sums it up. Installs, updates and leaves nothing else.
// Returns the exit code: 0 only when every check passed.
int RunSelfTest();
