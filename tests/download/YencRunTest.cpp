// Whole runs against the model news server with yEnc articles: fetched over the wire (dot-
// stuffed and unstuffed on the way), decoded by the body decoder and put together by the
// assembly, with the cache and the size limits applying as to any article.
#include "download/YencFileSaver.h"
#include "mime/MimeDecoder.h"
#include "platform/AtomicFile.h"
#include "tests/download/SessionRun.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/YencTestEncoder.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace nimbra::test {
namespace {

// Decodes each article and lets the yEnc saver write the files, as the saving code does.
class YencSink : public ArticleSink {
public:
    explicit YencSink(const std::string& folder, const std::string& ledger)
        : folder_(folder), assembly_(ledger), saver_(decoder_.Yenc(), assembly_)
    {
    }
    void articleDone(const Article& article) override
    {
        article.ArticleStream.rewind();
        saver_.setTarget(SaveTarget(folder_, folder_));
        decoder_.DecodeStream(article.ArticleStream);
        decoder_.clearTextFields();
        for (const YencAssembly::Report& report : saver_.takeCompleted())
            completed.push_back(report.name);
    }
    std::vector<std::string> completed;

private:
    std::string folder_;
    MimeDecoder decoder_;
    YencAssembly assembly_;
    YencFileSaver saver_;
};

ModelArticle yencArticle(std::int32_t number, const std::string& id, const std::string& subject,
                         const std::vector<std::string>& yencLines)
{
    ModelArticle a = NewsServerModel::article(number, id, subject, 0, false);
    a.body = {"Posted by the model."};
    a.body.insert(a.body.end(), yencLines.begin(), yencLines.end());
    a.headers.push_back("Lines: " + std::to_string(a.body.size()));
    return a;
}

TEST(YencRun, SingleAndSplitFilesAreSavedAcrossGroupsAndOtherArticles)
{
    const std::string folder = TestEnvironment::makeFolder("run");
    const std::string ledger = TestEnvironment::root() + "run-ledger";
    const YencEncoding bare{128, true, false, 0.0, 7};  // leaves "." at line starts: stuffed on the wire
    const std::string single = yencPayload(20000, 41);
    const std::string split = yencPayload(60000, 42);
    auto part = [&](int n) { return yencPart("split.jpg", split, n, 3, (n - 1) * 20000, n * 20000, bare); };
    // 80 KB in 16-character lines: over the 200 KB limit, which counts 23 lines to the KB.
    const std::string huge = yencPayload(80000, 43);

    const std::vector<std::string> singleLines = yencSingle("single.jpg", single, bare);
    ASSERT_TRUE(std::any_of(singleLines.begin(), singleLines.end(), [](const std::string& l) { return l[0] == '.'; }));

    SessionRun run;
    YencSink sink(folder, ledger);
    run.session.setArticleSink(&sink);
    run.view.downloadFolder = folder;
    run.model.addGroup("alt.binaries.one", {
        yencArticle(1, "s1@model", "here it is", singleLines),
        yencArticle(2, "p2@model", "qwxz 17", part(2)),
        NewsServerModel::article(3, "t3@model", "just talk", 20),
        yencArticle(4, "p3@model", "zz top", part(3)),
        yencArticle(5, "big@model", "too big", yencSingle("big.jpg", huge, {16, false, false, 0.0, 8})),
    });
    run.model.addGroup("alt.binaries.two", {
        yencArticle(1, "p1@model", "another subject", part(1)),
        yencArticle(2, "s1@model", "here it is", singleLines),  // crossposted
    });
    run.view.groups = {{"alt.binaries.one", true}, {"alt.binaries.two", true}};
    run.start();
    ASSERT_TRUE(run.waitForEnd());

    const std::vector<std::string> commands = run.commands();
    const auto two = std::find(commands.begin(), commands.end(), "GROUP alt.binaries.two");
    ASSERT_NE(two, commands.end());
    EXPECT_EQ(std::count(commands.begin(), two, "ARTICLE 5"), 0);      // over the size limit
    EXPECT_EQ(std::count(two, commands.end(), "ARTICLE 2"), 0);        // the crosspost was cached
    EXPECT_EQ(std::count(commands.begin(), commands.end(), std::string("QUIT")), 1);
    EXPECT_EQ(sink.completed, (std::vector<std::string>{"single.jpg", "split.jpg"}));
    std::string bytes;
    ASSERT_TRUE(AtomicFile::read(folder + "single.jpg", bytes));
    EXPECT_EQ(bytes, single);
    ASSERT_TRUE(AtomicFile::read(folder + "split.jpg", bytes));
    EXPECT_EQ(bytes, split);
    EXPECT_FALSE(AtomicFile::read(folder + "big.jpg", bytes));
    EXPECT_FALSE(AtomicFile::read(folder + "1single.jpg", bytes));
}

} // namespace
} // namespace nimbra::test
