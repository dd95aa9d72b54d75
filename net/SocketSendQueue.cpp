#include "net/SocketSendQueue.h"

#include "platform/SocketErrorCode.h"

namespace nimbra {

bool SocketSendQueue::endsConnection(int error)
{
    // 10058 is added to the classic set: a send after the peer's reset reports EPIPE here.
    using Code = SocketErrorCode;
    return error == Code::ConnectionReset || error == Code::NotASocket || error == Code::NotConnected
        || error == Code::InvalidArgument || error == Code::ConnectionAborted || error == Code::Shutdown;
}

void SocketSendQueue::append(const char* data, int count)
{
    if (count <= 0)
        return;
    allSent_ = false;
    if (blocks_.empty())
        blocks_.emplace_back();
    int queued = 0;
    while (queued < count) {
        queued += blocks_.back().Write(data + queued, count - queued);
        if (queued < count)
            blocks_.emplace_back();
    }
}

void SocketSendQueue::clear()
{
    blocks_.clear();
    allSent_ = true;
}

const char* SocketSendQueue::next(int& count)
{
    count = 0;
    while (!blocks_.empty()) {
        const char* data = blocks_.front().Peek(count);
        if (count > 0)
            return data;
        // The last block stays, to take the next bytes given.
        if (blocks_.size() == 1)
            break;
        blocks_.pop_front();
    }
    allSent_ = true;
    return nullptr;
}

void SocketSendQueue::consume(int count)
{
    if (!blocks_.empty())
        blocks_.front().Remove(count);
}

} // namespace nimbra
