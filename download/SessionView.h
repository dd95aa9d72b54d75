#pragma once

#include "download/SaveSettings.h"
#include "download/SessionSettings.h"

#include <array>
#include <string>

namespace nimbra {

// What the download session needs of the main window: the four status-bar panels, the
// "Get Files" and "Stop" buttons, a message box, the newsgroup list box and the settings
// fields. The window implements it; tests use a recording fake. Every call is made on the
// window's thread, from the event loop, and none of them may throw.
class SessionView : public SaveSettings {
public:
    // Status-bar panels, left to right: group, article, body percentage, countdown, and the
    // transfer rate.
    enum Panel { panelGroup = 0, panelArticle = 1, panelPercent = 2, panelCountdown = 3, panelRate = 4 };
    static constexpr std::array<int, 5> PanelWidths{250, 150, 50, 25, 90};
    static constexpr const char* GroupPanelDesignText = "Group:";
    static constexpr const char* ArticlePanelDesignText = "Article:";

    virtual ~SessionView() = default;

    virtual void setPanelText(Panel panel, const std::string& text) = 0;
    virtual void setGetFilesEnabled(bool enabled) = 0;
    virtual void setStopEnabled(bool enabled) = 0;
    // Shows a message box with the text and an OK button.
    virtual void inform(const std::string& text) = 0;
    // The server host shows a TLS certificate that the system does not trust (reason says
    // why): whether the user trusts that certificate for that server. Asked at most once per
    // certificate; the answer is kept with the host's settings.
    virtual bool trustCertificate(const std::string& host, const std::string& fingerprint,
                                  const std::string& subject, const std::string& reason) = 0;

    // The newsgroup list box, in its displayed order.
    virtual int groupCount() const = 0;
    virtual std::string groupText(int index) const = 0;
    virtual bool groupSelected(int index) const = 0;

    // Settings fields, as the user left them.
    virtual std::string hostText() const = 0;
    virtual std::string portText() const = 0;
    virtual std::string userNameText() const = 0;
    virtual std::string passwordText() const = 0;
    virtual std::string timeoutText() const = 0;
    virtual std::string articleCacheText() const = 0;
    virtual std::string minimumText() const = 0;
    virtual std::string maximumText() const = 0;
    // The download folder and "Save everything to this folder" come from SaveSettings.
    // "Fast scan (overview)": groups are scanned by overview where the server offers it. A
    // view without the box walks article by article.
    virtual bool fastScanChosen() const { return false; }
    // "Pipeline": how many articles may be asked for at once (digits; see SessionSettings). A
    // view without the field asks for one at a time.
    virtual std::string pipelineText() const { return "1"; }
    // "Connections": how many connections to the server fetch the articles the overview chose
    // (digits; see SessionSettings). A view without the field uses one.
    virtual std::string connectionsText() const { return "1"; }
    // "Compression": COMPRESS DEFLATE where the server offers it, with the fast scan. A view
    // without the box does not compress.
    virtual bool compressionChosen() const { return false; }
    // "Subject matches" and "Subject does not match" (regular expressions; empty: no filter).
    virtual std::string subjectMatchText() const { return {}; }
    virtual std::string subjectExcludeText() const { return {}; }

    std::uint64_t articleLimitBytes() const override { return SessionSettings::articleLimitBytes(*this); }
};

} // namespace nimbra
