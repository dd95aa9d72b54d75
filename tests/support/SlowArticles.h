#pragma once

#include "tools/newsmodel/ServerScript.h"

#include <functional>
#include <string>

namespace nimbra::test {

// Answers as responder does, but pauses ms before the reply to each ARTICLE command for which
// hold(line, connection) holds. Tests keep a connection or some articles slow with it, so that
// what they wait for happens before the run could end, however loaded the machine.
ServerResponder slowArticles(ServerResponder responder, int ms,
                             std::function<bool(const std::string& line, const FakeConnection& connection)> hold);

} // namespace nimbra::test
