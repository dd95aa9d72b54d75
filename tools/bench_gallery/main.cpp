// Gallery speed and memory on a folder of JPEGs made once under /tmp (GalleryBenchFolder):
//   bench_gallery [--count N] [--sample N] [--make-only | --scroll-only]
// Prints one line, "gallery: key=value ...":
//   thumbs_per_s          thumbnails made (scaled decode + PNG written to an empty cache), 2 threads
//   full_decode_per_s     full decode + QImage::scaled of the first --sample files (same mix), 2 threads
//   cold_first_screen_ms  window opened on the folder until the rows in view show thumbnails, empty cache
//   warm_first_screen_ms  the same with every thumbnail cached
//   longest_block_ms      the longest gap of a 1 ms timer while the grid scrolls top to bottom
//                         a screen per frame (16 ms), empty cache; with the slowest event then
//                         (slowest_event...: its kind, time, processor time and waits); alone
//                         with --scroll-only
//   rss_mb_100k           resident memory of a model of 100,000 pictures with its thumbnail cache full
//   model_fill_100k_ms    adding those 100,000 rows in batches of 2,000 in random date order
//   warm_listing_ms       the folder listed into the model (part of warm_first_screen_ms)
// and the load average. Nothing here asserts a time.
#include "app/Dialogs.h"
#include "app/gallery/GalleryModel.h"
#include "app/gallery/GalleryWindow.h"
#include "app/gallery/ThumbnailMaker.h"
#include "tools/bench_common/BenchRun.h"
#include "tools/bench_gallery/GalleryBenchFolder.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImageReader>
#include <QListView>
#include <QScrollBar>
#include <QThreadPool>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace nimbra;

class NoDialogs : public Dialogs {
public:
    bool ask(const std::string&) override { return false; }
    void inform(const std::string&) override {}
    bool chooseFolder(const std::string&, const std::string&, std::string&) override { return false; }
};

// Times every event while timing is on, and keeps the slowest one's kind and receiver.
class TimingApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override
    {
        if (!timing || depth_ > 0)
            return QApplication::notify(receiver, event);
        ++depth_;
        QElapsedTimer clock;
        clock.start();
        const int type = event->type();
        const qint64 cpuBefore = threadCpuNs();
        rusage usageBefore {};
        ::getrusage(RUSAGE_THREAD, &usageBefore);
        const bool result = QApplication::notify(receiver, event);
        const qint64 spent = clock.nsecsElapsed();
        --depth_;
        if (spent > slowest) {
            slowest = spent;
            slowestCpu = threadCpuNs() - cpuBefore;
            rusage usage {};
            ::getrusage(RUSAGE_THREAD, &usage);
            waits = usage.ru_nvcsw - usageBefore.ru_nvcsw;
            slowestWhat = std::to_string(type) + ":" + receiver->metaObject()->className();
        }
        return result;
    }
    static qint64 threadCpuNs()
    {
        timespec now {};
        ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return qint64{now.tv_sec} * 1000000000 + now.tv_nsec;
    }
    bool timing = false;
    qint64 slowest = 0;
    qint64 slowestCpu = 0;
    long waits = 0;
    std::string slowestWhat;

private:
    int depth_ = 0;
};

double rssMb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atof(line.c_str() + 6) / 1024.0;
    return 0;
}

bool waitFor(const std::function<bool()>& done, int timeoutMs = 120000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// Runs job for each index on two threads; the seconds it took.
double onTwoThreads(int count, const std::function<void(int)>& job)
{
    QThreadPool pool;
    pool.setMaxThreadCount(2);
    std::atomic<int> next{0};
    QElapsedTimer clock;
    clock.start();
    for (int worker = 0; worker < 2; ++worker)
        pool.start([&] {
            for (int i = next++; i < count; i = next++)
                job(i);
        });
    pool.waitForDone();
    return clock.nsecsElapsed() / 1e9;
}

qint64 mtimeOf(const std::string& path, qint64& size)
{
    struct stat status {};
    ::stat(path.c_str(), &status);
    size = status.st_size;
    return status.st_mtime;
}

bool firstScreenShown(GalleryWindow& window)
{
    if (window.scan().running())
        return false;
    const auto [first, last] = window.rowsInView();
    if (last < first)
        return false;
    for (int row = first; row <= last; ++row)
        if (!window.model().hasThumbnail(row))
            return false;
    return true;
}

// The time until the first screen shows its thumbnails; scanMs: until the folder was listed.
double firstScreenMs(const std::string& folder, const QString& cacheRoot, double& scanMs)
{
    NoDialogs dialogs;
    QElapsedTimer clock;
    clock.start();
    GalleryWindow window(dialogs, ThumbnailCache(cacheRoot));
    QObject::connect(&window.scan(), &GalleryFolderScan::finished, [&] { scanMs = clock.nsecsElapsed() / 1e6; });
    window.resize(1024, 768);
    window.showFolder(QString::fromStdString(folder));
    if (!waitFor([&] { return firstScreenShown(window); }))
        return -1;
    return clock.nsecsElapsed() / 1e6;
}

double longestBlockMs(const std::string& folder, const QString& cacheRoot)
{
    NoDialogs dialogs;
    GalleryWindow window(dialogs, ThumbnailCache(cacheRoot));
    window.resize(1024, 768);
    window.showFolder(QString::fromStdString(folder));
    waitFor([&] { return firstScreenShown(window); });
    QScrollBar* bar = window.view()->verticalScrollBar();
    QElapsedTimer clock;
    clock.start();
    qint64 last = clock.nsecsElapsed();
    qint64 worst = 0;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(1);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        worst = std::max(worst, now - last);
        last = now;
    });
    bool atEnd = false;
    QTimer scroller;
    scroller.setTimerType(Qt::PreciseTimer);
    scroller.setInterval(16);
    QObject::connect(&scroller, &QTimer::timeout, [&] {
        if (bar->value() >= bar->maximum()) {
            atEnd = true;
            return;
        }
        bar->setValue(bar->value() + window.view()->viewport()->height());
    });
    auto* application = static_cast<TimingApplication*>(QCoreApplication::instance());
    application->timing = true;
    probe.start();
    scroller.start();
    waitFor([&] { return atEnd; }, 600000);
    application->timing = false;
    return worst / 1e6;
}

