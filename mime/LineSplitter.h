#pragma once

#include "platform/Stream.h"

#include <cstddef>
#include <string_view>
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
    // The read buffer's first size: large enough that a stream read from a file costs few
    // system calls.
    static constexpr std::size_t InitialSize = 64 * 1024;

    // stream, foldLines and stop must outlive the splitter.
    LineSplitter(Stream& stream, const bool& foldLines, const bool& stop)
        : stream_(stream), foldLines_(foldLines), stop_(stop)
    {
    }

    // Reads the stream from its position to its end, or until stop holds after a line, and
    // calls onLine(char* line, std::size_t length) for each line. Bytes after the last LF
    // form a last line (without a trailing CR). Exceptions from the handler pass out; the
    // buffer goes with the splitter.
    template <typename Handler>
    void run(Handler&& onLine)
    {
        begin();
        while (!atEnd_) {
            fill();
            std::size_t length = 0;
            while (char* line = nextLine(length)) {
                onLine(line, length);
                start_ = scan_ = next_;
                if (stop_)
                    return;
            }
            if (!atEnd_)
                makeRoom();
        }
        std::size_t length = 0;
        if (char* line = lastLine(length))
            onLine(line, length);
    }

    // Called from the line handler: takes the whole lines that follow the current one, up to
    // the first that begins with the two bytes first and second, or up to the last line end
    // known so far, and returns them as one run with their line ends (CR LF or LF) in it. The
    // lines taken never reach the handler; the run may be empty. A body whose lines the handler
    // reads in bulk takes them this way at the speed of memory: from a stream that keeps its
    // bytes in memory the run is a view into those (no copy) and may be long. Valid until the
    // handler returns; the current line stays valid too.
    std::string_view takeLinesUntil(char first, char second);

private:
    void begin();
    // Reads what the stream gives into the free room.
    void fill();
    // The next whole line held, cut and NUL-terminated (next_ set after it), or nullptr.
    char* nextLine(std::size_t& length);
    // The bytes after the last LF as a line, or nullptr.
    char* lastLine(std::size_t& length);
    bool foldsAt(std::size_t start, std::size_t lf);
    void makeRoom();

    Stream& stream_;
    const bool& foldLines_;
    const bool& stop_;
    std::vector<char> buffer_;
    std::size_t held_ = 0;  // bytes in the buffer
    std::size_t start_ = 0; // first byte of the line being cut
    std::size_t scan_ = 0;  // where the search for LF resumes
    std::size_t next_ = 0;  // first byte after the line being handled
    bool atEnd_ = false;    // the stream gave no more bytes at the last read
};

} // namespace nimbra
