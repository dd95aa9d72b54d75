#include "tests/mime/DecoderHarness.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace nimbra::test {
namespace {

using Names = std::vector<std::string>;

// The fallback name: a decimal number and ".jpg".
bool isRandomJpg(const std::string& name)
{
    return name.size() > 4 && name.compare(name.size() - 4, 4, ".jpg") == 0
        && std::all_of(name.begin(), name.end() - 4, [](char c) { return c >= '0' && c <= '9'; });
}

// "abc" uuencoded, and an article that carries it under a begin line with the given name.
const std::string AbcLine = "#86)C\r\n";

std::string uuArticle(const std::string& beginName, const std::string& subject = "Subject: a file posted alone")
{
    return subject + "\r\n\r\nsome text first\r\nbegin 644 " + beginName + "\r\n" + AbcLine + "`\r\nend\r\n";
}

TEST(UuDecoding, BeginLineMakesFileAndNeverOverwrites)
{
    DecoderHarness h;
    EXPECT_EQ(h.article(uuArticle("pic.jpg")), "pic.jpg");
    EXPECT_EQ(h.article(uuArticle("pic.jpg")), "1pic.jpg");
    EXPECT_EQ(h.article(uuArticle("pic.jpg")), "11pic.jpg");
    EXPECT_EQ(h.fileText("11pic.jpg"), "abc");
    EXPECT_EQ(h.delivered, "abcabcabc"); // "some text first" came before any begin line
}

TEST(UuDecoding, HostileNamesStayInsideTheTargetFolder)
{
    DecoderHarness h;
    h.session.targetFolder = h.session.downloadFolder + "group/";
    EXPECT_EQ(h.article(uuArticle("../../x")), "x");
    EXPECT_EQ(h.article(uuArticle("/etc/passwd")), "passwd");
    EXPECT_EQ(h.article(uuArticle("a\\b")), "b");
    EXPECT_EQ(h.article(uuArticle(std::string("n\x01u\0l\x1bl.jpg", 11))), "null.jpg");
    EXPECT_EQ(h.article(uuArticle("My Picture 01.JPG")), "My Picture 01.JPG");
    for (const char* refused : {".", "..", "dir/.."}) {
        const std::string name = h.article(uuArticle(refused));
        EXPECT_TRUE(isRandomJpg(name)) << refused << " -> " << name;
        EXPECT_EQ(h.fileText(name), "abc");
    }
    EXPECT_EQ(h.files().size(), 9u); // the group folder and eight files, all inside it
    for (const std::string& file : h.files())
        EXPECT_EQ(file.rfind("group", 0), 0u) << file;
}

TEST(UuDecoding, UncreatableFileFallsBackToRandomName)
{
    DecoderHarness h;
    const std::string name = h.article(uuArticle(std::string(300, 'n') + ".jpg"));
    EXPECT_TRUE(isRandomJpg(name)) << name;
    EXPECT_EQ(h.fileText(name), "abc");
}

TEST(UuDecoding, FolderThatCannotBeMadeRaises)
{
    DecoderHarness h;
    h.session.downloadFolder = h.session.downloadFolder + "no/such/";
    h.session.targetFolder = h.session.downloadFolder;
    EXPECT_THROW(h.article(uuArticle("pic.jpg")), std::runtime_error);
}

TEST(UuDecoding, ContinuationArticleAppendsAndConsumesItsFirstLine)
{
    DecoderHarness h;
    EXPECT_EQ(h.article("Subject: pic.jpg (1/2)\r\n\r\nbegin 644 pic.jpg\r\n" + AbcLine), "pic.jpg");
    EXPECT_FALSE(h.session.uuEndSeen);
    // The first non-empty line is consumed, whatever it holds; the rest is data.
    EXPECT_EQ(h.article("Subject: pic.jpg (2/2)\r\n\r\n\r\n" + AbcLine + AbcLine + "`\r\nend\r\n"), "pic.jpg");
    EXPECT_TRUE(h.session.uuEndSeen);
    EXPECT_EQ(h.fileText("pic.jpg"), "abcabc");
    // After "end" the same subject no longer continues.
    EXPECT_EQ(h.article("Subject: pic.jpg (2/2)\r\n\r\nx\r\n" + AbcLine), "");
    EXPECT_EQ(h.files(), Names{"pic.jpg"});
}

TEST(UuDecoding, CutHereBeginLineReopensInsteadOfCreating)
{
    DecoderHarness h;
    // First article: the marker makes no file; the real begin line does.
    EXPECT_EQ(h.article("Subject: pic.jpg (1/2)\r\n\r\nbegin 644 CUT HERE\r\nbegin 644 pic.jpg\r\n" + AbcLine),
              "pic.jpg");
    EXPECT_EQ(h.article("Subject: pic.jpg (2/2)\r\n\r\nbegin 644 CUT HERE\r\n" + AbcLine + "end\r\n"), "pic.jpg");
    EXPECT_EQ(h.fileText("pic.jpg"), "abcabc");
    EXPECT_EQ(h.files(), Names{"pic.jpg"});
}

TEST(UuDecoding, MissingFileToContinueDropsTheData)
{
    DecoderHarness h;
    h.session.uuEndSeen = false;
    h.session.sameSubject = true;
    h.session.lastFileName = "../gone.jpg";
    h.decode("\r\nfirst\r\n" + AbcLine);
    EXPECT_EQ(h.decoder.OutputFile(), nullptr);
    EXPECT_EQ(h.files(), Names{});
}

TEST(UuDecoding, InlineBlockInDecodedTextRaisesInlineEvents)
{
    DecoderHarness h;
    std::vector<std::string> inlineEvents;
    h.decoder.OnInlineDecodeBegin = [&](MimeDecoder&, const std::string& name) { inlineEvents.push_back("begin " + name); };
    h.decoder.OnInlineDecodeLine = [&](MimeDecoder&, std::string_view line) { inlineEvents.push_back(std::string(line)); };
    h.decoder.OnInlineDecodeEnd = [&](MimeDecoder&, const std::string& name) { inlineEvents.push_back("end " + name); };
    h.decode("Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n\r\n"
             "before\r\n  BEGIN 666 in.jpg  \r\n#86)\r\nend\r\nafter\r\n--b--\r\n");
    EXPECT_EQ(inlineEvents, (Names{"begin in.jpg", "ab@", "end in.jpg"}));
    EXPECT_EQ(h.delivered, "before\r\n\r\n\r\n\r\nafter\r\n");
}

} // namespace
} // namespace nimbra::test
