#pragma once

// Contract of the asynchronous NNTP client. The download session is written against this
// header; keep its public names and meanings stable.

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

namespace nimbra {

class AsyncSocket;
class MessageWindow;
class NntpCapabilities;
class OverviewFormat;
class Stream;
struct OverviewLine;

enum NntpState {
    nntpNotConnected = 0,
    nntpDnsLookup = 1,
    nntpWaitingBanner = 2,
    nntpReady = 3,
    nntpWaitingResponse = 4,
};

enum NntpRequest {
    nntpGroup = 0, nntpList, nntpConnect, nntpPost, nntpHelp, nntpNewGroups, nntpNewNews,
    nntpArticleByNumber, nntpArticleByID, nntpBodyByID, nntpBodyByNumber, nntpHeadByID,
    nntpHeadByNumber, nntpStatByID, nntpStatByNumber, nntpNext, nntpLast, nntpQuit, nntpAbort,
    nntpXOver, nntpListOverViewFmt, nntpDate, nntpAuthenticate, nntpModeReader,
    nntpXHdr = 24,
    // Beyond the classic set.
    nntpCapabilities = 25, nntpOver = 26, nntpCompress = 27,
};

// Raised by an operation called in the wrong state; nothing was sent and nothing changed.
class NntpException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Days since 30 December 1899, the time of day as the fraction.
using DateTime = double;

// The client side of NNTP over one asynchronous socket, driven entirely by the event loop of
// the thread that created it. One request at a time: an operation sends one command and
// returns at once; OnRequestDone reports the end of every request exactly once, always later
// through the client's own message queue and never from inside the call that started or
// finished it, so a handler may start the next request at once. Error values are 0 for
// success, otherwise the server's reply code unchanged or a socket error number.
// Streams passed to operations are not owned and must outlive the request.
//
// Article numbers are 64-bit (RFC 3977 allows 0 to 2^63-1). In a successful GROUP reply and
// in the 220-223 replies of the article family a number that is missing, signed, not all
// digits or past 2^63-1 is a protocol error: the request ends with 599 (UnreadableReply),
// never with 0; where a data block would follow, the connection is closed as well, since the
// lines after it could no longer be told from replies. A status line whose code is no number
// of three digits (no digits, a sign, 10054) ends its request with 599 too. A 220-223 reply
// to a request by number that names another article (220 7 to ARTICLE 6; 0 is taken as
// unnamed) means the replies no longer match the requests: the request ends with 599 and the
// connection is closed, as for an unreadable number. Connect raises only "Already
// connected"; every other failure of a connect (empty host 10022, lookup 11001, refused
// 10061, closed by the server before its greeting 10053, ...) arrives as
// OnRequestDone(nntpConnect, error), never with 0.
//
// Sizes: lines may be of any length. A data block of the article family (ARTICLE, BODY,
// HEAD) may hold at most ArticleLimit() bytes (lines with their CR LF, after unstuffing),
// and its header (the lines before the first empty one, for ARTICLE and HEAD) at most
// HeaderLimit(); a line of any other block at most ArticleLimit(); a status line at most
// StatusLineLimit. A block that passes its limit stops at once: nothing more reaches the
// stream or the line events, and the rest is read and dropped up to its terminating "."; the
// request then ends with 598 (ReplyTooLarge), no OnMessageEnd, and the connection stays
// usable. When the rest itself runs past another ArticleLimit() bytes (an article that never
// ends), the request ends with 598 and the client closes the connection (OnSessionClosed
// follows). A status line past its limit ends the pending request with 599 and closes the
// connection. Memory held by the client stays within the limit plus one read.
//
// A close of the connection by the server is always reported: OnSessionClosed fires as soon
// as the close is read, while a request is pending (after its OnRequestDone has been posted)
// or while idle, and State becomes nntpNotConnected. The client must not be destroyed from
// inside one of its own events.
class NntpClient {
public:
    using NotifyEvent = std::function<void(NntpClient& sender)>;
    using ErrorEvent = std::function<void(NntpClient& sender, std::uint16_t error)>;
    using RequestDoneEvent = std::function<void(NntpClient& sender, NntpRequest rqType, std::uint16_t error)>;
    using DisplayEvent = std::function<void(NntpClient& sender, const char* msg, std::int32_t len)>;

    NntpClient();
    ~NntpClient();
    NntpClient(const NntpClient&) = delete;
    NntpClient& operator=(const NntpClient&) = delete;

