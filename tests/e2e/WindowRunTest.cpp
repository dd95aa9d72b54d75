// "Get Files" through the real main window in this process, offscreen, against the demo news
// server, as a user makes it: select the groups, press the button, wait for the end, look at
// the preview, close the window.
#include "tests/e2e/WindowAtDemo.h"
#include "tests/support/EventLoop.h"

#include "app/ButtonRow.h"
#include "app/GraphicsPage.h"
#include "app/StatusPanels.h"
#include "platform/TextListFile.h"

#include <QLabel>
#include <QPixmap>

namespace nimbra::test {
namespace {

TEST(WindowRun, GetFilesThroughTheWindowShowsThePicturesAndKeepsThemOnClose)
{
    WindowAtDemo at;
    at.getGroups();
    at.select("demo.binaries.pictures.mime");
    at.select("demo.binaries.pictures.uuencode");
    QPushButton* getFiles = at.window->buttonRow()->getFilesButton();
    getFiles->click();
    EXPECT_FALSE(getFiles->isEnabled());
    EXPECT_TRUE(at.window->buttonRow()->stopButton()->isEnabled());
    ASSERT_TRUE(waitUntil([&] { return at.window->statusPanels()->panelText(0) == "Processing is over"; }, 60000))
        << at.window->statusPanels()->panelText(0);
    EXPECT_TRUE(getFiles->isEnabled());
    EXPECT_TRUE(at.dialogs.messages.empty()) << at.dialogs.messages.front();

    // The box walks mime before uuencode; the last file saved is valley.jpg, 300 x 500.
    const auto expected =
        at.server.expectedFiles({"demo.binaries.pictures.mime", "demo.binaries.pictures.uuencode"});
    const GraphicsPage& page = *at.window->graphicsPage();
    EXPECT_EQ(page.nameLabel()->text().toStdString(), "valley.jpg");
    EXPECT_EQ(page.sizeLabel()->text().toStdString(), std::to_string(expected.at("valley.jpg")->bytes.size()));
    EXPECT_EQ(page.widthLabel()->text().toStdString(), "300");
    EXPECT_EQ(page.heightLabel()->text().toStdString(), "500");
    EXPECT_FALSE(page.image()->pixmap().isNull()) << "no picture in the preview box";
    EXPECT_EQ(page.todayFilesLabel()->text().toStdString(), std::to_string(expected.size()));

    // Closing asks; Yes closes and keeps the message-id cache and the files.
    at.dialogs.answers = {true};
    EXPECT_TRUE(at.window->close());
    EXPECT_EQ(at.dialogs.questions, std::vector<std::string>{"End the program?"});
    std::vector<std::string> ids;
    TextListFile::load(MainWindow::messageIdCachePath(), ids);
    EXPECT_EQ(ids.size(), 12u);  // every article of both groups
    const auto onDisk = DemoServer::filesBelow(at.folder);
    EXPECT_EQ(onDisk.size(), expected.size());
    for (const auto& [name, file] : expected) {
        const auto found = onDisk.find(name);
        ASSERT_NE(found, onDisk.end()) << name;
        EXPECT_EQ(DemoServer::sha256(found->second), DemoServer::sha256(file->bytes)) << name;
    }
}

} // namespace
} // namespace nimbra::test
