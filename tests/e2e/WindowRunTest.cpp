// "Get Files" through the real main window in this process, offscreen, against the demo news
// server, as a user makes it: select the groups, press the button, wait for the end, look at
// the preview, close the window.
#include "tests/e2e/WindowAtDemo.h"
#include "tests/support/EventLoop.h"

#include "app/ButtonRow.h"
#include "app/GraphicsPage.h"
#include "app/StatusPanels.h"
#include "app/WindowSettings.h"
#include "platform/RegistryStore.h"
#include "platform/TextListFile.h"
#include "tests/support/TestCertificate.h"

#include <QLabel>
#include <QPixmap>

#include <fstream>

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
    // The preview is made on a worker thread and shown when it is ready; an older picture's
    // may still be on show when the run ends, never after the newest one.
    EXPECT_TRUE(waitUntil([&] { return page.widthLabel()->text() == "300"; }, 30000))
        << page.widthLabel()->text().toStdString();
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
    EXPECT_EQ(ids.size(), 21u);  // every article of both groups
    const auto onDisk = DemoServer::filesBelow(at.folder);
    EXPECT_EQ(onDisk.size(), expected.size());
    for (const auto& [name, file] : expected) {
        const auto found = onDisk.find(name);
        ASSERT_NE(found, onDisk.end()) << name;
        EXPECT_EQ(DemoServer::sha256(found->second), DemoServer::sha256(file->bytes)) << name;
    }
}

bool runEnds(WindowAtDemo& at)
{
    at.window->buttonRow()->getFilesButton()->click();
    return waitUntil([&] { return at.window->buttonRow()->getFilesButton()->isEnabled(); }, 60000);
}

TEST(WindowRun, UntrustedCertificateIsAskedAboutOnceAndRememberedForTheServer)
{
    WindowAtDemo at(&TestCertificate::local());  // not trusted by the system in this test
    at.showSelected({"demo.binaries.pictures.mime"});
    at.dialogs.answers = {true};
    ASSERT_TRUE(runEnds(at));
    EXPECT_EQ(at.window->statusPanels()->panelText(0), "Processing is over");
    const std::string fingerprint = TestCertificate::local().fingerprint();
    ASSERT_EQ(at.dialogs.questions.size(), 1u);
    EXPECT_NE(at.dialogs.questions[0].find("not trusted"), std::string::npos) << at.dialogs.questions[0];
    EXPECT_NE(at.dialogs.questions[0].find(fingerprint), std::string::npos);
    EXPECT_EQ(DemoServer::filesBelow(at.folder).size(),
              at.server.expectedFiles({"demo.binaries.pictures.mime"}).size());

    // The next run is not asked: the certificate was kept beside the server's settings.
    ASSERT_TRUE(runEnds(at));
    EXPECT_EQ(at.window->statusPanels()->panelText(0), "Processing is over");
    EXPECT_EQ(at.dialogs.questions.size(), 1u);
    RegistryStore store;
    ASSERT_TRUE(store.openKey(WindowSettings::SettingsKey, false));
    EXPECT_EQ(store.readString("tlscert 127.0.0.1"), "accept " + fingerprint);
}

TEST(WindowRun, RefusedCertificateEndsTheRunWithItsReasonAndSavesNothing)
{
    WindowAtDemo at(&TestCertificate::local());
    at.showSelected({"demo.binaries.pictures.mime"});
    at.dialogs.answers = {false};
    ASSERT_TRUE(runEnds(at));
    EXPECT_EQ(at.window->statusPanels()->panelText(0), "Not connected: certificate not trusted");
    EXPECT_FALSE(at.window->buttonRow()->stopButton()->isEnabled());
    ASSERT_EQ(at.dialogs.messages.size(), 1u);
    EXPECT_EQ(at.dialogs.messages[0].rfind("Not connected to 127.0.0.1: certificate not trusted", 0), 0u)
        << at.dialogs.messages[0];
    EXPECT_TRUE(DemoServer::filesBelow(at.folder).empty());
    EXPECT_EQ(at.server.articleCommands(), 0);
}

TEST(WindowRun, ADownloadFolderThatCannotBeWrittenStopsTheRunWithItsReasonInTheStatusBar)
{
    WindowAtDemo at;
    // Where the download folder should be made, a file stands in the way.
    const std::string parent = TestEnvironment::makeFolder("window-unwritable");
    std::ofstream(parent + "blocked") << "a file, not a folder";
    at.window->setFieldText(Field::Folder, parent + "blocked/downloads");
    at.showSelected({"demo.binaries.pictures.uuencode"});
    ASSERT_TRUE(runEnds(at));
    const std::string panel = at.window->statusPanels()->panelText(0);
    EXPECT_EQ(panel.rfind("Stopped: ", 0), 0u) << panel;
    EXPECT_NE(panel.find("Cannot make folder"), std::string::npos) << panel;
    EXPECT_EQ(panel, "Stopped: " + at.window->runOutcome().reason());
    EXPECT_FALSE(at.window->buttonRow()->stopButton()->isEnabled());
    EXPECT_EQ(DemoServer::filesBelow(parent).size(), 1u);
}

} // namespace
} // namespace nimbra::test
