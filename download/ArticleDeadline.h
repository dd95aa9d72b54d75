#pragma once

#include <QTimer>

#include <cstdint>
#include <functional>

namespace nimbra {

// The time one article may take as a whole. The watchdog restarts with every body line, so a
// server that sends a line every few seconds would hold an article, and the run, for ever; an
// article must also arrive whole within the watchdog's time plus its size at MinimumRate
// bytes a second (the header rides on the watchdog's time). Its size is the lines announced at
// SessionSettings::BytesPerLine each, or the most the client takes for one article when no
// size was announced. Lives on the session's thread; OnExpired
// fires once per start() that is not stopped in time.
class ArticleDeadline {
public:
    static constexpr std::uint64_t MinimumRate = 2048;

    ArticleDeadline();

    // Seconds allowed for an article of this many bytes with this watchdog time.
    static std::int64_t seconds(std::uint64_t bytes, std::int64_t watchdogSeconds);
    // Bytes an article of announced lines (0: unknown) may take, within limit.
    static std::uint64_t bytes(std::int64_t lines, std::uint64_t limit);

    // Starts (or restarts) the deadline of a new article; millisecondsPerSecond as the session's.
    void start(std::int64_t seconds, int millisecondsPerSecond);
    void stop() { timer_.stop(); }
    bool active() const { return timer_.isActive(); }
    // The seconds of the last start().
    std::int64_t allowed() const { return allowed_; }

    std::function<void()> OnExpired;

private:
    QTimer timer_;
    std::int64_t allowed_ = 0;
};

} // namespace nimbra
