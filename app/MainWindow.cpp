#include "app/MainWindow.h"

#include "app/AboutBox.h"
#include "app/ButtonRow.h"
#include "app/DigitFilter.h"
#include "app/FieldRules.h"
#include "app/GalleryWiring.h"
#include "app/GraphicsPage.h"
#include "app/GroupCacheFile.h"
#include "app/GroupFetchAdapter.h"
#include "app/GroupListFetch.h"
#include <QCheckBox>
#include <QSignalBlocker>
#include "app/GroupListModel.h"
#include "app/HelpWindow.h"
#include "app/LeaveFilter.h"
#include "app/MessageBoxDialogs.h"
#include "app/NewsGroupsPage.h"
#include "app/OptionsPage.h"
#include "app/RememberedPassword.h"
#include "app/SessionWiring.h"
#include "app/SplashWindow.h"
#include "app/StatusPanels.h"
#include "app/WindowSettings.h"
#include "download/SubjectFilter.h"
#include "platform/AppPaths.h"
#include "platform/Log.h"
#include "platform/RegistryStore.h"
#include "platform/TextListFile.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace nimbra {
namespace {

constexpr int FilterDelayMs = 1000;

} // namespace

MainWindow::MainWindow(Dialogs* dialogs, SplashWindow* splash, QWidget* parent)
    : QMainWindow(parent),
      ownDialogs_(dialogs ? nullptr : std::make_unique<MessageBoxDialogs>(this)),
      dialogs_(dialogs ? dialogs : ownDialogs_.get()),
      ownSplash_(splash ? nullptr : std::make_unique<SplashWindow>()),
      splash_(splash ? splash : ownSplash_.get())
{
    buildWindow();
    fetchView_ = std::make_unique<GroupFetchAdapter>(
        GroupFetchAdapter::Parts{*this, *dialogs_, *splash_, *this, [this] { fillGroupList(); }});
    groupFetch_ = std::make_unique<GroupListFetch>(*fetchView_, groupList_);
    sessionWiring_ = std::make_unique<SessionWiring>(*this);
    galleryWiring_ = std::make_unique<GalleryWiring>(*this);
    wireButtons();
    FormCreate();
    // Connected after the settings are in the fields: loading the stored filter is no typing
    // and must not start a second refill that would drop the user's first selection.
    wireFields();
}

MainWindow::~MainWindow() = default;

void MainWindow::buildWindow()
{
    setWindowTitle(QStringLiteral("Nimbra File"));
    pages_ = new QTabWidget;
    newsGroups_ = new NewsGroupsPage;
    graphics_ = new GraphicsPage;
    options_ = new OptionsPage;
    pages_->addTab(newsGroups_, QStringLiteral("News groups"));
    pages_->addTab(graphics_, QStringLiteral("Graphics"));
    pages_->addTab(options_, QStringLiteral("Options"));
    buttons_ = new ButtonRow;

    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    layout->addWidget(pages_, 1);
    layout->addWidget(buttons_);
    setCentralWidget(central);
    status_ = new StatusPanels;
    setStatusBar(status_);

    filterTimer_ = new QTimer(this);
    filterTimer_->setInterval(FilterDelayMs);
    connect(filterTimer_, &QTimer::timeout, this, &MainWindow::Timer2Timer);
    resize(560, 460);
}

