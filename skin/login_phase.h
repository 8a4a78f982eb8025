#pragma once

class CKestrun;

// Shows the login window modally; returns when it has ended.
void RunLoginWindow(CKestrun& app);
