#pragma once

#include "app/GraphicsPageView.h"
#include "app/GroupRescanMenu.h"
#include "app/SessionViewAdapter.h"
#include "download/AttachmentSaver.h"
#include "download/DownloadSession.h"
#include "download/GroupMarks.h"

#include <QObject>

namespace nimbra {

class MainWindow;

// Connects a download session to the main window: "Get Files" and "Stop" to the session's
// handlers, the session to the window through a SessionViewAdapter, and the window's
// message-id list to the session's indexed cache. The window's list stays the copy that is
// loaded and saved as "mesagid": the session takes it when a run starts and gives it back
// when the run ends and when the window is about to close. The per-group marks ("group-marks"
// in the data folder) are loaded here and kept up by the session's runs; the list box's
// context menu clears a group's mark. Create it after the window, on the window's thread; the
// window must outlive it.
class SessionWiring : public QObject {
public:
    explicit SessionWiring(MainWindow& window);
    ~SessionWiring() override;

    DownloadSession& session() { return session_; }
    // Forgets the group's mark for the server in the window's fields: the next run scans it
    // from its first article ("Rescan from the start", --rescan).
    void rescan(const std::string& group);
    GroupMarks& groupMarks() { return marks_; }
    // The "Graphics" page's side of the saving step.
    GraphicsPageView& pictures() { return pictures_; }
    AttachmentSaver& saver() { return saver_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void giveCacheBack();
    // The "SSL/TLS" box and the certificate the user accepted for the server, for the run.
    void useTlsSettings();

    MainWindow& window_;
    SessionViewAdapter view_;
    GraphicsPageView pictures_;
    AttachmentSaver saver_{view_, pictures_};
    DownloadSession session_;
    GroupMarks marks_{GroupMarks::defaultPath()};
    GroupRescanMenu rescanMenu_;
};

} // namespace nimbra
