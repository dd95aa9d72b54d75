#include "net/CustomTlsSocket.h"

#include "net/SocketErrorText.h"
#include "platform/SocketErrorCode.h"
#include "platform/TlsSession.h"

#include <sys/socket.h>

namespace nimbra {
namespace {

// Encrypted bytes taken from the system per read: several records at once, so that a large
// article costs few system calls.
constexpr std::size_t CipherChunk = 65536;

} // namespace

CustomTlsSocket::CustomTlsSocket() = default;
CustomTlsSocket::~CustomTlsSocket() = default;

std::string CustomTlsSocket::serverName() const
{
    if (!tlsServerName_.empty())
        return tlsServerName_;
    if (!DnsLookupHost().empty())
        return DnsLookupHost();
    return Addr();
}

void CustomTlsSocket::Connect()
{
    if (tlsEnabled_ && !SocksServer().empty())
        RaiseException("TLS through a SOCKS server is not supported");
    session_.reset();
    cipherOut_.clear();
    cipherSent_ = 0;
    early_.clear();
    phase_ = tlsEnabled_ ? Connecting : Plain;
    CustomSocksSocket::Connect();
}

int CustomTlsSocket::RcvdCount() const
{
    const int waiting = CustomSocksSocket::RcvdCount();
    if (!session_ || (phase_ != Open && phase_ != Handshaking))
        return waiting;
    return waiting + static_cast<int>(session_->pendingPlain() + session_->bufferedInput());
}

// ---- handshake ---------------------------------------------------------------------------

void CustomTlsSocket::TriggerSessionConnected(std::uint16_t error)
{
    if (phase_ != Connecting || error != 0) {
        if (phase_ == Connecting)
            phase_ = Failed;
        CustomSocksSocket::TriggerSessionConnected(error);
        return;
    }
    session_ = std::make_unique<TlsSession>(serverName(), tlsAcceptedFingerprint_);
    phase_ = Handshaking;
    advanceHandshake();
}

void CustomTlsSocket::advanceHandshake()
{
    const TlsSession::Progress progress = session_->handshake();
    if (progress != TlsSession::NeedInput) {
        tlsPeerFingerprint_ = session_->peerFingerprint();
        tlsPeerSubject_ = session_->peerSubject();
    }
    const int sent = flushCipher();
    if (progress == TlsSession::Failed) {
        failHandshake(session_->error(), session_->errorText());
        return;
    }
    if (sent != 0 && sent != SocketErrorCode::WouldBlock) {
        failHandshake(TlsSession::HandshakeFailed,
                      std::string(TlsSession::describe(TlsSession::HandshakeFailed)) + ": " + SocketErrorText::describe(sent));
        return;
    }
    if (progress == TlsSession::NeedInput)
        return;
    phase_ = Open;
    tlsErrorText_.clear();
    for (std::size_t taken = 0; taken < early_.size();) {
        const int count = session_->write(early_.data() + taken, static_cast<int>(early_.size() - taken));
        if (count < 0)
            break;
        taken += static_cast<std::size_t>(count);
    }
    early_.clear();
    flushCipher();
    CustomSocksSocket::TriggerSessionConnected(0);
}

void CustomTlsSocket::failHandshake(int error, const std::string& text)
{
    phase_ = Failed;
    tlsErrorText_ = text;
    early_.clear();
    CustomSocksSocket::TriggerSessionConnected(static_cast<std::uint16_t>(error));
    if (HSocket() >= 0)
        Close();
}

bool CustomTlsSocket::TriggerDataAvailable(std::uint16_t error)
{
    if (phase_ != Handshaking)
        return CustomSocksSocket::TriggerDataAvailable(error);
    const int pulled = pullCipher();
    if (pulled == 0)
        return true;
    if (pulled < 0) {
        failHandshake(TlsSession::HandshakeFailed, std::string(TlsSession::describe(TlsSession::HandshakeFailed))
                                                       + ": " + SocketErrorText::describe(LastError()));
        return true;
    }
    advanceHandshake();
    return true;
}

// ---- bytes -------------------------------------------------------------------------------

int CustomTlsSocket::pullCipher()
{
    scratch_.resize(CipherChunk);
    // During the handshake no receive of the layers above is under way, so this one must be
    // the full receive that re-arms the read event; later it runs inside theirs.
    const int count = phase_ == Handshaking
        ? CustomSocksSocket::Receive(scratch_.data(), static_cast<int>(scratch_.size()))
        : CustomSocksSocket::RealReceive(scratch_.data(), static_cast<int>(scratch_.size()));
    if (count > 0) {
        session_->putInput(scratch_.data(), static_cast<std::size_t>(count));
        return 1;
    }
    if (count == 0) {
        session_->inputEnded();
        return 1;
    }
    return LastError() == SocketErrorCode::WouldBlock ? 0 : -1;
}

int CustomTlsSocket::RealReceive(char* buffer, int count)
{
    if (phase_ == Plain || phase_ == Connecting || phase_ == Handshaking)
        return CustomSocksSocket::RealReceive(buffer, count);
    if (phase_ != Open || !session_) {
        SetLastError(SocketErrorCode::NotConnected);
        return -1;
    }
    for (;;) {
        const int got = session_->read(buffer, count);
        if (got >= 0) {
            flushCipher();  // a key update may want an answer
            return got;
        }
        if (got == -2) {
            // Nothing more can be read on this connection: end it, so that its close is
            // reported through the queue as any other close rather than left to a time-out.
            tlsErrorText_ = session_->errorText();
            SetLastError(TlsSession::ConnectionFailed);
            Shutdown(SHUT_RDWR);
            return -1;
        }
        const int pulled = pullCipher();
        if (pulled == 0) {
            SetLastError(SocketErrorCode::WouldBlock);
            return -1;
        }
        if (pulled < 0)
            return -1;
    }
}

int CustomTlsSocket::RealSend(const char* data, int count)
{
    switch (phase_) {
    case Plain:
    case Connecting:
        return CustomSocksSocket::RealSend(data, count);
    case Handshaking:
        early_.append(data, static_cast<std::size_t>(count));
        return count;
    case Failed:
        SetLastError(SocketErrorCode::NotConnected);
        return -1;
    case Open:
        break;
    }
    if (const int error = flushCipher(); error != 0) {
        SetLastError(error);
        return -1;
    }
    const int taken = session_->write(data, count);
    if (taken < 0) {
        tlsErrorText_ = session_->errorText();
        SetLastError(TlsSession::ConnectionFailed);
        return -1;
    }
    // What the system does not take now goes with the next write event; the layers above
    // hear of the data sent only once it has all gone (TriggerDataSent).
    if (flushCipher() == SocketErrorCode::WouldBlock)
        AwaitWrite();
    return taken;
}

int CustomTlsSocket::flushCipher()
{
    if (session_)
        session_->takeOutput(cipherOut_);
    while (cipherSent_ < cipherOut_.size()) {
        const int sent = CustomSocksSocket::RealSend(cipherOut_.data() + cipherSent_,
                                                     static_cast<int>(cipherOut_.size() - cipherSent_));
        if (sent < 0)
            return LastError();
        cipherSent_ += static_cast<std::size_t>(sent);
    }
    cipherOut_.clear();
    cipherSent_ = 0;
    return 0;
}

void CustomTlsSocket::TriggerDataSent(std::uint16_t error)
{
    if (phase_ == Handshaking || phase_ == Open) {
        const int flushed = flushCipher();
        if (flushed == SocketErrorCode::WouldBlock)
            AwaitWrite();
        if (phase_ == Handshaking || flushed != 0)
            return;  // the handshake's own bytes, or data still on its way
    }
    CustomSocksSocket::TriggerDataSent(error);
}

void CustomTlsSocket::BeforeShutdown()
{
    // The close notice tells the server that the session ended here rather than being cut
    // off. A close does not wait: it goes as far as the system takes it now.
    if (phase_ == Open && session_) {
        session_->close();
        flushCipher();
    }
    CustomSocksSocket::BeforeShutdown();
}

void CustomTlsSocket::TriggerSessionClosed(std::uint16_t error)
{
    if (phase_ == Handshaking) {
        // Closed from outside before the handshake ended: the connect is still owed an answer.
        tlsErrorText_ = std::string(TlsSession::describe(TlsSession::HandshakeFailed)) + ": the connection was closed";
        phase_ = Failed;
        CustomSocksSocket::TriggerSessionConnected(TlsSession::HandshakeFailed);
    }
    if (phase_ != Plain)
        phase_ = Failed;
    session_.reset();
    cipherOut_.clear();
    cipherSent_ = 0;
    CustomSocksSocket::TriggerSessionClosed(error);
}

} // namespace nimbra
