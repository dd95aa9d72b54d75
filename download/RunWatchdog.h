#pragma once

#include "download/ArticleDeadline.h"

#include <QElapsedTimer>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <string>

namespace nimbra {

// The clocks of a download run: the watchdog (Timer1) that gives a connection up when no reply
// or progress came within the time-out (progress only notes the time: the timer is not set
// again for every line of an article, but when it runs out early it waits for the rest); the one-second clock (Timer3) that counts the
// watchdog's time left down for the countdown panel; and the deadline of the article in
// flight (ArticleDeadline). Lives on the session's thread.
class RunWatchdog {
public:
    RunWatchdog();
    ~RunWatchdog();
    RunWatchdog(const RunWatchdog&) = delete;
    RunWatchdog& operator=(const RunWatchdog&) = delete;

    // The watchdog ran out (Timer1).
    std::function<void()> OnExpired;
    // A second passed while a group is walked (Timer3), after the countdown moved.
    std::function<void()> OnSecond;
    // The article in flight was not whole in time; the text says how long it had.
    std::function<void(const std::string& reason)> OnArticleLate;

    // The time-out in seconds, and how many milliseconds one of them lasts (1000 in the
    // program, less in tests).
    void setTimeout(long seconds, int millisecondsPerSecond);
    // Starts the watchdog again, with the countdown full. Cheap enough for every line.
    void restart();
    // Stops the watchdog and the article deadline; the countdown is full again.
    void giveUp();
    void startSeconds() { Timer3.start(); }
    void stopSeconds() { Timer3.stop(); }
    // Stops every clock.
    void stopAll();
    // Starts the deadline of the article named by key (announced lines, 0: unknown) within the
    // client's article limit, or stops it when no article is being fetched (key 0). The
    // deadline of the article it runs for goes on: what happens on other connections does not
    // restart it.
    void followArticle(std::int64_t key, std::int64_t lines, std::uint64_t articleLimit);
    std::int32_t countdown() const { return Countdown; }

private:
    std::int32_t countdownStart() const;
    void timer1Fired();

    QTimer Timer1;  // the watchdog
    QTimer Timer3;  // the countdown's second
    ArticleDeadline article_;
    std::int64_t articleKey_ = 0;  // the article whose deadline runs
    QElapsedTimer sinceProgress_;  // since the last restart()
    bool armed_ = false;           // restarted and not stopped since
    int intervalMs_ = 20000;       // the whole time-out; Timer1 may wait less when it waits out a rest
    std::int32_t Countdown = 0;
    long timeoutSeconds_ = 20;
    int millisecondsPerSecond_ = 1000;
};

} // namespace nimbra
