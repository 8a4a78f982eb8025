#pragma once

#include "app/core/self_update_flow.h"

#include <memory>

class CKestrun;

// The update's own platform calls (its file moves included), for the
// self-test's swap; null when it cannot be made.
std::unique_ptr<IUpdatePlatform> MakeUpdatePlatform();

// Checks the CDN for another version, installs it and sets kModeRelaunch.
bool CheckForUpdate(CKestrun& app, bool reopen);