void MainWindow::wireFields()
{
    auto* digits = new DigitFilter(this);
    for (QLineEdit* edit : {newsGroups_->portEdit(), options_->timeoutEdit(), options_->cacheEdit(),
             options_->minimumEdit(), options_->maximumEdit(), options_->pipelineEdit(), options_->similarBitsEdit(),
             options_->connectionsEdit()})
        edit->installEventFilter(digits);
    new LeaveFilter(options_->timeoutEdit(), [this] { Edit1Change(); });
    new LeaveFilter(options_->cacheEdit(), [this] { Edit2Exit(); });
    new LeaveFilter(options_->minimumEdit(), [this] { Edit4Exit(); });
    new LeaveFilter(options_->maximumEdit(), [this] { Edit5Exit(); });
    new LeaveFilter(options_->pipelineEdit(),
                    [this] { setFieldText(Field::Pipeline, FieldRules::pipeline(fieldText(Field::Pipeline))); });
    new LeaveFilter(options_->similarBitsEdit(),
                    [this] { setFieldText(Field::SimilarBits, FieldRules::similarBits(fieldText(Field::SimilarBits))); });
    new LeaveFilter(options_->connectionsEdit(),
                    [this] { setFieldText(Field::Connections, FieldRules::connections(fieldText(Field::Connections))); });
    new LeaveFilter(options_->subjectMatchEdit(), [this] { subjectFieldExit(Field::SubjectMatch, "Subject matches"); });
    new LeaveFilter(options_->subjectExcludeEdit(),
                    [this] { subjectFieldExit(Field::SubjectExclude, "Subject does not match"); });
    connect(newsGroups_->filterEdit(), &QLineEdit::textChanged, this, &MainWindow::Edit10Change);
}

void MainWindow::wireButtons()
{
    connect(options_->resetButton(), &QPushButton::clicked, this, &MainWindow::SpeedButton1Click);
    connect(options_->chooseFolderButton(), &QPushButton::clicked, this, &MainWindow::Button1Click);
    connect(buttons_->helpButton(), &QPushButton::clicked, this, &MainWindow::BitBtn10Click);
    connect(buttons_->aboutButton(), &QPushButton::clicked, this, &MainWindow::BitBtn2Click);
    connect(buttons_->closeButton(), &QPushButton::clicked, this, &MainWindow::BitBtn4Click);
    connect(newsGroups_->getGroupsButton(), &QPushButton::clicked, this, [this] { groupFetch_->getGroups(); });
    connect(splash_, &SplashWindow::stopClicked, this, [this] { groupFetch_->stop(); });
}

std::string MainWindow::messageIdCachePath()
{
    return AppPaths::dataFolder() + "mesagid";
}

void MainWindow::FormCreate()
{
    const std::string programFolder = AppPaths::programFolder();
    qApp->setProperty("helpFile", QString::fromStdString(programFolder + "nimbra.hlp"));
    groupList_.clear();
    messageIdCache_.clear();
    statistics_.TodayFiles = 0;
    statistics_.TodayKB = 0;

    {
        RegistryStore store;
        WindowSettings::writeHelpLocation(store, programFolder);
        const auto totals = WindowSettings::loadTotals(store);
        statistics_.TotalFiles = totals.files;
        statistics_.TotalKB = totals.kilobytes;
        showStatistics();
        WindowSettings::load(store, *this);
    }

    // Missing or unreadable lists start empty.
    const std::string messageIds = messageIdCachePath();
    if (TextListFile::exists(messageIds))
        TextListFile::load(messageIds, messageIdCache_);
    const std::string groups = GroupCacheFile::path(fieldText(Field::Host));
    if (!groups.empty() && TextListFile::exists(groups))
        TextListFile::load(groups, groupList_);

    qCInfo(logApp, "loaded %zu message ids and %zu cached groups", messageIdCache_.size(), groupList_.size());

    try {
        fillGroupList();
    } catch (const std::exception& error) {
        // A failed first fill leaves the box empty; the next filter change tries again.
        qCWarning(logApp, "the group list box could not be filled: %s", error.what());
    }
}

bool MainWindow::FormCloseQuery()
{
    return dialogs_->ask("End the program?");
}

void MainWindow::setKeyring(Keyring& keyring)
{
    rememberedPassword_ = std::make_unique<RememberedPassword>(*newsGroups_, keyring);
    rememberedPassword_->recall();
}

