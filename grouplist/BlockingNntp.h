#pragma once

#include "grouplist/TcpClient.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace nimbra {

enum NntpMode { mtStream, mtIHAVE, mtReader };

// The blocking NNTP client that fetches a server's full newsgroup list: connect and read the
// greeting, switch to reader mode, send commands (authenticating when the server asks with
// 480 or 450), list the groups, quit. Every call blocks and raises ConnectionError on failure;
// see TcpConnection for what runs while it waits.
class BlockingNntp : public TcpClient {
public:
    enum ReplyCode {
        PostingAllowed = 200,
        NoPosting = 201,
        StreamingAllowed = 203,
        ListFollows = 215,
        AuthenticationAccepted = 281,
        PasswordRequired = 381,
        TemporarilyUnavailable = 400,
        AuthenticationRequiredAlt = 450,
        AuthenticationRequired = 480,
        ServiceRefused = 502,
    };
    enum class Permission { Unknown, CanPost, CannotPost, TemporarilyUnavailable };
    enum class ModeResult { Unknown, CanStream, CannotStream, CanPost, CannotPost };

    // One group of the list; the handler may clear canContinue to leave the rest unread.
    using NewsgroupListEvent = std::function<void(const std::string& ANewsgroup, std::int32_t ALow,
        std::int32_t AHigh, const std::string& AType, bool& ACanContinue)>;

    BlockingNntp();

    std::string Username;
    std::string Password;
    NntpMode Mode = mtReader;
    std::string NewsAgent;
    NewsgroupListEvent OnNewsgroupList;

    Permission permission() const { return permission_; }
    ModeResult modeResult() const { return modeResult_; }

    // Connects, reads the greeting (502 raises NntpConnectionRefusedError) and sends the mode
    // command. On a failure after the connect it quits and raises the same error again.
    void ConnectServer(int timeout = -1);
    // Sends LIST and hands every group to OnNewsgroupList until the closing ".". Raises
    // NoNewsgroupListHandlerError without a handler, ProtocolReplyError when LIST is refused.
    void ListGroups();
    // Writes "Quit" when connected (no reply is awaited), then always closes.
    void QuitServer();

    using TcpConnection::SendCommand;
    int SendCommand(const std::string& line, const std::vector<int>& allowed) override;

private:
    void authenticate();

    Permission permission_ = Permission::Unknown;
    ModeResult modeResult_ = ModeResult::Unknown;
};

} // namespace nimbra
