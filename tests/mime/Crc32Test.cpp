#include "mime/Crc32.h"
#include "tests/support/YencTestEncoder.h"

#include <gtest/gtest.h>

namespace nimbra {
namespace {

class Crc32Paths : public ::testing::TestWithParam<Crc32::Path> {
protected:
    void SetUp() override
    {
        if (GetParam() == Crc32::Path::Folding && !Crc32::foldingAvailable())
            GTEST_SKIP() << "no carry-less multiplication on this processor";
        Crc32::choose(GetParam());
    }
    void TearDown() override { Crc32::choose(Crc32::Path::Auto); }
};

TEST_P(Crc32Paths, CheckValueOfTheDigits)
{
    EXPECT_EQ(Crc32::update(0, "123456789", 9), 0xCBF43926u);
    EXPECT_EQ(Crc32::update(0, "", 0), 0u);
}

TEST_P(Crc32Paths, EveryLengthAgreesWithTheBitwiseDefinition)
{
    const std::string data = test::yencPayload(1100, 7);
    for (std::size_t length = 0; length <= data.size(); ++length) {
        const std::string piece = data.substr(data.size() - length);
        ASSERT_EQ(Crc32::update(0, piece.data(), piece.size()), test::referenceCrc32(piece)) << "length " << length;
    }
}

TEST_P(Crc32Paths, RunsChainAtAnySplit)
{
    const std::string data = test::yencPayload(70000, 3);
    const std::uint32_t whole = test::referenceCrc32(data);
    for (std::size_t split : {0u, 1u, 15u, 63u, 64u, 65u, 1000u, 69999u, 70000u}) {
        const std::uint32_t first = Crc32::update(0, data.data(), split);
        EXPECT_EQ(Crc32::update(first, data.data() + split, data.size() - split), whole) << "split " << split;
    }
}

INSTANTIATE_TEST_SUITE_P(Both, Crc32Paths, ::testing::Values(Crc32::Path::Table, Crc32::Path::Folding));

} // namespace
} // namespace nimbra
