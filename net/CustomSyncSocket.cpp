#include "net/CustomSyncSocket.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

namespace nimbra {

bool CustomSyncSocket::WaitUntilReady(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    QTimer tick;  // wakes the wait below at least this often
    tick.start(10);
    while (!done() && HSocket() >= 0 && timer.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
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
