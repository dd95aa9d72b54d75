// Whole runs that save files: articles fetched from the model news server, decoded, written
// into the download folder or the group's folder, shown and counted.
#include "download/AttachmentSaver.h"
#include "download/SaveTarget.h"
#include "tests/download/ArticleText.h"
#include "tests/download/JpegSample.h"
#include "tests/download/RecordingSavedFileView.h"
#include "tests/download/SessionRun.h"
#include "tests/support/TestEnvironment.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace nimbra::test {
namespace {

using Strings = std::vector<std::string>;

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

Strings filesIn(const std::string& folder)
{
    Strings names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        names.push_back(std::filesystem::relative(entry.path(), folder).string());
    std::sort(names.begin(), names.end());
    return names;
}

// A run whose articles go to an AttachmentSaver.
struct SavingRun {
    SavingRun()
    {
        run.session.setArticleSink(&saver);
        run.view.downloadFolder = TestEnvironment::root() + "downloads/";
    }

    SessionRun run;
    RecordingSavedFileView shown;
    AttachmentSaver saver{run.view, shown};
};

} // namespace

TEST(SavingRun, UuencodedMimeAndSplitPicturesArriveByteForByte)
{
    const std::string uuPicture = JpegSample::bytes(300, 200);
    const std::string mimePicture = JpegSample::bytes(640, 480, {.quality = 70});
    const std::string splitPicture = JpegSample::bytes(800, 600, {.quality = 95});
    std::vector<ModelArticle> articles{
        ArticleText::uuArticle(1, "a uuencoded one", "uu.jpg", uuPicture),
        ArticleText::mimeArticle(2, "a mime one", "mime.jpg", mimePicture),
        NewsServerModel::article(3, "talk@model", "no picture here", 20),
    };
    for (ModelArticle& part : ArticleText::splitUuArticles(4, "a split one", "split.jpg", splitPicture, 3))
        articles.push_back(std::move(part));

    SavingRun saving;
    saving.run.view.maximum = "2000";
    saving.run.model.addGroup("alt.binaries.pictures", articles);
    saving.run.view.groups = {{"alt.binaries.pictures", true}};
    saving.run.start();
    ASSERT_TRUE(saving.run.waitForEnd(20000));

    const std::string folder = saving.run.view.downloadFolder;
    EXPECT_EQ(filesIn(folder), (Strings{"mime.jpg", "split.jpg", "uu.jpg"}));
    EXPECT_EQ(readFile(folder + "uu.jpg"), uuPicture);
    EXPECT_EQ(readFile(folder + "mime.jpg"), mimePicture);
    EXPECT_EQ(readFile(folder + "split.jpg"), splitPicture);
    // The split picture is shown once, when it is whole.
    EXPECT_EQ(saving.shown.names, (Strings{"uu.jpg", "mime.jpg", "split.jpg"}));
    EXPECT_EQ(saving.shown.files, 3);
    // Previews are made off the window's thread; one still being made when a newer file is
    // shown is dropped, so the newest picture is the one left on the page.
    while (saving.saver.previewing())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    ASSERT_FALSE(saving.shown.pictures.empty());
    EXPECT_LE(saving.shown.pictures.size(), 3u);
    EXPECT_EQ(saving.shown.pictures.back().name, "split.jpg");
    EXPECT_EQ(saving.shown.pictures.back().height, 600);
    EXPECT_FALSE(saving.shown.pictures.back().image.isNull());
    EXPECT_EQ(saving.run.session.watchdogExpiries(), 0);
}

TEST(SavingRun, SeparateGroupsGetTheirFoldersMadeWithTheDownloadFolder)
{
    SavingRun saving;
    saving.run.view.oneFolder = false;
    saving.run.view.downloadFolder = TestEnvironment::root() + "not yet there";
    saving.run.model.addGroup("alt.one", {ArticleText::uuArticle(1, "first", "pic.jpg", "one")});
    saving.run.model.addGroup("alt.two", {ArticleText::mimeArticle(1, "second", "pic.jpg", "two"),
                                          ArticleText::mimeArticle(2, "third", "pic.jpg", "three")});
    saving.run.view.groups = {{"alt.one", true}, {"alt.two", true}};
    saving.run.start();
    ASSERT_TRUE(saving.run.waitForEnd(20000));

    const std::string folder = saving.run.view.downloadFolder + "/";
    EXPECT_EQ(filesIn(folder), (Strings{"alt.one", "alt.one/pic.jpg", "alt.two", "alt.two/1pic.jpg", "alt.two/pic.jpg"}));
    EXPECT_EQ(readFile(folder + "alt.one/pic.jpg"), "one");
    EXPECT_EQ(readFile(folder + "alt.two/pic.jpg"), "two");
    EXPECT_EQ(readFile(folder + "alt.two/1pic.jpg"), "three");
    EXPECT_EQ(saving.shown.paths.back(), folder + "alt.two/1pic.jpg");
}

TEST(SavingRun, AFileThatCannotBeSavedReconnectsAndTheRunGoesOn)
{
    SavingRun saving;
    saving.run.view.oneFolder = false;
    const std::string download = saving.run.view.downloadFolder;
    std::filesystem::create_directories(download);
    std::ofstream(download + "alt.blocked") << "a file where the group's folder should go";
    saving.run.model.addGroup("alt.blocked", {ArticleText::uuArticle(1, "lost", "lost.jpg", "lost")});
    saving.run.model.addGroup("alt.open", {ArticleText::uuArticle(1, "kept", "kept.jpg", "kept")});
    saving.run.view.groups = {{"alt.blocked", true}, {"alt.open", true}};
    saving.run.start();
    ASSERT_TRUE(saving.run.waitForEnd(20000));

    EXPECT_GE(saving.run.session.watchdogExpiries(), 1);
    EXPECT_EQ(saving.shown.names, Strings{"kept.jpg"});
    EXPECT_EQ(saving.shown.files, 1);
    EXPECT_EQ(readFile(download + "alt.open/kept.jpg"), "kept");
}

} // namespace nimbra::test
