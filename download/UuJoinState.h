#pragma once

#include <string>

namespace nimbra {

// Session state that the uudecoder reads and writes to join a file posted over several
// consecutive articles. Owned by the download session and lent to the article-done step, which
// presents it to the decoder (with the folders) through the decoder's own state interface.
struct UuJoinState {
    bool SameSubject = false;  // this article's subject stem equals the previous article's
    bool UuPartOpen = false;   // a begin line or a continuation opened the output file
    bool UuEndSeen = true;     // an "end" line closed the last file (set when a run starts)
    std::string LastFileName;  // the file the previous article produced
};

} // namespace nimbra