void MainWindow::FormClose()
{
    if (rememberedPassword_)
        rememberedPassword_->keep();
    RegistryStore store;
    WindowSettings::saveTotals(store, graphics_->totalFilesLabel()->text().toStdString(),
        graphics_->totalKBLabel()->text().toStdString());
    WindowSettings::save(store, *this);
    galleryWiring_->keepSettings(store);
    if (!TextListFile::save(messageIdCachePath(), messageIdCache_))
        qCWarning(logApp, "the message-id cache could not be written to %s", messageIdCachePath().c_str());
    qCInfo(logApp, "settings, totals and message-id cache kept; today %d files, %d KB", statistics_.TodayFiles,
           statistics_.TodayKB);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // The window is disabled while a list fetch runs, but the window manager can still ask it
    // to close; the fetch's client and list must not go away under the running fetch.
    if (groupFetch_->running()) {
        event->ignore();
        return;
    }
    if (!closeAsked_ && !FormCloseQuery()) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

void MainWindow::closeWithoutAsking()
{
    if (buttons_->stopButton()->isEnabled())
        buttons_->stopButton()->click();
    closeAsked_ = true;
    if (!close())
        qCWarning(logApp, "the window stays open: a group list fetch is running");
}

std::string MainWindow::fieldText(Field field) const
{
    switch (field) {
    case Field::Host: return newsGroups_->hostEdit()->text().toStdString();
    case Field::Port: return newsGroups_->portEdit()->text().toStdString();
    case Field::UserName: return newsGroups_->userNameEdit()->text().toStdString();
    case Field::Password: return newsGroups_->passwordEdit()->text().toStdString();
    case Field::Filter: return newsGroups_->filterEdit()->text().toStdString();
    case Field::Timeout: return options_->timeoutEdit()->text().toStdString();
    case Field::Cache: return options_->cacheEdit()->text().toStdString();
    case Field::Minimum: return options_->minimumEdit()->text().toStdString();
    case Field::Maximum: return options_->maximumEdit()->text().toStdString();
    case Field::Folder: return options_->folderEdit()->text().toStdString();
    case Field::Tls: return newsGroups_->tlsCheck()->isChecked() ? "1" : "0";
    case Field::FastScan: return options_->fastScanCheck()->isChecked() ? "1" : "0";
    case Field::SubjectMatch: return options_->subjectMatchEdit()->text().toStdString();
    case Field::SubjectExclude: return options_->subjectExcludeEdit()->text().toStdString();
    case Field::Pipeline: return options_->pipelineEdit()->text().toStdString();
    case Field::Compression: return options_->compressionCheck()->isChecked() ? "1" : "0";
    case Field::SkipKnown: return options_->skipKnownCheck()->isChecked() ? "1" : "0";
    case Field::SimilarBits: return options_->similarBitsEdit()->text().toStdString();
    case Field::Connections: return options_->connectionsEdit()->text().toStdString();
    }
    return {};
}

void MainWindow::setFieldText(Field field, const std::string& text)
{
    QLineEdit* edit = nullptr;
    switch (field) {
    case Field::Host: edit = newsGroups_->hostEdit(); break;
    case Field::Port: edit = newsGroups_->portEdit(); break;
    case Field::UserName: edit = newsGroups_->userNameEdit(); break;
    case Field::Password: edit = newsGroups_->passwordEdit(); break;
    case Field::Filter: edit = newsGroups_->filterEdit(); break;
    case Field::Timeout: edit = options_->timeoutEdit(); break;
    case Field::Cache: edit = options_->cacheEdit(); break;
    case Field::Minimum: edit = options_->minimumEdit(); break;
    case Field::Maximum: edit = options_->maximumEdit(); break;
    case Field::Folder: edit = options_->folderEdit(); break;
    case Field::Tls: {
        // A stored choice is not a tick by the user: the port stays as stored.
        const QSignalBlocker quiet(newsGroups_->tlsCheck());
        newsGroups_->tlsCheck()->setChecked(text == "1");
        break;
    }
    case Field::FastScan: options_->fastScanCheck()->setChecked(text != "0"); break;
    case Field::SubjectMatch: edit = options_->subjectMatchEdit(); break;
    case Field::SubjectExclude: edit = options_->subjectExcludeEdit(); break;
    case Field::Pipeline: edit = options_->pipelineEdit(); break;
    case Field::Compression: options_->compressionCheck()->setChecked(text != "0"); break;
    case Field::SkipKnown: options_->skipKnownCheck()->setChecked(text != "0"); break;
    case Field::SimilarBits: edit = options_->similarBitsEdit(); break;
    case Field::Connections: edit = options_->connectionsEdit(); break;
    }
    if (edit)
        edit->setText(QString::fromStdString(text));
}

bool MainWindow::separateByGroups() const
{
    return options_->perGroupButton()->isChecked();
}

int MainWindow::groupCount() const
{
    return newsGroups_->model()->count();
}

std::string MainWindow::groupAt(int row) const
{
    return newsGroups_->model()->entry(row);
}

bool MainWindow::groupSelected(int row) const
{
    return newsGroups_->isSelected(row);
}

void MainWindow::fillGroupList()
{
    filterTimer_->stop();
    newsGroups_->model()->fill(groupList_, fieldText(Field::Filter));
}

void MainWindow::setFilterDelay(int ms)
{
    filterTimer_->setInterval(ms);
}

void MainWindow::showStatistics()
{
    graphics_->todayFilesLabel()->setNum(statistics_.TodayFiles);
    graphics_->todayKBLabel()->setNum(statistics_.TodayKB);
    graphics_->totalFilesLabel()->setNum(statistics_.TotalFiles);
    graphics_->totalKBLabel()->setNum(statistics_.TotalKB);
}

void MainWindow::Edit1Change()
{
    setFieldText(Field::Timeout, FieldRules::timeout(fieldText(Field::Timeout)));
}

void MainWindow::subjectFieldExit(Field field, const char* label)
{
    const std::string problem = SubjectFilter::problem(fieldText(field));
    if (problem.empty())
        return;
    // Refused: the user is told why and stays in the field to mend it.
    QLineEdit* edit = field == Field::SubjectMatch ? options_->subjectMatchEdit() : options_->subjectExcludeEdit();
    dialogs().inform(std::string("\"") + label + "\" is not a valid regular expression: " + problem);
    edit->setFocus();
    edit->selectAll();
}

void MainWindow::Edit2Exit()
{
    setFieldText(Field::Cache, FieldRules::cache(fieldText(Field::Cache)));
}

void MainWindow::Edit4Exit()
{
    const auto sizes = FieldRules::minimumLeft({fieldText(Field::Minimum), fieldText(Field::Maximum)});
    setFieldText(Field::Minimum, sizes.minimum);
}

void MainWindow::Edit5Exit()
{
    const auto sizes = FieldRules::maximumLeft({fieldText(Field::Minimum), fieldText(Field::Maximum)});
    setFieldText(Field::Maximum, sizes.maximum);
    setFieldText(Field::Minimum, sizes.minimum);
}

void MainWindow::Edit10Change()
{
    // Enabling a running timer does not restart it: a burst of typing refills once.
    if (!filterTimer_->isActive())
        filterTimer_->start();
}

void MainWindow::SpeedButton1Click()
{
    if (!dialogs_->ask("Are you sure?"))
        return;
    statistics_ = Statistics{};
    showStatistics();
}

void MainWindow::Button1Click()
{
    std::string folder = fieldText(Field::Folder);
    if (!dialogs_->chooseFolder("Choose a folder to save downloaded files", "My computer", folder))
        return;
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    setFieldText(Field::Folder, folder);
}

void MainWindow::BitBtn10Click()
{
    const std::string helpFile = qApp->property("helpFile").toString().toStdString();
    const std::string html = HelpWindow::findHelpFile(helpFile);
    if (!help_)
        help_ = new HelpWindow(this);
    if (!help_->showContents(html))
        dialogs_->inform("Cannot find the help file " + helpFile);
}

void MainWindow::BitBtn2Click()
{
    if (!about_)
        about_ = new AboutBox(this);
    about_->exec();
}

void MainWindow::BitBtn4Click()
{
    close();
}

} // namespace nimbra
