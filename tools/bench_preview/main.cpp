// Measures the picture preview on a large photo: PreviewMaker::make (frame header, box, DCT-
// scaled decode and stretch into the box) against a decode of the same file at full size.
#include "download/JpegLoader.h"
#include "download/PreviewMaker.h"
#include "tests/download/JpegSample.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

constexpr int Width = 6000;
constexpr int Height = 4000;

std::string folder;
const std::string Name = "large photo.jpg";

void PreviewIntoTheBox(benchmark::State& state)
{
    for (auto _ : state) {
        auto preview = nimbra::PreviewMaker::make(folder, Name);
        if (!preview || preview->image.isNull()) {
            state.SkipWithError("the preview made no image");
            return;
        }
        benchmark::DoNotOptimize(preview->image.constBits());
    }
}

void FullSizeDecode(benchmark::State& state)
{
    for (auto _ : state) {
        QImage image = nimbra::JpegLoader::load(folder + Name, QSize(Width, Height));
        if (image.size() != QSize(Width, Height)) {
            state.SkipWithError("the full decode failed");
            return;
        }
        benchmark::DoNotOptimize(image.constBits());
    }
}

BENCHMARK(PreviewIntoTheBox)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(FullSizeDecode)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

int main(int argc, char** argv)
{
    char pattern[] = "/tmp/nimbra-bench-XXXXXX";
    if (!::mkdtemp(pattern))
        return 1;
    folder = std::string(pattern) + "/";
    nimbra::test::JpegSample::write(folder + Name, Width, Height, {.quality = 90});
    std::printf("picture: %d x %d, %ju bytes\n", Width, Height,
                static_cast<std::uintmax_t>(std::filesystem::file_size(folder + Name)));

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::filesystem::remove_all(folder);
    return 0;
}
