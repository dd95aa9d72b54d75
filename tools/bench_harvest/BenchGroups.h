#pragma once

#include "tests/support/NewsServerModel.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace nimbra::test {

class FakeNewsServer;

// The groups the harvest benchmark walks.
class BenchGroups {
public:
    // count pictures of 20 to 60 KB, uuencoded lines, numbered from 1.
    static std::vector<ModelArticle> pictures(int count);
    // count yEnc parts of partBytes each (lines of 128 characters), numbered from 1.
    static std::vector<ModelArticle> yencParts(int count, int partBytes);
    // One file of random bytes posted as count real yEnc parts of partBytes each (lines of
    // 128), numbered from 1: what the saver decodes and joins.
    static std::vector<ModelArticle> yencFile(int count, int partBytes);
    // A server whose group "bench.million" holds articles 1..articles with an overview made as
    // it is asked (every article far larger than any size limit, so nothing is fetched). It
    // answers CAPABILITIES, GROUP, LIST OVERVIEW.FMT, OVER/XOVER and QUIT.
    static std::unique_ptr<FakeNewsServer> overviewServer(std::int64_t articles);
};

} // namespace nimbra::test
