#include "tests/mime/DecoderHarness.h"

#include <gtest/gtest.h>

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
                                "PartBegin", "PartEnd", "PartHeaderBegin", "MessageEnd"}));
    EXPECT_EQ(h.delivered, "preambleplain line\r\nABC");
    EXPECT_EQ(h.decoder.PartIndex(), 3);
    EXPECT_EQ(h.decoder.message().MsgSubject, "two parts");
    EXPECT_EQ(h.decoder.part().PartType, ""); // the epilogue was read as a part header
}

TEST(MimeDecoder, SinglePartBodyIgnoresItsTransferEncoding)
{
    DecoderHarness h;
    h.decode("Content-Transfer-Encoding: base64\r\n\r\nQUJD\r\n");
    EXPECT_EQ(h.events, (Events{"HeaderBegin", "HeaderEnd", "PartBegin", "PartEnd", "MessageEnd"}));
    EXPECT_EQ(h.delivered, ""); // the line went to the uudecoding handler, which saw no begin
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
    EXPECT_EQ(h.delivered, "caf\xe9 softend\r\n");
    EXPECT_EQ(h.decoder.PartIndex(), 3); // "--outer--" came as a part header line
}

TEST(MimeDecoder, PartHeaderEndsAtLineStartingWithWhitespace)
{
    DecoderHarness h;
    h.decode("Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n\r\n"
             "--b\r\n  indented data\r\nmore\r\n");
    EXPECT_EQ(h.delivered, "  indented data\r\nmore\r\n");
}

TEST(MimeDecoder, HandlerExceptionPassesOutAndDecoderStaysUsable)
{
    DecoderHarness h;
    h.decoder.OnPartBegin = [](MimeDecoder&) { throw std::runtime_error("handler failed"); };
    EXPECT_THROW(h.decode(Multipart), std::runtime_error);
    h.decoder.OnPartBegin = nullptr;
    h.delivered.clear();
    h.decode(Multipart);
    EXPECT_EQ(h.delivered, "preambleplain line\r\nABC");
}

} // namespace
} // namespace nimbra::test
