#include "mime/MimeHeaderParser.h"

#include <gtest/gtest.h>

namespace nimbra {
namespace {

TEST(MimeHeaderParser, MessageHeaderValues)
{
    MessageHeaderFields m;
    MimeHeaderParser::messageLine("Subject: Pic (1/2)", m);
    MimeHeaderParser::messageLine("Return-Path: <poster@example.org>", m);
    MimeHeaderParser::messageLine("Content-Type : Multipart/Mixed; boundary=\"=_Next_PART\"", m);
    MimeHeaderParser::messageLine("Content-Transfer-Encoding: 7BIT", m);
    MimeHeaderParser::messageLine("From poster no colon", m);
    EXPECT_EQ(m.MsgSubject, "Pic (1/2)");
    EXPECT_EQ(m.MsgReturnPath, "poster@example.org");
    EXPECT_EQ(m.MsgType, "multipart/mixed");
    EXPECT_EQ(m.MsgBoundary, "--=_next_part");
    EXPECT_EQ(m.MsgTransferEncoding, "7bit");
    EXPECT_EQ(m.MsgFrom, "");

    MessageHeaderFields text;
    MimeHeaderParser::messageLine("Content-Type: text/plain; charset=ISO-8859-1", text);
    EXPECT_EQ(text.MsgCharSet, "ISO-8859-1");
}

TEST(MimeHeaderParser, PartHeaderParameters)
{
    PartHeaderFields p;
    std::string charset;
    std::vector<std::string> nested;
    MimeHeaderParser::partLine("Content-Type: image/jpeg; name=Pic.JPG; boundary=\"In-Ner\"", p, charset, nested);
    MimeHeaderParser::partLine("Content-ID: <id@host>", p, charset, nested);
    MimeHeaderParser::partLine("Content-Type: text/plain; charset=\"ISO-8859-1\"", p, charset, nested);
    MimeHeaderParser::partLine("content-transfer-encoding: BASE(64)", p, charset, nested);
    EXPECT_EQ(p.PartType, "text/plain");
    EXPECT_EQ(charset, "ISO-8859-1");
    EXPECT_EQ(p.PartTypeName, "pic.jpg"); // unquoted parameters are lower-cased
    EXPECT_EQ(nested, std::vector<std::string>{"--in-ner"});
    EXPECT_EQ(p.PartId, "id@host");
    EXPECT_EQ(p.PartTransferEncoding, "base64"); // parenthesised text is kept, without the parentheses
}

TEST(MimeHeaderParser, DispositionScanStopsAfterFirstParameterWithValue)
{
    auto filename = [](const char* line) {
        PartHeaderFields p;
        std::string charset;
        std::vector<std::string> nested;
        MimeHeaderParser::partLine(line, p, charset, nested);
        return p.PartDispositionFilename;
    };
    EXPECT_EQ(filename("Content-Disposition: attachment; size=1234; filename=\"x.jpg\""), "");
    EXPECT_EQ(filename("Content-Disposition: attachment; filename=Pic.jpg; size=5"), "Pic.jpg; size=5");
    EXPECT_EQ(filename("Content-Disposition: inline; novalue; filename=\"A.jpg\""), "A.jpg");
    EXPECT_EQ(filename("Content-Description: photo; filename=\"D.jpg\""), "D.jpg");
}

} // namespace
} // namespace nimbra
