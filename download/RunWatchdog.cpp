#include "download/RunWatchdog.h"

#include "platform/Rounding.h"

namespace nimbra {

RunWatchdog::RunWatchdog()
{
    QObject::connect(&Timer1, &QTimer::timeout, [this] {
        if (OnExpired)
            OnExpired();
    });
    QObject::connect(&Timer3, &QTimer::timeout, [this] {
        if (Countdown > 0)
            --Countdown;
        if (OnSecond)
            OnSecond();
    });
    article_.OnExpired = [this] {
        if (OnArticleLate)
            OnArticleLate("the article was not whole within its " + std::to_string(article_.allowed()) + " s");
    };
}

RunWatchdog::~RunWatchdog()
{
    stopAll();
}

void RunWatchdog::setTimeout(long seconds, int millisecondsPerSecond)
{
    timeoutSeconds_ = seconds;
    millisecondsPerSecond_ = millisecondsPerSecond;
    Timer1.setInterval(static_cast<int>(seconds * millisecondsPerSecond));
    Timer3.setInterval(millisecondsPerSecond);
}

void RunWatchdog::restart()
{
    Timer1.start();
    Countdown = countdownStart();  // the countdown shows the watchdog's time left
}

void RunWatchdog::giveUp()
{
    Timer1.stop();
    article_.stop();
    Countdown = countdownStart();
}

void RunWatchdog::stopAll()
{
    Timer1.stop();
    Timer3.stop();
    article_.stop();
}

void RunWatchdog::followArticle(bool fetching, std::int64_t lines, std::uint64_t articleLimit)
{
    if (!fetching) {
        article_.stop();
        return;
    }
    const std::uint64_t bytes = ArticleDeadline::bytes(lines, articleLimit);
    article_.start(ArticleDeadline::seconds(bytes, timeoutSeconds_), millisecondsPerSecond_);
}

std::int32_t RunWatchdog::countdownStart() const
{
    return static_cast<std::int32_t>(roundHalfEven(static_cast<double>(Timer1.interval()) / millisecondsPerSecond_));
}

} // namespace nimbra
