#include "net/CustomCompressSocket.h"

#include "net/DeflateStream.h"
#include "platform/SocketErrorCode.h"

#include <sys/socket.h>

#include <cstring>

namespace nimbra {
namespace {

constexpr std::size_t WireChunk = 64 * 1024;

} // namespace

CustomCompressSocket::CustomCompressSocket() = default;
CustomCompressSocket::~CustomCompressSocket() = default;

void CustomCompressSocket::StartCompression()
{
    deflater_ = std::make_unique<DeflateStream>(DeflateStream::Compress);
    inflater_ = std::make_unique<DeflateStream>(DeflateStream::Decompress);
    out_.clear();
    outSent_ = 0;
    in_.clear();
    inTaken_ = 0;
    wireBytes_ = plainBytes_ = 0;
    active_ = true;
}

int CustomCompressSocket::RcvdCount() const
{
    return CustomTlsSocket::RcvdCount() + static_cast<int>(in_.size() - inTaken_);
}

int CustomCompressSocket::RealReceive(char* buffer, int count)
{
    if (!active_)
        return CustomTlsSocket::RealReceive(buffer, count);
    while (inTaken_ == in_.size()) {
        in_.clear();
        inTaken_ = 0;
        scratch_.resize(WireChunk);
        const int got = CustomTlsSocket::RealReceive(scratch_.data(), static_cast<int>(scratch_.size()));
        if (got <= 0)
            return got;  // the end, or nothing yet (LastError tells)
        wireBytes_ += got;
        if (!inflater_->process(scratch_.data(), static_cast<std::size_t>(got), in_)) {
            // Nothing after this can be read: end the connection so the close is reported.
            SetLastError(CompressionFailed);
            Shutdown(SHUT_RDWR);
            return -1;
        }
        plainBytes_ += static_cast<long long>(in_.size());
    }
    const std::size_t taken = std::min(static_cast<std::size_t>(count), in_.size() - inTaken_);
    std::memcpy(buffer, in_.data() + inTaken_, taken);
    inTaken_ += taken;
    return static_cast<int>(taken);
}

int CustomCompressSocket::RealSend(const char* data, int count)
{
    if (!active_)
        return CustomTlsSocket::RealSend(data, count);
    const std::size_t before = out_.size();
    deflater_->process(data, static_cast<std::size_t>(count), out_);
    wireBytes_ += static_cast<long long>(out_.size() - before);
    plainBytes_ += count;
    const int error = flush();
    if (error == SocketErrorCode::WouldBlock)
        AwaitWrite();
    else if (error != 0)
        return -1;
    // What the layer below does not take now goes with the next write event; the layers
    // above hear of the data sent only once it has all gone.
    return count;
}

int CustomCompressSocket::flush()
{
    while (outSent_ < out_.size()) {
        const int sent = CustomTlsSocket::RealSend(out_.data() + outSent_, static_cast<int>(out_.size() - outSent_));
        if (sent < 0)
            return LastError();
        outSent_ += static_cast<std::size_t>(sent);
    }
    out_.clear();
    outSent_ = 0;
    return 0;
}

void CustomCompressSocket::TriggerDataSent(std::uint16_t error)
{
    if (active_) {
        const int flushed = flush();
        if (flushed == SocketErrorCode::WouldBlock)
            AwaitWrite();
        if (flushed != 0)
            return;
    }
    CustomTlsSocket::TriggerDataSent(error);
}

void CustomCompressSocket::TriggerSessionClosed(std::uint16_t error)
{
    active_ = false;
    deflater_.reset();
    inflater_.reset();
    out_.clear();
    outSent_ = 0;
    in_.clear();
    inTaken_ = 0;
    CustomTlsSocket::TriggerSessionClosed(error);
}

} // namespace nimbra
