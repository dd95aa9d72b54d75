#include "grouplist/WaitPump.h"

#include <QCoreApplication>
#include <QThread>

namespace nimbra {
namespace {
WaitPump* current = nullptr;
}

WaitPump::WaitPump()
{
    current = this;
}

WaitPump::~WaitPump()
{
    if (current == this)
        current = nullptr;
}

WaitPump* WaitPump::inUse()
{
    if (!current || !current->Active)
        return nullptr;
    const QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread())
        return nullptr;
    return current;
}

void WaitPump::pump(bool idle, bool force)
{
    WaitPump* pump = inUse();
    if (!pump || !(idle || !pump->OnlyWhenIdle || force))
        return;
    if (pump->ApplicationHasPriority)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    else
        QCoreApplication::processEvents(QEventLoop::AllEvents, 0);
}

} // namespace nimbra
