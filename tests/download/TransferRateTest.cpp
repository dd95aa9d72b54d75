// The rate panel's average: over the seconds ticked so far, then over the last few only.
#include "download/TransferRate.h"

#include <gtest/gtest.h>

namespace nimbra {
namespace {

TEST(TransferRate, AveragesTheLastSecondsOnly)
{
    TransferRate rate;
    EXPECT_EQ(rate.text(), "0.0 KB/s");
    rate.add(1024);
    rate.add(1024);
    rate.tick();
    EXPECT_DOUBLE_EQ(rate.kilobytesPerSecond(), 2.0);
    rate.tick();  // a second with nothing
    EXPECT_DOUBLE_EQ(rate.kilobytesPerSecond(), 1.0);
    for (int second = 0; second < TransferRate::Seconds; ++second) {
        rate.add(512);
        rate.tick();
    }
    EXPECT_DOUBLE_EQ(rate.kilobytesPerSecond(), 0.5);  // the first two seconds have dropped out
    EXPECT_EQ(rate.text(), "0.5 KB/s");
    rate.add(4096);  // the running second does not count until it is closed
    EXPECT_DOUBLE_EQ(rate.kilobytesPerSecond(), 0.5);
    rate.reset();
    EXPECT_DOUBLE_EQ(rate.kilobytesPerSecond(), 0.0);
}

TEST(TransferRate, NamesTheConnectionsWorkingWhenThereAreSeveral)
{
    TransferRate rate;
    rate.add(2048);
    rate.tick();
    rate.setConnections(3);
    EXPECT_EQ(rate.text(), "2.0 KB/s, 3 connections");
    rate.setConnections(1);
    EXPECT_EQ(rate.text(), "2.0 KB/s");
}

} // namespace
} // namespace nimbra
