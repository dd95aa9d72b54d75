#include "mime/LineDecoders.h"
#include "tests/mime/DecoderHarness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <stdexcept>

namespace nimbra::test {
namespace {

using Events = std::vector<std::string>;

const char* const Multipart =
    "From: poster@example.org\r\n"
    "Subject: two parts\r\n"
    "Content-Type: multipart/mixed; boundary=\"XyZ\"\r\n"
    "\r\n"
    "preamble\r\n"
    "--xyz\r\n"
    "Content-Type: text/plain\r\n"
    "\r\n"
    "plain line\r\n"
    "--XYZ\r\n"
    "Content-Type: application/octet-stream; name=\"data.bin\"\r\n"
    "Content-Transfer-Encoding: base64\r\n"
    "\r\n"
    "QUJD\r\n"
    "--XyZ--\r\n"
    "epilogue\r\n";

TEST(MimeDecoder, MultipartEventsComeInArticleOrder)
{
    DecoderHarness h;
    h.decode(Multipart);
    EXPECT_EQ(h.events, (Events{"HeaderBegin", "HeaderEnd", "PartBegin", "PartEnd", "PartHeaderBegin",
                                "PartHeaderEnd", "PartBegin", "PartEnd", "PartHeaderBegin", "PartHeaderEnd",
                                "PartBegin", "PartEnd", "MessageEnd"}));
    EXPECT_EQ(h.delivered, "preambleplain lineABC"); // the line break before a boundary is its own
    EXPECT_EQ(h.decoder.PartIndex(), 2);              // the epilogue is no part
    EXPECT_EQ(h.decoder.message().MsgSubject, "two parts");
}

TEST(MimeDecoder, ASinglePartBase64BodyIsDecodedAsTheArticlesOneAttachment)
{
    DecoderHarness h;
    h.decode("Content-Type: image/jpeg; name=\"type.jpg\"\r\nContent-Transfer-Encoding: base64\r\n"
             "Content-Disposition: inline; filename=\"disposition.jpg\"\r\n\r\nQUJD\r\nREVG\r\n");
    EXPECT_EQ(h.events, (Events{"HeaderBegin", "HeaderEnd", "PartBegin", "PartEnd", "MessageEnd"}));
    ASSERT_EQ(h.outputs.size(), 1u);
    EXPECT_EQ(h.outputs[0].name, "disposition.jpg"); // the disposition's name wins
    EXPECT_EQ(h.outputs[0].bytes, "ABCDEF");

    DecoderHarness unnamed;
    unnamed.decode("Content-Transfer-Encoding: base64\r\n\r\nQUJD\r\n");
    ASSERT_EQ(unnamed.outputs.size(), 1u);
    EXPECT_EQ(unnamed.outputs[0].name, ""); // an attachment the saving code names
    EXPECT_EQ(unnamed.outputs[0].bytes, "ABC");
}

TEST(MimeDecoder, ASinglePartQuotedPrintableTextIsAFileOnlyWhenNamed)
{
    DecoderHarness text;
    text.decode("Content-Type: text/plain\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\ncaf=E9\r\n");
    EXPECT_TRUE(text.outputs.empty());
    EXPECT_EQ(text.delivered, "caf\xe9\r\n");

    DecoderHarness named;
    named.decode("Content-Type: text/plain; name=note.txt\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
                 "a=3Db\r\n");
    ASSERT_EQ(named.outputs.size(), 1u);
    EXPECT_EQ(named.outputs[0].name, "note.txt");
    EXPECT_EQ(named.outputs[0].bytes, "a=b\r\n");
}

// A line of text as a quoted-printable encoder may write it: some bytes as "=XX", and, when
// softBreaks, broken with soft line breaks ("=" at the end) at random places.
std::string quotedPrintable(const std::string& text, bool softBreaks, std::mt19937& random)
{
    static const char* const Hex = "0123456789ABCDEF";
    std::string out;
    std::size_t column = 0;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        std::string piece(1, c);
        if (c == '=' || byte >= 127 || random() % 8 == 0)
            piece = std::string{'=', Hex[byte >> 4], Hex[byte & 15]};
        if (softBreaks && column > 0 && random() % 20 == 0) {
            out += "=\r\n";
            column = 0;
        }
        out += piece;
        column += piece.size();
    }
    return out;
}

// A quoted-printable part's lines are decoded in runs; the same text sent plain goes line by
// line. Both must give the same bytes, and the same inline uuencoded files, whatever lines
// (some beginning with "--", some a "begin" line or uuencoded data) come.
TEST(MimeDecoder, QuotedPrintableRunsGiveWhatThePlainTextGives)
{
    std::mt19937 random(11);
    long inlineBlocks = 0;
    for (int round = 0; round < 200; ++round) {
        std::vector<std::string> lines;
        const int count = 1 + static_cast<int>(random() % 300);
        const bool withInline = round % 2 == 1;
        for (int k = 0; k < count; ++k) {
            switch (random() % (withInline ? 12 : 11) + (withInline ? 0 : 1)) {
            case 0:
                lines.push_back((random() % 2 ? "begin 666 f" : "  BEGIN 666 f") + std::to_string(k) + ".jpg");
                lines.insert(lines.end(), random() % 4, "#86)C");
                break;
            case 1: lines.push_back("#86)C"); break;
            case 2: lines.push_back("`"); break;
            case 3: lines.push_back("end"); break;
            case 4: lines.push_back(""); break;
            case 5: lines.push_back("-- not a boundary --"); break;
            case 6: lines.push_back(std::string(200 + random() % 300, 'w') + " = long"); break;
            default: {
                std::string text(random() % 70, '\0');
                for (char& c : text)
                    c = static_cast<char>(32 + random() % 224);
                lines.push_back(text);
            }
            }
        }
        std::string encoded;
        std::string plain;
        for (const std::string& line : lines) {
            // A line broken by a soft break reaches the inline check in pieces, as a plain
            // line does not: soft breaks only in the rounds without inline blocks.
            encoded += quotedPrintable(line, !withInline, random) + "\r\n";
            plain += line + "\r\n";
        }
        const std::string head = "Subject: a note\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\n"
                                 "Content-Type: text/plain\r\n";
        DecoderHarness runs;
        DecoderHarness lineByLine;
        std::vector<std::string> inlineEvents[2];
        for (int k = 0; k < 2; ++k) {
            MimeDecoder& decoder = (k == 0 ? runs : lineByLine).decoder;
            std::vector<std::string>& seen = inlineEvents[k];
            decoder.OnInlineDecodeBegin = [&seen](MimeDecoder&, const std::string& name) { seen.push_back("begin " + name); };
            decoder.OnInlineDecodeLine = [&seen](MimeDecoder&, std::string_view line) { seen.push_back(std::string(line)); };
            decoder.OnInlineDecodeEnd = [&seen](MimeDecoder&, const std::string& name) { seen.push_back("end " + name); };
        }
        runs.decode(head + "Content-Transfer-Encoding: quoted-printable\r\n\r\n" + encoded + "--b--\r\n", round % 4 < 2);
        lineByLine.decode(head + "Content-Transfer-Encoding: 8bit\r\n\r\n" + plain + "--b--\r\n");
        ASSERT_TRUE(runs.delivered == lineByLine.delivered) << round;
        ASSERT_EQ(inlineEvents[0], inlineEvents[1]) << round;
        inlineBlocks += std::count_if(inlineEvents[1].begin(), inlineEvents[1].end(),
                                      [](const std::string& event) { return event.rfind("begin ", 0) == 0; });
        ASSERT_EQ(runs.outputs.size(), lineByLine.outputs.size()) << round;
        for (std::size_t k = 0; k < runs.outputs.size(); ++k) {
            ASSERT_EQ(runs.outputs[k].name, lineByLine.outputs[k].name) << round;
            ASSERT_TRUE(runs.outputs[k].bytes == lineByLine.outputs[k].bytes) << round << " " << k;
            ASSERT_EQ(runs.outputs[k].ended, lineByLine.outputs[k].ended) << round;
        }
    }
    EXPECT_GT(inlineBlocks, 100);  // the inline check was met often
}

TEST(MimeDecoder, AForwardedMessagesPartsAreFound)
{
    DecoderHarness h;
    h.decode("Content-Type: multipart/mixed; boundary=outer\r\n\r\n"
             "--outer\r\nContent-Type: text/plain\r\n\r\nSee below.\r\n"
             "--outer\r\nContent-Type: message/rfc822\r\n\r\n"
             "From: someone\r\nSubject: the original\r\nMIME-Version: 1.0\r\n"
             "Content-Type: multipart/mixed;\r\n\tboundary=\"inner\"\r\n\r\n"
             "inner preamble\r\n--inner\r\nContent-Type: text/plain\r\n\r\nhello\r\n"
             "--inner\r\nContent-Type: application/octet-stream; name=\"deep.bin\"\r\n"
             "Content-Transfer-Encoding: base64\r\n\r\nQUJD\r\n--inner--\r\n\r\n--outer--\r\n");
    ASSERT_EQ(h.outputs.size(), 1u);
    EXPECT_EQ(h.outputs[0].name, "deep.bin");
    EXPECT_EQ(h.outputs[0].bytes, "ABC");
}

TEST(MimeDecoder, EveryContentTypeParameterIsReadInAnyOrder)
{
    DecoderHarness h;
    h.decode("Content-Type: multipart/signed; protocol=\"application/pgp-signature\"; micalg=pgp-sha1;\r\n"
             " boundary=\"sig\"\r\n\r\n--sig  \r\nContent-Type: application/octet-stream; name=a.bin\r\n"
             "Content-Transfer-Encoding: base64\r\n\r\nQUJD\r\n--sig--\t\r\n");
    ASSERT_EQ(h.outputs.size(), 1u);
    EXPECT_EQ(h.outputs[0].name, "a.bin");
    EXPECT_EQ(h.outputs[0].bytes, "ABC");
    EXPECT_EQ(h.decoder.message().MsgBoundary, "--sig");
}

TEST(MimeDecoder, AnExternalBodyPointerIsNoFile)
{
    DecoderHarness h;
    h.decode("Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
             "Content-Type: message/external-body; access-type=URL; URL=\"http://example.org/big.iso\"; "
             "name=\"big.iso\"\r\n\r\nContent-Type: application/octet-stream\r\n\r\n--b--\r\n");
    EXPECT_TRUE(h.outputs.empty());
}

TEST(MimeDecoder, APieceOfAMessagePartialIsNotDecodedOnItsOwn)
{
    // The piece holds the start of a message with a uuencoded body: it means something only
    // when joined with the other pieces, so it must not begin a file here.
    DecoderHarness h;
    h.decode("Content-Type: message/partial; id=\"p@x\"; number=1; total=2\r\n\r\n"
             "Subject: inner\r\n\r\nbegin 644 inner.bin\r\n#86)C\r\n`\r\nend\r\n");
    EXPECT_EQ(h.events, (Events{"HeaderBegin", "HeaderEnd", "PartEnd", "MessageEnd"}));
    EXPECT_TRUE(h.outputs.empty());
    EXPECT_EQ(h.delivered, "");
    EXPECT_EQ(h.decoder.message().MsgPartialNumber, "1");
}

TEST(MimeDecoder, EmptyArticleEndsPartAndMessageOnly)
{
    DecoderHarness h;
    h.decode("");
    EXPECT_EQ(h.events, (Events{"PartEnd", "MessageEnd"}));
}

TEST(MimeDecoder, NestedBoundaryEndsPartsAndQuotedPrintableDecodes)
{
    DecoderHarness h;
    h.decode("Content-Type: multipart/mixed; boundary=outer\r\n\r\n"
             "--outer\r\n"
             "Content-Type: multipart/alternative; boundary=\"Inner\"\r\n\r\n"
             "--inner\r\n"
             "Content-Transfer-Encoding: quoted-printable\r\n\r\n"
             "caf=E9 soft=\r\n"
             "end\r\n"
             "--inner--\r\n"
             "--outer--\r\n");
    EXPECT_EQ(h.decoder.NestedBoundaries().size(), 0u); // released after the article
    EXPECT_EQ(h.delivered, "caf\xe9 softend");
    EXPECT_EQ(h.decoder.PartIndex(), 2); // "--outer--" closed the message after the inner close
}

TEST(MimeDecoder, AnInnerMultipartMayReuseTheBoundaryAroundIt)
{
    // A delimiter belongs to the innermost open multipart with that boundary: the first close
    // ends the inner multipart, the next delimiter continues the message.
    DecoderHarness h;
    h.decode("Content-Type: multipart/mixed; boundary=same\r\n\r\n"
             "--same\r\nContent-Type: text/plain\r\n\r\nsee below\r\n"
             "--same\r\nContent-Type: multipart/alternative; boundary=\"same\"\r\n\r\n"
             "--same\r\nContent-Type: text/plain\r\n\r\nplain\r\n"
             "--same\r\nContent-Type: text/html\r\n\r\n<p>html</p>\r\n"
             "--same--\r\ninner epilogue\r\n"
             "--same\r\nContent-Type: application/octet-stream; name=\"after.bin\"\r\n"
             "Content-Transfer-Encoding: base64\r\n\r\nQUJD\r\n"
             "--same--\r\n"
             "Content-Type: image/jpeg; name=\"epilogue.jpg\"\r\nContent-Transfer-Encoding: base64\r\n\r\n"
             "REVG\r\n--same\r\n\r\nR0hJ\r\n");
    ASSERT_EQ(h.outputs.size(), 1u);
    EXPECT_EQ(h.outputs[0].name, "after.bin");
    EXPECT_EQ(h.outputs[0].bytes, "ABC");
    EXPECT_EQ(h.delivered, "see belowplain<p>html</p>ABC"); // neither epilogue reaches a part
}

TEST(MimeDecoder, ADelimiterOfTheMessageClosesMultipartsLeftOpenInsideIt)
{
    DecoderHarness h;
    h.decode("Content-Type: multipart/mixed; boundary=outer\r\n\r\n"
             "--outer\r\nContent-Type: multipart/alternative; boundary=inner\r\n\r\n"
             "--inner\r\nContent-Type: text/plain\r\n\r\nno close delimiter follows\r\n"
             "--outer\r\nContent-Type: text/plain; name=\"note.txt\"\r\n\r\nfirst\r\n--inner\r\nlast\r\n"
             "--outer--\r\n");
    ASSERT_EQ(h.outputs.size(), 1u);
    // The inner multipart is over: its boundary is text now.
    EXPECT_EQ(h.outputs[0].bytes, "first\r\n--inner\r\nlast");
}

TEST(MimeDecoder, PartHeaderEndsAtLineStartingWithWhitespace)
{
    DecoderHarness h;
    h.decode("Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n\r\n"
             "--b\r\n  indented data\r\nmore\r\n");
    EXPECT_EQ(h.delivered, "  indented data\r\nmore\r\n");
}

TEST(MimeDecoder, Base64PartsReadInPlaceOrThroughCopiesGiveTheSameEvents)
{
    // Long parts (past one read of the splitter), empty and blank lines, a line cut short by
    // a space or a NUL, a "--" line that is no delimiter, a nested multipart, a delimiter
    // with blanks after it, and a last line without its line end.
    std::string lines;
    for (int k = 0; k < 4000; ++k)
        lines += std::string(k % 97 == 0 ? "" : k % 89 == 0 ? "  QUJD RUZH" : k % 7 == 0 ? "QUJDREU" : "QUJDREVGR0hJSktMTU5PUFFSU1RVVldY")
               + (k % 101 == 0 ? std::string(1, '\0') + "QUJD" : "") + (k % 3 ? "\r\n" : "\n");
    const std::string article = "Subject: many\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\n"
        "Content-Type: application/octet-stream; name=\"one.bin\"\r\nContent-Transfer-Encoding: base64\r\n\r\n"
        + lines + "--not-a-delimiter\r\nQUJD\r\n--b  \r\n"
        "Content-Type: multipart/mixed; boundary=\"inner\"\r\n\r\n--inner\r\n"
        "Content-Type: image/jpeg; name=\"two.jpg\"\r\nContent-Transfer-Encoding: base64\r\n\r\n"
        + lines + "--inner--\r\n--b\r\n"
        "Content-Type: application/octet-stream; name=\"three.bin\"\r\nContent-Transfer-Encoding: base64\r\n\r\n"
        + lines + "QUJD";
    DecoderHarness inPlace;
    DecoderHarness copied;
    inPlace.decode(article);
    copied.decode(article, true);
    EXPECT_EQ(inPlace.events, copied.events);
    EXPECT_TRUE(inPlace.delivered == copied.delivered);
    ASSERT_EQ(inPlace.outputs.size(), 3u);
    ASSERT_EQ(copied.outputs.size(), 3u);
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_EQ(inPlace.outputs[k].name, copied.outputs[k].name);
        EXPECT_TRUE(inPlace.outputs[k].bytes == copied.outputs[k].bytes) << k;
    }
    // And each line decoded as it stands.
    auto eachLine = [](const std::string& text) {
        std::string out;
        std::size_t from = 0;
        while (from < text.size()) {
            const std::size_t lf = std::min(text.find('\n', from), text.size());
            std::string line = text.substr(from, lf - from);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            line.push_back('\0');
            out.append(line.data(), LineDecoders::base64(line.data(), line.size() - 1));
            from = lf + 1;
        }
        return out;
    };
    EXPECT_TRUE(inPlace.outputs[0].bytes == eachLine(lines + "--not-a-delimiter\r\nQUJD\r\n"));
    EXPECT_TRUE(inPlace.outputs[1].bytes == eachLine(lines));
    EXPECT_TRUE(inPlace.outputs[2].bytes == eachLine(lines + "QUJD"));
}

TEST(MimeDecoder, HandlerExceptionPassesOutAndDecoderStaysUsable)
{
    DecoderHarness h;
    h.decoder.OnPartBegin = [](MimeDecoder&) { throw std::runtime_error("handler failed"); };
    EXPECT_THROW(h.decode(Multipart), std::runtime_error);
    h.decoder.OnPartBegin = nullptr;
    h.delivered.clear();
    h.decode(Multipart);
    EXPECT_EQ(h.delivered, "preambleplain lineABC"); // the line break before a boundary is its own
}

} // namespace
} // namespace nimbra::test
