// Measures the picture preview on a large photo: PreviewMaker::make (frame header, box, DCT-
// scaled decode and stretch into the box) against a decode of the same file at full size.
// The cost of both is mostly libjpeg's entropy decoding, which no scale avoids, so the
// photo is made at two qualities: the figures follow the file's size.
#include "download/JpegLoader.h"
#include "download/PreviewMaker.h"
#include "tests/download/JpegSample.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
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

} // namespace

int main(int argc, char** argv)
{
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

    std::filesystem::remove_all(folder);
    return 0;
}
