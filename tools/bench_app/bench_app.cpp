// Measures the main window with a cached list of 200,000 newsgroups: the start-up to a usable
// window, filter refills, and memory. Prints its figures; it asserts nothing. Runs offscreen
// in a temporary HOME, so the user's own settings and lists are not touched.
#include "app/GroupListModel.h"
#include "app/MainWindow.h"
#include "app/NewsGroupsPage.h"
#include "app/WindowSettings.h"
#include "platform/AppPaths.h"
#include "platform/RegistryStore.h"
#include "platform/TextListFile.h"

#include <QApplication>
#include <QListView>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

constexpr int GroupCount = 200000;
const char* const Host = "127.0.0.1";

struct Clock {
    double cpu = 0;
    double wall = 0;
};

Clock now()
{
    timespec cpu {}, wall {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
    clock_gettime(CLOCK_MONOTONIC, &wall);
    return {cpu.tv_sec * 1e3 + cpu.tv_nsec / 1e6, wall.tv_sec * 1e3 + wall.tv_nsec / 1e6};
}

Clock since(const Clock& start)
{
    const Clock end = now();
    return {end.cpu - start.cpu, end.wall - start.wall};
}

double residentMB()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1048576.0);
}

double peakMB()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

// Names shaped like a large provider's list: hierarchies, words and numbers, about a third
// of them under some "binaries" branch, and some repeated.
std::vector<std::string> makeGroups()
{
    const char* tops[] = {"alt", "comp", "de", "fr", "rec", "sci", "soc", "talk", "news", "misc", "uk", "it"};
    const char* words[] = {"binaries", "pictures", "sounds", "games", "lang", "os", "linux", "music", "photo",
        "art", "nature", "movies", "sport", "cars", "Binaries", "boneless", "discussion", "multimedia"};
    std::mt19937 random(2003);
    std::vector<std::string> groups;
    groups.reserve(GroupCount);
    for (int i = 0; i < GroupCount; ++i) {
        std::string name = tops[random() % std::size(tops)];
        const int depth = 2 + static_cast<int>(random() % 3);
        for (int d = 0; d < depth; ++d) {
            name += '.';
            name += words[random() % std::size(words)];
        }
        name += '.' + std::to_string(random() % 100000);
        groups.push_back(std::move(name));
    }
    for (int i = 0; i < 1000; ++i)
        groups[static_cast<std::size_t>(random() % GroupCount)] = groups[static_cast<std::size_t>(i)];
    return groups;
}

void report(const char* what, const Clock& time)
{
    std::printf("%-44s %8.1f ms cpu %8.1f ms wall\n", what, time.cpu, time.wall);
}

void settle()
{
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents();
}

} // namespace

int main(int argc, char** argv)
{
    char pattern[] = "/tmp/nimbra-bench-XXXXXX";
    if (!mkdtemp(pattern))
        return 1;
    const std::string root = pattern;
    for (const char* sub : {"home", "config", "data"})
        std::filesystem::create_directories(root + "/" + sub);
    setenv("HOME", (root + "/home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);

    const double baseBefore = residentMB();
    QApplication application(argc, argv);
    {
        const std::vector<std::string> groups = makeGroups();
        nimbra::TextListFile::save(nimbra::AppPaths::dataFolder() + Host, groups);
        nimbra::RegistryStore store;
        store.openKey(nimbra::WindowSettings::SettingsKey, true);
        store.writeString("NEWSHost", Host);
        store.closeKey();
    }
    {
        // Warm the widget machinery (style, fonts) so that the figures below are the window's.
        nimbra::MainWindow warm;
        warm.show();
        settle();
        warm.hide();
    }
    const double baseMB = residentMB();
    std::printf("newsgroups in the cached list: %d (resident before the window %.1f MB, bare process %.1f MB)\n",
        GroupCount, baseMB, baseBefore);

    const Clock start = now();
    nimbra::MainWindow window;
    const Clock created = since(start);
    window.show();
    settle();
    report("start-up: create (load, fill \"binaries\")", created);
    report("start-up: to a shown, usable window", since(start));
    std::printf("  box holds %d of %zu names\n", window.groupCount(), window.groupList().size());

    const struct {
        const char* label;
        const char* filter;
    } filters[] = {{"filter refill \"binaries\"", "binaries"}, {"filter refill \"\" (all names)", ""},
        {"filter refill \"pictures.photo\"", "pictures.photo"}, {"filter refill \"no-such-group\"", "no-such-group"}};
    for (const auto& f : filters) {
        std::vector<double> cpu, wall;
        for (int run = 0; run < 5; ++run) {
            window.setFieldText(nimbra::Field::Filter, f.filter);
            const Clock refill = now();
            window.Timer2Timer();
            settle(); // the view lays out and paints the new rows
            const Clock took = since(refill);
            cpu.push_back(took.cpu);
            wall.push_back(took.wall);
        }
        std::sort(cpu.begin(), cpu.end());
        std::sort(wall.begin(), wall.end());
        report((std::string(f.label) + ", median of 5").c_str(), {cpu[2], wall[2]});
        std::printf("  box holds %d names\n", window.groupCount());
    }

    {
        // The model alone, without the view: what the refill costs before any painting.
        nimbra::GroupListModel model;
        std::vector<double> cpu;
        for (int run = 0; run < 5; ++run) {
            const Clock fill = now();
            model.fill(window.groupList(), "");
            cpu.push_back(since(fill).cpu);
        }
        std::sort(cpu.begin(), cpu.end());
        std::printf("%-44s %8.1f ms cpu\n", "model alone, all names, median of 5", cpu[2]);
    }

    window.setFieldText(nimbra::Field::Filter, "");
    window.Timer2Timer();
    window.newsGroupsPage()->listBox()->selectAll();
    const Clock select = now();
    const auto selected = window.newsGroupsPage()->selectedRows();
    report("reading the selection of all rows", since(select));
    std::printf("  %zu rows selected\n", selected.size());

    std::printf("memory: resident now %.1f MB (window's share %.1f MB), peak %.1f MB\n", residentMB(),
        residentMB() - baseMB, peakMB());

    // Destroying the window is no close: nothing is asked or written.
    std::filesystem::remove_all(root);
    return 0;
}
