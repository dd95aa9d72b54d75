#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace nimbra {

// Reply codes the client itself acts on.
enum NntpReplyCode {
    HelpFollows = 100,
    CapabilitiesFollow = 101,
    DateFollows = 111,
    PostingAllowed = 200,
    NoPosting = 201,
    CompressionActive = 206,
    GroupSelected = 211,
    ListFollows = 215,
    ArticleFollows = 220,
    HeadFollows = 221,
    BodyFollows = 222,
    ArticleSelected = 223,
    OverviewFollows = 224,
    NewNewsFollows = 230,
    NewGroupsFollows = 231,
    PostingDone = 240,
    AuthAccepted = 281,
    SendArticle = 340,
    SendPassword = 381,
    // Stands for a status line whose code cannot be reported as one: no digits (0), a sign,
    // or a value of other than three digits, which would otherwise read as success, wrap, or
    // pass for a socket error.
    UnreadableReply = 599,
    // Stands for a data block that passed the size limit set by the caller; never sent by
    // a server.
    ReplyTooLarge = 598,
};

// Readers for the fields of an NNTP reply line.
class NntpReply {
public:
    // The request-done error value of a failing status code: the code itself, or
    // UnreadableReply when it is not a number of three digits (100 to 999).
    static std::uint16_t errorValue(std::int32_t code);
    // The codes that accept an article-family or listing request (223 included, which
    // selects without a block).
    static bool opensBlock(std::int32_t code);
    // Skips blanks (space, tab, CR, LF), takes one optional sign and the decimal digits
    // after it, and leaves pos after them, so successive fields are read in turn. No digits
    // give 0. A value beyond the 32-bit range saturates at INT32_MAX (or INT32_MIN): a
    // huge article number never wraps into a negative one, which would name the current
    // article instead.
    static std::int32_t readNumber(const std::string& line, std::size_t& pos);
    // An article number or count of a successful reply (RFC 3977: 0 to 2^63-1): skips
    // blanks, then requires one or more decimal digits followed by a blank or the end of the
    // line. False, leaving value alone, for a sign, no digits, trailing garbage or a value
    // past 2^63-1; pos is left after whatever was read either way.
    static bool readArticleNumber(const std::string& line, std::size_t& pos, std::int64_t& value);
    // The message-id after pos without its angle brackets: from the first "<" up to the next
    // ">" (or the end of the line); empty when there is no "<".
    static std::string readMessageId(const std::string& line, std::size_t pos);
    // The date-time of a 14-character "yyyymmddhhnnss" value (days since 30 December 1899,
    // the time of day as the fraction); false, leaving when alone, for any other length or
    // for values that form no valid date or time.
    static bool readDate(const std::string& text, double& when);
};

} // namespace nimbra
