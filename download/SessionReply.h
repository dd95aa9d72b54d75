#pragma once

#include <cstdint>

namespace nimbra {

// Error values of a finished request that the download session reacts to. Server reply codes
// arrive unchanged as the error value; KnownArticle is the session's own value for an article
// whose message-id was already in the cache, so the walk moves on without asking the server.
enum SessionReply : std::uint16_t {
    replySuccess = 0,
    replyKnownArticle = 132,
    replyServiceDiscontinued = 400,
    replyNoNextArticle = 421,
    replyNoSuchArticle = 423,
    replyNoArticleWithId = 430,
    replyAuthenticationRequired = 480,
    replyAuthenticationRejected = 481,
    replyServiceUnavailable = 502,
    replyTooLarge = 598,  // the client's: the reply passed its size limit and was skipped
};

} // namespace nimbra
