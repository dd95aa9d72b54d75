#include "net/DeflateStream.h"

#include <zlib.h>

namespace nimbra {
namespace {

constexpr int RawWindowBits = -15;  // negative: raw deflate, no zlib header or trailer
constexpr std::size_t Chunk = 64 * 1024;

} // namespace

DeflateStream::DeflateStream(Direction direction) : direction_(direction), stream_(new z_stream{})
{
    const int status = direction == Compress
        ? deflateInit2(stream_, Z_DEFAULT_COMPRESSION, Z_DEFLATED, RawWindowBits, 8, Z_DEFAULT_STRATEGY)
        : inflateInit2(stream_, RawWindowBits);
    broken_ = status != Z_OK;
}

DeflateStream::~DeflateStream()
{
    if (direction_ == Compress)
        deflateEnd(stream_);
    else
        inflateEnd(stream_);
    delete stream_;
}

bool DeflateStream::process(const char* data, std::size_t count, std::string& out)
{
    if (broken_)
        return false;
    stream_->next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    stream_->avail_in = static_cast<uInt>(count);
    for (;;) {
        const std::size_t before = out.size();
        out.resize(before + Chunk);
        stream_->next_out = reinterpret_cast<Bytef*>(out.data() + before);
        stream_->avail_out = static_cast<uInt>(Chunk);
        const int status = direction_ == Compress ? deflate(stream_, Z_SYNC_FLUSH) : inflate(stream_, Z_SYNC_FLUSH);
        out.resize(before + Chunk - stream_->avail_out);
        if (status == Z_STREAM_END && stream_->avail_in > 0)
            broken_ = true;  // bytes after the end of the stream
        else if (status != Z_OK && status != Z_BUF_ERROR && status != Z_STREAM_END)
            broken_ = true;
        if (broken_)
            return false;
        // Done when the input is used up and the output had room to spare.
        if (stream_->avail_in == 0 && stream_->avail_out > 0)
            return true;
    }
}

} // namespace nimbra
