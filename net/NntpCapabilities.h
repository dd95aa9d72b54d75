#pragma once

#include <string_view>

namespace nimbra {

// What a server said it can do, from the lines of its CAPABILITIES reply (RFC 3977 5.2).
// Known is false until a list has been read; a server that does not answer CAPABILITIES
// leaves every capability false, and the caller falls back to the classic commands.
class NntpCapabilities {
public:
    // Starts a new list (the capabilities may change after MODE READER or AUTHINFO).
    void reset();
    // One line of the list: a capability label and its arguments, case-insensitive.
    void addLine(std::string_view line);
    void setKnown() { known_ = true; }

    bool known() const { return known_; }
    bool over() const { return over_; }                        // OVER (and LIST OVERVIEW.FMT)
    bool hdr() const { return hdr_; }                          // HDR
    bool reader() const { return reader_; }                    // the reading commands work now
    bool modeReader() const { return modeReader_; }            // MODE READER switches to reading
    bool compressDeflate() const { return compressDeflate_; }  // COMPRESS DEFLATE (RFC 8054)

private:
    bool known_ = false;
    bool over_ = false;
    bool hdr_ = false;
    bool reader_ = false;
    bool modeReader_ = false;
    bool compressDeflate_ = false;
};

} // namespace nimbra
