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
    const std::string name = h.article(
        "Subject: holiday pictures\r\nMIME-Version: 1.0\r\n"
        "Content-Type: multipart/mixed;\r\n boundary=\"=_part_7\"\r\n\r\n"
        "This is a multi-part message in MIME format.\r\n"
        "--=_part_7\r\nContent-Type: text/plain\r\n\r\nSee the attachment.\r\n"
        "--=_part_7\r\n" + partHeader + "\r\n" + body + "--=_part_7--\r\n");
    return {name, h.fileText(name)};
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
    const std::string name = h.article("Subject: a picture in one article\n\nHere it is:\n\n" + fixture("picture.uue")
                                       + "-- \nsignature\n");
    EXPECT_EQ(name, "picture.jpg");
    EXPECT_EQ(h.fileText(name), fixture("picture.jpg"));
}

TEST(RoundTrip, PictureSplitOverThreeArticles)
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

    DecoderHarness h;
    EXPECT_EQ(h.article("Subject: picture.jpg (1/3)\r\n\r\n" + run(0, third)), "picture.jpg");
    EXPECT_EQ(h.session.lastFileName, "picture.jpg");
    EXPECT_EQ(h.article("Subject: picture.jpg (2/3)\r\n\r\nsection 2 of picture.jpg\r\n" + run(third, 2 * third)),
              "picture.jpg");
    EXPECT_EQ(h.article("Subject: picture.jpg (3/3)\r\n\r\nsection 3 of picture.jpg\r\n" + run(2 * third, lines.size())),
              "picture.jpg");
    EXPECT_TRUE(h.session.uuEndSeen);
    EXPECT_EQ(h.fileText("picture.jpg"), fixture("picture.jpg"));
    EXPECT_EQ(h.files(), std::vector<std::string>{"picture.jpg"});
}

} // namespace
} // namespace nimbra::test
