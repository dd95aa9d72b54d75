#pragma once

#include <string>
#include <utility>
#include <vector>

namespace nimbra::test {

// The program as a child process, with the test's HOME and XDG folders, offscreen, and the
// extra environment variables given (name, value). The child is killed and reaped when it
// outlives timeoutMs, and always before run() returns.
struct ProgramRun {
    using Environment = std::vector<std::pair<std::string, std::string>>;

    int exitCode = -1;  // -1 when it crashed or was killed
    std::vector<std::string> out;  // standard output, line by line
    std::string err;

    static ProgramRun run(const std::vector<std::string>& arguments, int timeoutMs = 60000,
                          const Environment& extra = {});
    // The same, sending the signal to the program once it has printed text (on either output).
    static ProgramRun signalledWhenPrinted(const std::vector<std::string>& arguments, const std::string& text,
                                           int signal, int timeoutMs = 60000);

    // The paths of the "Saved " lines.
    std::vector<std::string> saved() const;
    bool printed(const std::string& line) const;
};

} // namespace nimbra::test
