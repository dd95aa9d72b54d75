#include "net/SocketSendQueue.h"

#include "platform/SocketErrorCode.h"

#include <gtest/gtest.h>

#include <string>

using namespace nimbra;

namespace {

// Drains the queue as a socket would, the system taking at most perSend bytes per call.
std::string drain(SocketSendQueue& queue, int perSend)
{
    std::string out;
    int count = 0;
    while (const char* data = queue.next(count)) {
        const int taken = count < perSend ? count : perSend;
        out.append(data, static_cast<std::size_t>(taken));
        queue.consume(taken);
    }
    return out;
}

} // namespace

TEST(SocketSendQueue, KeepsOrderAcrossBlocksAndPartialSends)
{
    SocketSendQueue queue;
    EXPECT_TRUE(queue.allSent());
    std::string given;
    for (int i = 0; i < 5000; ++i)
        given += static_cast<char>('a' + i % 26);
    queue.append(given.data(), 1000);  // inside the first block
    queue.append(given.data() + 1000, 4000);  // across three more blocks
    EXPECT_FALSE(queue.allSent());
    EXPECT_EQ(drain(queue, 700), given);  // sends that end inside and across blocks
    EXPECT_TRUE(queue.allSent());

    queue.append("x", 1);  // the kept last block takes new bytes after a drain
    EXPECT_EQ(drain(queue, 1 << 20), "x");
    queue.append("ignored", 0);
    EXPECT_TRUE(queue.allSent());
}

TEST(SocketSendQueue, ClearForgetsQueuedBytes)
{
    SocketSendQueue queue;
    queue.append("abc", 3);
    queue.clear();
    EXPECT_TRUE(queue.allSent());
    int count = -1;
    EXPECT_EQ(queue.next(count), nullptr);
    EXPECT_EQ(count, 0);
}

TEST(SocketSendQueue, OnlyConnectionEndingErrorsCloseTheSocket)
{
    EXPECT_TRUE(SocketSendQueue::endsConnection(SocketErrorCode::ConnectionReset));
    EXPECT_TRUE(SocketSendQueue::endsConnection(SocketErrorCode::Shutdown));
    EXPECT_FALSE(SocketSendQueue::endsConnection(SocketErrorCode::WouldBlock));
    EXPECT_FALSE(SocketSendQueue::endsConnection(0));
}
