#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace nimbra {

// Finds uuencoded blocks among the lines of a body and decodes their data lines in place.
// Touches no file and knows nothing of articles: it reports what each line is, and the
// caller decides where the bytes go.
//
// A block begins with "begin <octal mode> <name>" and counts only once a data line follows
// (a begin line quoted in prose, or followed by anything else, leaves nothing behind). Data
// lines before any begin line in a body are a continuation: the middle or end of a file
// whose begin line was in an earlier article. A line is a data line when every character is
// in the uuencode alphabet (space to "`") and its length fits the count in its first
// character. Lines of other kinds inside a block are skipped; "end" ends the block.
// xxencode is the same layout in another alphabet ("+-0-9A-Za-z"): a block whose first data
// line is xxencoded is read in that alphabet. A continuation in xxencode must begin with a
// full line (45 bytes), so that a row of dashes in prose starts nothing.
class UuBlockReader {
public:
    enum class Kind {
        Ignored,       // nothing for the caller
        BlockBegun,    // a block begins with this data line; name() is its name
        Continuation,  // continuation data begins with this line
        Data,          // a data line of the open block or continuation
        Ended,         // an "end" line closed the block or the continuation
        Cut,           // the open block or continuation stopped without its "end" line
    };
    struct Step {
        Kind kind = Kind::Ignored;
        std::size_t bytes = 0;  // decoded bytes, written over the start of the line
    };

    // A new body starts: any open block is forgotten.
    void reset();
    Step feed(char* line, std::size_t length);
    // The body ended: Cut when a block or continuation was open, else Ignored.
    Step finish();
    // True while a block or a continuation is open (it ends without its "end" line when
    // the body ends now).
    bool inBlock() const { return state_ == State::Block || state_ == State::Continuation; }
    // The name from the begin line of the open or pending block, as written there.
    const std::string& name() const { return name_; }

    enum class Alphabet { Uu, Xx };

    // Whether line is a begin line ("begin", blanks, a run of octal digits, one blank, the
    // name); name receives the name without trailing blanks.
    static bool beginLine(std::string_view line, std::string& name);
    static bool dataLine(std::string_view line, Alphabet alphabet = Alphabet::Uu);
    // The alphabet of the open block or continuation.
    Alphabet alphabet() const { return alphabet_; }

private:
    enum class State { Start, Pending, Block, Continuation, Between };

    std::size_t decode(char* line, std::size_t length) const;

    // The first data line of a block (after its begin line) or of a continuation (before
    // any begin line): sets the alphabet, false when the line is data in neither.
    bool firstDataLine(std::string_view line, bool continuation);

    State state_ = State::Start;
    Alphabet alphabet_ = Alphabet::Uu;
    std::string name_;
};

} // namespace nimbra
