// bench_split [megabytes]: saves one random file uuencoded in a single article and the same
// file split over 400 articles (posted in order, data from the first body line), each
// through a fresh AttachmentSaver into a scratch folder, and prints MB/s of file bytes for
// both, their ratio and the load average.
#include "tools/benchsaver/SaverBench.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

using namespace nimbra;
using bench::SaverBench;

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);  // the saver's timers
    QLoggingCategory::setFilterRules("*.info=false");  // one log line per part would be measured too
    const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 32;
    const std::string bytes = SaverBench::randomBytes(megabytes << 20, 400);
    SaverBench saver(std::filesystem::temp_directory_path().string() + "/bench_split." + std::to_string(getpid()));
    const SaverBench::Timing one = saver.save(SaverBench::uuArticles("bench.bin", bytes, 1), "bench.bin", bytes);
    const SaverBench::Timing many = saver.save(SaverBench::uuArticles("bench.bin", bytes, 400), "bench.bin", bytes);
    const double mb = static_cast<double>(bytes.size()) / 1e6;
    std::printf("one article (baseline)  %6.1f MB  %7.3f s  %8.1f MB/s%s\n", mb, one.seconds, mb / one.seconds,
                one.same ? "" : "  (output differs from the source!)");
    std::printf("400 articles            %6.1f MB  %7.3f s  %8.1f MB/s%s\n", mb, many.seconds, mb / many.seconds,
                many.same ? "" : "  (output differs from the source!)");
    std::printf("ratio 400/one           %6.2f\n", one.seconds / many.seconds);
    std::printf("load average            %s\n", SaverBench::loadAverage().c_str());
    return 0;
}
