#include "tests/support/FakeNewsServer.h"
#include "tools/newsmodel/NewsServerModel.h"

namespace nimbra::test {

std::unique_ptr<FakeNewsServer> NewsServerModel::start()
{
    return std::make_unique<FakeNewsServer>(greeting(), responder());
}

} // namespace nimbra::test
