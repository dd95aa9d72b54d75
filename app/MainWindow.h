#pragma once

#include "app/SettingsFields.h"
#include "app/Statistics.h"
#include "download/RunOutcome.h"

#include <QMainWindow>
#include <memory>
#include <string>
#include <vector>

class QTabWidget;
class QTimer;

namespace nimbra {

class AboutBox;
class ButtonRow;
class Dialogs;
class GraphicsPage;
class GalleryWiring;
class GroupFetchAdapter;
class GroupListFetch;
class HelpWindow;
class Keyring;
class NewsGroupsPage;
class OptionsPage;
class RememberedPassword;
class SessionWiring;
class SplashWindow;
class StatusPanels;

// The main window: three pages ("News groups", "Graphics", "Options"), the status bar and the
// button row. It loads the settings, totals, message-id cache and cached group list when it is
// created (FormCreate), keeps them in its fields and lists, and writes them back when a close
// is confirmed (FormCloseQuery, FormClose). The download session and the group list fetch
// reach the window through the accessors below; all of them are for the GUI thread.
class MainWindow : public QMainWindow, public SettingsFields {
    Q_OBJECT
public:
    // dialogs answers the window's questions (a QMessageBox one when null; otherwise it must
    // outlive the window). splash is the wait window of a group list fetch (the window makes
    // its own when null; otherwise it must outlive the window).
    explicit MainWindow(Dialogs* dialogs = nullptr, SplashWindow* splash = nullptr, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The pages and bars.
    NewsGroupsPage* newsGroupsPage() const { return newsGroups_; }
    GraphicsPage* graphicsPage() const { return graphics_; }
    OptionsPage* optionsPage() const { return options_; }
    StatusPanels* statusPanels() const { return status_; }
    ButtonRow* buttonRow() const { return buttons_; }
    QTabWidget* pages() const { return pages_; }
    SplashWindow* splashWindow() const { return splash_; }
    Dialogs& dialogs() const { return *dialogs_; }

    // The settings fields.
    std::string fieldText(Field field) const override;
    void setFieldText(Field field, const std::string& text) override;
    // "Separate by news groups" is chosen (else "Save everything to this folder").
    bool separateByGroups() const;

    // The full group list of the current server, in the server's order, and the message-id
    // cache, oldest first. Both live as long as the window.
    std::vector<std::string>& groupList() { return groupList_; }
    std::vector<std::string>& messageIdCache() { return messageIdCache_; }

    // The newsgroup list box: its entries in box order and their selection.
    int groupCount() const;
    std::string groupAt(int row) const;
    bool groupSelected(int row) const;

    // Fills the list box from the full list and the filter text (the filter timer's handler;
    // also run after a load or a fetch of the list).
    void fillGroupList();
    void Timer2Timer() { fillGroupList(); }
    QTimer* filterTimer() const { return filterTimer_; }
    // For tests: the filter timer's wait, 1000 ms by design.
    void setFilterDelay(int ms);

    // The counters; showStatistics() puts them into the four statistics labels.
    Statistics& statistics() { return statistics_; }
    void showStatistics();

    // "Get groups": the list fetch wired to the button and to the wait window's "Stop".
    GroupListFetch& groupListFetch() const { return *groupFetch_; }
    // "Get Files" and "Stop": the download session wired to the buttons and the panels.
    SessionWiring& sessionWiring() const { return *sessionWiring_; }
    // "Gallery" and --gallery: the gallery of the download folder.
    GalleryWiring& galleryWiring() const { return *galleryWiring_; }

    // How the current (or last) download run ended: the session and the saver report an
    // error that ends the run here; an unattended run reads it when the run is over.
    RunOutcome& runOutcome() { return runOutcome_; }

    // Where "mesagid" lives.
    static std::string messageIdCachePath();

    void setAboutBox(AboutBox* about) { about_ = about; }
    // Gives "Remember password" the desktop keyring (it stays disabled without one) and fills
    // in the account kept for the server in the host field. The keyring must outlive the window.
    void setKeyring(Keyring& keyring);

    // Handlers, named as in the window's design.
    void FormCreate();         // loads settings, totals, the message-id cache and the group list
    bool FormCloseQuery();     // asks "End the program?"; true when the window may close
    void FormClose();          // writes settings, totals and the message-id cache
    void Edit1Change();        // the time-out field left: kept within its range
    void Edit2Exit();          // the article-cache field left: kept within its range
    void Edit4Exit();          // the minimum size left: kept at or below the maximum
    void Edit5Exit();          // the maximum size left: kept at or above the minimum
    // An invalid subject filter is refused on leaving its field, with the reason.
    void subjectFieldExit(Field field, const char* label);
    void Edit10Change();       // the filter text changed: starts the refill wait (Timer2)
    void SpeedButton1Click();  // "Reset": asks, then sets the counters back to zero
    void Button1Click();       // chooses the download folder
    void BitBtn10Click();      // "Help": shows the help file
    void BitBtn2Click();       // "About": shows the about box
    void BitBtn4Click();       // "Close": closes the window (after FormCloseQuery)
    // Stops a running harvest and closes the window without asking, keeping what FormClose
    // keeps (a stop asked for from outside, such as SIGTERM). A group list fetch that runs
    // still holds the window open, as it does against "Close".
    void closeWithoutAsking();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildWindow();
    void wireFields();
    void wireButtons();

    std::unique_ptr<Dialogs> ownDialogs_;
    Dialogs* dialogs_;
    std::unique_ptr<SplashWindow> ownSplash_;
    SplashWindow* splash_;
    AboutBox* about_ = nullptr;
    HelpWindow* help_ = nullptr;

    QTabWidget* pages_ = nullptr;
    NewsGroupsPage* newsGroups_ = nullptr;
    GraphicsPage* graphics_ = nullptr;
    OptionsPage* options_ = nullptr;
    StatusPanels* status_ = nullptr;
    ButtonRow* buttons_ = nullptr;
    QTimer* filterTimer_ = nullptr;

    std::vector<std::string> groupList_;
    std::vector<std::string> messageIdCache_;
    Statistics statistics_;
    RunOutcome runOutcome_;
    bool closeAsked_ = false;  // closeWithoutAsking() was called: no question on closing
    std::unique_ptr<RememberedPassword> rememberedPassword_;
    // Last, so that they go first: the fetch holds the adapter and the group list.
    std::unique_ptr<GroupFetchAdapter> fetchView_;
    std::unique_ptr<GroupListFetch> groupFetch_;
    std::unique_ptr<SessionWiring> sessionWiring_;
    std::unique_ptr<GalleryWiring> galleryWiring_;  // uses the session wiring's saver view
};

} // namespace nimbra
