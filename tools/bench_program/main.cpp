// The whole program as a user runs it unattended ("nimbra --get-files"), harvesting 5,000
// pictures of 20-60 KB (a third each yEnc, uuencode and MIME base64) from the model news
// server on loopback, with one connection and with four. Prints the program's processor time
// per article (user and system, from the finished child) beside that of a plain grabber in
// this process, in the same run: pipelined ARTICLE commands, each reply written undecoded to
// a file. Asserts nothing.
//
//     bench_program [pictures]
#include "tools/bench_common/BenchRun.h"
#include "tools/bench_program/PlainGrabber.h"
#include "tools/newsmodel/ArticleEncoders.h"
#include "tools/newsmodel/DemoPicture.h"
#include "tools/newsmodel/ModelServer.h"
#include "tools/newsmodel/NewsServerModel.h"
#include "tools/newsmodel/YencEncoder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace nimbra;
using namespace nimbra::test;

namespace {

const std::string Group = "bench.pictures.program";

// Pictures of 20-60 KB: a few scenes made once, each copy made unique by bytes after its
// end marker, so no two articles carry the same file.
std::vector<std::string> scenes()
{
    std::vector<std::string> made;
    for (unsigned seed = 0; seed < 24; ++seed) {
        const int width = 800 + static_cast<int>(seed % 8) * 72;
        made.push_back(DemoPicture::jpeg(width, width * 3 / 4, seed));
    }
    return made;
}

ModelArticle pictureArticle(int number, const std::string& bytes)
{
    const std::string name = "picture" + std::to_string(number) + ".jpg";
    const std::string id = "pic" + std::to_string(number) + "@bench.program";
    std::vector<std::string> body;
    std::vector<std::string> headers;
    std::string subject;
    switch (number % 3) {
    case 0:
        subject = name + " yEnc (1/1)";
        body = yencSingle(name, bytes);
        break;
    case 1:
        subject = name + " (1/1)";
        body = ArticleEncoders::uuFile(name, bytes);
        break;
    default:
        subject = name;
        headers = {"MIME-Version: 1.0", "Content-Type: multipart/mixed; boundary=\"cut\""};
        body = {"--cut", "Content-Type: image/jpeg; name=\"" + name + "\"", "Content-Transfer-Encoding: base64", ""};
        for (std::string& line : ArticleEncoders::base64Lines(bytes))
            body.push_back(std::move(line));
        body.emplace_back("");
        body.emplace_back("--cut--");
    }
    ModelArticle article = NewsServerModel::article(number, id, subject, 0, false);
    article.headers.insert(article.headers.end(), headers.begin(), headers.end());
    article.body = std::move(body);
    return article;
}

struct ChildRun {
    int exitCode = -1;
    double cpuSeconds = 0;
    double seconds = 0;
    long saved = 0;
};

double now()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// The program in a home of its own, offscreen; its output goes to a file whose "Saved" lines
// are counted.
ChildRun runProgram(const std::string& home, std::uint16_t port, const std::string& connections)
{
    std::filesystem::remove_all(home);
    std::filesystem::create_directories(home + "/files");
    const std::string output = home + "/output.txt";
    std::vector<std::string> arguments{NIMBRA_EXECUTABLE, "--server", "127.0.0.1", "--port", std::to_string(port),
                                       "--folder", home + "/files/", "--groups", Group, "--get-files",
                                       "--connections", connections};
    std::vector<std::string> environment{"HOME=" + home, "XDG_CONFIG_HOME=" + home + "/.config",
                                         "XDG_DATA_HOME=" + home + "/.local/share",
                                         "XDG_CACHE_HOME=" + home + "/.cache", "QT_QPA_PLATFORM=offscreen"};
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (entry.rfind("PATH=", 0) == 0 || entry.rfind("LANG=", 0) == 0)
            environment.push_back(entry);
    }
    auto pointers = [](std::vector<std::string>& list) {
        std::vector<char*> p;
        for (std::string& s : list)
            p.push_back(s.data());
        p.push_back(nullptr);
        return p;
    };
    std::vector<char*> argv = pointers(arguments);
    std::vector<char*> envp = pointers(environment);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    ChildRun run;
    const double start = now();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return run;
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) == pid && WIFEXITED(status))
        run.exitCode = WEXITSTATUS(status);
    run.seconds = now() - start;
    run.cpuSeconds = BenchRun::processorSeconds(usage);
    if (std::FILE* file = std::fopen(output.c_str(), "r")) {
        char line[4096];
        while (std::fgets(line, sizeof line, file))
            run.saved += std::strncmp(line, "Saved ", 6) == 0;
        std::fclose(file);
    }
    return run;
}

} // namespace

int main()
{
    constexpr int Pictures = 5000;
    const std::vector<std::string> made = scenes();
    std::vector<ModelArticle> articles;
    std::int64_t fileBytes = 0;
    for (int number = 1; number <= Pictures; ++number) {
        std::string bytes = made[static_cast<std::size_t>(number) % made.size()];
        bytes += "copy " + std::to_string(number);
        fileBytes += static_cast<std::int64_t>(bytes.size());
        articles.push_back(pictureArticle(number, bytes));
    }
    NewsServerModel model;
    model.addGroup(Group, std::move(articles));
    ModelServer server(model.greeting(), model.responder());
    const std::string root = std::filesystem::temp_directory_path().string() + "/nimbra-bench-program-"
                             + std::to_string(::getpid());
    const auto [smallest, largest] = std::minmax_element(made.begin(), made.end(), [](const auto& a, const auto& b) {
        return a.size() < b.size();
    });
    std::printf("program: %d pictures of %.0f to %.0f KB, %.1f MB in all\n", Pictures, smallest->size() / 1024.0,
                largest->size() / 1024.0, fileBytes / 1e6);
    std::printf("%-34s %9s %9s %13s %8s %7s  %s\n", "case", "seconds", "cpu s", "cpu ms/art.", "saved", "ratio",
                "load average");
    bool complete = true;
    for (int round = 0; round < 2; ++round) {
        std::filesystem::remove_all(root + "/grab");
        std::filesystem::create_directories(root + "/grab");
        const bench::PlainGrabber::Result floor =
            bench::PlainGrabber::grab(server.port(), Group, 1, Pictures, root + "/grab");
        const double floorPerArticle = floor.cpuSeconds * 1000 / std::max(1L, floor.articles);
        std::printf("%-34s %9.2f %9.2f %13.3f %8ld %7s  %s\n", "plain grabber (baseline)", floor.seconds,
                    floor.cpuSeconds, floorPerArticle, floor.articles, "1.0x", BenchRun::loadAverage().c_str());
        for (const char* connections : {"1", "4"}) {
            const ChildRun run = runProgram(root + "/home", server.port(), connections);
            const double perArticle = run.cpuSeconds * 1000 / Pictures;
            const std::string name = std::string("nimbra --get-files, ") + connections + " conn.";
            std::printf("%-34s %9.2f %9.2f %13.3f %8ld %6.2fx  %s%s\n", name.c_str(), run.seconds, run.cpuSeconds,
                        perArticle, run.saved, perArticle / floorPerArticle, BenchRun::loadAverage().c_str(),
                        run.exitCode == 0 ? "" : "  (the program failed)");
            complete = complete && run.exitCode == 0 && run.saved == Pictures;
        }
        std::fflush(stdout);
    }
    std::printf("ratio: the program's processor time per article / the plain grabber's, same run; target for the "
                "program: at most 0.9 ms per article\n");
    std::filesystem::remove_all(root);
    return complete ? 0 : 1;
}
