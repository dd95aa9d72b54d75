#pragma once

#include "net/AsyncSocket.h"
#include "net/NntpBlockReader.h"
#include "net/NntpCapabilities.h"
#include "net/NntpClient.h"
#include "net/NntpReply.h"
#include "net/OverviewFormat.h"
#include "platform/MessageWindow.h"
#include "platform/SocketErrorCode.h"

#include <deque>
#include <string>
#include <vector>

namespace nimbra {

// The state of one NntpClient and the steps of its protocol engine. Private to the client:
// only NntpClient.cpp and NntpClientImpl.cpp include this header.
struct NntpClient::Impl {
    static constexpr unsigned RequestDoneMessage = UserMessage + 1;
    static constexpr std::size_t ReadSize = 64 * 1024;
    static constexpr int PostBufferSize = 4096;
    static constexpr std::uint16_t ClosedBeforeGreeting = SocketErrorCode::ConnectionAborted;
    static constexpr std::uint16_t ClosedBeforeReply = SocketErrorCode::ConnectionAborted;

    enum Handler {
        NoHandler, GroupReply, QuitReply, ArticleStatusReply, DataLine, PostReply, PostFinalReply, DateReply,
        ModeReaderReply, HeaderStatusReply, HeaderLine, UserReply, PassReply,
        CompressReply, CapabilitiesReply, CapabilityLine, CapabilitiesModeReaderReply, FormatReply, FormatLine, OverReply, OverLine,
    };

    NntpClient& self;
    MessageWindow window;
    std::string host;
    std::string port;
    NntpState state = nntpNotConnected;
    AsyncSocket socket;
    std::string requestText;
    NntpRequest requestType = nntpConnect;
    bool requestDoneFlag = false;
    bool postEndSent = false;
    std::int32_t statusCode = 503;
    char postBuffer[PostBufferSize];
    std::vector<char> readBuffer = std::vector<char>(ReadSize);
    NntpBlockReader reader;
    std::string lastResponse;
    std::string statusLineCopy;
    std::int64_t articleEstimated = -1;
    std::int64_t articleFirst = -1;
    std::int64_t articleLast = -1;
    std::int64_t articleNumber = -1;
    std::int64_t askedNumber = 0;  // named by the request being read (by number); 0: none
    std::uint64_t articleLimit = DefaultArticleLimit;
    std::uint64_t headerLimit = DefaultHeaderLimit;
    std::string articleId;
    DateTime serverDate = 0;
    Stream* destination = nullptr;
    std::string userName;
    std::string passWord;
    Handler handler = NoHandler;
    bool postingPermited = false;
    NntpCapabilities capabilities;
    OverviewFormat overviewFormat;
    bool overviewFormatKnown = false;  // on this connection
    bool modeReaderAsked = false;      // by the Capabilities request under way, which asks once
    OverviewLine overview;
    std::string overCommand;  // the OVER or XOVER line waiting for the format
    // Requests sent behind the current one, waiting for their replies, oldest first.
    struct InFlight {
        NntpRequest type;
        std::string text;
        Stream* destination;
        std::int64_t number;  // asked for by number; 0: none
    };
    std::deque<InFlight> inFlight;
    int pipelineWindow = 1;
    bool cutting = false;  // lines are being handed out; a nested read waits for the outer one

    explicit Impl(NntpClient& owner);
    void changeState(NntpState newState);
    void requireReady(const char* text) const;

    // The single point through which every request ends.
    void finish(std::uint16_t error, bool connectionLost = false);
    void start(NntpRequest type, std::string text, Handler replyHandler);
    void sendRequest();

    // ---- connecting ----------------------------------------------------------------------

    void lookupDone(std::uint16_t error);
    void socketConnected(std::uint16_t error);
    void banner(std::uint16_t error);
    void socketClosed(std::uint16_t error);

    // ---- receiving -----------------------------------------------------------------------

    void dataAvailable(std::uint16_t error);

    bool connected() const { return state != nntpNotConnected && requestType != nntpAbort; }

    void cutLines(std::uint16_t error);

    // Ends the pending request with the error and closes the connection in order.
    void dropConnection(std::uint16_t error);

    // raw points at the line in the reader, followed by its CR LF; it stays valid until the
    // next read.
    void dispatch(std::uint16_t error, const char* raw, int length);
    void reply(const char* raw, int length);
    std::int32_t readStatus();

    // Finishes with 0 when the reply succeeded, else with its code.
    void finishOn(bool success) { finish(success ? 0 : NntpReply::errorValue(statusCode)); }

    void groupReply();
    void articleStatusReply();

    static bool selectsArticle(std::int32_t code) { return code >= ArticleFollows && code <= ArticleSelected; }

    void openBlock(Handler lineHandler);
    void headerStatusReply();

    // A data line (or, for XHDR, a header line, which is not unstuffed).
    void dataLine(const char* raw, int length, bool headerLine);
    void userReply();
    void dateReply();
    // Sends the next command of a request made of several.
    void sendNext(std::string text, Handler replyHandler);
    // A block that ends at "." with a handler of its own; true at the end, the block closed.
    bool blockEnds(const char* raw, int length);
    void capabilitiesReply();
    void capabilityLine(const char* raw, int length);
    void capabilitiesModeReaderReply();
    void formatReply();
    void formatLine(const char* raw, int length);
    void overReply();
    void overLine(const char* raw, int length);

    // ---- posting -------------------------------------------------------------------------

    void postReply();
    void postBlock();
    void postDataSent(std::uint16_t error);
    void postFinalReply();

    // ---- requests of the article family ----------------------------------------------------

    // number: the article named by the argument (0 for the current one or a message-id).
    void articleRequest(NntpRequest type, const std::string& argument, std::int64_t number, Stream* stream);
    // True when another request of the article family may be sent behind the current one.
    bool canPipeline() const;
    // Makes the oldest request in flight the current one: its reply is the next to come.
    void takeNextInFlight();
    void byNumber(NntpRequest type, std::int64_t number, Stream* stream);
    void byId(NntpRequest type, const std::string& id, Stream* stream);
    void listingRequest(NntpRequest type, const char* notReady, std::string text, Stream* stream);
};

} // namespace nimbra
