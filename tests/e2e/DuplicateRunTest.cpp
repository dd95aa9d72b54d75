// Reposts recognised by their content, through the program run unattended against the demo
// news server: one picture posted in three encodings under three names and message-ids is
// kept once, a repost after the kept copy was deleted is not saved again, a scaled copy is
// kept and found similar by --similar, and "Skip pictures I already have" cleared keeps all.
#include "tests/e2e/DemoServer.h"
#include "tests/e2e/ProgramRun.h"
#include "tests/support/TestEnvironment.h"
#include "tools/newsmodel/ArticleEncoders.h"
#include "tools/newsmodel/DemoPicture.h"
#include "tools/newsmodel/YencEncoder.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>

#include <filesystem>

namespace nimbra::test {
namespace {

using Strings = std::vector<std::string>;

const std::string Reposts = "alt.binaries.reposts";
const std::string Later = "alt.binaries.reposts.later";

std::string jpegOf(const QImage& image, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", quality);
    return bytes.toStdString();
}

struct Pictures {
    std::string original = DemoPicture::jpeg(800, 600, 21);
    std::string scaled;
    std::string unrelated;
    Pictures()
    {
        const QImage image = QImage::fromData(QByteArray::fromStdString(original));
        scaled = jpegOf(image.scaled(400, 300, Qt::IgnoreAspectRatio, Qt::SmoothTransformation), 70);
        // Stripes across the picture: nothing like a landscape.
        QImage stripes(600, 400, QImage::Format_RGB32);
        for (int y = 0; y < stripes.height(); ++y)
            for (int x = 0; x < stripes.width(); ++x)
                stripes.setPixel(x, y, ((x / 37 + y / 23) % 2) ? qRgb(240, 240, 240) : qRgb(20, 40, 60));
        unrelated = jpegOf(stripes, 90);
    }
};

ModelArticle post(std::int64_t number, const std::string& id, const std::string& subject, Strings body,
                  Strings headers = {})
{
    ModelArticle article = NewsServerModel::article(number, id, subject, 0, false);
    article.headers.insert(article.headers.end(), headers.begin(), headers.end());
    article.body = std::move(body);
    return article;
}

ModelArticle mimePost(std::int64_t number, const std::string& id, const std::string& name, const std::string& bytes)
{
    Strings body{"--cut", "Content-Type: image/jpeg; name=\"" + name + "\"", "Content-Transfer-Encoding: base64",
                 "Content-Disposition: attachment; filename=\"" + name + "\"", ""};
    for (std::string& line : ArticleEncoders::base64Lines(bytes))
        body.push_back(std::move(line));
    body.emplace_back("");
    body.emplace_back("--cut--");
    return post(number, id, name, body, {"MIME-Version: 1.0", "Content-Type: multipart/mixed; boundary=\"cut\""});
}

// The first group: the picture as yEnc, uuencode and MIME base64, its scaled copy and an
// unrelated picture. The later group: the picture once more under a new message-id.
void addReposts(DemoServer& server, const Pictures& pictures)
{
    server.model().addGroup(Reposts,
                            {post(1, "yenc@reposts", "harbour (yEnc)", yencSingle("harbour.jpg", pictures.original)),
                             post(2, "uu@reposts", "harbour again - harbour-uu.jpg (1/1)",
                                  ArticleEncoders::uuFile("harbour-uu.jpg", pictures.original)),
                             mimePost(3, "mime@reposts", "harbour-mime.jpg", pictures.original),
                             post(4, "scaled@reposts", "harbour small - harbour-small.jpg (1/1)",
                                  ArticleEncoders::uuFile("harbour-small.jpg", pictures.scaled)),
                             post(5, "stripes@reposts", "stripes (yEnc)", yencSingle("stripes.jpg", pictures.unrelated))});
    server.model().addGroup(Later, {mimePost(1, "repost@later", "harbour-repost.jpg", pictures.original)});
}

Strings namesIn(const std::string& folder)
{
    Strings names;
    for (const auto& [path, bytes] : DemoServer::filesBelow(folder))
        names.push_back(path);
    return names;
}

Strings arguments(const DemoServer& server, const std::string& folder, const std::string& group)
{
    return {"--server", "127.0.0.1", "--port", server.portText(), "--folder", folder, "--groups", group, "--get-files"};
}

bool endsWith(const std::string& line, const std::string& tail)
{
    return line.size() >= tail.size() && line.compare(line.size() - tail.size(), tail.size(), tail) == 0;
}

} // namespace

TEST(DuplicateRun, ARepostIsKeptOnceAndADeletedOneStaysGoneWhileASimilarCopyIsKeptAndGrouped)
{
    const Pictures pictures;
    DemoServer server;
    addReposts(server, pictures);
    server.start();
    const std::string folder = TestEnvironment::makeFolder("reposts");

    const ProgramRun first = ProgramRun::run(arguments(server, folder, Reposts));
    ASSERT_EQ(first.exitCode, 0) << first.err;
    EXPECT_EQ(namesIn(folder), (Strings{"harbour-small.jpg", "harbour.jpg", "stripes.jpg"}));
    EXPECT_EQ(DemoServer::filesBelow(folder)["harbour.jpg"], pictures.original);
    ASSERT_FALSE(first.out.empty());
    EXPECT_TRUE(endsWith(first.out.back(), "Duplicates: 2.")) << first.out.back();
    EXPECT_TRUE(first.out.back().rfind("Today: 3 files,", 0) == 0) << first.out.back();

    const ProgramRun similar = ProgramRun::run({"--folder", folder, "--similar"});
    ASSERT_EQ(similar.exitCode, 0) << similar.err;
    EXPECT_EQ(similar.out, (Strings{folder + "harbour-small.jpg\t" + folder + "harbour.jpg"}));

    // Deleted by the user; the same picture comes again under a new message-id.
    std::filesystem::remove(folder + "harbour.jpg");
    const ProgramRun later = ProgramRun::run(arguments(server, folder, Later));
    ASSERT_EQ(later.exitCode, 0) << later.err;
    EXPECT_TRUE(later.saved().empty());
    EXPECT_EQ(namesIn(folder), (Strings{"harbour-small.jpg", "stripes.jpg"}));
    EXPECT_TRUE(endsWith(later.out.back(), "Duplicates: 1.")) << later.out.back();
    EXPECT_TRUE(later.out.back().rfind("Today: 0 files,", 0) == 0) << later.out.back();
}

TEST(DuplicateRun, WithSkippingClearedEveryRepostIsSavedAsBefore)
{
    const Pictures pictures;
    DemoServer server;
    addReposts(server, pictures);
    server.start();
    const std::string folder = TestEnvironment::makeFolder("everything");

    Strings given = arguments(server, folder, Reposts);
    given.push_back("--keep-duplicates");
    const ProgramRun run = ProgramRun::run(given);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto files = DemoServer::filesBelow(folder);
    EXPECT_EQ(namesIn(folder), (Strings{"harbour-mime.jpg", "harbour-small.jpg", "harbour-uu.jpg", "harbour.jpg",
                                        "stripes.jpg"}));
    for (const char* name : {"harbour.jpg", "harbour-uu.jpg", "harbour-mime.jpg"})
        EXPECT_EQ(files.at(name), pictures.original) << name;
    EXPECT_TRUE(endsWith(run.out.back(), "Duplicates: 0.")) << run.out.back();

    // The choice is kept with the settings: the next run without the option keeps all too.
    const std::string again = TestEnvironment::makeFolder("again");
    const ProgramRun second = ProgramRun::run(arguments(server, again, Later));
    ASSERT_EQ(second.exitCode, 0) << second.err;
    EXPECT_EQ(namesIn(again), (Strings{"harbour-repost.jpg"}));
}

TEST(DuplicateRun, SimilarOnAFolderThatIsNotThereFails)
{
    const ProgramRun run = ProgramRun::run({"--folder", TestEnvironment::root() + "nowhere", "--similar"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("does not exist"), std::string::npos) << run.err;
}

} // namespace nimbra::test
