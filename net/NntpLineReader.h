#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace nimbra {

// Collects the bytes received on a connection and cuts them into lines ending in CR LF.
// Lines may be of any length; the owner bounds what is held by looking at held() and
// calling dropPartial() or clear(). NUL bytes are ordinary bytes. Not thread-safe.
class NntpLineReader {
public:
    // Appends received bytes. Invalidates any line returned before.
    void append(const char* data, std::size_t count);
    // Cuts the next complete line. line views it without its CR LF and stays valid until the
    // next append(), next(), dropPartial() or clear(). whole is false for the first line
    // ended after dropPartial(): its beginning was dropped, so it is no real line (not the
    // "." that ends a block, for example).
    bool next(std::string_view& line, bool& whole);
    // Bytes held that are not yet cut into lines (the start of a line not yet ended).
    std::size_t held() const { return buffer_.size() - start_; }
    // Drops the held start of a line, so that a line of unbounded length can be skipped in
    // bounded memory; a CR at its end is kept, for it may pair with the next LF.
    void dropPartial();
    void clear();

private:
    std::string buffer_;
    std::size_t start_ = 0;     // the held bytes begin here
    std::size_t scanned_ = 0;   // no CR LF starts between start_ and here, so a long line is scanned once
    bool truncated_ = false;    // the line being collected lost its beginning
};

} // namespace nimbra
