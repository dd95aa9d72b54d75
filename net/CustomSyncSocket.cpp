#include "net/CustomSyncSocket.h"

#include <QCoreApplication>
#include <QElapsedTimer>

namespace nimbra {

bool CustomSyncSocket::WaitUntilReady(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && HSocket() >= 0 && timer.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    return done();
}

std::string CustomSyncSocket::ReadLine(int timeoutMs)
{
    const bool wasLineMode = LineMode();
    ErrorEvent previous = std::move(OnDataAvailable);
    std::string line;
    bool got = false;
    OnDataAvailable = [&](CustomAsyncSocket&, std::uint16_t) {
        if (got)
            return;
        line = ReceiveStr();
        got = true;
    };
    SetLineMode(true);
    WaitUntilReady([&] { return got; }, timeoutMs);
    OnDataAvailable = std::move(previous);
    SetLineMode(wasLineMode);
    if (line.size() >= LineEnd().size())
        line.resize(line.size() - LineEnd().size());
    return line;
}

} // namespace nimbra
