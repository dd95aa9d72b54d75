#include "tests/mime/DecoderHarness.h"

#include <gtest/gtest.h>

#include <sstream>

namespace nimbra::test {
namespace {

std::string fixture(const char* name)
{
    return readFile(std::string(NIMBRA_TEST_DATA) + "/" + name);
}

using SavedFile = std::pair<std::string, std::string>;

// Saves the attachment of a two-part article; returns the file's name and bytes.
SavedFile savedAttachment(const std::string& partHeader, const std::string& body)
{
    DecoderHarness h;
    h.decode(
        "Subject: holiday pictures\r\nMIME-Version: 1.0\r\n"
        "Content-Type: multipart/mixed;\r\n boundary=\"=_part_7\"\r\n\r\n"
        "This is a multi-part message in MIME format.\r\n"
        "--=_part_7\r\nContent-Type: text/plain\r\n\r\nSee the attachment.\r\n"
        "--=_part_7\r\n" + partHeader + "\r\n" + body + "\r\n--=_part_7--\r\n");
    if (h.outputs.size() != 1)
        return {"outputs: " + std::to_string(h.outputs.size()), ""};
    return {h.outputs[0].name, h.outputs[0].bytes};
}

TEST(RoundTrip, Base64Attachment)
{
    EXPECT_EQ(savedAttachment("Content-Type: image/jpeg;\r\n\tname=\"picture.jpg\"\r\n"
                              "Content-Transfer-Encoding: base64\r\n",
                              crlf(fixture("picture.b64"))),
              SavedFile("picture.jpg", fixture("picture.jpg")));
}

TEST(RoundTrip, QuotedPrintableText)
{
    EXPECT_EQ(savedAttachment("Content-Type: text/plain; charset=iso-8859-1; name=\"text.txt\"\r\n"
                              "Content-Transfer-Encoding: quoted-printable\r\n",
                              crlf(fixture("text.qp"))),
              SavedFile("text.txt", crlf(fixture("text.txt"))));
}

TEST(RoundTrip, PlainTextPartEndsWhereItsLastLineEnds)
{
    // The line break before the boundary is the boundary's (the helper adds it).
    EXPECT_EQ(savedAttachment("Content-Type: text/plain; name=\"note.txt\"\r\n", "line one\r\nline two"),
              SavedFile("note.txt", "line one\r\nline two"));
    EXPECT_EQ(savedAttachment("Content-Type: text/plain; name=\"note.txt\"\r\nContent-Transfer-Encoding: 7bit\r\n",
                              "line one\r\n"),
              SavedFile("note.txt", "line one\r\n"));
    EXPECT_EQ(savedAttachment("Content-Type: text/plain; name=\"note.txt\"\r\nContent-Transfer-Encoding: "
                              "quoted-printable\r\n",
                              "soft=\r\nbreak=3D"),
              SavedFile("note.txt", "softbreak="));
}

TEST(RoundTrip, XUuencodePart)
{
    // The part names no file; its begin line makes one.
    EXPECT_EQ(savedAttachment("Content-Type: application/octet-stream\r\nContent-Transfer-Encoding: x-uuencode\r\n",
                              crlf(fixture("picture.uue"))),
              SavedFile("picture.jpg", fixture("picture.jpg")));
}

TEST(RoundTrip, UuencodedBodyWithBareLineFeeds)
{
    DecoderHarness h;
    h.decode("Subject: a picture in one article\n\nHere it is:\n\n" + fixture("picture.uue") + "-- \nsignature\n");
    ASSERT_EQ(h.outputs.size(), 1u);
    EXPECT_EQ(h.outputs[0].name, "picture.jpg");
    EXPECT_TRUE(h.outputs[0].ended);
    EXPECT_EQ(h.outputs[0].bytes, fixture("picture.jpg"));
}

TEST(RoundTrip, ContinuationArticlesGiveTheirDataFromTheFirstLine)
{
    std::vector<std::string> lines;
    std::istringstream uue(fixture("picture.uue"));
    for (std::string line; std::getline(uue, line);)
        lines.push_back(line + "\r\n");
    auto run = [&](std::size_t from, std::size_t to) {
        std::string text;
        for (std::size_t i = from; i < to; ++i)
            text += lines[i];
        return text;
    };
    const std::size_t third = lines.size() / 3;

    // The common form: the second and third bodies start straight with data lines.
    DecoderHarness h;
    h.decode("Subject: picture.jpg (1/3)\r\n\r\n" + run(0, third));
    h.decode("Subject: picture.jpg (2/3)\r\n\r\n" + run(third, 2 * third));
    h.decode("Subject: picture.jpg (3/3)\r\n\r\nsection 3 of picture.jpg\r\n" + run(2 * third, lines.size()));
    ASSERT_EQ(h.outputs.size(), 3u);
    EXPECT_EQ(h.outputs[0].name, "picture.jpg");
    EXPECT_FALSE(h.outputs[0].ended);
    EXPECT_TRUE(h.outputs[1].continuation);
    EXPECT_FALSE(h.outputs[1].ended);
    EXPECT_TRUE(h.outputs[2].continuation);
    EXPECT_TRUE(h.outputs[2].ended);
    EXPECT_EQ(h.outputs[0].bytes + h.outputs[1].bytes + h.outputs[2].bytes, fixture("picture.jpg"));
}

} // namespace
} // namespace nimbra::test
