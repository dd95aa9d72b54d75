#include "tools/newsmodel/NewsServerModel.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace nimbra::test {

struct NewsServerModel::Session {
    std::string groupName;
    Group* group = nullptr;
    std::int64_t current = 0;  // 0: no current article
    bool userSent = false;
    bool authenticated = false;
    bool stalled = false;  // a fault left the connection silent: nothing more is answered on it
    std::atomic<int>* open = nullptr;  // counts this connection while it lives
    std::atomic<int>* loggedIn = nullptr;  // counts it while it lives once its login was taken

    Session() = default;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session()
    {
        if (open)
            --*open;
        if (loggedIn)
            --*loggedIn;
    }
};

namespace {

std::string upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The first word and the rest, blanks between them dropped.
std::pair<std::string, std::string> splitWord(const std::string& text)
{
    const std::size_t begin = text.find_first_not_of(' ');
    if (begin == std::string::npos)
        return {};
    const std::size_t end = text.find(' ', begin);
    if (end == std::string::npos)
        return {text.substr(begin), {}};
    const std::size_t rest = text.find_first_not_of(' ', end);
    return {text.substr(begin, end - begin), rest == std::string::npos ? std::string() : text.substr(rest)};
}

// Digits only, up to 2^63-1, the largest article number.
bool parseNumber(const std::string& text, std::int64_t& number)
{
    if (text.empty() || !std::all_of(text.begin(), text.end(), ::isdigit))
        return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    return error == std::errc() && end == text.data() + text.size();
}

// "n", "n-" (to the group's last) or "n-m".
bool parseRange(const std::string& range, std::int64_t last, std::int64_t& low, std::int64_t& high)
{
    const std::size_t dash = range.find('-');
    if (!parseNumber(range.substr(0, dash), low))
        return false;
    high = low;
    if (dash != std::string::npos && dash + 1 == range.size())
        high = last;
    else if (dash != std::string::npos && !parseNumber(range.substr(dash + 1), high))
        return false;
    return true;
}

std::vector<std::string> articleLines(const ModelArticle& article, bool head, bool body)
{
    std::vector<std::string> lines;
    if (head)
        lines = article.headers;
    if (head && body)
        lines.emplace_back();
    if (body)
        lines.insert(lines.end(), article.body.begin(), article.body.end());
    return lines;
}

std::string headerValue(const ModelArticle& article, const std::string& name, bool& present)
{
    const std::string wanted = lower(name) + ":";
    for (const std::string& header : article.headers) {
        if (lower(header.substr(0, wanted.size())) != wanted)
            continue;
        present = true;
        const std::size_t value = header.find_first_not_of(' ', wanted.size());
        return value == std::string::npos ? std::string() : header.substr(value);
    }
    present = false;
    return {};
}

} // namespace

ModelArticle NewsServerModel::article(std::int64_t number, const std::string& messageId, const std::string& subject,
                                      int bodyLines, bool withLinesHeader)
{
    ModelArticle a;
    a.number = number;
    a.messageId = messageId;
    a.headers = {"From: poster@model.test", "Newsgroups: model.group", "Subject: " + subject,
                 "Message-ID: <" + messageId + ">"};
    if (withLinesHeader)
        a.headers.push_back("Lines: " + std::to_string(bodyLines));
    for (int i = 0; i < bodyLines; ++i)
        a.body.push_back(i % 7 == 3 ? ".line " + std::to_string(i) : "line " + std::to_string(i) + " of " + messageId);
    return a;
}

void NewsServerModel::addGroup(const std::string& name, std::vector<ModelArticle> articles)
{
    Group& group = groups_[name];
    for (ModelArticle& a : articles)
        group.articles[a.number] = std::move(a);
    group.first = group.articles.empty() ? 0 : group.articles.begin()->first;
    group.last = group.articles.empty() ? 0 : group.articles.rbegin()->first;
}

void NewsServerModel::setRange(const std::string& name, std::int64_t first, std::int64_t last)
{
    groups_[name].first = first;
    groups_[name].last = last;
}

void NewsServerModel::refuseGroup(const std::string& name, const std::string& reply) { groups_[name].refusal = reply; }

void NewsServerModel::setCredentials(const std::string& userName, const std::string& password)
{
    userName_ = userName;
    password_ = password;
}

