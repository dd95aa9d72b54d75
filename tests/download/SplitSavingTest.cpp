// Files posted over several articles, and the rules that keep a half file out of sight: parts
// put together by subject and poster in any order and over runs, message/partial, and the
// program writing only to files it made.
#include "download/SaveTarget.h"
#include "download/SplitAssembly.h"
#include "tests/download/JpegSample.h"
#include "tests/download/SaverFixture.h"
#include "tools/newsmodel/ArticleEncoders.h"
#include "tools/newsmodel/YencEncoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <stdexcept>

namespace nimbra::test {
namespace {

using Strings = std::vector<std::string>;

std::string padded(int n, int width)
{
    std::string text = std::to_string(n);
    return std::string(static_cast<std::size_t>(std::max(0, width - static_cast<int>(text.size()))), '0') + text;
}

} // namespace

TEST(SplitSaving, EveryCounterStyleAndOrderGivesTheFileByteForByte)
{
    struct Case {
        const char* style;
        int parts;
        std::function<std::string(int, int)> counter;
        bool shuffle;
    };
    const std::vector<Case> cases{
        {"(n/m)", 3, [](int n, int m) { return "(" + std::to_string(n) + "/" + std::to_string(m) + ")"; }, false},
        {"(0n/m) reversed", 12, [](int n, int m) { return "(" + padded(n, 2) + "/" + std::to_string(m) + ") yEnc"; }, true},
        {"(00n/m) shuffled", 400, [](int n, int m) { return "(" + padded(n, 3) + "/" + padded(m, 3) + ") 12.3 KB"; }, true},
        {"[n/m]", 3, [](int n, int m) { return "[" + std::to_string(n) + "/" + std::to_string(m) + "]"; }, true},
        {"n of m", 3, [](int n, int m) { return std::to_string(n) + " of " + std::to_string(m); }, false},
    };
    std::mt19937 random(16);
    for (const Case& c : cases) {
        Saving saving;
        const std::string picture = JpegSample::bytes(c.parts > 100 ? 1600 : 320, c.parts > 100 ? 1200 : 240);
        std::vector<ModelArticle> parts = ArticleText::commonSplit(1, "holiday.jpg", "holiday.jpg", picture, c.parts, c.counter);
        if (c.shuffle && c.parts == 12)
            std::reverse(parts.begin(), parts.end());
        else if (c.shuffle)
            std::shuffle(parts.begin(), parts.end(), random);
        for (std::size_t i = 0; i < parts.size(); ++i) {
            saving.article(parts[i]);
            if (i % 2 == 0)  // other posts between the parts
                saving.article(ArticleText::uuArticle(1000 + static_cast<int>(i), "other", "other.bin", bytesOf(20)));
            if (i + 1 < parts.size()) {
                ASSERT_FALSE(std::filesystem::exists(saving.folder() + "holiday.jpg")) << c.style << " after " << i;
            }
        }
        EXPECT_TRUE(readFile(saving.folder() + "holiday.jpg") == picture) << c.style;
        EXPECT_EQ(std::count(saving.view.names.begin(), saving.view.names.end(), "holiday.jpg"), 1) << c.style;
        for (const std::string& entry : entriesIn(saving.folder()))
            EXPECT_FALSE(SaveTarget::isWorkingName(entry)) << c.style << ": " << entry;
    }
}

TEST(SplitSaving, AMissingPartLeavesNothingVisibleUntilALaterRunBringsIt)
{
    Saving saving;
    const std::string picture = JpegSample::bytes(400, 300);
    const auto parts = ArticleText::commonSplit(1, "late.jpg", "late.jpg", picture, 3,
                                                [](int n, int m) { return "(" + std::to_string(n) + "/" + std::to_string(m) + ")"; });
    saving.article(parts[0]);
    saving.article(parts[2]);
    EXPECT_TRUE(saving.view.names.empty());
    EXPECT_EQ(saving.view.statisticsShown, 0);
    for (const std::string& entry : entriesIn(saving.folder()))
        EXPECT_TRUE(SaveTarget::isWorkingName(entry)) << entry;

    saving.restart();  // the program ends and starts again
    saving.article(parts[1]);
    EXPECT_EQ(readFile(saving.folder() + "late.jpg"), picture);
    EXPECT_EQ(saving.view.names, Strings{"late.jpg"});
    EXPECT_EQ(entriesIn(saving.folder()), Strings{"late.jpg"});
}

TEST(SplitSaving, PartsOfDifferentPostersOrTotalsAreNotMixed)
{
    Saving saving;
    const std::string one = bytesOf(3000, 1);
    const std::string two = bytesOf(3000, 2);
    auto counter = [](int n, int m) { return "(" + std::to_string(n) + "/" + std::to_string(m) + ")"; };
    auto a = ArticleText::commonSplit(1, "same.bin", "same.bin", one, 2, counter);
    auto b = ArticleText::commonSplit(3, "same.bin", "same.bin", two, 2, counter);
    for (ModelArticle& article : b)
        article.headers[0] = "From: someone-else@saving.test";
    saving.article(a[0]);
    saving.article(b[1]);
    saving.article(b[0]);
    saving.article(a[1]);
    EXPECT_EQ(saving.view.names, (Strings{"same.bin", "1same.bin"}));
    EXPECT_EQ(readFile(saving.folder() + "same.bin"), two);
    EXPECT_EQ(readFile(saving.folder() + "1same.bin"), one);
}

TEST(SplitSaving, AMessagePartialInThreeShuffledPartsIsDecodedWhole)
{
    Saving saving;
    const std::string picture = JpegSample::bytes(300, 200);
    std::vector<std::string> lines{"Content-Type: image/jpeg; name=\"partial.jpg\"", "Content-Transfer-Encoding: base64", ""};
    for (std::string& line : ArticleEncoders::base64Lines(picture))
        lines.push_back(std::move(line));
    const std::size_t third = lines.size() / 3 + 1;
    std::vector<std::string> articles;
    for (int n = 1; n <= 3; ++n) {
        std::string text = "From: poster@saving.test\r\nSubject: partial picture\r\nMIME-Version: 1.0\r\n"
                           "Content-Type: message/partial; id=\"pp.1@saving.test\"; number="
            + std::to_string(n) + "; total=3\r\n\r\n";
        for (std::size_t i = third * static_cast<std::size_t>(n - 1); i < std::min(lines.size(), third * n); ++i)
            text += lines[i] + "\r\n";
        articles.push_back(text);
    }
    saving.text(articles[2]);
    saving.text(articles[0]);
    EXPECT_TRUE(saving.view.names.empty());
    saving.text(articles[1]);
    EXPECT_EQ(saving.view.names, Strings{"partial.jpg"});
    EXPECT_EQ(readFile(saving.folder() + "partial.jpg"), picture);
    EXPECT_EQ(entriesIn(saving.folder()), Strings{"partial.jpg"});
}

TEST(SplitSaving, UnfinishedFilesOlderThanTheMaximumAgeAreDroppedWithTheirParts)
{
    const std::string folder = TestEnvironment::makeFolder("expiry");
    const std::string ledger = TestEnvironment::root() + "expiry-ledger";
    const SaveTarget target(folder, folder);
    std::string joinedPath;
    {
        SplitAssembly assembly(ledger);
        EXPECT_FALSE(assembly.keep(target, "old\nposter", 1, 2, "old.bin", "abc"));
        ASSERT_EQ(assembly.ledger().entries().size(), 1u);
        joinedPath = assembly.ledger().entries()[0].joined;
        EXPECT_TRUE(std::filesystem::exists(joinedPath));
    }
    {
        SplitAssembly kept(ledger);  // within the age
        EXPECT_EQ(kept.ledger().entries().size(), 1u);
    }
    SplitAssembly expired(ledger, -1);  // every entry is older than that
    EXPECT_TRUE(expired.ledger().entries().empty());
    EXPECT_FALSE(std::filesystem::exists(joinedPath));
}

TEST(SplitSaving, AnEditedLedgerCannotMakeTheProgramWriteOrDeleteOutside)
{
    Saving saving;
    const std::string outside = TestEnvironment::makeFolder("outside-split");
    const std::string decoy = outside + ".nimbra-0000000000000000.part";
    std::ofstream(decoy) << "the user's own bytes";
    const std::string ledgerPath = TestEnvironment::root() + "ledgers" + std::to_string(saving.run) + "/split";
    std::ofstream(ledgerPath) << "nimbra split parts 1\nfile 2 9999999999 evil.jpg%0Aposter@saving.test evil.jpg\npart 1 "
                              << decoy << "\nend\n";
    saving.restart();
    auto counter = [](int n, int m) { return "(" + std::to_string(n) + "/" + std::to_string(m) + ")"; };
    const std::string bytes = bytesOf(2000);
    auto parts = ArticleText::commonSplit(1, "evil.jpg", "evil.jpg", bytes, 2, counter);
    saving.article(parts[1]);
    EXPECT_EQ(readFile(decoy), "the user's own bytes");
    EXPECT_TRUE(saving.view.names.empty());  // the recorded part 1 was not taken
    saving.article(parts[0]);
    EXPECT_EQ(readFile(saving.folder() + "evil.jpg"), bytes);
    EXPECT_EQ(readFile(decoy), "the user's own bytes");
}

TEST(SplitSaving, ExistingFilesAndLinksOfTheSameNameAreNeverWrittenOrFollowed)
{
    Saving saving;
    const std::string outside = TestEnvironment::makeFolder("outside-decoy");
    std::ofstream(outside + "target.jpg") << "outside";
    std::ofstream(saving.folder() + "pic.jpg") << "the user's picture";
    std::filesystem::create_symlink(outside + "target.jpg", saving.folder() + "link.jpg");
    saving.article(ArticleText::uuArticle(1, "one", "pic.jpg", bytesOf(100)));
    saving.article(ArticleText::mimeArticle(2, "two", "link.jpg", bytesOf(200)));
    saving.text(ArticleText::wire({3, "y@test", {"Subject: three"}, yencSingle("link.jpg", bytesOf(300))}));
    EXPECT_EQ(readFile(saving.folder() + "pic.jpg"), "the user's picture");
    EXPECT_EQ(readFile(outside + "target.jpg"), "outside");
    EXPECT_EQ(saving.view.names, (Strings{"1pic.jpg", "1link.jpg", "11link.jpg"}));
    EXPECT_EQ(readFile(saving.folder() + "1link.jpg"), bytesOf(200));
}

TEST(SplitSaving, AGroupFolderThatIsASymbolicLinkIsRefused)
{
    Saving saving;
    saving.settings.oneFolder = false;
    const std::string outside = TestEnvironment::makeFolder("outside-group");
    const std::string group = SaveTarget::targetFolder(saving.folder(), false, "alt.linked");
    std::filesystem::create_directory_symlink(outside, group.substr(0, group.size() - 1));
    EXPECT_THROW(saving.article(ArticleText::uuArticle(1, "one", "pic.jpg", bytesOf(100)), "alt.linked"),
                 std::runtime_error);
    EXPECT_TRUE(std::filesystem::is_empty(outside));
    EXPECT_TRUE(saving.view.names.empty());
}

TEST(SplitSaving, ASinglePartOfALargeYencFileLeavesNothingUnderItsName)
{
    Saving saving;
    const std::string data = bytesOf(50000);
    saving.text(ArticleText::wire({1, "y@test", {"Subject: \"big.bin\" yEnc (98/131)"},
                                   yencPart("big.bin", data, 98, 131, 20000, 21000)}));
    EXPECT_FALSE(std::filesystem::exists(saving.folder() + "big.bin"));
    EXPECT_TRUE(saving.view.names.empty());
    for (const std::string& entry : entriesIn(saving.folder()))
        EXPECT_TRUE(SaveTarget::isWorkingName(entry)) << entry;
}

TEST(SplitSaving, EveryFileOfAnArticleIsShownAndCountedOnce)
{
    Saving saving;
    std::string text = "From: p@test\r\nSubject: four files\r\nMIME-Version: 1.0\r\n"
                       "Content-Type: multipart/mixed; boundary=\"four\"\r\n\r\n";
    for (int i = 1; i <= 4; ++i) {
        text += "--four\r\nContent-Type: application/octet-stream; name=\"f" + std::to_string(i)
            + ".bin\"\r\nContent-Transfer-Encoding: base64\r\n\r\n";
        for (const std::string& line : ArticleEncoders::base64Lines(bytesOf(1024u * i, i)))
            text += line + "\r\n";
    }
    text += "--four--\r\n";
    saving.text(text);
    EXPECT_EQ(saving.view.names, (Strings{"f1.bin", "f2.bin", "f3.bin", "f4.bin"}));
    EXPECT_EQ(saving.view.files, 4);
    EXPECT_EQ(saving.view.kilobytes, 10);
    EXPECT_EQ(readFile(saving.folder() + "f3.bin"), bytesOf(3072, 3));
}

TEST(SplitSaving, SinglePartMimeAndLatin1NamesAreSavedUnderValidUtf8Names)
{
    Saving saving;
    std::string text = "From: p@test\r\nSubject: one picture\r\nMIME-Version: 1.0\r\n"
                       "Content-Type: image/jpeg; name=\"single.jpg\"\r\nContent-Transfer-Encoding: base64\r\n\r\n";
    for (const std::string& line : ArticleEncoders::base64Lines(bytesOf(500)))
        text += line + "\r\n";
    saving.text(text);
    saving.text(ArticleText::wire({2, "y@test", {"Subject: latin"}, yencSingle("caf\xe9.bin", bytesOf(70))}));
    EXPECT_EQ(saving.view.names, (Strings{"single.jpg", "caf\xc3\xa9.bin"}));
    EXPECT_EQ(readFile(saving.folder() + "single.jpg"), bytesOf(500));
    EXPECT_EQ(readFile(saving.folder() + "caf\xc3\xa9.bin"), bytesOf(70));
}

} // namespace nimbra::test
