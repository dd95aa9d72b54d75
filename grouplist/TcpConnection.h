#pragma once

#include "grouplist/InputBuffer.h"
#include "grouplist/Reply.h"
#include "grouplist/SocketHandler.h"
#include "grouplist/WorkComponent.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace nimbra {

enum MaxLineAction { maException, maSplit };

// A blocking, line-oriented TCP connection. Every call blocks the calling thread until it is
// done; on the GUI thread, with a WaitPump in use, the waits are cut into slices between
// which pending events are processed, so handlers (and a Stop button) run inside these calls.
// A handler may close the connection: the waiting call then ends with
// ConnClosedGracefullyError and touches nothing of the released socket. The caller must keep
// the user from starting a second operation on the same connection meanwhile.
//
// All failures are ConnectionError exceptions with fixed texts.
class TcpConnection : public WorkComponent {
public:
    using ConnectionEvent = std::function<void(TcpConnection& sender)>;

    TcpConnection();
    ~TcpConnection() override;
    TcpConnection(const TcpConnection&) = delete;
    TcpConnection& operator=(const TcpConnection&) = delete;

    // Longest line, counting a CR before the LF; 0 means no limit.
    int MaxLineLength = 16384;
    nimbra::MaxLineAction MaxLineAction = maException;
    // Milliseconds a read waits; 0 waits without limit.
    int ReadTimeout = 0;
    int RecvBufferSize = 32768;
    int SendBufferSize = 32768;

    Reply Greeting;
    Reply LastCmdResult;

    ConnectionEvent OnDisconnected;

    // One line without its terminator ("" = LF; with LF a CR before it is dropped too).
    // timeout -1 takes ReadTimeout; maxLength -1 takes MaxLineLength. Returns "" with
    // ReadLnTimedOut() set when an explicit time-out passed.
    std::string ReadLine(const std::string& terminator = "\n", int timeout = -1, int maxLength = -1);
    bool ReadLnSplit() const { return lineWasSplit_; }
    bool ReadLnTimedOut() const { return lineTimedOut_; }

    // Reads one (possibly multi-line) reply into LastCmdResult and checks its code.
    int ReadReply(const std::vector<int>& allowed);
    // code when allowed is empty or holds it; otherwise ProtocolReplyError with
    // LastCmdResult's text.
    int CheckReply(int code, const std::vector<int>& allowed);
    // Writes the line, then reads and checks the reply.
    virtual int SendCommand(const std::string& line, const std::vector<int>& allowed);
    // One allowed code; -1 allows any.
    int SendCommand(const std::string& line, int allowed = -1);

    void Write(const std::string& bytes);
    void WriteLine(const std::string& text);
    void CloseConnection();
    bool IsConnected();

protected:
    // Raises ConnClosedGracefullyError when the connection is down, raise is set, and the
    // buffer is empty or ignoreBuffer is set. Tears down a socket the peer has closed.
    void CheckForDisconnect(bool raise = true, bool ignoreBuffer = false);
    // Reads what arrives into the input buffer; the byte count, 0 when the peer closed, -1 on
    // a time-out that does not raise.
    int FillInputBuffer(bool raiseIfDisconnected, int timeout, bool raiseOnTimeout);
    // Waits until readable; ms -2 waits without limit.
    bool Readable(int ms);

    // The open socket; ConnClosedGracefullyError when a handler closed it meanwhile.
    SocketHandler& liveHandler();
    // A fresh socket for OpenConnection (a plain one, or the one given); the old one, if
    // any, is released.
    SocketHandler& newHandler();
    SocketHandler& newHandler(std::unique_ptr<SocketHandler> handler);
    void releaseHandler();
    bool socketAllocated() const { return handler_ && handler_->allocated(); }
    // Closes the socket (shutting down sends first) and notes the close.
    void closeSocket();
    void resetInput();

private:
    std::string tooLongLine(int maxLength);
    std::string readNonEmptyLine();
    bool open() const;

    std::unique_ptr<SocketHandler> handler_;
    InputBuffer input_;
    std::string scratch_;
    bool closedGracefully_ = false;
    bool lineWasSplit_ = false;
    bool lineTimedOut_ = false;
};

} // namespace nimbra
