#pragma once

#include "platform/MemoryStream.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace nimbra {

// The memory articles are fetched into, used again. An article of some hundred KB grown line
// by line in fresh memory was copied a dozen times as it doubled, and every page of it was new
// to the process: more of the fetching thread's time than reading the socket. A stream taken
// here has room for the size the overview announced (within a bound) and, when one was given
// back, memory already in use.
//
// At most MaxKept streams and MaxKeptBytes of memory are kept; larger ones are freed when
// given back, and release() frees all (at the end of a run). Any thread.
class ArticleBuffers {
public:
    static constexpr std::size_t MaxKept = 64;
    static constexpr std::size_t MaxKeptBytes = std::size_t{128} << 20;
    // Room made beforehand at most; a larger article grows as it comes.
    static constexpr std::size_t MaxReserved = std::size_t{16} << 20;

    // An empty stream with room for announcedBytes (0: unknown), within MaxReserved.
    static std::unique_ptr<MemoryStream> take(std::int64_t announcedBytes);
    // The stream is done with (null is ignored).
    static void giveBack(std::unique_ptr<MemoryStream> stream);
    static void release();
    // Gives the stream back when it goes out of scope, also when what uses it throws.
    class Return {
    public:
        explicit Return(std::unique_ptr<MemoryStream>& stream) : stream_(stream) {}
        ~Return() { giveBack(std::move(stream_)); }
        Return(const Return&) = delete;
        Return& operator=(const Return&) = delete;

    private:
        std::unique_ptr<MemoryStream>& stream_;
    };

    // Streams kept now, for the tests.
    static std::size_t kept();
};

} // namespace nimbra
