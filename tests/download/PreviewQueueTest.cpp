// Previews made on a worker thread and shown from the owner's event loop, the newest winning.
#include "download/PreviewQueue.h"

#include "tests/download/JpegSample.h"
#include "tests/support/TestEnvironment.h"

#include <QCoreApplication>
#include <QThread>
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace nimbra {
namespace {

using test::JpegSample;
using test::TestEnvironment;

struct Shown {
    std::vector<std::string> names;
    std::vector<int> widths;
    std::vector<bool> onOwnerThread;
};

void settle(const PreviewQueue& queue)
{
    while (queue.busy())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
}

std::string picture(const std::string& folder, const std::string& name, int width)
{
    JpegSample::write(folder + name, width, 100);
    return name;
}

TEST(PreviewQueue, APreviewIsShownLaterFromTheOwnersEventLoop)
{
    const std::string folder = TestEnvironment::makeFolder("queue-one");
    Shown shown;
    QThread* owner = QThread::currentThread();
    PreviewQueue queue([&](const PicturePreview& p) {
        shown.names.push_back(p.name);
        shown.widths.push_back(p.width);
        shown.onOwnerThread.push_back(QThread::currentThread() == owner);
    });
    queue.request(folder, picture(folder, "a.jpg", 640));
    EXPECT_TRUE(shown.names.empty());
    EXPECT_TRUE(queue.busy());
    settle(queue);
    EXPECT_EQ(shown.names, std::vector<std::string>{"a.jpg"});
    EXPECT_EQ(shown.widths, std::vector<int>{640});
    EXPECT_EQ(shown.onOwnerThread, std::vector<bool>{true});
}

TEST(PreviewQueue, OfRequestsMadeTogetherOnlyTheNewestIsShown)
{
    const std::string folder = TestEnvironment::makeFolder("queue-burst");
    Shown shown;
    PreviewQueue queue([&](const PicturePreview& p) { shown.names.push_back(p.name); });
    for (int i = 1; i <= 5; ++i)
        queue.request(folder, picture(folder, "p" + std::to_string(i) + ".jpg", 200 + i));
    settle(queue);
    EXPECT_EQ(shown.names, std::vector<std::string>{"p5.jpg"});
}

TEST(PreviewQueue, AnotherFileShownMeanwhileDropsThePreview)
{
    const std::string folder = TestEnvironment::makeFolder("queue-superseded");
    Shown shown;
    PreviewQueue queue([&](const PicturePreview& p) { shown.names.push_back(p.name); });
    queue.request(folder, picture(folder, "first.jpg", 300));
    queue.request(folder, picture(folder, "second.jpg", 300));
    queue.supersede();  // a file that is no picture came after both
    settle(queue);
    EXPECT_TRUE(shown.names.empty());
    queue.request(folder, "first.jpg");  // and the queue goes on working
    settle(queue);
    EXPECT_EQ(shown.names, std::vector<std::string>{"first.jpg"});
}

TEST(PreviewQueue, AFileThatIsGoneOrNoPictureShowsWhatCanBeShown)
{
    const std::string folder = TestEnvironment::makeFolder("queue-odd");
    Shown shown;
    PreviewQueue queue([&](const PicturePreview& p) {
        shown.names.push_back(p.name);
        shown.widths.push_back(p.width);
    });
    queue.request(folder, "missing.jpg");
    settle(queue);
    EXPECT_TRUE(shown.names.empty());
    std::ofstream(folder + "text.jpg") << "not a jpeg";
    queue.request(folder, "text.jpg");
    settle(queue);
    EXPECT_EQ(shown.names, std::vector<std::string>{"text.jpg"});
    EXPECT_EQ(shown.widths, std::vector<int>{1});
}

TEST(PreviewQueue, DestroyedWhileAPreviewIsMadeShowsNothing)
{
    const std::string folder = TestEnvironment::makeFolder("queue-gone");
    JpegSample::write(folder + "big.jpg", 3000, 2000);
    int shown = 0;
    {
        PreviewQueue queue([&](const PicturePreview&) { ++shown; });
        queue.request(folder, "big.jpg");
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(shown, 0);
}

} // namespace
} // namespace nimbra
