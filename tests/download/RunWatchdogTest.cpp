// The watchdog notes progress without setting its timer again: it must still expire one whole
// time-out after the last progress, never earlier, and keep expiring until it is restarted or
// stopped.
#include "download/RunWatchdog.h"
#include "tests/support/EventLoop.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <vector>

namespace nimbra {
namespace {

// A time-out of 2 "seconds" of 150 ms: long beside the 20 ms between progress, even when slowed.
constexpr int SecondMs = 150;
constexpr int TimeoutMs = 2 * SecondMs;

struct Watched {
    RunWatchdog watchdog;
    QElapsedTimer clock;
    std::vector<qint64> expiries;  // ms on the clock
    Watched()
    {
        watchdog.setTimeout(2, SecondMs);
        watchdog.OnExpired = [this] { expiries.push_back(clock.elapsed()); };
        clock.start();
    }
};

TEST(RunWatchdog, ProgressKeepsItQuietAndItExpiresAWholeTimeOutAfterTheLastProgress)
{
    Watched w;
    w.watchdog.restart();
    qint64 lastProgress = 0;
    // Progress every 20 ms for three time-outs: no expiry.
    while (w.clock.elapsed() < 3 * TimeoutMs) {
        test::pumpFor(20);
        w.watchdog.restart();
        lastProgress = w.clock.elapsed();
    }
    EXPECT_TRUE(w.expiries.empty());
    EXPECT_EQ(w.watchdog.countdown(), 2);

    // Silence: one expiry a whole time-out after the last progress, then one per time-out.
    ASSERT_TRUE(test::waitUntil([&] { return w.expiries.size() >= 2; }));
    EXPECT_GE(w.expiries[0] - lastProgress, TimeoutMs);
    EXPECT_GE(w.expiries[1] - w.expiries[0], TimeoutMs);
}

TEST(RunWatchdog, GivingUpOrStoppingEndsTheExpiries)
{
    for (const bool stopAll : {false, true}) {
        Watched w;
        w.watchdog.restart();
        ASSERT_TRUE(test::waitUntil([&] { return !w.expiries.empty(); }));
        if (stopAll)
            w.watchdog.stopAll();
        else
            w.watchdog.giveUp();
        test::pumpFor(3 * TimeoutMs);
        EXPECT_EQ(w.expiries.size(), 1u) << (stopAll ? "stopAll" : "giveUp");
    }
}

// With several connections the session follows its article again whenever another one
// settles an article: that must not give a trickling article a new deadline each time.
TEST(RunWatchdog, AnArticlesDeadlineStandsWhileItIsFollowedAgainAndANewArticleGetsItsOwn)
{
    constexpr std::uint64_t Limit = 1 << 20;
    Watched w;
    std::vector<qint64> late;
    w.watchdog.OnArticleLate = [&](const std::string&) { late.push_back(w.clock.elapsed()); };
    w.watchdog.followArticle(7, 1, Limit);
    while (late.empty() && w.clock.elapsed() < 20 * TimeoutMs) {
        test::pumpFor(20);
        w.watchdog.followArticle(7, 1, Limit);
    }
    ASSERT_EQ(late.size(), 1u) << "the deadline was started again for the same article";

    // Each article whole within its time: none is late.
    late.clear();
    const qint64 start = w.clock.elapsed();
    for (std::int64_t key = 8; w.clock.elapsed() - start < 3 * TimeoutMs; ++key) {
        w.watchdog.followArticle(key, 1, Limit);
        test::pumpFor(20);
    }
    w.watchdog.followArticle(0, 0, Limit);
    test::pumpFor(3 * TimeoutMs);
    EXPECT_TRUE(late.empty());
}

} // namespace
} // namespace nimbra
