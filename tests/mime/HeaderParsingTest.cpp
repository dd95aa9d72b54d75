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
    EXPECT_EQ(p.PartTypeName, "Pic.JPG"); // a name keeps its case, quoted or not
    EXPECT_EQ(nested, std::vector<std::string>{"--in-ner"});
    EXPECT_EQ(p.PartId, "id@host");
    EXPECT_EQ(p.PartTransferEncoding, "base64"); // parenthesised text is kept, without the parentheses
}

TEST(MimeHeaderParser, EveryDispositionParameterIsReadWhateverItsPlace)
{
    auto filename = [](const char* line) {
        PartHeaderFields p;
        std::string charset;
        std::vector<std::string> nested;
        MimeHeaderParser::partLine(line, p, charset, nested);
        return p.PartDispositionFilename;
    };
    EXPECT_EQ(filename("Content-Disposition: attachment; size=1234; filename=\"x.jpg\""), "x.jpg");
    EXPECT_EQ(filename("Content-Disposition: attachment; filename=Pic.jpg; size=5"), "Pic.jpg");
    EXPECT_EQ(filename("Content-Disposition: attachment; filename=\"a \\\"quoted\\\" name.jpg\""), "a \"quoted\" name.jpg");
    EXPECT_EQ(filename("Content-Disposition: inline; novalue; filename=\"A.jpg\""), "A.jpg");
    EXPECT_EQ(filename("Content-Description: photo; filename=\"D.jpg\""), "D.jpg");
}

TEST(MimeHeaderParser, ExtendedAndEncodedNamesBecomeUtf8)
{
    auto filename = [](const char* line) {
        PartHeaderFields p;
        std::string charset;
        std::vector<std::string> nested;
        MimeHeaderParser::partLine(line, p, charset, nested);
        return p.PartDispositionFilename.empty() ? p.PartTypeName : p.PartDispositionFilename;
    };
    // RFC 2231: charset and language, percent escapes, continuations in any order.
    EXPECT_EQ(filename("Content-Disposition: attachment; filename*=UTF-8''na%C3%AFve%20pic.jpg"), "na\xc3\xafve pic.jpg");
    EXPECT_EQ(filename("Content-Disposition: attachment; filename*=iso-8859-1'fr'caf%E9.jpg"), "caf\xc3\xa9" ".jpg");
    EXPECT_EQ(filename("Content-Disposition: attachment; filename*1=\"part.jpg\"; filename*0=\"long-\""), "long-part.jpg");
    EXPECT_EQ(filename("Content-Disposition: attachment; filename*0*=UTF-8''%C3%A9; filename*1=t%C3%A9.jpg"),
              "\xc3\xa9t\xc3\xa9" ".jpg");
    // The extended form wins over the plain one.
    EXPECT_EQ(filename("Content-Disposition: attachment; filename=\"plain.jpg\"; filename*=UTF-8''ext.jpg"), "ext.jpg");
    // RFC 2047 words, B and Q, in a quoted value; blanks between two words go.
    EXPECT_EQ(filename("Content-Type: image/jpeg; name=\"=?UTF-8?B?w6ltaWxl?= =?UTF-8?Q?_=C3=A0.jpg?=\""),
              "\xc3\xa9" "mile \xc3\xa0" ".jpg");
    EXPECT_EQ(filename("Content-Type: image/jpeg; name=\"=?iso-8859-1?q?G=F6del.jpg?=\""), "G\xc3\xb6" "del.jpg");
    EXPECT_EQ(filename("Content-Type: image/jpeg; name=\"=?bogus\""), "=?bogus");
}

TEST(MimeHeaderParser, MessagePartialParameters)
{
    MessageHeaderFields m;
    MimeHeaderParser::messageLine("Content-Type: message/partial; number=2; total=3;\tid=\"oc=jpg@example.org\"", m);
    EXPECT_EQ(m.MsgType, "message/partial");
    EXPECT_EQ(m.MsgPartialId, "oc=jpg@example.org");
    EXPECT_EQ(m.MsgPartialNumber, "2");
    EXPECT_EQ(m.MsgPartialTotal, "3");
}

} // namespace
} // namespace nimbra
