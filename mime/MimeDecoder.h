#pragma once

#include "mime/MimeHeaderFields.h"
#include "mime/UuBlockReader.h"
#include "mime/YencDecoder.h"
#include "platform/Stream.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nimbra {

class LineSplitter;

// Splits one article (header, blank line, body) into lines, parses the message header and,
// for a multipart body, each part's header, and decodes the body: base64, quoted-printable
// and x-uuencode (or x-xxencode) parts by their encoding, other parts passed through with their
// line breaks;
// a single-part body in base64 or quoted-printable as one part; every line of any other
// single-part body through the uudecoding line handler (UuBlockReader) and the yEnc decoder.
// A message/rfc822 part's own header is read as a part header, to a bounded depth, so the
// parts of a forwarded message are found too. The decoder touches no file: bytes in, events
// out; the saving code decides where the bytes go.
//
// Events fire synchronously from DecodeStream, in the order an article's lines bring them:
//   OnHeaderBegin, OnHeaderLine..., OnHeaderEnd, then for a single-part body OnPartBegin
//   (first body line) and OnPartLine...; for a multipart body OnPartBegin (the preamble) and
//   per part OnPartEnd (at its boundary), OnPartHeaderBegin, OnPartHeaderLine...,
//   OnPartHeaderEnd, OnPartBegin (first data line), OnPartLine...; at the end OnPartEnd when
//   the body is single-part or a part is open, then OnMessageEnd. A delimiter belongs to the
//   innermost open multipart that has its boundary; after a close delimiter ("--b--") the
//   lines up to the next delimiter of an enclosing multipart are epilogue and reach no part;
//   after the message's own close delimiter every line is.
// Uuencoded blocks inside a part add OnUuBegin (the first data line after a begin line, with
// the begin line's name as written) or OnUuContinue (data lines before any begin line: the
// rest of a file begun in an earlier article), then OnPartLine with the decoded bytes, then
// OnUuEnd(true) at the "end" line or OnUuEnd(false) when the block stops without one (the
// part ends, or a new begin line comes). A line break before a boundary belongs to the
// boundary and is not delivered.
// The body of a message/partial is a piece of a message that means something only once it is
// joined with the other pieces: it is not read (no part begins, no line is delivered); the
// caller joins the pieces and decodes the whole message.
// OnInlineDecodeBegin/Line/End report "begin 666" blocks found inside decoded text; such
// lines are swallowed and do not reach OnPartLine.
//
// Handlers may read the fields below while they run. OnPartLine's Data and CurrentLine()
// point into the read buffer and are valid only during the event. Handlers must not call
// DecodeStream again. Exceptions from handlers pass out of DecodeStream.
class MimeDecoder {
public:
    using Event = std::function<void(MimeDecoder& Sender)>;
    using PartLineEvent = std::function<void(MimeDecoder& Sender, const char* Data, std::size_t DataLen)>;
    using InlineDecodeBeginEvent = std::function<void(MimeDecoder& Sender, const std::string& Filename)>;
    using InlineDecodeLineEvent = std::function<void(MimeDecoder& Sender, std::string_view Line)>;
    using InlineDecodeEndEvent = std::function<void(MimeDecoder& Sender, const std::string& Filename)>;
    using UuBeginEvent = std::function<void(MimeDecoder& Sender, const std::string& Filename)>;
    using UuEndEvent = std::function<void(MimeDecoder& Sender, bool EndLineSeen)>;

    // How deep message/rfc822 parts are opened.
    static constexpr int MaxMessageDepth = 8;

    MimeDecoder();
    virtual ~MimeDecoder();
    MimeDecoder(const MimeDecoder&) = delete;
    MimeDecoder& operator=(const MimeDecoder&) = delete;

    Event OnHeaderBegin;
    Event OnHeaderLine;
    Event OnHeaderEnd;
    Event OnPartHeaderBegin;
    Event OnPartHeaderLine;
    Event OnPartHeaderEnd;
    Event OnPartBegin;
    PartLineEvent OnPartLine;
    Event OnPartEnd;
    Event OnMessageEnd;
    InlineDecodeBeginEvent OnInlineDecodeBegin;
    InlineDecodeLineEvent OnInlineDecodeLine;
    InlineDecodeEndEvent OnInlineDecodeEnd;
    UuBeginEvent OnUuBegin;
    Event OnUuContinue;
    UuEndEvent OnUuEnd;

    // Decodes the stream from its current position to its end (the caller rewinds it).
    // Resets every field first.
    void DecodeStream(Stream& stream);

    // The common exit of all decoders: unless the inline check swallows the bytes, OnPartLine
    // gets them and, when set, the sink stream.
    void DeliverDecoded(const char* data, std::size_t len);

    const MessageHeaderFields& message() const { return message_; }
    const PartHeaderFields& part() const { return part_; }
    const std::string& PartCharSet() const { return partCharSet_; }
    int PartIndex() const { return partIndex_; }
    int LineIndex() const { return lineIndex_; }
    // The line being handled, NUL-terminated; null outside a line's events.
    const char* CurrentLine() const { return currentLine_; }
    // The boundaries of the multiparts open inside the message, outermost first; a delimiter
    // closes those inside the multipart it belongs to.
    const std::vector<std::string>& NestedBoundaries() const { return nestedBoundaries_; }
    bool NestedBoundaryHit() const { return nestedBoundaryHit_; }

