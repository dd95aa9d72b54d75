#pragma once

#include "platform/Stream.h"

#include <cstddef>
#include <functional>
#include <vector>

namespace nimbra {

// Cuts a stream into lines inside one growable read buffer. A line ends at LF; a CR just
// before the LF is cut off. Each line is handed on NUL-terminated, in place: the handler may
// overwrite the line's bytes and the NUL slot (line[length]) but nothing past them, and the
// pointer is valid only during the call.
//
// While foldLines (read as each line is cut) holds, a non-empty line followed by a line that
// begins with TAB or space is joined with it: the CR, the LF and that first byte become
// spaces. This is header folding; the decoder turns it on while it reads a header.
class LineSplitter {
public:
    using LineHandler = std::function<void(char* line, std::size_t length)>;

    // The read buffer's first size: large enough that a stream read from a file costs few
    // system calls.
    static constexpr std::size_t InitialSize = 64 * 1024;

    // stream, foldLines and stop must outlive the splitter.
    LineSplitter(Stream& stream, const bool& foldLines, const bool& stop)
        : stream_(stream), foldLines_(foldLines), stop_(stop)
    {
    }

    // Reads the stream from its position to its end, or until stop holds after a line.
    // Bytes after the last LF form a last line (without a trailing CR). Exceptions from the
    // handler pass out; the buffer goes with the splitter.
    void run(const LineHandler& onLine);

private:
    bool foldsAt(std::size_t start, std::size_t lf, bool& atEnd);
    void makeRoom();

    Stream& stream_;
    const bool& foldLines_;
    const bool& stop_;
    std::vector<char> buffer_;
    std::size_t held_ = 0;  // bytes in the buffer
    std::size_t start_ = 0; // first byte of the line being cut
    std::size_t scan_ = 0;  // where the search for LF resumes
};

} // namespace nimbra
