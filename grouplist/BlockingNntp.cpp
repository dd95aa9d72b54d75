#include "grouplist/BlockingNntp.h"

#include "grouplist/ConnectionErrors.h"
#include "grouplist/NewsgroupListLine.h"

namespace nimbra {
namespace {
const std::vector<int> AnyCode;
}

BlockingNntp::BlockingNntp()
{
    Port = 119;
}

void BlockingNntp::ConnectServer(int timeout)
{
    OpenConnection(timeout);
    try {
        const int code = ReadReply({});
        Greeting = LastCmdResult;
        switch (code) {
        case PostingAllowed: permission_ = Permission::CanPost; break;
        case NoPosting: permission_ = Permission::CannotPost; break;
        case TemporarilyUnavailable: permission_ = Permission::TemporarilyUnavailable; break;
        case ServiceRefused: throw NntpConnectionRefusedError();
        default: break;
        }
        if (Mode == mtReader)
            modeResult_ = SendCommand("MODE READER", -1) == PostingAllowed ? ModeResult::CanPost : ModeResult::CannotPost;
        else if (Mode == mtStream)
            modeResult_ = SendCommand("MODE STREAM", -1) == StreamingAllowed ? ModeResult::CanStream : ModeResult::CannotStream;
    } catch (...) {
        try {
            QuitServer();
        } catch (...) {
            // the first failure is the one to report
        }
        throw;
    }
}

int BlockingNntp::SendCommand(const std::string& line, const std::vector<int>& allowed)
{
    const int code = TcpConnection::SendCommand(line, AnyCode);
    if (code != AuthenticationRequired && code != AuthenticationRequiredAlt)
        return CheckReply(code, allowed);
    authenticate();
    return TcpConnection::SendCommand(line, allowed);
}

// Sent with the connection's own SendCommand: a server that answers AUTHINFO itself with 480
// gets a ProtocolReplyError, not an endless round of new attempts.
void BlockingNntp::authenticate()
{
    TcpConnection::SendCommand("AUTHINFO USER " + Username, std::vector<int>{PasswordRequired});
    TcpConnection::SendCommand("AUTHINFO PASS " + Password, std::vector<int>{AuthenticationAccepted});
}

void BlockingNntp::ListGroups()
{
    if (!OnNewsgroupList)
        throw NoNewsgroupListHandlerError();
    WorkSession session(*this, wmRead);
    SendCommand("LIST", ListFollows);
    std::string line = ReadLine("\n");
    bool canContinue = true;
    while (line != "." && canContinue) {
        const NewsgroupListLine group = NewsgroupListLine::parse(line);
        OnNewsgroupList(group.name, group.low, group.high, group.type, canContinue);
        if (!OnNewsgroupList)
            break; // a handler that removed itself ends the list
        if (canContinue)
            line = ReadLine("\n");
    }
}

void BlockingNntp::QuitServer()
{
    try {
        if (IsConnected())
            WriteLine("Quit");
    } catch (...) {
        CloseConnection();
        throw;
    }
    CloseConnection();
}

} // namespace nimbra
