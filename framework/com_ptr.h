// Kept for the files that include ComPtr from here; the COM kit lives in
// framework/com/.
#pragma once

#include "framework/com/com_ptr.h"
