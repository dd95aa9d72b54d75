#include "net/CustomLineSocket.h"
#include "platform/SocketErrorCode.h"

#include <algorithm>
#include <cstring>

namespace nimbra {

void CustomLineSocket::SetLineMode(bool on)
{
    lineMode_ = on;
    if (!on) {
        collected_.clear();
        lineLength_ = 0;
    }
}

int CustomLineSocket::RcvdCount() const
{
    if (lineMode_ && lineLength_ > 0)
        return static_cast<int>(lineLength_);
    return CustomCompressSocket::RcvdCount();
}

int CustomLineSocket::Receive(void* buffer, int size)
{
    if (!lineMode_)
        return CustomCompressSocket::Receive(buffer, size);
    if (lineLength_ == 0) {
        SetLastError(SocketErrorCode::WouldBlock);
        return -1;
    }
    const int count = static_cast<int>(std::min<std::size_t>(lineLength_, static_cast<std::size_t>(std::max(size, 0))));
    std::memcpy(buffer, collected_.data(), static_cast<std::size_t>(count));
    collected_.erase(0, lineLength_);
    lineLength_ = 0;
    return count;
}

bool CustomLineSocket::TriggerDataAvailable(std::uint16_t error)
{
    if (!lineMode_)
        return CustomCompressSocket::TriggerDataAvailable(error);
    char buffer[4096];
    const int count = CustomCompressSocket::Receive(buffer, sizeof buffer);
    if (count <= 0)
        return true;
    if (lineEcho_)
        Send(buffer, count);
    Collect(buffer, count);
    for (;;) {
        const std::size_t end = collected_.find(lineEnd_);
        if (end == std::string::npos)
            break;
        lineLength_ = end + lineEnd_.size();
        CustomCompressSocket::TriggerDataAvailable(error);
        if (lineLength_ > 0) {
            collected_.erase(0, lineLength_);
            lineLength_ = 0;
        }
        if (!lineMode_ || HSocket() < 0)
            return true;
    }
    if (static_cast<int>(collected_.size()) > lineLimit_) {
        bool clearData = true;
        if (OnLineLimitExceeded)
            OnLineLimitExceeded(*this, static_cast<int>(collected_.size()), clearData);
        if (clearData)
            collected_.clear();
    }
    return true;
}

void CustomLineSocket::Collect(const char* data, int count)
{
    if (!lineEdit_) {
        collected_.append(data, static_cast<std::size_t>(count));
        return;
    }
    for (int i = 0; i < count; ++i) {
        if (data[i] == '\b') {
            if (!collected_.empty())
                collected_.pop_back();
        } else {
            collected_ += data[i];
        }
    }
}

} // namespace nimbra
