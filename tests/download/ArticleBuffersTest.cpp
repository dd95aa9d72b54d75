#include "download/ArticleBuffers.h"
#include "download/ArticleFetch.h"
#include "download/ArticleSink.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace nimbra;

// An article's memory has room for its announced size, is used again by the next article,
// and what is kept stays within its bounds; a stream given back is empty when taken again.
TEST(ArticleBuffers, MemoryIsUsedAgainWithinItsBounds)
{
    ArticleBuffers::release();
    auto first = ArticleBuffers::take(800000);
    EXPECT_GE(first->capacity(), 800000u);
    EXPECT_EQ(first->size(), 0);
    first->write("line\r\n", 6);
    const char* memory = first->memory();
    ArticleBuffers::giveBack(std::move(first));
    EXPECT_EQ(ArticleBuffers::kept(), 1u);
    auto again = ArticleBuffers::take(0);
    EXPECT_EQ(again->memory(), memory) << "the memory was not used again";
    EXPECT_EQ(again->size(), 0);
    EXPECT_EQ(again->position(), 0);
    ArticleBuffers::giveBack(std::move(again));

    // A hostile announced size reserves no more than the bound.
    auto huge = ArticleBuffers::take(std::int64_t{1} << 40);
    EXPECT_LT(huge->capacity(), ArticleBuffers::MaxReserved + (std::size_t{1} << 20));
    ArticleBuffers::giveBack(std::move(huge));

    std::vector<std::unique_ptr<MemoryStream>> many;
    for (std::size_t i = 0; i < ArticleBuffers::MaxKept + 8; ++i)
        many.push_back(ArticleBuffers::take(4 << 20));
    for (auto& stream : many)
        ArticleBuffers::giveBack(std::move(stream));
    EXPECT_LE(ArticleBuffers::kept(), ArticleBuffers::MaxKept);
    EXPECT_LE(ArticleBuffers::kept() * (4u << 20), ArticleBuffers::MaxKeptBytes + ArticleBuffers::MaxKept * 8192);
    ArticleBuffers::release();
    EXPECT_EQ(ArticleBuffers::kept(), 0u);
}

namespace {
struct ThrowingSink : ArticleSink {
    std::string seen;
    void articleDone(const Article& article) override
    {
        seen = article.ArticleStream.data();
        throw std::runtime_error("disk full");
    }
};
} // namespace

// A fetch hands its memory back when the article was delivered, also when the sink threw, and
// an article fetched into used memory holds only its own bytes.
TEST(ArticleBuffers, AFetchGivesItsMemoryBack)
{
    ArticleBuffers::release();
    ThrowingSink sink;
    ArticleFetch fetch;
    for (const std::string text : {"a longer first article\r\n", "second\r\n"}) {
        MemoryStream* stream = fetch.begin(0, 100);
        stream->write(text.data(), text.size());
        fetch.ended();
        EXPECT_THROW(fetch.deliver(&sink, 0, "alt.test"), std::runtime_error);
        EXPECT_EQ(sink.seen, text);
        EXPECT_FALSE(fetch.open());
        EXPECT_EQ(ArticleBuffers::kept(), 1u);
    }
    fetch.begin(0, 0);
    fetch.drop();
    EXPECT_EQ(ArticleBuffers::kept(), 1u);
    ArticleBuffers::release();
}
