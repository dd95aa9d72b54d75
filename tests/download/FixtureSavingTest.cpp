// Articles made with standard tools (Python's email package, sharutils uuencode, split and an
// xxencode maker), kept in tests/fixtures/ with a README saying how each was made. Each case
// runs its articles through the saver as a run would and compares every saved file with its
// source by SHA-256.
#include "tests/download/FixtureCases.h"
#include "tests/download/SaverFixture.h"

#include <gtest/gtest.h>

namespace nimbra::test {
namespace {

TEST(FixtureSaving, EveryFixtureSavesItsFilesByteForByte)
{
    const auto hashes = FixtureCases::payloadHashes();
    const auto cases = FixtureCases::all();
    ASSERT_GE(cases.size(), 20u);
    for (const FixtureCase& c : cases) {
        SCOPED_TRACE(c.name);
        Saving saving;
        for (const std::string& article : c.articles) {
            const std::string text = FixtureCases::wireText(article);
            ASSERT_FALSE(text.empty()) << article;
            saving.text(text);
        }
        std::vector<std::string> expected;
        for (const auto& [name, payload] : c.files) {
            expected.push_back(name);
            ASSERT_EQ(hashes.count(payload), 1u) << payload;
            EXPECT_EQ(FixtureCases::sha256Of(saving.folder() + name), hashes.at(payload)) << name;
        }
        // Nothing else: no stray file, no working file left over.
        EXPECT_EQ(entriesIn(saving.folder()), expected);
        auto shown = saving.view.names;
        std::sort(shown.begin(), shown.end());
        EXPECT_EQ(shown, expected);
        EXPECT_EQ(saving.view.files, static_cast<std::int32_t>(expected.size()));
    }
}

TEST(FixtureSaving, PayloadsMatchTheirRecordedHashes)
{
    // A payload edited without making the fixtures again would make the case above compare
    // against the wrong bytes.
    for (const auto& [payload, hash] : FixtureCases::payloadHashes())
        EXPECT_EQ(FixtureCases::sha256Of(FixtureCases::folder() + "/payloads/" + payload), hash) << payload;
}

} // namespace
} // namespace nimbra::test
