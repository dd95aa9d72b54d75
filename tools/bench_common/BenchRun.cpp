#include "tools/bench_common/BenchRun.h"

#include "download/DownloadSession.h"

#include <QElapsedTimer>
#include <QEventLoop>

#include <fstream>
#include <utility>

#include <sys/resource.h>

namespace nimbra {

double BenchRun::getFiles(DownloadSession& session)
{
    QEventLoop loop;
    bool ended = false;
    std::function<void()> previous = std::exchange(session.OnRunEnded, [&] {
        ended = true;
        loop.quit();
    });
    QElapsedTimer clock;
    clock.start();
    session.bitbtn1Click();
    if (!ended && session.sessionActive())  // a run refused at once has ended already
        loop.exec();
    const double seconds = clock.nsecsElapsed() / 1e9;
    session.OnRunEnded = std::move(previous);
    return seconds;
}

std::string BenchRun::loadAverage()
{
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

double BenchRun::processorSeconds(const rusage& usage)
{
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double BenchRun::threadProcessorSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return processorSeconds(usage);
}

} // namespace nimbra
