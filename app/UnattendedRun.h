#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <string>

namespace nimbra {

class MainWindow;

// One download run without anyone at the window: presses "Get Files", prints a line
// "Saved <path>" to standard output for each file the saver names (the path relative to the
// download folder) and "Group <name>: <n> scanned, <n> fetched, <n> skipped" for each group
// the run leaves, and when the run reports "Processing is over" prints the counters (with the
// files not kept because their content was saved before),
// closes the window (which keeps settings, totals and the message-id cache) and ends the
// event loop with status 0.
//
// The status is 1, with the reason on standard error, when the run reported an error that
// ended it (MainWindow::runOutcome()), when it does not start (no server, no group, refused by the window)
// or makes no progress: the run never gives up by itself, so after noProgressLimitMs without
// a change of the group, article or percentage panel or of the files count, it is stopped.
// A signal ends it early (interrupt()). The window must outlive the run; one thread.
class UnattendedRun : public QObject {
public:
    explicit UnattendedRun(MainWindow& window, int noProgressLimitMs);
    ~UnattendedRun() override;

    // Presses "Get Files" as soon as the event loop runs.
    void start();
    // Stops the run as the no-progress limit does, from a signal (SIGINT, SIGTERM, SIGHUP):
    // the counters are printed, the window closed (keeping what it keeps) and the status is
    // 128 + signal, as a shell reports a program that the signal ended. Nothing once the run
    // has ended.
    void interrupt(int signal);
    // The status the run ended with; -1 while it runs.
    int status() const { return status_; }

private:
    void begin();
    void poll();
    void saved(const std::string& path);
    std::string progressMark();
    void finish(int status, const std::string& reason);

    MainWindow& window_;
    int noProgressLimitMs_;
    QTimer poller_;
    QElapsedTimer sinceProgress_;
    std::string lastMark_;
    std::string folder_;
    int status_ = -1;
};

} // namespace nimbra
