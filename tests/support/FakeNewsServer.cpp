#include "tests/support/FakeNewsServer.h"

#include "tests/support/EventLoop.h"
#include "tests/support/FakeServerSocket.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

namespace nimbra::test {

namespace {

std::string describe(const FakeStep& step)
{
    switch (step.kind) {
    case FakeStep::Expect: return "expect(\"" + step.text + "\")";
    case FakeStep::ExpectBlock: return "expectBlock(" + std::to_string(step.lines.size()) + " lines)";
    case FakeStep::ExpectClose: return "expectClose()";
    case FakeStep::Send: return "send(\"" + step.text.substr(0, 60) + "\")";
    case FakeStep::Silence: return "silence(" + std::to_string(step.ms) + ")";
    case FakeStep::Close: return "close()";
    case FakeStep::Reset: return "reset()";
    case FakeStep::Fail: return "fail(\"" + step.text + "\")";
    case FakeStep::Compress: return "startCompression()";
    case FakeStep::Repeat: return "repeat(\"" + step.text.substr(0, 40) + "\", " + std::to_string(step.count) + ")";
    }
    return "?";
}

} // namespace

struct FakeNewsServer::Impl {
    explicit Impl(const ServerCertificate* tls = nullptr) : socket(tls) {}

    Script script;
    Greeting greeting;
    Responder responder;
    FakeServerSocket socket;
    std::thread thread;

    mutable std::mutex mutex;  // guards everything below
    std::vector<std::string> received;
    std::vector<std::string> problems;
    std::size_t problemsReported = 0;
    std::size_t step = 0;
    bool finished = false;

    void record(const std::string& line)
    {
        std::lock_guard lock(mutex);
        received.push_back(line);
    }

    void problem(std::string text)
    {
        std::lock_guard lock(mutex);
        problems.push_back(std::move(text));
    }

    // Reads a line and records it; false when the connection ended or the server stops.
    bool readLine(std::string& line)
    {
        if (socket.readLine(line) != FakeServerSocket::Line)
            return false;
        record(line);
        return true;
    }

    // Performs an action step; false when the step was not an action.
    bool perform(const FakeStep& step)
    {
        switch (step.kind) {
        case FakeStep::Send: socket.sendBytes(step.text); return true;
        case FakeStep::Silence: socket.pause(step.ms); return true;
        case FakeStep::Close: socket.closeConnection(false); return true;
        case FakeStep::Reset: socket.closeConnection(true); return true;
        case FakeStep::Fail: problem(step.text); return true;
        case FakeStep::Compress: socket.startCompression(); return true;
        case FakeStep::Repeat:
            for (int i = 0; (step.count == 0 || i < step.count) && socket.sendBytes(step.text) && !stopped(); ++i)
                if (step.ms > 0)
                    socket.pause(step.ms);
            return true;
        default: return false;
        }
    }

    // Plays one expectation; false (with the problem recorded) when the client deviated.
    bool play(const FakeStep& step)
    {
        std::string line;
        switch (step.kind) {
        case FakeStep::Expect:
            if (!readLine(line))
                return stopped() || failed("connection closed while waiting for \"" + step.text + "\"");
            return line == step.text || failed("expected \"" + step.text + "\", received \"" + line + "\"");
        case FakeStep::ExpectBlock:
            for (std::size_t i = 0;; ++i) {
                if (!readLine(line))
                    return stopped() || failed("connection closed inside an expected block");
                if (line == ".")
                    return i == step.lines.size() || failed("block ended after " + std::to_string(i) + " of "
                                                            + std::to_string(step.lines.size()) + " lines");
                if (!line.empty() && line[0] == '.')
                    line.erase(0, 1);
                if (i >= step.lines.size() || line != step.lines[i])
                    return failed("block line " + std::to_string(i + 1) + ": expected \""
                                  + (i < step.lines.size() ? step.lines[i] : std::string("."))
                                  + "\", received \"" + line + "\"");
            }
        case FakeStep::ExpectClose:
            if (readLine(line))
                return failed("expected the client to close, received \"" + line + "\"");
            socket.closeConnection(false);
            return true;
        default:
            return perform(step);
        }
    }

