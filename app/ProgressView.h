#pragma once

// The progress bar along the bottom of the main window, driven by the link
// protocol from whichever thread runs a transfer: every call is safe from any
// thread, never waits for the user-interface thread, and calls from one thread
// reach the bar in the order they were made.
class ProgressView {
public:
    virtual ~ProgressView() = default;

    virtual void setProgressRange(int low, int high) = 0;
    virtual void setProgressStep(int step) = 0;
    virtual void setProgressPos(int pos) = 0;
    // Past either end the position wraps round, as a native progress bar's does.
    virtual void stepProgress() = 0;
};