double rssOf100k(const std::string& folder, double& fillMs)
{
    const double before = rssMb();
    GalleryModel model;
    model.setIconSide(GalleryWindow::LargestSide);
    QStringList groups;
    for (int group = 0; group < 40; ++group)
        groups << QStringLiteral("alt.binaries.pictures.group-%1").arg(group);
    QElapsedTimer clock;
    clock.start();
    std::vector<GalleryEntry> batch;
    for (int i = 0; i < 100000; ++i) {
        GalleryEntry entry;
        entry.group = groups[i % groups.size()];
        entry.path = QString::fromStdString(folder) + entry.group + QStringLiteral("/picture-%1.jpg").arg(i, 6, 10, QLatin1Char('0'));
        entry.mtime = 1700000000 + (i * 7919) % 100000;
        entry.size = 150000 + i;
        batch.push_back(std::move(entry));
        if (batch.size() == 2000) {
            model.add(std::move(batch));
            batch.clear();
        }
    }
    fillMs = clock.nsecsElapsed() / 1e6;
    QImage thumbnail(256, 192, QImage::Format_RGB32);
    thumbnail.fill(Qt::darkCyan);
    for (int row = 0; row < 2000; ++row)
        model.setThumbnail(model.entry(row).path, thumbnail, false);
    return rssMb() - before;
}

} // namespace

int main(int argc, char** argv)
{
    int count = 10000;
    int sample = 500;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--count") == 0)
            count = std::max(20, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--sample") == 0)
            sample = std::max(10, std::atoi(argv[i + 1]));
    }
    sample = std::min(sample, count);
    const bool makeOnly = argc > 1 && std::strcmp(argv[argc - 1], "--make-only") == 0;
    const bool scrollOnly = argc > 1 && std::strcmp(argv[argc - 1], "--scroll-only") == 0;
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    TimingApplication application(argc, argv);
    const std::string folder = GalleryBenchFolder::make(count);
    if (makeOnly)
        return 0;
    const std::vector<std::string> pictures = GalleryBenchFolder::pictures(folder, count);
    char pattern[] = "/tmp/nimbra-bench-thumbs-XXXXXX";
    if (!::mkdtemp(pattern))
        return 1;
    const std::string caches = pattern;
    const auto cacheRoot = [&](const char* name) { return QString::fromStdString(caches + "/" + name + "/thumbnails"); };

    // The slowest event while the grid scrolls: its kind and receiver, its time on the
    // processor, and how often its thread waited (for a lock or another thread) inside it.
    const auto slowestEvent = [&] {
        char text[256];
        std::snprintf(text, sizeof text, "slowest_event=%s slowest_event_ms=%.1f slowest_event_cpu_ms=%.1f slowest_event_waits=%ld",
                      application.slowestWhat.c_str(), application.slowest / 1e6, application.slowestCpu / 1e6, application.waits);
        return std::string(text);
    };
    if (scrollOnly) {
        const double blockMs = longestBlockMs(folder, cacheRoot("scroll"));
        std::printf("gallery: longest_block_ms=%.1f %s load=%s\n", blockMs, slowestEvent().c_str(), BenchRun::loadAverage().c_str());
        std::filesystem::remove_all(caches);
        return 0;
    }
    double fillMs = 0;
    const double rss = rssOf100k(folder, fillMs);
    rssOf100k(folder, fillMs);  // again for the time, with the allocator warm

    double scanMs = 0;
    const double coldMs = firstScreenMs(folder, cacheRoot("first"), scanMs);

    const ThumbnailCache all(cacheRoot("all"));
    const double thumbSeconds = onTwoThreads(count, [&](int i) {
        qint64 size = 0;
        const qint64 mtime = mtimeOf(pictures[static_cast<std::size_t>(i)], size);
        ThumbnailMaker::make(all, QString::fromStdString(pictures[static_cast<std::size_t>(i)]), mtime, size,
                             ThumbnailCache::Flavour::Large);
    });
    const double fullSeconds = onTwoThreads(sample, [&](int i) {
        QImageReader reader(QString::fromStdString(pictures[static_cast<std::size_t>(i)]));
        reader.setAllocationLimit(0);
        const QImage image = reader.read();
        const QImage scaled = image.scaled(256, 256, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        if (scaled.isNull())
            std::fprintf(stderr, "full decode failed: %s\n", pictures[static_cast<std::size_t>(i)].c_str());
    });

    const double warmMs = firstScreenMs(folder, cacheRoot("all"), scanMs);
    const double blockMs = longestBlockMs(folder, cacheRoot("scroll"));
    std::filesystem::remove_all(caches);

    std::printf("gallery: pictures=%d thumbs_per_s=%.1f full_decode_per_s=%.1f cold_first_screen_ms=%.0f "
                "warm_first_screen_ms=%.0f longest_block_ms=%.1f rss_mb_100k=%.1f model_fill_100k_ms=%.0f "
                "warm_listing_ms=%.0f %s load=%s\n",
                count, count / thumbSeconds, sample / fullSeconds, coldMs, warmMs, blockMs, rss, fillMs, scanMs,
                slowestEvent().c_str(), BenchRun::loadAverage().c_str());
    return 0;
}
