// The update window: a small skinned window that shows a self-update which
// takes a while (checking, then downloading with a bar and the percentage)
// and lets the player skip it. It only shows; the check runs elsewhere and
// is read through IUpdateWindowSource.
#pragma once

#include <cstddef>

struct UpdateWindowState {
    bool finished = false;    // the check has ended: the window goes
    bool downloading = false; // the executable's download has begun
    size_t received = 0;      // body bytes so far
    size_t total = 0;         // the announced length; 0 until known
};

class IUpdateWindowSource {
public:
    // Read a few times a second on the window's thread.
    virtual UpdateWindowState Poll() = 0;

protected:
    ~IUpdateWindowSource() = default;
};

// Whole percent of total, 0 while the length is unknown, at most 100.
int DownloadPercent(size_t received, size_t total);

// Shows the window and runs the thread's messages until the source reports
// the check finished (false) or the player skips it with the skip button or
// by closing the window (true). If no window can be made, waits for the
// check alone.
bool RunUpdateWindow(IUpdateWindowSource& source);
