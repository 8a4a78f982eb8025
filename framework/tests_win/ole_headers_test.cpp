// Our window framework next to the platform's OLE, browser and document
// headers in one file (the browser host needs all of them): no name of ours
// may collide with their macros. Compiling this file is the test.
#include <mshtml.h>
#include <exdisp.h>
#include <olectl.h>

#include "framework/com/bstr_variant.h"
#include "framework/com/com_object.h"
#include "framework/win32/window.h"

static_assert(kOcmCommand == OCM_COMMAND, "same values as the platform's reflected messages");
static_assert(kOcmDrawItem == OCM_DRAWITEM, "");
static_assert(kOcmCtlColorStatic == OCM_CTLCOLORSTATIC, "");
static_assert(kReflectedBase == OCM__BASE, "");