void NewsServerModel::silentAtCommand(int command) { silentAt_ = command; }
void NewsServerModel::closeAtCommand(int command) { closeAt_ = command; }
void NewsServerModel::silentInsideArticle(std::int64_t number) { silentArticle_ = number; }
void NewsServerModel::refuseConnections(int count) { refusals_ = count; }
void NewsServerModel::closeInsideArticle(std::int64_t number) { closedArticle_ = number; }
void NewsServerModel::closeBeforeGreeting(int count) { silentCloses_ = count; }
void NewsServerModel::endlessArticle(std::int64_t number) { hostile_[number] = {Hostile::EndlessBody, 0}; }
void NewsServerModel::endlessHeader(std::int64_t number) { hostile_[number] = {Hostile::EndlessHeader, 0}; }
void NewsServerModel::dripArticle(std::int64_t number, int everyMs) { hostile_[number] = {Hostile::Drip, everyMs}; }

bool NewsServerModel::takeFault(std::optional<std::int64_t>& fault, std::int64_t value)
{
    std::lock_guard lock(faultMutex_);
    if (!fault || *fault != value)
        return false;
    fault.reset();
    return true;
}

ServerGreeting NewsServerModel::greeting()
{
    return [this](FakeConnection& connection) -> ServerScript {
        auto session = std::make_shared<Session>();
        connection.state = session;
        {
            std::lock_guard lock(faultMutex_);
            if (connectionLimit_ > 0 && openConnections_.load() >= connectionLimit_)
                return {send("502 too many connections for this account"), close()};
            session->open = &openConnections_;
            ++openConnections_;
            if (silentCloses_ > 0) {
                --silentCloses_;
                return {close()};
            }
            if (refusals_ > 0) {
                --refusals_;
                return {send("502 Service temporarily unavailable"), close()};
            }
        }
        return {send(greeting_)};
    };
}

ServerResponder NewsServerModel::responder()
{
    return [this](const std::string& line, FakeConnection& connection) { return answer(line, connection); };
}

ServerScript NewsServerModel::answer(const std::string& line, FakeConnection& connection)
{
    if (!connection.state.has_value())
        connection.state = std::make_shared<Session>();
    Session& session = *std::any_cast<std::shared_ptr<Session>&>(connection.state);
    const int command = ++commands_;
    if (session.stalled)
        return {};
    if (takeFault(silentAt_, command)) {
        session.stalled = true;
        return {};
    }
    if (takeFault(closeAt_, command))
        return {close()};

    auto [word, rest] = splitWord(line);
    word = upper(word);
    const bool needsAuth = !userName_.empty() && !session.authenticated;
    const std::string authRequired = "480 Authentication required";

    if (word == "QUIT")
        return {send("205 Closing connection - goodbye"), close()};
    if (word == "MODE" && upper(rest) == "READER")
        return {send(greeting_.rfind("200", 0) == 0 ? "200 Posting allowed" : "201 Posting prohibited")};
    if (word == "AUTHINFO") {
        auto [kind, value] = splitWord(rest);
        kind = upper(kind);
        if (kind == "USER") {
            session.userSent = value == userName_ || userName_.empty();
            session.authenticated = false;
            return {send("381 Password required")};
        }
        if (kind == "PASS") {
            if (!session.userSent && !userName_.empty())
                return {send("481 Authentication failed")};
            if (!userName_.empty() && value != password_)
                return {send("481 Authentication failed")};
            if (!session.loggedIn) {
                std::lock_guard lock(faultMutex_);
                if (loginLimit_ > 0 && loggedIn_.load() >= loginLimit_)
                    return {send("481 Too many connections for your user"), close()};
                session.loggedIn = &loggedIn_;
                ++loggedIn_;
            }
            session.authenticated = true;
            return {send("281 Authentication accepted")};
        }
        return {send("501 Syntax error")};
    }
    const bool overview = word == "XOVER" && overview_;
    if (word == "LIST" || word == "GROUP" || word == "STAT" || word == "NEXT" || word == "LAST" || word == "XHDR"
        || word == "ARTICLE" || word == "HEAD" || word == "BODY" || overview) {
        if (needsAuth)
            return {send(authRequired)};
    } else {
        return {send("500 Unknown command")};
    }
    if (word == "LIST" && lower(rest) == "overview.fmt") {
        if (!overview_)
            return {send("503 No overview format")};
        return {sendBlock("215 Order of fields in overview database",
                          {"Subject:", "From:", "Date:", "Message-ID:", "References:", ":bytes", ":lines"})};
    }
    if (word == "LIST") {
        std::vector<std::string> lines;
        for (const auto& [name, group] : groups_)
            lines.push_back(name + " " + std::to_string(group.last) + " " + std::to_string(group.first) + " y");
        return {sendBlock("215 Newsgroups follow", lines)};
    }
    if (word == "GROUP")
        return group(rest, session);
    if (word == "NEXT" || word == "LAST")
        return step(session, word == "NEXT");
    if (word == "XHDR")
        return xhdr(rest, session);
    if (word == "XOVER")
        return xover(rest, session);
    return stat(rest, session, word == "STAT" ? 0 : word == "ARTICLE" ? 1 : word == "HEAD" ? 2 : 3);
}

