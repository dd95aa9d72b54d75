#include "download/AttachmentSaver.h"

#include "download/FileSizeOf.h"
#include "download/SaveTarget.h"
#include "tests/download/JpegSample.h"
#include "tests/download/SaverFixture.h"
#include "tools/newsmodel/YencEncoder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <stdexcept>
#include <sys/resource.h>

namespace nimbra::test {
namespace {

// Files bigger than limit cannot be written while it lives, as on a full disk.
struct FileSizeLimit {
    explicit FileSizeLimit(rlim_t limit)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit lower = saved;
        lower.rlim_cur = limit;
        setrlimit(RLIMIT_FSIZE, &lower);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &saved); }
    rlimit saved{};
};

} // namespace

TEST(AttachmentSaver, KilobytesAreRoundedHalvesToEvenAndEveryFileCounts)
{
    struct Case { std::size_t bytes; std::int32_t kilobytes; };
    for (const Case& c : {Case{1536, 2}, Case{512, 0}, Case{2560, 2}, Case{3584, 4}, Case{1, 0}, Case{1600, 2}}) {
        Saving saving;
        saving.article(ArticleText::uuArticle(1, "data file", "data.bin", bytesOf(c.bytes)));
        EXPECT_EQ(saving.view.files, 1) << c.bytes;
        EXPECT_EQ(saving.view.kilobytes, c.kilobytes) << c.bytes;
        EXPECT_EQ(saving.view.sizes, std::vector<std::int64_t>{static_cast<std::int64_t>(c.bytes)});
    }
}

TEST(AttachmentSaver, ShowsNameAndSizeAndPreviewsOnlyNamesEndingInJpg)
{
    Saving saving;
    const std::string picture = JpegSample::bytes(400, 300);
    saving.article(ArticleText::uuArticle(1, "one", "HOLIDAY.JPG", picture));
    EXPECT_TRUE(saving.view.pictures.empty());  // made off this thread, shown from the event loop
    saving.settle();
    saving.article(ArticleText::mimeArticle(2, "two", "holiday.jpeg", picture));
    saving.settle();
    const std::string folder = saving.folder();
    EXPECT_EQ(saving.view.names, (std::vector<std::string>{"HOLIDAY.JPG", "holiday.jpeg"}));
    EXPECT_EQ(saving.view.paths, (std::vector<std::string>{folder + "HOLIDAY.JPG", folder + "holiday.jpeg"}));
    ASSERT_EQ(saving.view.pictures.size(), 1u);
    const PicturePreview& shown = saving.view.pictures[0];
    EXPECT_EQ(shown.name, "HOLIDAY.JPG");
    EXPECT_EQ(shown.width, 400);
    EXPECT_EQ(shown.height, 300);
    EXPECT_EQ(shown.image.size(), shown.box.size());
    EXPECT_EQ(saving.view.files, 2);
    EXPECT_EQ(readFile(folder + "holiday.jpeg"), picture);
}

TEST(AttachmentSaver, TheSameNameThriceGetsLeadingOnes)
{
    Saving saving;
    for (int i = 1; i <= 3; ++i)
        saving.article(ArticleText::uuArticle(i, "post " + std::to_string(i), "same.jpg", bytesOf(100u * i)));
    EXPECT_EQ(saving.view.names, (std::vector<std::string>{"same.jpg", "1same.jpg", "11same.jpg"}));
    const std::string folder = saving.folder();
    EXPECT_EQ(readFile(folder + "same.jpg"), bytesOf(100));
    EXPECT_EQ(readFile(folder + "1same.jpg"), bytesOf(200));
    EXPECT_EQ(readFile(folder + "11same.jpg"), bytesOf(300));

    // A MIME part follows the same rule.
    saving.article(ArticleText::mimeArticle(4, "post 4", "same.jpg", bytesOf(50)));
    EXPECT_EQ(saving.view.names.back(), "111same.jpg");
}

TEST(AttachmentSaver, AnEmptyAttachmentIsDeletedAndNotCounted)
{
    Saving saving;
    saving.article(ArticleText::mimeArticle(1, "nothing", "empty.jpg", ""));
    EXPECT_FALSE(std::filesystem::exists(saving.folder() + "empty.jpg"));
    EXPECT_TRUE(saving.view.names.empty());
    EXPECT_EQ(saving.view.statisticsShown, 0);
}

