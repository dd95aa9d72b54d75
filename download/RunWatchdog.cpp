#include "download/RunWatchdog.h"

#include "platform/Rounding.h"

namespace nimbra {

RunWatchdog::RunWatchdog()
{
    Timer1.setSingleShot(true);
    QObject::connect(&Timer1, &QTimer::timeout, [this] { timer1Fired(); });
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
    intervalMs_ = static_cast<int>(seconds * millisecondsPerSecond);
    Timer3.setInterval(millisecondsPerSecond);
    if (Timer1.isActive())
        Timer1.start(intervalMs_);
}

void RunWatchdog::restart()
{
    sinceProgress_.start();
    armed_ = true;
    if (!Timer1.isActive())
        Timer1.start(intervalMs_);
    Countdown = countdownStart();  // the countdown shows the watchdog's time left
}

// Timer1 ran out: when progress came since it was set, it waits out the rest of the time-out
// after that progress; otherwise the watchdog expires, and it is set again for a whole
// time-out, so that it expires once per time-out until it is restarted or stopped.
void RunWatchdog::timer1Fired()
{
    if (!armed_)
        return;
    const qint64 quiet = sinceProgress_.elapsed();
    if (quiet < intervalMs_) {
        Timer1.start(static_cast<int>(intervalMs_ - quiet));
        return;
    }
    sinceProgress_.start();
    Timer1.start(intervalMs_);
    if (OnExpired)
        OnExpired();
}

void RunWatchdog::giveUp()
{
    armed_ = false;
    Timer1.stop();
    article_.stop();
    Countdown = countdownStart();
}

void RunWatchdog::stopAll()
{
    armed_ = false;
    Timer1.stop();
    Timer3.stop();
    article_.stop();
}

void RunWatchdog::followArticle(std::int64_t key, std::int64_t lines, std::uint64_t articleLimit)
{
    if (key == 0) {
        article_.stop();
        return;
    }
    if (article_.active() && key == articleKey_)
        return;
    articleKey_ = key;
    const std::uint64_t bytes = ArticleDeadline::bytes(lines, articleLimit);
    article_.start(ArticleDeadline::seconds(bytes, timeoutSeconds_), millisecondsPerSecond_);
}

std::int32_t RunWatchdog::countdownStart() const
{
    return static_cast<std::int32_t>(roundHalfEven(static_cast<double>(intervalMs_) / millisecondsPerSecond_));
}

} // namespace nimbra