ServerScript NewsServerModel::group(const std::string& name, Session& session)
{
    const auto found = groups_.find(name);
    if (found == groups_.end())
        return {send("411 No such newsgroup")};
    Group& group = found->second;
    if (group.refusal)
        return {send(*group.refusal)};
    session.groupName = name;
    session.group = &group;
    session.current = group.articles.empty() ? 0 : group.articles.begin()->first;
    const std::int64_t estimate = group.estimate.value_or(static_cast<std::int64_t>(group.articles.size()));
    return {send("211 " + std::to_string(estimate) + " " + std::to_string(group.first) + " "
                 + std::to_string(group.last) + " " + name)};
}

const ModelArticle* NewsServerModel::find(const std::string& argument, Session& session, std::string& refusal)
{
    if (!argument.empty() && argument[0] == '<') {
        const std::string id = argument.substr(1, argument.find('>') == std::string::npos ? std::string::npos
                                                                                          : argument.find('>') - 1);
        for (const auto& [name, group] : groups_)
            for (const auto& [number, a] : group.articles)
                if (a.messageId == id)
                    return &a;
        refusal = "430 No article with that message-id";
        return nullptr;
    }
    if (!session.group) {
        refusal = "412 No newsgroup selected";
        return nullptr;
    }
    std::int64_t number = session.current;
    if (!argument.empty() && !parseNumber(argument, number)) {
        refusal = "501 Syntax error";
        return nullptr;
    }
    if (number == 0) {
        refusal = "420 Current article number is invalid";
        return nullptr;
    }
    const auto found = session.group->articles.find(number);
    if (found == session.group->articles.end()) {
        refusal = "423 No article with that number";
        return nullptr;
    }
    return &found->second;
}

ServerScript NewsServerModel::stat(const std::string& argument, Session& session, int kind)
{
    std::string refusal;
    const ModelArticle* a = find(argument, session, refusal);
    if (!a)
        return {send(refusal)};
    if (argument.empty() || argument[0] != '<')
        session.current = a->number;
    const std::string id = " <" + a->messageId + ">";
    const std::string number = std::to_string(argument[0] == '<' ? 0 : a->number);
    if (kind == 0)
        return {send("223 " + number + id + " status")};
    static const char* const codes[] = {"", "220 ", "221 ", "222 "};
    const std::vector<std::string> lines = articleLines(*a, kind != 3, kind != 2);
    const std::string status = codes[kind] + number + id + (kind == 1 ? " article" : kind == 2 ? " head" : " body");
    ++articlesSent_;
    const auto hostile = hostile_.find(a->number);
    if (hostile != hostile_.end() && kind != 0)
        return hostileArticle(hostile->second, status, *a, kind);
    const bool silent = kind == 1 && takeFault(silentArticle_, a->number);
    const int every = cutEvery_.load();
    const bool cut = kind == 1 && every > 0 && ++articlesAnswered_ % every == 0;
    if (silent || cut || (kind == 1 && takeFault(closedArticle_, a->number))) {
        session.stalled = silent;
        std::vector<std::string> half(lines.begin(), lines.begin() + static_cast<long>(lines.size() / 2));
        std::string bytes = sendBlock(status, half).text;
        bytes.resize(bytes.size() - 3);  // without the terminating line
        if (silent)
            return {sendRaw(bytes)};
        return {sendRaw(bytes), close()};
    }
    return {sendBlock(status, lines)};
}