TEST(AttachmentSaver, AnArticleWithoutAFileShowsNothing)
{
    Saving saving;
    saving.article({1, "text@test", {"Subject: just words"}, {"Hello,", "no file in here.", "end of story"}});
    EXPECT_TRUE(saving.view.names.empty());
    EXPECT_EQ(saving.view.statisticsShown, 0);
    EXPECT_TRUE(std::filesystem::is_empty(saving.folder()));
    // A quoted begin line with nothing after it leaves nothing either.
    saving.article({2, "quote@test", {"Subject: Re: a file"}, {"You wrote:", "> begin 644 quoted.jpg",
                                                               "begin 644 quoted.jpg", "no data here"}});
    EXPECT_TRUE(std::filesystem::is_empty(saving.folder()));
}

TEST(AttachmentSaver, NamesFromArticlesStayInsideTheFolder)
{
    Saving saving;
    saving.article(ArticleText::mimeArticle(1, "sly", "../../outside.jpg", bytesOf(64)));
    EXPECT_EQ(saving.view.names, std::vector<std::string>{"outside.jpg"});
    EXPECT_EQ(readFile(saving.folder() + "outside.jpg"), bytesOf(64));
    EXPECT_FALSE(std::filesystem::exists(TestEnvironment::root() + "outside.jpg"));
}

TEST(AttachmentSaver, APictureSplitOverThreeArticlesAppearsOnceWhole)
{
    Saving saving;
    const std::string picture = JpegSample::bytes(320, 240);
    const auto parts = ArticleText::splitUuArticles(1, "split picture", "split.jpg", picture, 3);
    saving.article(parts[0]);
    saving.article(parts[1]);
    // Nothing under the final name, nothing shown, while a part is missing.
    EXPECT_FALSE(std::filesystem::exists(saving.folder() + "split.jpg"));
    EXPECT_TRUE(saving.view.names.empty());
    saving.article(parts[2]);
    EXPECT_EQ(readFile(saving.folder() + "split.jpg"), picture);
    EXPECT_EQ(saving.view.names, std::vector<std::string>{"split.jpg"});
    EXPECT_EQ(saving.view.files, 1);
    saving.settle();
    EXPECT_EQ(saving.view.pictures.size(), 1u);
    EXPECT_EQ(saving.view.sizes, std::vector<std::int64_t>{static_cast<std::int64_t>(picture.size())});
    EXPECT_EQ(entriesIn(saving.folder()), std::vector<std::string>{"split.jpg"});  // no working file left
}

TEST(AttachmentSaver, AFullDiskDeletesTheFileCountsNothingAndThrows)
{
    Saving saving;
    {
        FileSizeLimit limit(1000);
        EXPECT_THROW(saving.article(ArticleText::uuArticle(1, "big", "big.jpg", bytesOf(4000))), std::runtime_error);
        EXPECT_THROW(saving.article(ArticleText::mimeArticle(2, "big", "big.jpg", bytesOf(4000))), std::runtime_error);
    }
    EXPECT_TRUE(std::filesystem::is_empty(saving.folder()));
    EXPECT_TRUE(saving.view.names.empty());
    EXPECT_EQ(saving.view.statisticsShown, 0);

    // The saver goes on with the next article.
    saving.article(ArticleText::uuArticle(3, "next", "fine.jpg", bytesOf(10)));
    EXPECT_EQ(saving.view.names, std::vector<std::string>{"fine.jpg"});
}

TEST(AttachmentSaver, AFolderThatCannotBeMadeSkipsTheFileAndThrows)
{
    Saving saving;
    saving.settings.oneFolder = false;
    // Where the group's folder should go, a file stands.
    const std::string folder = SaveTarget::targetFolder(saving.folder(), false, "alt.blocked");
    std::ofstream(folder.substr(0, folder.size() - 1)) << "in the way";
    EXPECT_THROW(saving.article(ArticleText::mimeArticle(1, "blocked", "pic.jpg", bytesOf(10)), "alt.blocked"),
                 std::runtime_error);
    EXPECT_TRUE(saving.view.names.empty());
    EXPECT_EQ(readFile(folder.substr(0, folder.size() - 1)), "in the way");
}

