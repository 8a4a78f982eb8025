#pragma once

class CKestrun;

// Checks the CDN for another version, installs it and sets kModeRelaunch.
bool CheckForUpdate(CKestrun& app, bool reopen);
