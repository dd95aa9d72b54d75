#include "grouplist/TlsSocketHandler.h"

#include "grouplist/TlsConnectionError.h"
#include "platform/TlsSession.h"
#include "platform/SocketErrorCode.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace nimbra {
namespace {
constexpr std::size_t CipherChunk = 65536;
}

TlsSocketHandler::TlsSocketHandler(const std::string& serverName, const std::string& acceptedFingerprint)
    : session_(std::make_unique<TlsSession>(serverName, acceptedFingerprint))
{
}

TlsSocketHandler::~TlsSocketHandler() = default;

const std::string& TlsSocketHandler::peerFingerprint() const
{
    return session_->peerFingerprint();
}

const std::string& TlsSocketHandler::peerSubject() const
{
    return session_->peerSubject();
}

void TlsSocketHandler::raise()
{
    throw TlsConnectionError(session_->error(), session_->errorText());
}

long TlsSocketHandler::flushOutput()
{
    cipher_.clear();
    session_->takeOutput(cipher_);
    for (std::size_t sent = 0; sent < cipher_.size();) {
        const long count = SocketHandler::send(cipher_.data() + sent, cipher_.size() - sent);
        if (count < 0)
            return count;
        if (count == 0)
            return -SocketErrorCode::Shutdown;
        sent += static_cast<std::size_t>(count);
    }
    return 0;
}

bool TlsSocketHandler::handshakeStep()
{
    const TlsSession::Progress progress = session_->handshake();
    const long sent = flushOutput();
    if (progress == TlsSession::Failed)
        raise();
    if (sent != 0)
        throwHandshakeFailed(static_cast<int>(-sent));
    return progress == TlsSession::Done;
}

void TlsSocketHandler::pullInput()
{
    cipher_.resize(CipherChunk);
    const long count = SocketHandler::receive(cipher_.data(), cipher_.size());
    if (count > 0)
        session_->putInput(cipher_.data(), static_cast<std::size_t>(count));
    else if (count == 0)
        session_->inputEnded();
    else
        socketError_ = count;
    if (count < 0 && !session_->established())
        throwHandshakeFailed(static_cast<int>(-count));
}

void TlsSocketHandler::throwHandshakeFailed(int socketError)
{
    const std::string reason = SocketError::description(socketError);
    throw TlsConnectionError(TlsSession::HandshakeFailed,
                             std::string(TlsSession::describe(TlsSession::HandshakeFailed)) + ": "
                                 + (reason.empty() ? "socket error " + std::to_string(socketError) : reason));
}

void TlsSocketHandler::decrypt()
{
    char buffer[16384];
    for (;;) {
        const int count = session_->read(buffer, sizeof buffer);
        if (count > 0) {
            plain_.append(buffer, static_cast<std::size_t>(count));
            continue;
        }
        if (count == 0)
            ended_ = true;
        else if (count == -2)
            raise();
        break;
    }
    flushOutput();  // the session may owe the server an answer (a key update)
}

bool TlsSocketHandler::readable(int ms)
{
    if (!session_->established())
        return SocketHandler::readable(ms);
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(std::max(ms, 0));
    for (;;) {
        if (plainStart_ < plain_.size() || ended_ || socketError_ != 0)
            return true;
        int wait = -1;
        if (ms >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            wait = static_cast<int>(std::max<long long>(left, 0));
        }
        if (!SocketHandler::readable(wait))
            return false;
        pullInput();
        decrypt();
        if (ms >= 0 && Clock::now() >= deadline && plainStart_ >= plain_.size() && !ended_ && socketError_ == 0)
            return false;
    }
}

long TlsSocketHandler::receive(char* buffer, std::size_t size)
{
    if (plainStart_ >= plain_.size() && !ended_ && socketError_ == 0)
        readable(-1);
    if (plainStart_ < plain_.size()) {
        const std::size_t count = std::min(size, plain_.size() - plainStart_);
        std::memcpy(buffer, plain_.data() + plainStart_, count);
        plainStart_ += count;
        if (plainStart_ == plain_.size()) {
            plain_.clear();
            plainStart_ = 0;
        }
        return static_cast<long>(count);
    }
    return socketError_ != 0 ? socketError_ : 0;
}

long TlsSocketHandler::send(const char* bytes, std::size_t size)
{
    const int taken = session_->write(bytes, static_cast<int>(std::min<std::size_t>(size, 16384)));
    if (taken < 0)
        raise();
    if (const long error = flushOutput(); error != 0)
        return error;
    return taken;
}

void TlsSocketHandler::close(bool shutdownSends)
{
    if (allocated() && shutdownSends && session_->established()) {
        session_->close();
        flushOutput();
    }
    SocketHandler::close(shutdownSends);
}

} // namespace nimbra
