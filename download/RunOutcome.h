#pragma once

#include <string>

namespace nimbra {

// How the current download run ends, for whoever started it. A part of the run that meets an
// error which ends the run or loses a file (an account the server refuses, a download folder
// that cannot be written, a failed write) calls fail() with the reason, worded for the user;
// the run's owner reads it once the run is over. An unattended run turns a failed outcome into
// exit status 1 with the reason on standard error; the window shows the reason as it always
// has. The first reason is kept (later ones are usually its consequences) and each is logged.
// One thread (the window's).
class RunOutcome {
public:
    // A new run starts with no error.
    void reset();
    // shown: the reason has already been put before the user (a message on standard error),
    // so the runner need not repeat it.
    void fail(const std::string& reason, bool shown = false);
    bool failed() const { return !reason_.empty(); }
    // The first reason given since reset(); empty when the run had no error.
    const std::string& reason() const { return reason_; }
    bool reasonShown() const { return shown_; }

private:
    std::string reason_;
    bool shown_ = false;
};

} // namespace nimbra
