#include "app/UnattendedRun.h"

#include "app/ButtonRow.h"
#include "app/MainWindow.h"
#include "app/SessionWiring.h"
#include "app/StatusPanels.h"
#include "app/StopSignals.h"
#include "download/SaveTarget.h"
#include "platform/Log.h"

#include <QCoreApplication>
#include <QDir>
#include <QPushButton>

#include <cstdio>

namespace nimbra {
namespace {

constexpr int pollMs = 50;
const char* const runOver = "Processing is over";

} // namespace

UnattendedRun::UnattendedRun(MainWindow& window, int noProgressLimitMs)
    : window_(window), noProgressLimitMs_(noProgressLimitMs)
{
    window_.sessionWiring().session().OnGroupDone = [](const std::string& group, const GroupWalker::Counts& counts) {
        std::printf("Group %s: %lld scanned, %lld fetched, %lld skipped\n", group.c_str(),
                    static_cast<long long>(counts.scanned), static_cast<long long>(counts.fetched),
                    static_cast<long long>(counts.skipped));
        std::fflush(stdout);
    };
    // Each file the saver names is printed as it comes; the folder itself is never listed.
    window_.sessionWiring().pictures().setSavedListener(this, [this](const std::string& path) { saved(path); });
    // Nobody looks at the window: no preview is made.
    window_.sessionWiring().pictures().setShowsPictures(false);
    // A damaged content store was set aside when the window was made; the user hears of it.
    if (const std::string& notice = window_.sessionWiring().pictures().notice(); !notice.empty())
        std::fprintf(stderr, "nimbra: %s\n", notice.c_str());
    poller_.setInterval(pollMs);
    connect(&poller_, &QTimer::timeout, this, [this] { poll(); });
}

UnattendedRun::~UnattendedRun()
{
    window_.sessionWiring().pictures().setSavedListener(this, nullptr);
}

void UnattendedRun::start()
{
    // From the event loop, so that the loop is running when finish() ends it.
    QTimer::singleShot(0, this, [this] { begin(); });
}

void UnattendedRun::begin()
{
    folder_ = SaveTarget::downloadFolder(window_.fieldText(Field::Folder));
    QPushButton* getFiles = window_.buttonRow()->getFilesButton();
    // The run would reconnect to nowhere until it is given up.
    if (window_.fieldText(Field::Host).empty()) {
        finish(1, "no news server: give one with --server");
        return;
    }
    if (!getFiles->isEnabled()) {
        finish(1, "\"Get Files\" cannot be pressed");
        return;
    }
    window_.runOutcome().reset();
    getFiles->click();
    // A run that started has disabled the button; one that was refused has said why.
    if (getFiles->isEnabled()) {
        finish(1, "the run did not start");
        return;
    }
    qCInfo(logApp, "unattended run started on %s", window_.fieldText(Field::Host).c_str());
    lastMark_ = progressMark();
    sinceProgress_.start();
    poller_.start();
}

std::string UnattendedRun::progressMark()
{
    const StatusPanels& panels = *window_.statusPanels();
    return panels.panelText(0) + '\n' + panels.panelText(1) + '\n' + panels.panelText(2) + '\n'
           + std::to_string(window_.statistics().TodayFiles);
}

void UnattendedRun::poll()
{
    if (window_.buttonRow()->getFilesButton()->isEnabled()) {
        // An error that ended the run decides, whatever the panel says.
        if (window_.runOutcome().failed())
            finish(1, window_.runOutcome().reason());
        else if (window_.statusPanels()->panelText(0) == runOver)
            finish(0, {});
        else
            finish(1, "the run ended without \"Processing is over\"");
        return;
    }
    if (const std::string mark = progressMark(); mark != lastMark_) {
        lastMark_ = mark;
        sinceProgress_.restart();
    } else if (sinceProgress_.elapsed() > noProgressLimitMs_) {
        window_.buttonRow()->stopButton()->click();
        finish(1, "no progress for " + std::to_string(noProgressLimitMs_ / 1000) + " seconds; stopped");
    }
}

void UnattendedRun::interrupt(int signal)
{
    if (status_ != -1)
        return;
    if (window_.buttonRow()->stopButton()->isEnabled())
        window_.buttonRow()->stopButton()->click();
    finish(128 + signal, std::string("stopped by ") + StopSignals::name(signal));
}

void UnattendedRun::saved(const std::string& path)
{
    const QString relative = QDir(QString::fromStdString(folder_)).relativeFilePath(QString::fromStdString(path));
    std::printf("Saved %s\n", relative.toStdString().c_str());
    std::fflush(stdout);
}

void UnattendedRun::finish(int status, const std::string& reason)
{
    poller_.stop();
    status_ = status;
    if (status == 0)
        qCInfo(logApp, "unattended run completed");
    else
        qCWarning(logApp, "unattended run ended with status %d: %s", status, reason.c_str());
    const Statistics& counters = window_.statistics();
    if (status == 0)
        std::printf("%s\n", runOver);
    else if (!(window_.runOutcome().failed() && window_.runOutcome().reasonShown() && reason == window_.runOutcome().reason()))
        std::fprintf(stderr, "nimbra: %s\n", reason.c_str());
    std::printf("Today: %d files, %d KB. Total: %d files, %d KB. Duplicates: %d.\n", counters.TodayFiles,
                counters.TodayKB, counters.TotalFiles, counters.TotalKB, window_.sessionWiring().pictures().duplicates());
    std::fflush(stdout);
    // Closing keeps the settings, the totals and the message-id cache.
    window_.close();
    QCoreApplication::exit(status);
}

} // namespace nimbra
