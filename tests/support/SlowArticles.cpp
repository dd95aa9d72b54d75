#include "tests/support/SlowArticles.h"

#include <utility>

namespace nimbra::test {

ServerResponder slowArticles(ServerResponder responder, int ms,
                             std::function<bool(const std::string& line, const FakeConnection& connection)> hold)
{
    return [responder = std::move(responder), ms, hold = std::move(hold)](const std::string& line,
                                                                         FakeConnection& connection) {
        ServerScript reply = responder(line, connection);
        if (line.rfind("ARTICLE ", 0) == 0 && hold(line, connection))
            reply.insert(reply.begin(), silence(ms));
        return reply;
    };
}

} // namespace nimbra::test
