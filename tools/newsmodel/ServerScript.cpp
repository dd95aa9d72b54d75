#include "tools/newsmodel/ServerScript.h"

namespace nimbra::test {

FakeStep expect(std::string line) { return {FakeStep::Expect, std::move(line), {}, 0}; }
FakeStep expectBlock(std::vector<std::string> lines) { return {FakeStep::ExpectBlock, {}, std::move(lines), 0}; }
FakeStep expectClose() { return {FakeStep::ExpectClose, {}, {}, 0}; }
FakeStep send(std::string line) { return {FakeStep::Send, std::move(line) + "\r\n", {}, 0}; }
FakeStep sendRaw(std::string bytes) { return {FakeStep::Send, std::move(bytes), {}, 0}; }
FakeStep silence(int ms) { return {FakeStep::Silence, {}, {}, ms}; }
FakeStep close() { return {FakeStep::Close, {}, {}, 0}; }
FakeStep reset() { return {FakeStep::Reset, {}, {}, 0}; }
FakeStep fail(std::string text) { return {FakeStep::Fail, std::move(text), {}, 0}; }
FakeStep startCompression() { return {FakeStep::Compress, {}, {}, 0}; }
FakeStep repeat(std::string line, int count, int everyMs) { return repeatRaw(std::move(line) + "\r\n", count, everyMs); }

FakeStep repeatRaw(std::string bytes, int count, int everyMs)
{
    FakeStep step{FakeStep::Repeat, std::move(bytes), {}, everyMs};
    step.count = count;
    return step;
}

FakeStep sendBlock(std::string status, const std::vector<std::string>& lines)
{
    std::string bytes = std::move(status) + "\r\n";
    for (const std::string& line : lines) {
        if (!line.empty() && line[0] == '.')
            bytes += '.';
        bytes += line;
        bytes += "\r\n";
    }
    bytes += ".\r\n";
    return sendRaw(std::move(bytes));
}

} // namespace nimbra::test
