#include "app/StopSignals.h"

#include "platform/Log.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <stdexcept>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace nimbra {
namespace {

constexpr int Handled[] = {SIGINT, SIGTERM, SIGHUP};

// The pipe from the handler to the event loop: [0] read by the loop, [1] written by the
// handler. -1 while no StopSignals lives.
int pipeEnds[2] = {-1, -1};

void setDisposition(void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : Handled)
        ::sigaction(signal, &action, nullptr);
}

extern "C" void onStopSignal(int signal)
{
    // Only calls that are safe in a handler: the next signal ends the program at once.
    const int saved = errno;
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (const int handled : Handled)
        ::sigaction(handled, &action, nullptr);
    const unsigned char byte = static_cast<unsigned char>(signal);
    if (pipeEnds[1] >= 0)
        [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &byte, 1);
    errno = saved;
}

} // namespace

StopSignals::StopSignals(std::function<void(int signal)> onSignal) : onSignal_(std::move(onSignal))
{
    if (pipeEnds[0] >= 0)
        throw std::logic_error("StopSignals: one at a time");
    if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) {
        qCWarning(logApp, "cannot watch for stop signals (%s); they end the program at once", std::strerror(errno));
        pipeEnds[0] = pipeEnds[1] = -1;
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(pipeEnds[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { arrived(); });
    setDisposition(onStopSignal);
}

StopSignals::~StopSignals()
{
    setDisposition(SIG_DFL);
    notifier_.reset();
    for (int& end : pipeEnds) {
        if (end >= 0)
            ::close(end);
        end = -1;
    }
}

const char* StopSignals::name(int signal)
{
    switch (signal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return "a signal";
    }
}

void StopSignals::arrived()
{
    unsigned char byte = 0;
    if (::read(pipeEnds[0], &byte, 1) != 1)
        return;
    notifier_->setEnabled(false);  // one signal is acted on; the next has its default effect
    qCInfo(logApp, "%s received: stopping as \"Close\" does", name(byte));
    if (onSignal_)
        onSignal_(byte);
}

} // namespace nimbra