TEST(AttachmentSaver, YencFilesAreShownAndCountedWhenTheyAreWhole)
{
    Saving saving;
    const std::string picture = JpegSample::bytes(200, 150);
    auto yencArticle = [](int number, const std::string& subject, const std::vector<std::string>& lines) {
        ModelArticle a{number, "y" + std::to_string(number) + "@test", {"Subject: " + subject}, {"yEnc below"}};
        a.body.insert(a.body.end(), lines.begin(), lines.end());
        return a;
    };
    saving.article(yencArticle(1, "single", yencSingle("whole.jpg", picture)));
    const std::size_t half = picture.size() / 2;
    saving.article(yencArticle(2, "second half", yencPart("halves.jpg", picture, 2, 2, half, picture.size())));
    EXPECT_EQ(saving.view.names, std::vector<std::string>{"whole.jpg"});
    // The half that came first waits under a working name only.
    EXPECT_FALSE(std::filesystem::exists(saving.folder() + "halves.jpg"));
    saving.article(ArticleText::uuArticle(3, "between", "between.bin", bytesOf(2048)));
    saving.article(yencArticle(4, "first half", yencPart("halves.jpg", picture, 1, 2, 0, half)));

    const std::string folder = saving.folder();
    EXPECT_EQ(saving.view.names, (std::vector<std::string>{"whole.jpg", "between.bin", "halves.jpg"}));
    EXPECT_EQ(entriesIn(folder), (std::vector<std::string>{"between.bin", "halves.jpg", "whole.jpg"}));
    EXPECT_EQ(readFile(folder + "whole.jpg"), picture);
    EXPECT_EQ(readFile(folder + "halves.jpg"), picture);
    EXPECT_EQ(saving.view.files, 3);
    // The picture of whole.jpg was not ready before other files were shown: only the newest is.
    saving.settle();
    ASSERT_EQ(saving.view.pictures.size(), 1u);
    EXPECT_EQ(saving.view.pictures[0].name, "halves.jpg");
    EXPECT_EQ(saving.view.pictures[0].width, 200);
}

TEST(AttachmentSaver, OnlyTheNewestOfPicturesSavedTogetherIsPreviewed)
{
    Saving saving;
    for (int i = 1; i <= 3; ++i)
        saving.article(ArticleText::mimeArticle(i, "burst", "p" + std::to_string(i) + ".jpg", JpegSample::bytes(100 * i, 80)));
    saving.settle();
    ASSERT_EQ(saving.view.pictures.size(), 1u);
    EXPECT_EQ(saving.view.pictures[0].name, "p3.jpg");
    EXPECT_EQ(saving.view.pictures[0].width, 300);
    EXPECT_EQ(saving.view.files, 3);
}

TEST(AttachmentSaver, NoPreviewIsMadeWhenNoWindowShowsPictures)
{
    Saving saving;
    saving.view.picturesWanted = false;
    saving.article(ArticleText::uuArticle(1, "unseen", "unseen.jpg", JpegSample::bytes(400, 300)));
    EXPECT_FALSE(saving.saver->previewing());
    saving.settle();
    EXPECT_TRUE(saving.view.pictures.empty());
    EXPECT_EQ(saving.view.names, std::vector<std::string>{"unseen.jpg"});
    EXPECT_EQ(saving.view.files, 1);
}

TEST(SaveTarget, GroupFoldersAreStableAndStayInsideTheDownloadFolder)
{
    const std::string download = "/data/nimbra files/";
    EXPECT_EQ(SaveTarget::targetFolder(download, true, "alt.binaries.test"), download);
    EXPECT_EQ(SaveTarget::targetFolder(download, false, "alt.binaries.test"), download + "alt.binaries.test/");
    for (const char* group : {"..", ".", "../../etc", "a/b", "/abs", "tab\there", "", "alt.x\r\n"}) {
        const std::string folder = SaveTarget::targetFolder(download, false, group);
        EXPECT_EQ(folder, SaveTarget::targetFolder(download, false, group));
        ASSERT_EQ(folder.rfind(download, 0), 0u) << group;
        const std::string inside = folder.substr(download.size(), folder.size() - download.size() - 1);
        EXPECT_FALSE(inside.empty()) << group;
        EXPECT_EQ(inside.find('/'), std::string::npos) << group;
        EXPECT_NE(inside[0], '.') << group;
        for (char c : inside)
            EXPECT_GE(static_cast<unsigned char>(c), 0x20) << group;
    }
    EXPECT_NE(SaveTarget::targetFolder(download, false, "a/b"), SaveTarget::targetFolder(download, false, "a_b"));
}

TEST(SaveTarget, TheDownloadFolderFieldBecomesAFolder)
{
    EXPECT_EQ(SaveTarget::downloadFolder("/srv/pics/"), "/srv/pics/");
    EXPECT_EQ(SaveTarget::downloadFolder("/srv/pics"), "/srv/pics/");
    EXPECT_EQ(SaveTarget::downloadFolder(""), TestEnvironment::root() + "home/nimbra files/");
}

} // namespace nimbra::test
