#pragma once

// A model news server for session, end-to-end and demo use, answering over FakeNewsServer's
// responder mode the way a real server does: MODE READER, AUTHINFO USER/PASS, LIST, GROUP,
// STAT, NEXT, LAST, XHDR (a header or the ":lines" metadata item), XOVER, ARTICLE, HEAD, BODY,
// QUIT.
//
//     NewsServerModel model;
//     model.addGroup("alt.binaries.test", {NewsServerModel::article(1, "a1@test", "pic (1/1)", 30)});
//     auto server = model.start();          // 127.0.0.1, ephemeral port
//
// Configure the model before start(); the server calls it from its own thread afterwards, and
// the counters below may be read from the test's thread at any time. Once configured, the
// model may answer several connections at once from several threads (ModelServer does).
//
// Numbering follows the articles given: a group's first and last numbers are the lowest and
// highest article numbers unless setRange() widens them, so numbers without an article inside
// the range answer 423 and NEXT skips them. XHDR "lines" answers from each article's "Lines:"
// header and leaves articles without one out of the block (an empty block for a single
// article); XHDR ":lines" answers the body's line count unless setMetadataLines(false).

#include "tools/newsmodel/ServerScript.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace nimbra::test {

class FakeNewsServer;

struct ModelArticle {
    std::int64_t number = 0;
    std::string messageId;             // without angle brackets
    std::vector<std::string> headers;  // "Name: value", in order
    std::vector<std::string> body;     // lines, unstuffed
};

class NewsServerModel {
public:
    // An article with From, Newsgroups, Subject, Message-ID and (when withLinesHeader) a
    // "Lines:" header giving bodyLines, and a body of that many short lines.
    static ModelArticle article(std::int64_t number, const std::string& messageId, const std::string& subject,
                                int bodyLines, bool withLinesHeader = true);

    void addGroup(const std::string& name, std::vector<ModelArticle> articles);
    // Widens the numbers the group reports (the estimate stays the article count).
    void setRange(const std::string& name, std::int64_t first, std::int64_t last);
    // The estimate GROUP reports, whatever the articles (a server may claim any number).
    void setEstimate(const std::string& name, std::int64_t estimate) { groups_[name].estimate = estimate; }
    // GROUP of this name answers the reply given (for example "480 Authentication required").
    void refuseGroup(const std::string& name, const std::string& reply);
    // Requires AUTHINFO before GROUP; a wrong pair answers 481.
    void setCredentials(const std::string& userName, const std::string& password);
    void setGreeting(const std::string& line) { greeting_ = line; }
    void setMetadataLines(bool answered) { metadataLines_ = answered; }
    // Unset, XHDR of a range of numbers is refused (501), as by a server that takes one at a time.
    void setHeaderRanges(bool answered) { headerRanges_ = answered; }
    // XOVER answers the overview of a range (number, subject, from, date, message-id,
    // references, bytes, body lines) and LIST OVERVIEW.FMT names those fields; unset, XOVER is
    // an unknown command (500) and LIST OVERVIEW.FMT is refused (503).
    void setOverview(bool answered) { overview_ = answered; }

    // Faults, each played once. Commands are counted over all connections from 1.
    void silentAtCommand(int command);                // no answer, nor to any later command; the connection stays open
    void closeAtCommand(int command);                 // the connection is closed instead
    void silentInsideArticle(std::int64_t number);    // half the article, then silence on that connection
    void refuseConnections(int count);                // the next count greetings are "502" + close
    void closeInsideArticle(std::int64_t number);     // half the article, then that connection is closed
    // At most this many connections at once (0: no limit); a greeting beyond them is "502 too
    // many connections" and a close, as a server enforcing an account's limit answers. Played
    // every time.
    void limitConnections(int most) { connectionLimit_ = most; }
    // At most this many logged-in connections at once (0: no limit); a right login beyond
    // them is answered "481 Too many connections for your user" and closed, as servers that
    // count an account's connections at AUTHINFO do. Played every time.
    void limitLogins(int most) { loginLimit_ = most; }
    // Every `every`-th ARTICLE answered (counted over all connections; 0: none) is cut in its
    // middle and that connection closed, as a server or a line that drops connections often
    // does. Played every time.
    void cutEveryArticle(int every) { cutEvery_ = every; }

    // Hostile behaviours. The article ones are played every time the article is asked for.
    void endlessArticle(std::int64_t number);         // its header, then body lines without end
    void endlessHeader(std::int64_t number);          // header lines without end (a BODY is whole)
    void dripArticle(std::int64_t number, int everyMs);  // its header, then one body line per everyMs, without end
    void setSameNumberNext(bool same) { sameNumberNext_ = same; }  // NEXT answers the current article again
    void closeBeforeGreeting(int count);              // the next count connections are closed at once

    // A FakeNewsServer serving the model (defined with the test fixtures; tests only).
    std::unique_ptr<FakeNewsServer> start();
    ServerGreeting greeting();
    ServerResponder responder();

    // Answers one line of a connection; the state lives in connection.state.
    ServerScript answer(const std::string& line, FakeConnection& connection);

    int commands() const { return commands_.load(); }
    int articlesSent() const { return articlesSent_.load(); }

private:
    struct Group {
        std::map<std::int64_t, ModelArticle> articles;
        std::int64_t first = 0;
        std::int64_t last = 0;
        std::optional<std::string> refusal;
        std::optional<std::int64_t> estimate;
    };
    struct Session;
    struct Hostile {
        enum Kind { EndlessBody, EndlessHeader, Drip } kind = EndlessBody;
        int ms = 0;
    };

    ServerScript group(const std::string& name, Session& session);
    ServerScript stat(const std::string& argument, Session& session, int kind);
    ServerScript step(Session& session, bool forward);
    ServerScript xhdr(const std::string& arguments, Session& session);
    ServerScript xover(const std::string& range, Session& session);
    const ModelArticle* find(const std::string& argument, Session& session, std::string& refusal);
    bool takeFault(std::optional<std::int64_t>& fault, std::int64_t value);
    ServerScript hostileArticle(const Hostile& hostile, const std::string& status, const ModelArticle& article,
                                int kind);

    std::map<std::string, Group> groups_;
    std::string greeting_ = "200 news.model ready, posting allowed";
    std::string userName_, password_;
    bool metadataLines_ = true;
    bool headerRanges_ = true;
    bool overview_ = true;

    std::mutex faultMutex_;
    std::optional<std::int64_t> silentAt_, closeAt_, silentArticle_, closedArticle_;
    int connectionLimit_ = 0;
    int loginLimit_ = 0;
    std::atomic<int> cutEvery_{0};
    std::atomic<int> articlesAnswered_{0};
    std::atomic<int> openConnections_{0};
    std::atomic<int> loggedIn_{0};
    int refusals_ = 0;
    int silentCloses_ = 0;
    std::map<std::int64_t, Hostile> hostile_;
    bool sameNumberNext_ = false;
    std::atomic<int> commands_{0};
    std::atomic<int> articlesSent_{0};
};

} // namespace nimbra::test
