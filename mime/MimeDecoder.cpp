#include "mime/MimeDecoder.h"

#include "mime/LineDecoders.h"
#include "mime/LineSplitter.h"
#include "mime/MimeHeaderParser.h"
#include "mime/UuText.h"

#include <algorithm>
#include <cstring>

namespace nimbra {
namespace {

void fire(const MimeDecoder::Event& event, MimeDecoder& sender)
{
    if (event)
        event(sender);
}

} // namespace

MimeDecoder::MimeDecoder() = default;

MimeDecoder::~MimeDecoder() = default;

void MimeDecoder::DoHeaderBegin() { fire(OnHeaderBegin, *this); }
void MimeDecoder::DoHeaderLine() { fire(OnHeaderLine, *this); }
void MimeDecoder::DoHeaderEnd() { fire(OnHeaderEnd, *this); }
void MimeDecoder::DoPartHeaderBegin() { fire(OnPartHeaderBegin, *this); }
void MimeDecoder::DoPartHeaderLine() { fire(OnPartHeaderLine, *this); }
void MimeDecoder::DoPartHeaderEnd() { fire(OnPartHeaderEnd, *this); }
void MimeDecoder::DoPartBegin() { fire(OnPartBegin, *this); }
void MimeDecoder::DoPartEnd() { fire(OnPartEnd, *this); }
void MimeDecoder::DoMessageEnd() { fire(OnMessageEnd, *this); }

void MimeDecoder::DoPartLine(const char* Data, std::size_t DataLen)
{
    if (OnPartLine)
        OnPartLine(*this, Data, DataLen);
}

void MimeDecoder::DoInlineDecodeBegin(const std::string& Filename)
{
    if (OnInlineDecodeBegin)
        OnInlineDecodeBegin(*this, Filename);
}

void MimeDecoder::DoInlineDecodeLine(std::string_view Line)
{
    if (OnInlineDecodeLine)
        OnInlineDecodeLine(*this, Line);
}

void MimeDecoder::DoInlineDecodeEnd(const std::string& Filename)
{
    if (OnInlineDecodeEnd)
        OnInlineDecodeEnd(*this, Filename);
}

void MimeDecoder::reset()
{
    message_ = {};
    part_ = {};
    partCharSet_.clear();
    nestedBoundaries_.clear();
    partIndex_ = 0;
    lineIndex_ = 0;
    headerMode_ = true;
    partHeaderBegun_ = false;
    partOpened_ = false;
    nestedBoundaryHit_ = false;
    messageClosed_ = false;
    inlineFlag_ = false;
    heldBreak_ = false;
    singlePartMime_ = false;
    stopped_ = false;
    messageDepth_ = 0;
    uu_.reset();
    handler_ = LineHandler::MessageHeader;
    partEncoding_ = PartEncoding::Plain;
    currentLine_ = nullptr;
}

void MimeDecoder::clearTextFields()
{
    reset();
    uuActiveName_.clear();
}

namespace {

bool startsWith(const std::string& text, const char* prefix)
{
    return text.rfind(prefix, 0) == 0;
}

} // namespace

bool MimeDecoder::singlePartAttachment() const
{
    const std::string& encoding = message_.MsgTransferEncoding;
    return encoding == "base64" || encoding == "quoted-printable";
}

std::optional<std::string> MimeDecoder::PartFileName() const
{
    if (part_.PartType == "message/external-body")
        return std::nullopt;
    if (!part_.PartDispositionFilename.empty())
        return part_.PartDispositionFilename;
    if (!part_.PartTypeName.empty())
        return part_.PartTypeName;
    if (singlePartMime_ && part_.PartTransferEncoding == "base64" && !startsWith(part_.PartType, "text/"))
        return std::string();
    return std::nullopt;
}

void MimeDecoder::DecodeStream(Stream& stream)
{
    uuActiveName_.clear();
    reset();
    yenc_.reset();
    // The boundary list and the read buffer live for one article, also when a handler throws.
    struct Release {
        MimeDecoder& decoder;
        ~Release()
        {
            decoder.nestedBoundaries_ = {};
            decoder.currentLine_ = nullptr;
            decoder.splitter_ = nullptr;
        }
    } release{*this};

    LineSplitter splitter(stream, headerMode_, stopped_);
    splitter_ = &splitter;
    splitter.run([this](char* line, std::size_t length) { handleLine(line, length); });
    currentLine_ = nullptr;
    splitter_ = nullptr;
    yenc_.finish();
    uuStep(uu_.finish());
    flushHeldBreak();
    if (message_.MsgBoundary.empty() || partOpened_)
        DoPartEnd();
    DoMessageEnd();
}

void MimeDecoder::DeliverDecoded(const char* data, std::size_t len)
{
    if (len > 0 && inlineSwallows(data, len))
        return;
    DoPartLine(data, len);
    if (sink_ && len > 0)
        sink_->write(data, len);
}

void MimeDecoder::handleLine(char* line, std::size_t length)
{
    currentLine_ = line;
    switch (handler_) {
    case LineHandler::MessageHeader: messageHeaderLine(line, length); break;
    case LineHandler::SinglePartBody: singlePartBodyLine(line, length); break;
    case LineHandler::Preamble: preambleLine(line, length); break;
    case LineHandler::PartHeader: partHeaderLine(line, length); break;
    case LineHandler::PartData: partDataLine(line, length); break;
    case LineHandler::Epilogue: epilogueLine(line, length); break;
    }
}

void MimeDecoder::messageHeaderLine(char* line, std::size_t length)
{
    if (length == 0) {
        headerMode_ = false;
        DoHeaderEnd();
        lineIndex_ = 0;
        inlineFlag_ = false;
        if (message_.MsgType == "message/partial") {
            stopped_ = true;
        } else if (message_.MsgBoundary.empty() && singlePartAttachment()) {
            // The whole body is one part, described by the message header.
            singlePartMime_ = true;
            part_.PartType = message_.MsgType;
            part_.PartTransferEncoding = message_.MsgTransferEncoding;
            part_.PartTypeName = message_.MsgTypeName;
            part_.PartDispositionFilename = message_.MsgDispositionFilename;
            partEncoding_ = part_.PartTransferEncoding == "base64" ? PartEncoding::Base64
                                                                   : PartEncoding::QuotedPrintable;
            handler_ = LineHandler::PartData;
        } else if (message_.MsgBoundary.empty()) {
            handler_ = LineHandler::SinglePartBody;
        } else {
            DoPartBegin();
            handler_ = LineHandler::Preamble;
        }
        return;
    }
    if (++lineIndex_ == 1)
        DoHeaderBegin();
    MimeHeaderParser::messageLine(line, message_);
    DoHeaderLine();
}

void MimeDecoder::singlePartBodyLine(char* line, std::size_t length)
{
    if (++lineIndex_ == 1)
        DoPartBegin();
    bodyLine(line, length);
    // Inside a yEnc part every line up to the next "=y" line is data: the decoder takes them
    // all at once. Inside a uuencoded block the lines up to the next "=y" line (which alone
    // could wake the yEnc decoder) are taken in a run as well.
    if (!splitter_ || stopped_)
        return;
    if (yenc_.readingData())
        yenc_.feedData(splitter_->takeLinesUntil('=', 'y'));
    else if (uu_.inBlock() && !yenc_.active())
        uuLines(splitter_->takeLinesUntil('=', 'y'));
}

void MimeDecoder::preambleLine(char* line, std::size_t length)
{
    bool closing = false;
    const int level = boundaryLevel(line, length, false, closing);
    if (level >= 0) {
        nestedBoundaryHit_ = level > 0;
        endPart();
        return;
    }
    DeliverDecoded(line, length);
}

// A boundary ends the part before it and starts the next part's header.
void MimeDecoder::endPart()
{
    closePart();
    startPartHeader();
}

void MimeDecoder::closePart()
{
    yenc_.finish();
    uuStep(uu_.finish());
    heldBreak_ = false;  // the line break before a boundary is the boundary's
    partOpened_ = false;
    DoPartEnd();
}

// A delimiter of the multipart at level (see boundaryLevel) ends every multipart opened
// inside that one; a close delimiter ends that one too, and its epilogue follows.
void MimeDecoder::delimiterLine(int level, bool closing)
{
    const std::size_t stillOpen = level == 0 ? 0 : static_cast<std::size_t>(closing ? level - 1 : level);
    nestedBoundaries_.resize(std::min(stillOpen, nestedBoundaries_.size()));
    if (level == 0 && closing)
        messageClosed_ = true;
    if (handler_ != LineHandler::Epilogue)
        closePart();
    if (closing)
        handler_ = LineHandler::Epilogue;
    else
        startPartHeader();
}

void MimeDecoder::epilogueLine(char* line, std::size_t length)
{
    // Text between a close delimiter and the next delimiter of an enclosing multipart (or
    // the end of the article) belongs to no part.
    bool closing = false;
    const int level = boundaryLevel(line, length, true, closing);
    if (level >= 0)
        delimiterLine(level, closing);
}

void MimeDecoder::startPartHeader()
{
    part_ = {};
    headerMode_ = true;
    lineIndex_ = 0;
    inlineFlag_ = false;
    partHeaderBegun_ = false;
    handler_ = LineHandler::PartHeader;
}

void MimeDecoder::endPartHeader()
{
    if (!partHeaderBegun_) {
        ++partIndex_;
        DoPartHeaderBegin();
    }
    DoPartHeaderEnd();
    if (part_.PartType == "message/rfc822" && messageDepth_ < MaxMessageDepth) {
        // A forwarded message: its own header follows, then its body.
        ++messageDepth_;
        startPartHeader();
        return;
    }
    headerMode_ = false;
    lineIndex_ = 0;
    inlineFlag_ = false;
    const std::string& encoding = part_.PartTransferEncoding;
    partEncoding_ = encoding == "base64"             ? PartEncoding::Base64
                  : encoding == "quoted-printable" ? PartEncoding::QuotedPrintable
                  : encoding == "x-uuencode" || encoding == "x-xxencode" ? PartEncoding::Uuencode
                                                   : PartEncoding::Plain;
    handler_ = LineHandler::PartData;
}

void MimeDecoder::partHeaderLine(char* line, std::size_t length)
{
    if (length == 0) {
        endPartHeader();
        return;
    }
    if (++lineIndex_ == 1) {
        ++partIndex_;
        partHeaderBegun_ = true;
        DoPartHeaderBegin();
    }
    // A line that begins with white space cannot be a header: the data has begun.
    if (headerMode_ && (line[0] == '\t' || line[0] == ' ')) {
        endPartHeader();
        partDataLine(line, length);
        return;
    }
    MimeHeaderParser::partLine(line, part_, partCharSet_, nestedBoundaries_);
    DoPartHeaderLine();
}

void MimeDecoder::partDataLine(char* line, std::size_t length)
{
    if (length > 0) {
        bool closing = false;
        const int level = boundaryLevel(line, length, true, closing);
        if (level >= 0) {
            delimiterLine(level, closing);
            return;
        }
    }
    if (!partOpened_) {
        partOpened_ = true;
        DoPartBegin();
    }
    switch (partEncoding_) {
    case PartEncoding::Base64:
        DeliverDecoded(line, LineDecoders::base64(line, length));
        // No base64 line begins with "--", as every delimiter line does: the lines up to
        // the next such line are decoded here, one by one, without passing the splitter.
        if (splitter_ && !stopped_)
            base64Lines(splitter_->takeLinesUntil('-', '-'));
        break;
    case PartEncoding::QuotedPrintable: {
        // The appended CR LF may not fit over the line itself, so the output goes aside.
        if (scratch_.size() < length + 2)
            scratch_.resize(length + 2);
        bool softBreak = false;
        std::size_t count = LineDecoders::quotedPrintable(line, length, scratch_.data(), &softBreak);
        deliverQuotedLine(scratch_.data(), softBreak ? count : count - 2, softBreak);
        // The lines up to the next one that begins with "--" (which may be a delimiter) are
        // decoded here in one run.
        if (splitter_ && !stopped_)
            quotedPrintableLines(splitter_->takeLinesUntil('-', '-'));
        break;
    }
    case PartEncoding::Uuencode:
        bodyLine(line, length);
        break;
    case PartEncoding::Plain:
        flushHeldBreak();
        DeliverDecoded(line, length);
        heldBreak_ = true;
        break;
    }
}

// The bytes decoded from a run's lines are gathered and delivered together, in pieces of at
// most RunPiece bytes. decodeLine(line, length, at, flush) decodes one line (without its line
// end) into at, which has room for length + LineSlack bytes (a held line break before it and
// one after), and returns how many bytes there join the gathered ones; a line it must deliver
// alone it delivers after calling flush(), which delivers what was gathered before it, and
// returns 0.
template <class DecodeLine>
void MimeDecoder::gatherLines(std::string_view run, DecodeLine&& decodeLine)
{
    constexpr std::size_t RunPiece = std::size_t{256} << 10;
    constexpr std::size_t LineSlack = 4;
    if (scratch_.size() < std::min(run.size(), RunPiece) + LineSlack)
        scratch_.resize(std::min(run.size(), RunPiece) + LineSlack);
    char* out = scratch_.data();
    std::size_t held = 0;
    const auto flush = [&] {
        if (held > 0)
            DeliverDecoded(out, held);
        held = 0;
    };
    while (!run.empty()) {
        const std::size_t lf = run.find('\n');
        std::size_t length = lf == std::string_view::npos ? run.size() : lf;
        const char* line = run.data();
        run.remove_prefix(std::min(run.size(), length + 1));
        if (length > 0 && line[length - 1] == '\r')
            --length;
        if (held + length + LineSlack > scratch_.size()) {
            flush();
            if (scratch_.size() < length + LineSlack) {  // a line longer than a piece
                scratch_.resize(length + LineSlack);
                out = scratch_.data();
            }
        }
        const std::size_t kept = decodeLine(line, length, out + held, flush);
        held += kept;
    }
    flush();
}

void MimeDecoder::base64Lines(std::string_view run)
{
    // Only a line whose bytes might begin an inline "begin 666" block (or fall inside one) is
    // delivered alone, through the inline check, as it always was.
    gatherLines(run, [this](const char* line, std::size_t length, char* at, const auto& flush) -> std::size_t {
        const std::size_t count = LineDecoders::base64(line, length, at);
        if (count == 0 || (!inlineFlag_ && !mayBeginInline(at, count)))
            return count;
        flush();
        DeliverDecoded(at, count);
        return 0;
    });
}

void MimeDecoder::quotedPrintableLines(std::string_view run)
{
    // As partDataLine() takes each line: the line break held before it, then its bytes; a line
    // whose bytes might begin an inline "begin 666" block (or fall inside one) is delivered
    // alone, after what was gathered and its held break.
    gatherLines(run, [this](const char* line, std::size_t length, char* at, const auto& flush) -> std::size_t {
        char* text = at + (heldBreak_ ? 2 : 0);
        bool softBreak = false;
        std::size_t count = LineDecoders::quotedPrintable(line, length, text, &softBreak);
        if (!softBreak)
            count -= 2;
        if (!inlineFlag_ && !mayBeginInline(text, count)) {
            const std::size_t kept = static_cast<std::size_t>(text - at) + count;
            if (heldBreak_) {
                at[0] = '\r';
                at[1] = '\n';
            }
            heldBreak_ = !softBreak;
            return kept;
        }
        flush();
        deliverQuotedLine(text, count, softBreak);
        return 0;
    });
}

void MimeDecoder::deliverQuotedLine(const char* text, std::size_t count, bool softBreak)
{
    flushHeldBreak();
    if (count > 0)
        DeliverDecoded(text, count);
    heldBreak_ = !softBreak;
}

void MimeDecoder::uuLines(std::string_view run)
{
    // Each line goes through the block reader as bodyLine() would send it (the yEnc decoder
    // is idle and no line of the run begins with "=y", so it would take none); the bytes of
    // plain data lines are gathered, every other step is taken alone.
    gatherLines(run, [this](const char* line, std::size_t length, char* at, const auto& flush) -> std::size_t {
        ++lineIndex_;
        std::memcpy(at, line, length);
        at[length] = '\0';
        const UuBlockReader::Step step = uu_.feed(at, length);
        if (step.kind == UuBlockReader::Kind::Data && !inlineFlag_ && !mayBeginInline(at, step.bytes))
            return step.bytes;
        flush();
        currentLine_ = at;
        uuStep(step);
        return 0;
    });
}

void MimeDecoder::flushHeldBreak()
{
    if (!heldBreak_)
        return;
    heldBreak_ = false;
    DeliverDecoded("\r\n", 2);
}

int MimeDecoder::boundaryLevel(const char* line, std::size_t length, bool closingToo, bool& closing) const
{
    // Senders and servers may leave blanks after a boundary.
    while (length > 0 && (line[length - 1] == ' ' || line[length - 1] == '\t'))
        --length;
    auto matches = [&](const std::string& boundary) {
        if (boundary.empty())
            return false;
        closing = false;
        if (length == boundary.size())
            return UuText::equalsLowered(line, length, boundary);
        closing = closingToo && length == boundary.size() + 2 && line[length - 2] == '-' && line[length - 1] == '-'
               && UuText::equalsLowered(line, boundary.size(), boundary);
        return closing;
    };
    // The innermost open multipart first: an inner multipart may reuse the boundary of one
    // around it.
    for (std::size_t k = nestedBoundaries_.size(); k-- > 0;) {
        if (matches(nestedBoundaries_[k]))
            return static_cast<int>(k) + 1;
    }
    if (!messageClosed_ && matches(message_.MsgBoundary))
        return 0;
    return -1;
}

void MimeDecoder::bodyLine(char* line, std::size_t length)
{
    if (yenc_.feed(std::string_view(line, length)))
        return;
    uudecodeLine(line, length);
}

void MimeDecoder::uudecodeLine(char* line, std::size_t length)
{
    uuStep(uu_.feed(line, length));
}

void MimeDecoder::uuStep(const UuBlockReader::Step& step)
{
    using Kind = UuBlockReader::Kind;
    switch (step.kind) {
    case Kind::Ignored:
        return;
    case Kind::BlockBegun:
        uuActiveName_ = uu_.name();
        if (OnUuBegin)
            OnUuBegin(*this, uuActiveName_);
        break;
    case Kind::Continuation:
        uuActiveName_.assign(1, '-');  // not = "-": GCC 12 warns falsely of an overlap there
        if (OnUuContinue)
            OnUuContinue(*this);
        break;
    case Kind::Data:
        break;
    case Kind::Ended:
    case Kind::Cut:
        uuActiveName_.clear();
        if (OnUuEnd)
            OnUuEnd(*this, step.kind == Kind::Ended);
        return;
    }
    DeliverDecoded(currentLine_, step.bytes);
}

bool MimeDecoder::mayBeginInline(const char* data, std::size_t len)
{
    const std::size_t blanks = UuText::leadingBlanks(data, len);
    return UuText::startsWithLowered(std::string_view(data + blanks, len - blanks), "begin 666");
}

bool MimeDecoder::inlineSwallows(const char* data, std::size_t len)
{
    // Most deliveries are plain data with the flag off: look at their first bytes only.
    if (!inlineFlag_ && !mayBeginInline(data, len))
        return false;
    const std::string_view text = UuText::inlineText(data, len);
    if (text.empty())
        return false;
    if (!inlineFlag_) {
        if (UuText::isCutHereMarker(text))
            return false;
        uuActiveName_ = UuText::afterSpace(UuText::afterSpace(text));
        inlineFlag_ = true;
        DoInlineDecodeBegin(uuActiveName_);
        return true;
    }
    if (UuText::startsWithLowered(text, "end") && !UuText::isCutHereMarker(text)) {
        inlineFlag_ = false;
        DoInlineDecodeEnd(uuActiveName_);
        uuActiveName_.clear();
        return true;
    }
    if (inlineLine_.size() < text.size())
        inlineLine_.resize(text.size());
    const std::size_t count = LineDecoders::uudecode(text.data(), text.size(), inlineLine_.data());
    DoInlineDecodeLine(std::string_view(inlineLine_.data(), count));
    return true;
}

} // namespace nimbra
