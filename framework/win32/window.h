// Our window framework in one include: message maps, the window base
// classes (a dialog, a window of our own class, a subclassed window),
// notification reflection and the helpers they share.
#pragma once

#include "framework/win32/class_window.h"
#include "framework/win32/dialog.h"
#include "framework/win32/message_map.h"
#include "framework/win32/reflection.h"
#include "framework/win32/subclassed_window.h"
#include "framework/win32/window_base.h"
#include "framework/win32/window_helpers.h"
