#pragma once

#include "download/AttachmentSaver.h"
#include "platform/MemoryStream.h"
#include "tests/download/ArticleText.h"
#include "tests/download/RecordingSavedFileView.h"
#include "tests/download/RecordingSessionView.h"
#include "tests/support/TestEnvironment.h"

#include <QCoreApplication>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace nimbra::test {

inline std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Every entry under folder, relative to it, sorted; hidden working files included.
inline std::vector<std::string> entriesIn(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        names.push_back(std::filesystem::relative(entry.path(), folder).string());
    std::sort(names.begin(), names.end());
    return names;
}

inline std::string bytesOf(std::size_t count, int seed = 0)
{
    std::string bytes(count, '\0');
    for (std::size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<char>(i * 7 + 3 + static_cast<std::size_t>(seed) * (i / 5));
    return bytes;
}

// One saver with its settings, its own folder and ledgers, fed articles directly as the
// session would. restart() makes a new saver over the same folder and ledgers: a later run.
struct Saving {
    explicit Saving(bool skipKnown = false)
    {
        settings.skipKnown = skipKnown;
        static int savings = 0;
        run = ++savings;
        settings.downloadFolder = TestEnvironment::makeFolder("downloads" + std::to_string(run));
        restart();
    }

    void restart()
    {
        saver.reset();
        const std::string ledgers = TestEnvironment::root() + "ledgers" + std::to_string(run);
        std::filesystem::create_directories(ledgers);
        saver = std::make_unique<AttachmentSaver>(settings, view, ledgers + "/yenc", ledgers + "/split",
                                                  storePath());
    }

    void article(const ModelArticle& model, const std::string& group = "alt.binaries.test")
    {
        MemoryStream stream(ArticleText::wire(model));
        saver->articleDone({stream, 0, group});
    }

    void text(const std::string& wire, const std::string& group = "alt.binaries.test")
    {
        MemoryStream stream(wire);
        saver->articleDone({stream, 0, group});
    }

    // Runs the event loop until the previews asked for are shown or dropped.
    void settle()
    {
        while (saver->previewing())
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    }

    const std::string& folder() const { return settings.downloadFolder; }
    std::string storePath() const { return TestEnvironment::root() + "ledgers" + std::to_string(run) + "/content"; }

    int run = 0;
    RecordingSessionView settings;
    RecordingSavedFileView view;
    std::unique_ptr<AttachmentSaver> saver;
};

} // namespace nimbra::test
