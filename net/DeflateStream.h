#pragma once

#include <string>

struct z_stream_s;

namespace nimbra {

// Raw deflate (RFC 1951) one way, as COMPRESS DEFLATE (RFC 8054) uses it: one stream for the
// whole connection, flushed after each piece so the other side can read it at once.
class DeflateStream {
public:
    enum Direction { Compress, Decompress };

    explicit DeflateStream(Direction direction);
    ~DeflateStream();
    DeflateStream(const DeflateStream&) = delete;
    DeflateStream& operator=(const DeflateStream&) = delete;

    // Compress: appends the compressed form of the bytes to out, flushed to a byte boundary.
    // Decompress: appends what the compressed bytes give to out; false for data that is no
    // deflate stream (the stream is unusable afterwards). Bytes after the stream's end
    // are refused the same way.
    bool process(const char* data, std::size_t count, std::string& out);

private:
    Direction direction_;
    z_stream_s* stream_;
    bool broken_ = false;
};

} // namespace nimbra
