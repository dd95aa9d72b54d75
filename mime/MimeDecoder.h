#pragma once

#include "mime/MimeHeaderFields.h"
#include "mime/UuSessionState.h"
#include "mime/YencDecoder.h"
#include "platform/FileStream.h"
#include "platform/Stream.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nimbra {

// Splits one article (header, blank line, body) into lines, parses the message header and,
// for a multipart body, each part's header, and decodes the body: base64, quoted-printable
// and x-uuencode parts by their encoding, other parts passed through with CR LF added, and
// every line of a single-part body through the uudecoding line handler, which finds "begin"
// lines and makes or reopens the output file itself, so that a file posted over several
// consecutive articles is joined.
//
// Events fire synchronously from DecodeStream, in the order an article's lines bring them:
//   OnHeaderBegin, OnHeaderLine..., OnHeaderEnd, then for a single-part body OnPartBegin
//   (first body line) and OnPartLine...; for a multipart body OnPartBegin (the preamble) and
//   per part OnPartEnd (at its boundary), OnPartHeaderBegin, OnPartHeaderLine...,
//   OnPartHeaderEnd, OnPartBegin (first data line), OnPartLine...; at the end OnPartEnd when
//   the body is single-part or a part is open, then OnMessageEnd.
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

    // session must outlive the decoder.
    explicit MimeDecoder(UuSessionState& session);
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

    // Decodes the stream from its current position to its end (the caller rewinds it).
    // Resets every field except UuFileName and the output file first.
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
    const std::vector<std::string>& NestedBoundaries() const { return nestedBoundaries_; }
    bool NestedBoundaryHit() const { return nestedBoundaryHit_; }

    // The name to save the current part under: the content-type name, else the disposition
    // filename, made safe for the target folder (SafeName::attachment). std::nullopt when the
    // part names no file. An empty string when it names one but nothing of the name is
    // usable: the caller then saves under UniqueFileName::randomJpg.
    std::optional<std::string> PartFileName() const;

    // The file the uudecoding path made or reopened for this article; already safe, and it
    // names a file directly inside the target folder. It survives DecodeStream's reset;
    // clearTextFields() empties it.
    const std::string& UuFileName() const { return uuFileName_; }
    // Non-empty while uuencoded data lines are being decoded.
    const std::string& UuActiveName() const { return uuActiveName_; }

    // The output file slot. The uudecoding path fills it at begin and continuation lines; the
    // saving code fills it at OnPartBegin, writes OnPartLine bytes into it and closes it at
    // OnPartEnd and after each article. Putting a new file in closes the one held.
    FileStream* OutputFile() const { return outputFile_.get(); }
    void setOutputFile(std::unique_ptr<FileStream> file) { outputFile_ = std::move(file); }
    // Closes and releases the output file; false when a write to it failed.
    bool closeOutputFile();

    // The yEnc decoder that sees every line bound for the uudecoding path first and keeps the
    // lines of its blocks ("=ybegin" to "=yend"). The saving code binds its events; a block
    // still open when its part or the article ends is ended unconfirmed.
    YencDecoder& Yenc() { return yenc_; }

    // Every delivered byte run is also written here; not owned, may be null.
    void setSinkStream(Stream* sink) { sink_ = sink; }

    // Empties every text field, UuFileName included; the saving code calls it after each
    // article.
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
    enum class LineHandler { MessageHeader, SinglePartBody, Preamble, PartHeader, PartData };
    enum class PartEncoding { Plain, Base64, QuotedPrintable, Uuencode };

    void reset();
    void handleLine(char* line, std::size_t length);
    void messageHeaderLine(char* line, std::size_t length);
    void singlePartBodyLine(char* line, std::size_t length);
    void preambleLine(char* line, std::size_t length);
    void partHeaderLine(char* line, std::size_t length);
    void partDataLine(char* line, std::size_t length);
    void endPartHeader();
    void endPart();
    bool isBoundary(const char* line, std::size_t length, bool closingToo) const;

    // Every line of a single-part body and of an x-uuencode part passes here. Body formats
    // recognised by their own lines (yEnc) hook in before the uudecoding line handler.
    void bodyLine(char* line, std::size_t length);
    void uudecodeLine(char* line, std::size_t length);
    bool inlineSwallows(const char* data, std::size_t len);

    UuSessionState& session_;
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
    bool inlineFlag_ = false;
    LineHandler handler_ = LineHandler::MessageHeader;
    PartEncoding partEncoding_ = PartEncoding::Plain;
    const char* currentLine_ = nullptr;

    std::string uuFileName_;
    std::string uuActiveName_;
    std::unique_ptr<FileStream> outputFile_;
    Stream* sink_ = nullptr;
    std::string scratch_;    // quoted-printable output, reused per line
    std::string inlineLine_; // inline uudecoding output, reused per line
    YencDecoder yenc_;
};

} // namespace nimbra
