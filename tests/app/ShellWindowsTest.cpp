// The window as the user first sees it, and the small windows around it.
#include "app/AboutBox.h"
#include "app/ButtonRow.h"
#include "app/GraphicsPage.h"
#include "app/HelpWindow.h"
#include "app/MainWindow.h"
#include "app/OptionsPage.h"
#include "app/SplashWindow.h"
#include "app/StatusPanels.h"
#include "platform/AtomicFile.h"
#include "tests/app/RecordingDialogs.h"
#include "tests/support/TestEnvironment.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTextBrowser>
#include <gtest/gtest.h>

namespace nimbra {
namespace {

using test::RecordingDialogs;

TEST(ShellWindows, MainWindowHasThreePagesPanelsAndButtons)
{
    RecordingDialogs dialogs;
    MainWindow window(&dialogs);
    window.show();
    EXPECT_EQ(window.windowTitle(), "Nimbra File");
    ASSERT_EQ(window.pages()->count(), 3);
    EXPECT_EQ(window.pages()->tabText(0), "News groups");
    EXPECT_EQ(window.pages()->tabText(1), "Graphics");
    EXPECT_EQ(window.pages()->tabText(2), "Options");

    StatusPanels* status = window.statusPanels();
    const int widths[] = {250, 150, 50, 25, 90};
    for (int i = 0; i < StatusPanels::Count; ++i)
        EXPECT_EQ(status->panel(i)->width(), widths[i]) << i;
    EXPECT_EQ(status->panelText(0), "Group:");
    EXPECT_EQ(status->panelText(1), "Article:");
    status->setPanelText(3, "17");
    EXPECT_EQ(status->panelText(3), "17");

    ButtonRow* buttons = window.buttonRow();
    EXPECT_EQ(buttons->getFilesButton()->text(), "Get Files");
    EXPECT_TRUE(buttons->getFilesButton()->isEnabled());
    EXPECT_EQ(buttons->stopButton()->text(), "Stop");
    EXPECT_FALSE(buttons->stopButton()->isEnabled());
    EXPECT_EQ(buttons->aboutButton()->text(), "About");
    EXPECT_EQ(buttons->helpButton()->text(), "Help");
    EXPECT_EQ(buttons->closeButton()->text(), "Close");
    EXPECT_TRUE(window.optionsPage()->oneFolderButton()->isChecked());
}

TEST(ShellWindows, GraphicsPageKeepsThePreviewBoxInPlace)
{
    RecordingDialogs dialogs;
    MainWindow window(&dialogs);
    window.show();
    window.pages()->setCurrentIndex(1);
    GraphicsPage* page = window.graphicsPage();
    EXPECT_EQ(page->image()->geometry(), QRect(216, 24, 297, 225));
    EXPECT_TRUE(page->image()->hasScaledContents());
    EXPECT_GE(page->width(), 216 + 297);
    EXPECT_EQ(page->fullScreenButton()->text(), "Full Screen");
    EXPECT_EQ(page->deleteButton()->text(), "Delete");
    for (QLabel* label : {page->todayFilesLabel(), page->todayKBLabel(), page->totalFilesLabel(), page->totalKBLabel()})
        EXPECT_EQ(label->text(), "0");
    for (QLabel* label : {page->nameLabel(), page->sizeLabel(), page->widthLabel(), page->heightLabel()})
        EXPECT_TRUE(label->text().isEmpty());
    window.statistics().TodayKB = 12;
    window.showStatistics();
    EXPECT_EQ(page->todayKBLabel()->text(), "12");
}

TEST(ShellWindows, SplashIsASmallFramelessWaitWindow)
{
    SplashWindow splash;
    EXPECT_EQ(splash.size(), QSize(300, 301));
    EXPECT_TRUE(splash.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(splash.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(splash.caption(), "Please, wait. Loading can take up a few minutes");
    splash.showAndPaint();
    EXPECT_TRUE(splash.isVisible());
    EXPECT_FALSE(splash.stopButton()->isVisible());
    splash.setCaption("Getting News Groups 12");
    EXPECT_EQ(splash.captionLabel()->text(), "Getting News Groups 12");
    int stops = 0;
    QObject::connect(&splash, &SplashWindow::stopClicked, [&] { ++stops; });
    splash.stopButton()->show();
    splash.stopButton()->click();
    EXPECT_EQ(stops, 1);
}

TEST(ShellWindows, AboutBoxTexts)
{
    AboutBox about;
    EXPECT_EQ(about.windowTitle(), "About Nimbra File");
    EXPECT_EQ(about.titleLabel()->text(), "Nimbra File V2.03");
    EXPECT_TRUE(about.buildLabel()->text().startsWith("Build "));
    EXPECT_GT(about.buildLabel()->text().size(), 6);
    EXPECT_EQ(about.closeButton()->text(), "&Close");
    about.show();
    about.closeButton()->click();
    EXPECT_FALSE(about.isVisible());
}

TEST(ShellWindows, HelpShowsTheHelpFileOrSaysItIsMissing)
{
    RecordingDialogs dialogs;
    MainWindow window(&dialogs);
    const std::string folder = test::TestEnvironment::makeFolder("program");
    qApp->setProperty("helpFile", QString::fromStdString(folder + "nimbra.hlp"));
    window.buttonRow()->helpButton()->click();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_NE(dialogs.messages[0].find("nimbra.hlp"), std::string::npos);

    ASSERT_TRUE(AtomicFile::write(folder + "nimbra.html", "<html><body><h1>Contents</h1></body></html>"));
    window.buttonRow()->helpButton()->click();
    EXPECT_EQ(dialogs.messages.size(), 1u);
    auto* help = window.findChild<HelpWindow*>();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_TRUE(help->browser()->toPlainText().contains("Contents"));
}

} // namespace
} // namespace nimbra