ServerScript NewsServerModel::step(Session& session, bool forward)
{
    if (!session.group)
        return {send("412 No newsgroup selected")};
    if (session.current == 0)
        return {send("420 Current article number is invalid")};
    const auto& articles = session.group->articles;
    if (forward && sameNumberNext_) {
        const ModelArticle& a = articles.at(session.current);
        return {send("223 " + std::to_string(a.number) + " <" + a.messageId + "> retrieved")};
    }
    if (forward) {
        const auto found = articles.upper_bound(session.current);
        if (found == articles.end())
            return {send("421 No next article in this group")};
        session.current = found->first;
    } else {
        auto found = articles.lower_bound(session.current);
        if (found == articles.begin())
            return {send("422 No previous article in this group")};
        session.current = (--found)->first;
    }
    const ModelArticle& a = articles.at(session.current);
    return {send("223 " + std::to_string(a.number) + " <" + a.messageId + "> retrieved")};
}

ServerScript NewsServerModel::xhdr(const std::string& arguments, Session& session)
{
    auto [header, range] = splitWord(arguments);
    if (header.empty())
        return {send("501 Syntax error")};
    std::vector<const ModelArticle*> chosen;
    if (range.empty() || range[0] == '<') {
        std::string refusal;
        const ModelArticle* a = find(range, session, refusal);
        if (!a)
            return {send(refusal)};
        chosen.push_back(a);
    } else if (!session.group) {
        return {send("412 No newsgroup selected")};
    } else if (!headerRanges_ && range.find('-') != std::string::npos) {
        return {send("501 Syntax error")};
    } else {
        std::int64_t low = 0, high = 0;
        if (!parseRange(range, session.group->last, low, high))
            return {send("501 Syntax error")};
        auto& articles = session.group->articles;
        for (auto it = articles.lower_bound(low); it != articles.end() && it->first <= high; ++it)
            chosen.push_back(&it->second);
        if (range.find('-') == std::string::npos && chosen.empty())
            return {send("423 No article with that number")};
    }
    std::vector<std::string> lines;
    for (const ModelArticle* a : chosen) {
        const std::string prefix = std::to_string(range[0] == '<' ? 0 : a->number) + " ";
        if (lower(header) == ":lines") {
            if (metadataLines_)
                lines.push_back(prefix + std::to_string(a->body.size()));
            continue;
        }
        bool present = false;
        const std::string value = headerValue(*a, header, present);
        if (present)
            lines.push_back(prefix + value);
    }
    return {sendBlock("221 Header follows", lines)};
}

ServerScript NewsServerModel::hostileArticle(const Hostile& hostile, const std::string& status, const ModelArticle& article,
                                             int kind)
{
    const bool head = kind != 3, body = kind != 2;
    if (hostile.kind == Hostile::EndlessHeader && head)
        return {send(status), repeat("X-Filler: a header that never ends", 0)};
    if (hostile.kind == Hostile::EndlessHeader || !body)
        return {sendBlock(status, articleLines(article, head, body))};
    std::string start = sendBlock(status, articleLines(article, head, false)).text;
    start.resize(start.size() - 3);  // without the terminating line
    if (head)
        start += "\r\n";  // the empty line after the header
    return {sendRaw(start), repeat("a body line that comes with no end in sight", 0, hostile.ms)};
}

ServerScript NewsServerModel::xover(const std::string& range, Session& session)
{
    if (!session.group)
        return {send("412 No newsgroup selected")};
    std::int64_t low = 0, high = 0;
    if (!parseRange(range, session.group->last, low, high))
        return {send("501 Syntax error")};
    std::vector<std::string> lines;
    auto& articles = session.group->articles;
    for (auto it = articles.lower_bound(low); it != articles.end() && it->first <= high; ++it) {
        const ModelArticle& a = it->second;
        std::size_t bytes = 0;
        for (const std::string& line : a.headers)
            bytes += line.size() + 2;
        for (const std::string& line : a.body)
            bytes += line.size() + 2;
        bool present = false;
        std::string fields = std::to_string(a.number);
        for (const char* name : {"Subject", "From", "Date"})
            fields += "\t" + headerValue(a, name, present);
        fields += "\t<" + a.messageId + ">\t" + headerValue(a, "References", present);
        fields += "\t" + std::to_string(bytes + 2) + "\t" + std::to_string(a.body.size());
        lines.push_back(fields);
    }
    if (lines.empty())
        return {send("423 No articles in that range")};
    return {sendBlock("224 Overview information follows", lines)};
}

} // namespace nimbra::test
