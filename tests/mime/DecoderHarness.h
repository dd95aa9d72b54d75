#pragma once

#include "mime/MimeDecoder.h"
#include "platform/MemoryStream.h"

#include <string>
#include <vector>

namespace nimbra::test {

// The same bytes as a MemoryStream, read only through copies as from a file: the decoder
// cannot look at them in place.
class CopyingStream : public MemoryStream {
public:
    using MemoryStream::MemoryStream;
    const char* memory() const override { return nullptr; }
};

// Stands in for the saving code: binds the decoder's events as it does and keeps what they
// would have made in memory. Every event is also logged by name, and all delivered bytes are
// kept.
class DecoderHarness {
public:
    // What one named part, uuencoded block or continuation delivered.
    struct Output {
        std::string name;      // the part's or begin line's name; "" for a continuation
        std::string bytes;
        bool ended = false;    // a uuencoded block's "end" line came
        bool continuation = false;
    };

    DecoderHarness();

    void decode(const std::string& text, bool throughCopies = false);

    MimeDecoder decoder;
    std::vector<std::string> events;
    std::string delivered;
    std::vector<Output> outputs;

private:
    bool open_ = false;
    bool mimeOpen_ = false;
};

std::string readFile(const std::string& path);
// LF line ends become CR LF.
std::string crlf(const std::string& text);

} // namespace nimbra::test
