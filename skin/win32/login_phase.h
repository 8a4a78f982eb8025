// The login phase: the translucent login window with the login page over it.
#pragma once

#include "skin/win32/login_events.h"

// Shows the login window modally; returns when it has ended. What happens
// in it is reported to `events`.
void RunLoginWindow(const LoginPageSettings& settings, ILoginEvents& events);
