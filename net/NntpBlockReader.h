#pragma once

#include "net/NntpLineReader.h"

#include <cstdint>
#include <string_view>

namespace nimbra {

// The receiving side of an NNTP connection: cuts the bytes received into lines and holds
// every line to the size its place allows. Outside a data block a line is a status line (at
// most statusLineLimit bytes with its CR LF). Inside a bounded block (an article, a body or
// a head) the lines together may take at most articleLimit bytes, and those of its header
// (up to the first empty line, when the block starts with one) at most headerLimit; a line of
// an unbounded block (a listing) at most articleLimit. A block past its limit is skipped to
// its terminating "." without holding it; what is skipped after the limit was passed may
// itself take another articleLimit bytes. Memory stays within a limit plus one append. Not thread-safe.
class NntpBlockReader {
public:
    enum Result {
        None,          // no complete line yet
        Line,          // a line to hand on (the block's "." included)
        BlockSkipped,  // a block that passed its limit has ended; it is over
        SkipOverrun,   // the skipped rest of a block passed its own limit: the block never ends
        LineTooLong,   // a status line past its limit: the connection cannot be read on
    };

    void setLimits(std::uint64_t articleLimit, std::uint64_t headerLimit, std::uint64_t statusLineLimit);
    // A data block begins after the status line just read, or the status lines resume.
    void startBlock(bool bounded, bool withHeader);
    void endBlock();
    bool inBlock() const { return mode_ != StatusLines; }

    void append(const char* data, std::size_t count);
    // The next outcome; line is set for Line and stays valid until the next call.
    Result next(std::string_view& line);
    // Forgets everything held and returns to status lines.
    void clear();

private:
    enum Mode { StatusLines, Block, Skipping };

    std::uint64_t budget() const;
    // partial: the limit was passed by the start of a line not yet ended, which is dropped.
    Result startSkipping(bool partial);

    NntpLineReader lines_;
    Mode mode_ = StatusLines;
    bool bounded_ = false;
    bool inHeader_ = false;
    std::uint64_t bytes_ = 0;  // taken by the block so far, or skipped while Skipping
    std::uint64_t articleLimit_ = 64ull << 20;
    std::uint64_t headerLimit_ = 1ull << 20;
    std::uint64_t statusLineLimit_ = 64ull << 10;
};

} // namespace nimbra
