// When the ledgers of unfinished files reach the disk: together after the interval, at a
// flush, when their owner goes, and again after a write that failed.
#include "download/LedgerWriter.h"

#include <QCoreApplication>
#include <QThread>
#include <gtest/gtest.h>

#include <chrono>

namespace nimbra {
namespace {

using namespace std::chrono_literals;

// A ledger that counts its writes and refuses the first `refusals` of them.
struct CountingLedger : Ledger {
    explicit CountingLedger(int refuse = 0) : refusals(refuse) {}
    bool save() const override
    {
        ++attempts;
        if (refusals > 0) {
            --refusals;
            return false;
        }
        ++writes;
        return true;
    }
    const std::string& path() const override { return name; }

    std::string name = "/nowhere/ledger";
    mutable int refusals;
    mutable int attempts = 0;
    mutable int writes = 0;
};

TEST(LedgerWriter, WithoutAnIntervalEveryChangeIsWrittenAtOnce)
{
    LedgerWriter writer(0ms);
    CountingLedger split, yenc;
    writer.changed(split);
    writer.changed(yenc);
    writer.changed(split);
    EXPECT_EQ(split.writes, 2);
    EXPECT_EQ(yenc.writes, 1);
    EXPECT_FALSE(writer.waiting());
}

TEST(LedgerWriter, ChangesWaitAndAFlushWritesEachChangedLedgerOnce)
{
    LedgerWriter writer(1h);
    CountingLedger split, yenc, untouched;
    for (int part = 0; part < 400; ++part)
        writer.changed(part % 2 ? split : yenc);
    EXPECT_EQ(split.writes + yenc.writes, 0);
    EXPECT_TRUE(writer.waiting());
    writer.flush();
    EXPECT_EQ(split.writes, 1);
    EXPECT_EQ(yenc.writes, 1);
    EXPECT_EQ(untouched.attempts, 0);
    writer.flush();  // nothing changed since
    EXPECT_EQ(split.writes, 1);
    EXPECT_EQ(yenc.writes, 1);
}

TEST(LedgerWriter, AChangeAfterTheIntervalWritesEverythingWaiting)
{
    LedgerWriter writer(1ms);
    CountingLedger split, yenc;
    writer.changed(split);
    QThread::msleep(20);  // no event loop runs: only the next change can write
    writer.changed(yenc);
    EXPECT_EQ(split.writes, 1);
    EXPECT_EQ(yenc.writes, 1);
}

TEST(LedgerWriter, TheTimerWritesAChangeThatNoOtherFollows)
{
    LedgerWriter writer(1ms);
    CountingLedger split;
    writer.changed(split);
    for (int round = 0; round < 5000 && split.writes == 0; ++round) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    EXPECT_EQ(split.writes, 1);
    EXPECT_FALSE(writer.waiting());
}

TEST(LedgerWriter, ALedgerThatCannotBeWrittenWaitsForTheNextWrite)
{
    LedgerWriter writer(1h);
    CountingLedger refusing(1), fine;
    writer.changed(refusing);
    writer.changed(fine);
    writer.flush();
    EXPECT_EQ(refusing.writes, 0);
    EXPECT_EQ(fine.writes, 1);
    EXPECT_TRUE(writer.waiting());
    writer.flush();
    EXPECT_EQ(refusing.writes, 1);
    EXPECT_EQ(fine.writes, 1);
    EXPECT_FALSE(writer.waiting());
}

TEST(LedgerWriter, AForgottenLedgerIsWrittenOnceAndNeverTouchedAgain)
{
    LedgerWriter writer(1h);
    CountingLedger going, staying, unchanged;
    writer.changed(going);
    writer.changed(staying);
    writer.forget(going);
    writer.forget(unchanged);
    EXPECT_EQ(going.writes, 1);
    EXPECT_EQ(unchanged.attempts, 0);
    writer.flush();
    EXPECT_EQ(going.attempts, 1);
    EXPECT_EQ(staying.writes, 1);
}

} // namespace
} // namespace nimbra
