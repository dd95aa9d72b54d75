#pragma once

#include <string>

struct rusage;

namespace nimbra {

class DownloadSession;

// Helpers of the download benchmarks.
class BenchRun {
public:
    // Presses "Get Files" and runs the event loop until the session reports the run's end
    // (OnRunEnded, which is the helper's while it waits and restored after). Returns the
    // seconds the run took. Needs the application object; the session's thread.
    static double getFiles(DownloadSession& session);
    // The three load averages of /proc/loadavg, as printed beside a benchmark's figures.
    static std::string loadAverage();
    // User and system processor seconds of a resource usage report, and of the calling thread.
    static double processorSeconds(const rusage& usage);
    static double threadProcessorSeconds();
};

} // namespace nimbra