    // Properties.
    AsyncSocket& Socket();
    NntpState State() const;
    const std::string& Host() const;
    void SetHost(const std::string& host);
    const std::string& Port() const;
    void SetPort(const std::string& port);
    const std::string& UserName() const;
    void SetUserName(const std::string& userName);
    const std::string& PassWord() const;
    void SetPassWord(const std::string& passWord);
    const std::string& LastResponse() const;
    std::int32_t StatusCode() const;
    bool PostingPermited() const;
    std::int64_t ArticleEstimated() const;
    std::int64_t ArticleFirst() const;
    std::int64_t ArticleLast() const;
    std::int64_t ArticleNumber() const;
    void SetArticleNumber(std::int64_t number);
    // Size limits, in bytes (see the contract above); a change applies at once.
    static constexpr std::uint64_t DefaultArticleLimit = 64ull << 20;
    static constexpr std::uint64_t DefaultHeaderLimit = 1ull << 20;
    static constexpr std::uint64_t StatusLineLimit = 64ull << 10;
    // Pipelining (RFC 3977 3.5): with a window above 1, requests of the article family
    // (ARTICLE, BODY, HEAD, STAT by number or id) may be started while another of them is
    // under way, up to window requests in flight; each is sent at once. Replies are read in
    // the order sent and OnRequestDone fires once per request, in that order. The properties
    // (ArticleNumber, LastResponse, ...) follow the reply being read, so a request's own
    // values are those seen in its OnMessageBegin / OnMessageEnd, or at its OnRequestDone
    // only when nothing is in flight behind it. When the connection closes, the request being
    // read ends as any request does and every one behind it ends with 10053; Abort drops
    // them all and reports only itself. The default window of 1 is the classic behaviour.
    int PipelineWindow() const;
    void SetPipelineWindow(int requests);
    // Requests started and not yet finished (0 when idle).
    int RequestsInFlight() const;
    std::uint64_t ArticleLimit() const;
    void SetArticleLimit(std::uint64_t bytes);
    std::uint64_t HeaderLimit() const;
    void SetHeaderLimit(std::uint64_t bytes);
    const std::string& ArticleID() const;
    DateTime ServerDate() const;

    // Operations. All but Connect and Abort raise NntpException unless State is nntpReady.
    void Connect();
    void Abort();
    void Quit();
    void Group(const std::string& name);
    void ArticleByNumber(std::int64_t number, Stream* destination);
    void ArticleByID(const std::string& id, Stream* destination);
    void HeadByNumber(std::int64_t number, Stream* destination);
    void HeadByID(const std::string& id, Stream* destination);
    void BodyByNumber(std::int64_t number, Stream* destination);
    void BodyByID(const std::string& id, Stream* destination);
    void StatByNumber(std::int64_t number);
    void StatByID(const std::string& id);
    void Next();
    void Last();
    void List(Stream* destination);
    void Post(Stream* source);
    void Help(Stream* destination);
    void Authenticate();
    void XOver(const std::string& range, Stream* destination);
    void ListOverViewFmt(Stream* destination);
    void Date();
    void ModeReader();
    void XHdr(Stream* destination, const std::string& header, const std::string& range);
    void NewGroups(DateTime when, bool gmt, const std::string& distributions, Stream* destination);
    void NewNews(DateTime when, bool gmt, const std::string& newsgroups, const std::string& distributions,
                 Stream* destination);

    // CAPABILITIES (RFC 3977 5.2). When the server lists MODE-READER and not READER, MODE
    // READER and CAPABILITIES again follow as part of this one request. Ends with 0 once a
    // list was read (ServerCapabilities().known()); otherwise with the refusal's code (500 from
    // a server that does not know the command, or the code refusing MODE READER) and the
    // capabilities all false. Learned anew on every connection.
    void Capabilities();
    const NntpCapabilities& ServerCapabilities() const;
    // The overview of articles first..last: OVER when the server listed it, else XOVER. The
    // first time on a connection LIST OVERVIEW.FMT is asked first (a refusal means the
    // standard seven fields). Each overview line fires OnOverviewLine with Overview() parsed
    // and LastResponse() the line (unstuffed); a line whose article number cannot be read is
    // skipped with a log line. Ends with 0 after the block, else with the refusal's code (423
    // for an empty range, 412, 500 when the server knows neither command, ...).
    void Over(std::int64_t first, std::int64_t last);
    const OverviewFormat& ServerOverviewFormat() const;
    // COMPRESS DEFLATE (RFC 8054): on the server's 206 the socket compresses both ways from
    // the next byte on (after TLS, below the lines) and the request ends with 0; any other
    // reply ends it with its code and the connection goes on uncompressed. Ask it after
    // authentication; Socket().WireBytes() / PlainBytes() then tell what it saved.
    void Compress();
    // The overview line of the current OnOverviewLine; its views are valid inside the event.
    const OverviewLine& Overview() const;

    // Events.
    ErrorEvent OnSessionConnected;
    ErrorEvent OnSessionClosed;
    ErrorEvent OnDataAvailable;
    RequestDoneEvent OnRequestDone;
    DisplayEvent OnDisplay;
    NotifyEvent OnMessageBegin;
    NotifyEvent OnMessageEnd;
    NotifyEvent OnMessageLine;
    NotifyEvent OnXHdrBegin;
    NotifyEvent OnXHdrEnd;
    NotifyEvent OnXHdrLine;
    NotifyEvent OnStateChange;
    NotifyEvent OnOverviewLine;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace nimbra
