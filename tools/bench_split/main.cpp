// bench_split [megabytes]: saves one random file uuencoded in a single article and the same
// file split over 400 articles (posted in order, data from the first body line), each
// through a fresh AttachmentSaver into a scratch folder, and prints MB/s of file bytes for
// both, their ratio and the load average.
#include "download/AttachmentSaver.h"
#include "download/SaveSettings.h"
#include "download/SavedFileView.h"
#include "platform/MemoryStream.h"
#include "tools/newsmodel/ArticleEncoders.h"

#include <QLoggingCategory>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>
#include <unistd.h>

using namespace nimbra;

namespace {

struct Settings : SaveSettings {
    std::string folder;
    std::string downloadFolderText() const override { return folder; }
    bool saveToOneFolder() const override { return true; }
};

struct Quiet : SavedFileView {
    int files = 0;
    void showSavedName(const std::string&, const std::string&) override { ++files; }
    void showPicture(const PicturePreview&) override {}
    void showSavedSize(std::int64_t) override {}
    void addToStatistics(std::int32_t, std::int32_t) override {}
};

std::string article(const std::string& subject, const std::vector<std::string>& body)
{
    std::string text = "From: bench@example.org\r\nSubject: " + subject + "\r\n\r\n";
    for (const std::string& line : body)
        text += line + "\r\n";
    return text;
}

std::vector<std::string> articles(const std::string& bytes, int parts)
{
    const std::vector<std::string> data = test::ArticleEncoders::uuLines(bytes);
    std::vector<std::string> out;
    for (int part = 0; part < parts; ++part) {
        std::vector<std::string> body;
        if (part == 0)
            body.push_back("begin 644 bench.bin");
        for (std::size_t i = data.size() * part / parts; i < data.size() * (part + 1) / parts; ++i)
            body.push_back(data[i]);
        if (part == parts - 1)
            body.emplace_back("end");
        out.push_back(article("bench.bin (" + std::to_string(part + 1) + "/" + std::to_string(parts) + ")", body));
    }
    return out;
}

double seconds(const std::vector<std::string>& texts, const std::string& root, const std::string& expected)
{
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root + "/files");
    Settings settings;
    settings.folder = root + "/files/";
    Quiet view;
    AttachmentSaver saver(settings, view, root + "/yenc", root + "/split");
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& text : texts) {
        MemoryStream stream(text);
        saver.articleDone({stream, 0, "bench"});
    }
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::ifstream in(settings.folder + "bench.bin", std::ios::binary);
    const std::string saved((std::istreambuf_iterator<char>(in)), {});
    if (saved != expected || view.files != 1)
        std::printf("  (output differs from the source!)\n");
    return took;
}

} // namespace

int main(int argc, char** argv)
{
    QLoggingCategory::setFilterRules("*.info=false");  // one log line per part would be measured too
    const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 32;
    std::string bytes(megabytes << 20, '\0');
    std::mt19937_64 random(400);
    for (std::size_t i = 0; i + 8 <= bytes.size(); i += 8) {
        const auto v = random();
        std::memcpy(&bytes[i], &v, 8);
    }
    const std::string root = std::filesystem::temp_directory_path().string() + "/bench_split." + std::to_string(getpid());
    const auto one = articles(bytes, 1);
    const auto many = articles(bytes, 400);
    double best1 = 1e9, best400 = 1e9;
    for (int round = 0; round < 3; ++round) {
        best1 = std::min(best1, seconds(one, root, bytes));
        best400 = std::min(best400, seconds(many, root, bytes));
    }
    std::filesystem::remove_all(root);
    const double mb = static_cast<double>(bytes.size()) / 1e6;
    std::printf("one article (baseline)  %6.1f MB  %7.3f s  %8.1f MB/s\n", mb, best1, mb / best1);
    std::printf("400 articles            %6.1f MB  %7.3f s  %8.1f MB/s\n", mb, best400, mb / best400);
    std::printf("ratio 400/one           %6.2f\n", (mb / best400) / (mb / best1));
    std::ifstream load("/proc/loadavg");
    std::string loadavg;
    std::getline(load, loadavg);
    std::printf("load average            %s\n", loadavg.c_str());
    return 0;
}
