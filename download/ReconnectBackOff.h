#pragma once

namespace nimbra {

// How long a run waits before it connects again: at once after progress, then 1 s doubling
// up to 60 s while reconnects follow each other without progress.
class ReconnectBackOff {
public:
    static constexpr int MaximumSeconds = 60;

    // The wait before this reconnect, in seconds; the next one waits longer.
    int take();
    // The walk moved forward: the next reconnect is made at once.
    void reset() { seconds_ = 0; }
    int seconds() const { return seconds_; }

private:
    int seconds_ = 0;
};

} // namespace nimbra
