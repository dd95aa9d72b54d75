#pragma once

#include <cstdint>
#include <cstddef>

namespace nimbra {

// A byte stream with a position, in the manner of the memory and file streams the components
// exchange: the NNTP client writes received lines into one, the decoder reads an article from
// one, the saving code writes decoded bytes into one.
class Stream {
public:
    virtual ~Stream() = default;

    // Reads up to count bytes at the position and advances it; returns the bytes read, 0 at end.
    virtual std::size_t read(char* buffer, std::size_t count) = 0;
    // Writes count bytes at the position and advances it; returns the bytes written.
    virtual std::size_t write(const char* data, std::size_t count) = 0;
    virtual std::int64_t position() const = 0;
    virtual void seek(std::int64_t position) = 0;
    virtual std::int64_t size() const = 0;
    // The stream's size() bytes when it keeps them all in one piece of memory, else nullptr:
    // a reader may then look at them in place rather than read a copy. Valid until the next write.
    virtual const char* memory() const { return nullptr; }

    void rewind() { seek(0); }
};

} // namespace nimbra
