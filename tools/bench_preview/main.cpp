// Measures the picture preview on a large photo: PreviewMaker::make (frame header, box, DCT-
// scaled decode and stretch into the box) against a decode of the same file at full size.
// The cost of both is mostly libjpeg's entropy decoding, which no scale avoids, so the
// photo is made at two qualities: the figures follow the file's size. Then the longest stall
// of an event loop while previews of the q90 photo are made and shown one after another, as
// the window shows them, beside the longest stall of the same loop left idle for as long.
#include "download/JpegLoader.h"
#include "download/PreviewMaker.h"
#include "download/PreviewQueue.h"
#include "tests/download/JpegSample.h"

#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QPixmap>
#include <QTimer>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

constexpr int Width = 6000;
constexpr int Height = 4000;
constexpr int Qualities[] = {90, 75};

std::string folder;

std::string nameFor(int quality)
{
    return "photo q" + std::to_string(quality) + ".jpg";
}

void PreviewIntoTheBox(benchmark::State& state)
{
    const std::string name = nameFor(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        auto preview = nimbra::PreviewMaker::make(folder, name);
        if (!preview || preview->image.isNull()) {
            state.SkipWithError("the preview made no image");
            return;
        }
        benchmark::DoNotOptimize(preview->image.constBits());
    }
}

void FullSizeDecode(benchmark::State& state)
{
    const std::string path = folder + nameFor(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        QImage image = nimbra::JpegLoader::load(path, QSize(Width, Height));
        if (image.size() != QSize(Width, Height)) {
            state.SkipWithError("the full decode failed");
            return;
        }
        benchmark::DoNotOptimize(image.constBits());
    }
}

BENCHMARK(PreviewIntoTheBox)->ArgName("quality")->Arg(90)->Arg(75)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(FullSizeDecode)->ArgName("quality")->Arg(90)->Arg(75)->Unit(benchmark::kMillisecond)->MinTime(2.0);

struct Stalls {
    double longestMs = 0;
    int shown = 0;
};

// Runs an event loop for count rounds of 80 ms, a timer of 1 ms noting the longest gap between
// its ticks; with previews set, each round asks for a preview of the photo and shows it as a
// pixmap, as the "Graphics" page does.
Stalls eventLoopStalls(const std::string& name, int count, bool previews)
{
    Stalls stalls;
    nimbra::PreviewQueue queue([&stalls](const nimbra::PicturePreview& preview) {
        const QPixmap pixmap = QPixmap::fromImage(preview.image);
        benchmark::DoNotOptimize(pixmap.cacheKey());
        ++stalls.shown;
    });
    QEventLoop loop;
    QElapsedTimer sinceTick;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        stalls.longestMs = std::max(stalls.longestMs, static_cast<double>(sinceTick.nsecsElapsed()) / 1e6);
        sinceTick.restart();
    });
    int rounds = 0;
    QTimer feeder;
    feeder.setInterval(80);
    QObject::connect(&feeder, &QTimer::timeout, [&] {
        if (rounds++ == count) {
            loop.quit();
            return;
        }
        if (previews)
            queue.request(folder, name);
    });
    sinceTick.start();
    ticker.start();
    feeder.start();
    loop.exec();
    return stalls;
}

std::string loadAverage()
{
    std::ifstream file("/proc/loadavg");
    std::string one, five, fifteen;
    file >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    char pattern[] = "/tmp/nimbra-bench-XXXXXX";
    if (!::mkdtemp(pattern))
        return 1;
    folder = std::string(pattern) + "/";
    for (int quality : Qualities) {
        const std::string path = folder + nameFor(quality);
        nimbra::test::JpegSample::write(path, Width, Height, {.quality = quality});
        std::printf("picture: %d x %d at quality %d, %ju bytes\n", Width, Height, quality,
                    static_cast<std::uintmax_t>(std::filesystem::file_size(path)));
    }

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    constexpr int Rounds = 40;
    const Stalls idle = eventLoopStalls(nameFor(90), Rounds, false);
    const Stalls busy = eventLoopStalls(nameFor(90), Rounds, true);
    std::printf("event loop: longest stall %.1f ms while %d previews of the q90 photo were made and shown, "
                "%.1f ms idle (baseline), target 16 ms; load average %s\n",
                busy.longestMs, busy.shown, idle.longestMs, loadAverage().c_str());

    std::filesystem::remove_all(folder);
    return 0;
}
