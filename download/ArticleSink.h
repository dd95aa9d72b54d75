#pragma once

#include "platform/MemoryStream.h"

#include <string>

namespace nimbra {

// Where a completely fetched article goes: decoding, saving, counting and the preview plug in
// here. Called on the window's thread from the request-done handler, once per article that
// ended with its terminating line. The session releases the stream afterwards; the sink
// must not keep it.
// An exception thrown here is treated like a stalled connection: the run reconnects and
// resumes after this article, and its message-id is forgotten so a later run fetches it again.
class ArticleSink {
public:
    struct Article {
        MemoryStream& ArticleStream;  // the whole article, header and body, CR LF line ends
        int GroupIndex;               // entry of the newsgroup list box being walked
        std::string groupName;        // its text
    };

    virtual ~ArticleSink() = default;
    virtual void articleDone(const Article& article) = 0;
    // Whatever the sink keeps in memory about the articles done so far (the records of
    // unfinished files) reaches the disk. Called before the run's marks are written and when
    // a run ends, so no mark counts an article done whose record a crash could lose. Throws
    // nothing.
    virtual void flush() {}
};

} // namespace nimbra
