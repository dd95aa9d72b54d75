#include "app/SessionWiring.h"

#include "app/ServerCertificates.h"

#include "app/ButtonRow.h"
#include "app/MainWindow.h"
#include "app/NewsGroupsPage.h"
#include "app/StatusPanels.h"

#include <QEvent>
#include <QPushButton>

namespace nimbra {

SessionWiring::SessionWiring(MainWindow& window)
    : window_(window),
      view_({*window.statusPanels(), *window.buttonRow(), *window.newsGroupsPage(), *window.optionsPage(),
             window.dialogs(), window}),
      pictures_(*window.graphicsPage(), window.statistics(), [&window] { window.showStatistics(); }),
      session_(view_),
      rescanMenu_(*window.newsGroupsPage()->listBox(), [this](const std::string& group) { rescan(group); })
{
    session_.setArticleSink(&saver_);
    session_.setRunOutcome(&window_.runOutcome());
    saver_.setFailureReport([this](const std::string& reason, bool stopRun) { session_.saveFailed(reason, stopRun); });
    session_.setGroupMarks(&marks_);
    StatusPanels* status = window_.statusPanels();
    pictures_.setDuplicatesListener([status](int count) { status->setDuplicates(count); });
    pictures_.setNoticeListener([status](const std::string& text) { status->showNotice(text); });
    if (!pictures_.notice().empty())
        status->showNotice(pictures_.notice());
    QObject::connect(window_.buttonRow()->getFilesButton(), &QPushButton::clicked, this, [this] {
        if (!session_.sessionActive()) {
            session_.messageIdCache().assign(window_.messageIdCache());
            useTlsSettings();
        }
        session_.bitbtn1Click();
    });
    QObject::connect(window_.buttonRow()->stopButton(), &QPushButton::clicked, this, [this] { session_.sendbtnClick(); });
    session_.OnRunEnded = [this] { giveCacheBack(); };
    window_.installEventFilter(this);
}

void SessionWiring::useTlsSettings()
{
    session_.setTls(window_.fieldText(Field::Tls) == "1",
                    ServerCertificates::acceptedInSettings(window_.fieldText(Field::Host)));
}

SessionWiring::~SessionWiring()
{
    window_.removeEventFilter(this);
}

bool SessionWiring::eventFilter(QObject* watched, QEvent* event)
{
    // The window writes "mesagid" while it closes; a run still going must not lose its ids.
    if (watched == &window_ && event->type() == QEvent::Close && session_.sessionActive())
        giveCacheBack();
    return false;
}

void SessionWiring::rescan(const std::string& group)
{
    marks_.clear(GroupMarks::serverKey(window_.fieldText(Field::Host), window_.fieldText(Field::Port)), group);
}

void SessionWiring::giveCacheBack()
{
    window_.messageIdCache() = session_.messageIdCache().entries();
}

} // namespace nimbra