    bool stopped() const { return socket.stopping(); }

    bool failed(std::string text)
    {
        problem(std::move(text));
        socket.closeConnection(false);
        return false;
    }

    void runScript()
    {
        for (std::size_t i = 0; i < script.size() && !stopped(); ++i) {
            {
                std::lock_guard lock(mutex);
                step = i;
            }
            if (script[i].kind != FakeStep::Fail && !socket.connected() && !socket.acceptNext())
                return;
            if (!play(script[i]))
                break;
        }
        {
            std::lock_guard lock(mutex);
            step = script.size();
            finished = true;
        }
        std::string line;
        while (!stopped()) {
            if (!socket.connected() && !socket.acceptNext())
                return;
            if (readLine(line))
                failed("unexpected line after the end of the script: \"" + line + "\"");
            else
                socket.closeConnection(false);
        }
    }

    void runResponder()
    {
        while (!stopped() && socket.acceptNext()) {
            FakeConnection connection;
            connection.index = socket.accepted() - 1;
            answer(greeting ? greeting(connection) : Script{});
            std::string line;
            while (socket.connected() && readLine(line)) {
                connection.received.push_back(line);
                try {
                    answer(responder(line, connection));
                } catch (const std::exception& e) {
                    failed(std::string("responder raised: ") + e.what());
                }
            }
            socket.closeConnection(false);
        }
    }

    void answer(const Script& actions)
    {
        for (const FakeStep& action : actions)
            if (socket.connected() && !perform(action))
                failed("a responder cannot wait: " + describe(action));
    }

    void report()
    {
        std::lock_guard lock(mutex);
        for (; problemsReported < problems.size(); ++problemsReported)
            ADD_FAILURE() << "fake news server: " << problems[problemsReported];
    }
};

FakeNewsServer::FakeNewsServer(Script script) : d(std::make_unique<Impl>())
{
    d->script = std::move(script);
    d->thread = std::thread([this] { d->runScript(); });
}

FakeNewsServer::FakeNewsServer(Greeting greeting, Responder responder) : d(std::make_unique<Impl>())
{
    d->greeting = std::move(greeting);
    d->responder = std::move(responder);
    d->thread = std::thread([this] { d->runResponder(); });
}

FakeNewsServer::FakeNewsServer(Tls tls, Script script) : d(std::make_unique<Impl>(&tls.certificate))
{
    d->script = std::move(script);
    d->thread = std::thread([this] { d->runScript(); });
}

FakeNewsServer::FakeNewsServer(Tls tls, Greeting greeting, Responder responder)
    : d(std::make_unique<Impl>(&tls.certificate))
{
    d->greeting = std::move(greeting);
    d->responder = std::move(responder);
    d->thread = std::thread([this] { d->runResponder(); });
}

FakeNewsServer::~FakeNewsServer()
{
    d->socket.stop();
    d->thread.join();
    d->report();
}

std::uint16_t FakeNewsServer::port() const { return d->socket.port(); }
std::string FakeNewsServer::portText() const { return std::to_string(d->socket.port()); }
int FakeNewsServer::connections() const { return d->socket.accepted(); }

std::vector<std::string> FakeNewsServer::received() const
{
    std::lock_guard lock(d->mutex);
    return d->received;
}

bool FakeNewsServer::finished() const
{
    std::lock_guard lock(d->mutex);
    return d->finished;
}

std::vector<std::string> FakeNewsServer::problems() const
{
    std::lock_guard lock(d->mutex);
    return d->problems;
}

void FakeNewsServer::verify(int waitMs)
{
    if (!d->responder)
        waitUntil([this] { return finished(); }, waitMs);
    d->report();
    std::lock_guard lock(d->mutex);
    if (!d->responder && !d->finished)
        ADD_FAILURE() << "fake news server: the script stopped at step " << d->step + 1 << " of "
                      << d->script.size() << ", " << describe(d->script[d->step]);
}

} // namespace nimbra::test
