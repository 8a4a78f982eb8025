// Reading the arguments of the browser control's events in a sink's Invoke:
// the dispatch block holds them in reverse order, and the navigation events
// pass their URLs as variants by reference.
#pragma once

#include <windows.h>

#include <oaidl.h>

// Argument `position` of an event, counted as the event declares them; null
// when the block holds fewer.
const VARIANT* EventArgument(const DISPPARAMS& params, UINT position);
// The variant an argument stands for: a variant by reference is followed once.
const VARIANT* EventValue(const VARIANT* arg);
// The string an argument holds, by value or by reference; null for anything
// else (and for a null string).
BSTR EventString(const VARIANT* arg);
// The browser object an argument holds, by value or by reference, or null.
IDispatch* EventDispatch(const VARIANT* arg);
// The Cancel slot of an event (a VT_BOOL by reference), or null.
VARIANT_BOOL* EventCancel(const VARIANT* arg);
// Tells an event's browser object (a frame's or the control's own) to show
// no script errors or other dialogs.
void SilenceBrowser(IDispatch* browser);
