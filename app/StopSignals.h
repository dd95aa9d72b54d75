#pragma once

#include <QObject>

#include <functional>
#include <memory>

class QSocketNotifier;

namespace nimbra {

// Turns SIGINT, SIGTERM and SIGHUP into a call on the event loop's thread, so that a run
// stopped from a terminal or by the system ends as "Close" ends it: the run stopped, the
// settings, totals, message-id cache and ledgers kept. The first signal calls onSignal with
// its number; from then on the signals have their default effect again, so a second one ends
// the program at once. One at a time; the signals' default effect returns when it is
// destroyed.
class StopSignals : public QObject {
public:
    explicit StopSignals(std::function<void(int signal)> onSignal);
    ~StopSignals() override;
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // "SIGINT", "SIGTERM", "SIGHUP", or "signal N".
    static const char* name(int signal);

private:
    void arrived();

    std::function<void(int)> onSignal_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace nimbra
