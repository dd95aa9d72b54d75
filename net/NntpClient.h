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
class Stream;

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
// Numbers in replies that do not fit 32 bits saturate at INT32_MAX (INT32_MIN for negative
// ones): an article number never wraps into a negative one. A status line whose code is no
// usable number (no digits, a sign, more than 16 bits) ends its request with the error 599,
// never with 0. Connect raises only "Already connected"; every other failure of a connect
// (empty host 10022, lookup 11001, refused 10061, ...) arrives as OnRequestDone(nntpConnect,
// error). Lines are limited to 4,093 bytes plus CR LF: a longer one closes the connection,
// which ends the pending request with 0 followed by OnSessionClosed. The client must not be
// destroyed from inside one of its own events.
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
    std::int32_t ArticleEstimated() const;
    std::int32_t ArticleFirst() const;
    std::int32_t ArticleLast() const;
    std::int32_t ArticleNumber() const;
    void SetArticleNumber(std::int32_t number);
    const std::string& ArticleID() const;
    DateTime ServerDate() const;

    // Operations. All but Connect and Abort raise NntpException unless State is nntpReady.
    void Connect();
    void Abort();
    void Quit();
    void Group(const std::string& name);
    void ArticleByNumber(std::int32_t number, Stream* destination);
    void ArticleByID(const std::string& id, Stream* destination);
    void HeadByNumber(std::int32_t number, Stream* destination);
    void HeadByID(const std::string& id, Stream* destination);
    void BodyByNumber(std::int32_t number, Stream* destination);
    void BodyByID(const std::string& id, Stream* destination);
    void StatByNumber(std::int32_t number);
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

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace nimbra