    // The name the current part asks to be saved under, as the sender wrote it: the
    // content-disposition filename, else the content-type name. std::nullopt when the part
    // is not a file (no name, or a message/external-body pointer to a file kept elsewhere).
    // An empty string for an unnamed attachment: a single-part base64 body of a type other
    // than text; the saving code names it.
    std::optional<std::string> PartFileName() const;

    // Non-empty while uuencoded data lines are being decoded.
    const std::string& UuActiveName() const { return uuActiveName_; }

    // The yEnc decoder that sees every line bound for the uudecoding path first and keeps the
    // lines of its blocks ("=ybegin" to "=yend"). The saving code binds its events; a block
    // still open when its part or the article ends is ended unconfirmed.
    YencDecoder& Yenc() { return yenc_; }

    // Every delivered byte run is also written here; not owned, may be null.
    void setSinkStream(Stream* sink) { sink_ = sink; }

    // Empties every text field.
    void clearTextFields();

protected:
    // The event triggers; each does nothing when its handler is unset.
    virtual void DoHeaderBegin();
    virtual void DoHeaderLine();
    virtual void DoHeaderEnd();
    virtual void DoPartHeaderBegin();
    virtual void DoPartHeaderLine();
    virtual void DoPartHeaderEnd();
    virtual void DoPartBegin();
    virtual void DoPartLine(const char* Data, std::size_t DataLen);
    virtual void DoPartEnd();
    virtual void DoMessageEnd();
    virtual void DoInlineDecodeBegin(const std::string& Filename);
    virtual void DoInlineDecodeLine(std::string_view Line);
    virtual void DoInlineDecodeEnd(const std::string& Filename);

private:
    enum class LineHandler { MessageHeader, SinglePartBody, Preamble, PartHeader, PartData, Epilogue };
    enum class PartEncoding { Plain, Base64, QuotedPrintable, Uuencode };

    void reset();
    void handleLine(char* line, std::size_t length);
    void messageHeaderLine(char* line, std::size_t length);
    void singlePartBodyLine(char* line, std::size_t length);
    void preambleLine(char* line, std::size_t length);
    void partHeaderLine(char* line, std::size_t length);
    void partDataLine(char* line, std::size_t length);
    void epilogueLine(char* line, std::size_t length);
    void endPartHeader();
    void endPart();
    void closePart();
    void delimiterLine(int level, bool closing);
    // The open multipart a delimiter line belongs to: 0 the message's, k + 1 the k-th entry of
    // NestedBoundaries(), the innermost first; -1 when the line is no delimiter. closing tells
    // a close delimiter ("--b--"), recognised only when closingToo.
    int boundaryLevel(const char* line, std::size_t length, bool closingToo, bool& closing) const;

    // Every line of a single-part body and of an x-uuencode part passes here. Body formats
    // recognised by their own lines (yEnc) hook in before the uudecoding line handler.
    void bodyLine(char* line, std::size_t length);
    void uudecodeLine(char* line, std::size_t length);
    void uuStep(const UuBlockReader::Step& step);
    void flushHeldBreak();
    // Whole base64 lines of the open part, with their line ends, taken in one run.
    void base64Lines(std::string_view run);
    // Whole quoted-printable lines of the open part, taken in one run.
    void quotedPrintableLines(std::string_view run);
    // One decoded quoted-printable line (without its line end) alone: the break held before
    // it, its bytes, and its own break held unless the line ended in a soft break.
    void deliverQuotedLine(const char* text, std::size_t count, bool softBreak);
    // Lines of a single-part body inside a uuencoded block, taken in one run.
    void uuLines(std::string_view run);
    template <class DecodeLine>
    void gatherLines(std::string_view run, DecodeLine&& decodeLine);
    void startPartHeader();
    bool singlePartAttachment() const;
    bool inlineSwallows(const char* data, std::size_t len);
    // The bytes start (after blanks) as an inline "begin 666" line does.
    static bool mayBeginInline(const char* data, std::size_t len);

    MessageHeaderFields message_;
    PartHeaderFields part_;
    std::string partCharSet_;
    std::vector<std::string> nestedBoundaries_;
    int partIndex_ = 0;
    int lineIndex_ = 0;
    bool headerMode_ = true;
    bool partHeaderBegun_ = false;
    bool partOpened_ = false;
    bool nestedBoundaryHit_ = false;
    bool messageClosed_ = false;  // the message's own close delimiter came: the rest is epilogue
    bool inlineFlag_ = false;
    bool heldBreak_ = false;      // a line break not yet delivered: it may belong to a boundary
    bool singlePartMime_ = false; // the single-part body is decoded as one MIME part
    bool stopped_ = false;        // no more lines are read
    int messageDepth_ = 0;
    LineHandler handler_ = LineHandler::MessageHeader;
    PartEncoding partEncoding_ = PartEncoding::Plain;
    const char* currentLine_ = nullptr;
    LineSplitter* splitter_ = nullptr; // the article's, while DecodeStream reads it

    std::string uuActiveName_;
    UuBlockReader uu_;
    Stream* sink_ = nullptr;
    std::string scratch_;    // quoted-printable and base64 output, reused
    std::string inlineLine_; // inline uudecoding output, reused per line
    YencDecoder yenc_;
};

} // namespace nimbra
