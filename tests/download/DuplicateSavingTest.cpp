// Files whose content was saved before, through the saver as a run feeds it: not kept with
// "Skip pictures I already have", kept as before without it.
#include "download/AttachmentSaver.h"
#include "download/ContentHasher.h"
#include "download/ContentStore.h"
#include "download/DifferenceHash.h"
#include "platform/AtomicFile.h"
#include "tests/download/JpegSample.h"
#include "tests/download/SaverFixture.h"
#include "tools/newsmodel/YencEncoder.h"

#include <gtest/gtest.h>

namespace nimbra::test {
namespace {

using Strings = std::vector<std::string>;
using Duplicates = std::vector<std::pair<std::string, std::string>>;

ModelArticle yencArticle(int number, const std::string& subject, const std::vector<std::string>& lines)
{
    ModelArticle a = NewsServerModel::article(number, "y" + std::to_string(number) + "@test", subject, 0, false);
    a.body = lines;
    return a;
}

ContentDigest digestOf(const std::string& bytes)
{
    ContentHasher hasher;
    hasher.update(bytes.data(), bytes.size());
    return hasher.finish().value();
}

} // namespace

TEST(DuplicateSaving, TheSameContentInEveryEncodingAndSplitIsKeptOnce)
{
    const std::string picture = JpegSample::bytes(500, 400);
    Saving saving(true);
    saving.article(ArticleText::mimeArticle(1, "first", "first.jpg", picture));
    saving.article(ArticleText::uuArticle(2, "uu", "uu.jpg", picture));
    saving.article(yencArticle(3, "single", yencSingle("single.jpg", picture)));
    const std::size_t half = picture.size() / 2;
    // Parts written at their offsets, then the split uuencoded file joined from its parts.
    saving.article(yencArticle(4, "2", yencPart("halves.jpg", picture, 2, 2, half, picture.size())));
    saving.article(yencArticle(5, "1", yencPart("halves.jpg", picture, 1, 2, 0, half)));
    for (const ModelArticle& part : ArticleText::splitUuArticles(6, "split", "split.jpg", picture, 3))
        saving.article(part);
    // Other content is saved beside it.
    saving.article(ArticleText::uuArticle(9, "other", "other.jpg", JpegSample::bytes(300, 200)));

    EXPECT_EQ(entriesIn(saving.folder()), (Strings{"first.jpg", "other.jpg"}));
    EXPECT_EQ(readFile(saving.folder() + "first.jpg"), picture);
    const std::string first = saving.folder() + "first.jpg";
    EXPECT_EQ(saving.view.duplicates, (Duplicates{{"uu.jpg", first}, {"single.jpg", first}, {"halves.jpg", first},
                                                  {"split.jpg", first}}));
    EXPECT_EQ(saving.view.names, (Strings{"first.jpg", "other.jpg"}));
    EXPECT_EQ(saving.view.files, 2);

    const auto known = saving.saver->contentStore().find(digestOf(picture));
    ASSERT_TRUE(known);
    EXPECT_EQ(known->path, first);
    EXPECT_EQ(known->size, picture.size());
    EXPECT_EQ(known->messageId.rfind("file1.", 0), 0u) << known->messageId;
    EXPECT_NE(known->messageId.find("@saving.test"), std::string::npos) << known->messageId;
    EXPECT_EQ(known->group, "alt.binaries.test");
}

// A file joined from parts gets the digest of its bytes whatever the order its parts came in:
// in order, with early parts waiting for a gap to fill, and with its first parts written
// before the program was restarted.
TEST(DuplicateSaving, PartsInAnyOrderGiveTheFilesDigest)
{
    const std::vector<std::string> pictures{JpegSample::bytes(640, 480), JpegSample::bytes(600, 500),
                                            JpegSample::bytes(500, 600)};
    const std::vector<std::vector<int>> orders{{1, 2, 3, 4, 5}, {2, 1, 4, 5, 3}, {1, 3, 2, 5, 4}};
    Saving saving(true);
    int number = 1;
    const auto post = [&](std::size_t file, int part, int total) {
        const std::string& bytes = pictures[file];
        const std::string name = "p" + std::to_string(file) + ".jpg";
        const std::size_t begin = bytes.size() * static_cast<std::size_t>(part - 1) / static_cast<std::size_t>(total);
        const std::size_t end = bytes.size() * static_cast<std::size_t>(part) / static_cast<std::size_t>(total);
        saving.article(yencArticle(number++, name, yencPart(name, bytes, part, total, begin, end)));
    };
    for (std::size_t file = 0; file < 2; ++file)
        for (const int part : orders[file])
            post(file, part, 5);
    // The third: two parts, a restart, the rest.
    for (const int part : {1, 3})
        post(2, orders[2][static_cast<std::size_t>(part - 1)], 5);
    saving.restart();
    for (const int part : {2, 4, 5})
        post(2, orders[2][static_cast<std::size_t>(part - 1)], 5);

    ASSERT_EQ(saving.view.names, (Strings{"p0.jpg", "p1.jpg", "p2.jpg"}));
    for (std::size_t file = 0; file < pictures.size(); ++file) {
        const auto known = saving.saver->contentStore().find(digestOf(pictures[file]));
        ASSERT_TRUE(known) << file;
        EXPECT_EQ(known->path, saving.folder() + "p" + std::to_string(file) + ".jpg");
    }
    EXPECT_EQ(saving.saver->contentStore().size(), pictures.size());
    // Posted again whole, each is known.
    for (std::size_t file = 0; file < pictures.size(); ++file)
        saving.article(yencArticle(number++, "again", yencSingle("again" + std::to_string(file) + ".jpg", pictures[file])));
    EXPECT_EQ(saving.view.duplicates.size(), pictures.size());
    EXPECT_EQ(saving.view.files, 3);
}

TEST(DuplicateSaving, ADeletedFileIsStillKnownToTheNextRun)
{
    const std::string picture = JpegSample::bytes(320, 240);
    Saving saving(true);
    saving.article(ArticleText::uuArticle(1, "pic", "pic.jpg", picture));
    ASSERT_EQ(entriesIn(saving.folder()), (Strings{"pic.jpg"}));
    std::filesystem::remove(saving.folder() + "pic.jpg");

    saving.restart();  // the store is written when the saver goes and read by the next
    saving.article(ArticleText::mimeArticle(2, "pic again", "pic-repost.jpg", picture));
    EXPECT_TRUE(entriesIn(saving.folder()).empty());
    EXPECT_EQ(saving.view.duplicates, (Duplicates{{"pic-repost.jpg", saving.folder() + "pic.jpg"}}));
    EXPECT_EQ(saving.view.files, 1);
}

TEST(DuplicateSaving, WithoutSkippingEveryCopyIsSavedAndTheStoreIsLeftAlone)
{
    const std::string picture = JpegSample::bytes(320, 240);
    Saving saving(false);
    saving.article(ArticleText::uuArticle(1, "pic", "pic.jpg", picture));
    saving.article(ArticleText::uuArticle(2, "pic", "pic.jpg", picture));
    saving.article(yencArticle(3, "pic", yencSingle("pic.jpg", picture)));
    EXPECT_EQ(entriesIn(saving.folder()), (Strings{"11pic.jpg", "1pic.jpg", "pic.jpg"}));
    EXPECT_TRUE(saving.view.duplicates.empty());
    EXPECT_EQ(saving.saver->contentStore().size(), 0u);
    saving.saver->flush();
    EXPECT_FALSE(std::filesystem::exists(saving.storePath()));
}

TEST(DuplicateSaving, ADamagedStoreIsSetAsideWithANoticeAndSavingGoesOn)
{
    const std::string picture = JpegSample::bytes(320, 240);
    Saving saving(true);
    ASSERT_TRUE(AtomicFile::write(saving.storePath(), "NIMBRACS and then nothing that makes sense"));
    saving.restart();
    ASSERT_EQ(saving.view.notices.size(), 1u);
    EXPECT_NE(saving.view.notices[0].find("set aside"), std::string::npos) << saving.view.notices[0];
    const std::string aside = saving.saver->contentStore().setAsidePath();
    EXPECT_NE(saving.view.notices[0].find(aside), std::string::npos) << saving.view.notices[0];
    EXPECT_TRUE(std::filesystem::exists(aside));

    saving.article(ArticleText::uuArticle(1, "pic", "pic.jpg", picture));
    saving.article(ArticleText::uuArticle(2, "pic", "again.jpg", picture));
    EXPECT_EQ(entriesIn(saving.folder()), (Strings{"pic.jpg"}));
    EXPECT_EQ(saving.view.duplicates.size(), 1u);
}

TEST(DuplicateSaving, APreviewLeavesThePicturesHashInTheStore)
{
    const std::string picture = JpegSample::bytes(640, 480);
    Saving saving(true);
    saving.article(ArticleText::uuArticle(1, "pic", "pic.jpg", picture));
    saving.settle();
    ASSERT_EQ(saving.view.pictures.size(), 1u);
    const auto known = saving.saver->contentStore().find(digestOf(picture));
    ASSERT_TRUE(known);
    ASSERT_TRUE(known->differenceHash);
    EXPECT_EQ(known->differenceHash, DifferenceHash::of(saving.view.pictures[0].image));
}

} // namespace nimbra::test
