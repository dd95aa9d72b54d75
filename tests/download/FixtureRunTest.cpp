// The fixtures of tests/fixtures/ posted to the model news server and harvested by whole runs:
// every case in a group of its own (saved into the group's folder), with a post that carries
// no file after every article, as other posts sit between the parts of a real split file.
// Every file must come out byte for byte, be shown and counted once, and nothing else.
#include "download/AttachmentSaver.h"
#include "tests/download/FixtureCases.h"
#include "tests/download/RecordingSavedFileView.h"
#include "tests/download/SaverFixture.h"
#include "tests/download/SessionRun.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

namespace nimbra::test {
namespace {

using Strings = std::vector<std::string>;

std::string ledgerPath(const std::string& name, const std::string& kind)
{
    const std::string folder = TestEnvironment::root() + name + "-ledgers/";
    std::filesystem::create_directories(folder);
    return folder + kind;
}

// A run into the folder of the given name, with ledgers of unfinished files of its own, which
// a later run of the same name reads again.
struct FixtureRun {
    explicit FixtureRun(const std::string& name)
        : saver(run.view, shown, ledgerPath(name, "yenc"), ledgerPath(name, "split"))
    {
        run.view.downloadFolder = TestEnvironment::root() + name + "/";
        run.view.oneFolder = false;
        run.session.setArticleSink(&saver);
    }

    // Posts the articles into a group of their own, each followed by a post without a file.
    void post(const std::string& group, const Strings& articlePaths, std::int64_t first = 1)
    {
        std::vector<ModelArticle> articles;
        std::int64_t number = first;
        for (const std::string& path : articlePaths) {
            articles.push_back(FixtureCases::modelArticle(number, std::to_string(number) + "@" + group, path));
            ++number;
            articles.push_back(NewsServerModel::article(number, std::to_string(number) + "@" + group, "Re: thanks", 3));
            ++number;
        }
        run.model.addGroup(group, std::move(articles));
        run.view.groups.emplace_back(group, true);
    }

    bool harvest()
    {
        run.start();
        return run.waitForEnd(60000);
    }

    std::string folderOf(const std::string& group) const { return run.view.downloadFolder + group + "/"; }

    // The names a user sees in a group's folder; working files are hidden (a leading dot).
    Strings visibleIn(const std::string& group) const
    {
        Strings names;
        if (std::filesystem::exists(folderOf(group)))
            for (const std::string& name : entriesIn(folderOf(group)))
                if (name[0] != '.')
                    names.push_back(name);
        return names;
    }

    // What was shown, by group folder.
    std::map<std::string, Strings> shownByGroup() const
    {
        std::map<std::string, Strings> byGroup;
        for (const std::string& path : shown.paths) {
            const std::filesystem::path p(path);
            byGroup[p.parent_path().filename().string()].push_back(p.filename().string());
        }
        for (auto& [group, names] : byGroup)
            std::sort(names.begin(), names.end());
        return byGroup;
    }

    SessionRun run;
    RecordingSavedFileView shown;
    AttachmentSaver saver;
};

std::string groupOf(const FixtureCase& c) { return "alt.binaries.fixture." + c.name; }

} // namespace

class FixtureRunByWalk : public testing::TestWithParam<bool> {};

TEST_P(FixtureRunByWalk, EveryFixtureComesOutOfAWholeRunByteForByteAndIsCountedOnce)
{
    const bool overview = GetParam();
    const auto hashes = FixtureCases::payloadHashes();
    const auto cases = FixtureCases::all();
    FixtureRun harvest(overview ? "fixture-run-overview" : "fixture-run-classic");
    harvest.run.model.setOverview(overview);
    harvest.run.view.fastScan = overview;
    for (const FixtureCase& c : cases)
        harvest.post(groupOf(c), c.articles);
    ASSERT_TRUE(harvest.harvest());

    const auto shown = harvest.shownByGroup();
    std::int32_t files = 0;
    for (const FixtureCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string group = groupOf(c);
        Strings expected;
        for (const auto& [name, payload] : c.files) {
            expected.push_back(name);
            EXPECT_EQ(FixtureCases::sha256Of(harvest.folderOf(group) + name), hashes.at(payload)) << name;
        }
        // Only the files, and no working file left behind either.
        const Strings present = std::filesystem::exists(harvest.folderOf(group)) ? entriesIn(harvest.folderOf(group)) : Strings{};
        EXPECT_EQ(present, expected);
        EXPECT_EQ(shown.count(group) ? shown.at(group) : Strings{}, expected);
        files += static_cast<std::int32_t>(expected.size());
    }
    EXPECT_EQ(harvest.shown.files, files);
    EXPECT_EQ(harvest.run.session.watchdogExpiries(), 0);
}

INSTANTIATE_TEST_SUITE_P(Walks, FixtureRunByWalk, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) { return info.param ? "Overview" : "ArticleByArticle"; });

TEST(FixtureRun, AMissingPartKeepsTheFileHiddenUntilALaterRunBringsIt)
{
    const std::string folder = FixtureCases::folder() + "/articles/";
    Strings parts;
    for (int n = 12; n >= 1; --n)
        parts.push_back(folder + (n < 10 ? "uu-twelve-0" : "uu-twelve-") + std::to_string(n) + ".article");
    const std::string group = "alt.binaries.twelve";
    const std::string seventh = folder + "uu-twelve-07.article";
    {
        FixtureRun first("two-runs");
        Strings withoutSeventh;
        for (const std::string& part : parts)
            if (part != seventh)
                withoutSeventh.push_back(part);
        first.post(group, withoutSeventh);
        ASSERT_TRUE(first.harvest());
        // Eleven parts are kept, but nothing is under a name the user sees, shown or counted.
        EXPECT_EQ(first.visibleIn(group), Strings{});
        EXPECT_EQ(first.shown.names, Strings{});
        EXPECT_EQ(first.shown.files, 0);
    }
    // The next run finds the missing part, posted later (a higher number), and the parts it
    // had already; the file comes out whole, once.
    FixtureRun second("two-runs");
    second.post(group, {seventh}, 100);
    ASSERT_TRUE(second.harvest());
    EXPECT_EQ(second.visibleIn(group), Strings{"twelve.bin"});
    EXPECT_EQ(FixtureCases::sha256Of(second.folderOf(group) + "twelve.bin"), FixtureCases::payloadHashes().at("twelve.bin"));
    EXPECT_EQ(second.shown.names, Strings{"twelve.bin"});
    EXPECT_EQ(second.shown.files, 1);
    EXPECT_EQ(entriesIn(second.folderOf(group)), Strings{"twelve.bin"});
}

} // namespace nimbra::test
