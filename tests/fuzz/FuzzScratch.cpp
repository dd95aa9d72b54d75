#include "tests/fuzz/FuzzScratch.h"

#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>

namespace nimbra::fuzz {
namespace fs = std::filesystem;

namespace {

void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

[[noreturn]] void fail(const std::string& what)
{
    std::fprintf(stderr, "fuzz: %s\n", what.c_str());
    std::abort();
}

} // namespace

FuzzScratch::FuzzScratch()
{
    qInstallMessageHandler(quiet);
    std::string pattern = (fs::temp_directory_path() / "nimbra-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        fail("no scratch folder");
    root_ = pattern;
    downloads_ = root_ + "/a/b/downloads/";
    ledgers_ = root_ + "/a/b/ledgers";
    fs::create_directories(downloads_);
    fs::create_directories(ledgers_);
}

FuzzScratch::~FuzzScratch()
{
    // A crash skips this and leaves the folder for a look.
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

void FuzzScratch::clean()
{
    for (const std::string& folder : {downloads_, ledgers_}) {
        for (const auto& entry : fs::directory_iterator(folder))
            fs::remove_all(entry.path());
    }
}

void FuzzScratch::checkContained() const
{
    const std::set<std::string> expected{root_ + "/a", root_ + "/a/b", root_ + "/a/b/downloads", root_ + "/a/b/ledgers"};
    for (const auto& entry : fs::recursive_directory_iterator(root_)) {
        const std::string path = entry.path().string();
        if (entry.is_symlink())
            fail("a symlink was made: " + path);
        if (expected.count(path) == 0 && path.rfind(downloads_, 0) != 0 && path.rfind(ledgers_ + "/", 0) != 0)
            fail("written outside the download folder: " + path);
    }
}

} // namespace nimbra::fuzz
