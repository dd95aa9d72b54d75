#pragma once

#include "download/SessionView.h"

#include <array>
#include <string>
#include <utility>
#include <vector>

namespace nimbra::test {

// A SessionView that keeps what the session showed and answers from plain fields.
class RecordingSessionView : public SessionView {
public:
    void setPanelText(Panel panel, const std::string& text) override;
    void setGetFilesEnabled(bool enabled) override;
    void setStopEnabled(bool enabled) override;
    void inform(const std::string& text) override { messages.push_back(text); }
    bool trustCertificate(const std::string& host, const std::string& fingerprint, const std::string& subject,
                          const std::string& reason) override
    {
        certificateQuestions.push_back(host + "|" + fingerprint + "|" + subject + "|" + reason);
        return trustAnswer;
    }

    int groupCount() const override { return static_cast<int>(groups.size()); }
    std::string groupText(int index) const override { return groups.at(index).first; }
    bool groupSelected(int index) const override { return groups.at(index).second; }

    std::string hostText() const override { return host; }
    std::string portText() const override { return port; }
    std::string userNameText() const override { return userName; }
    std::string passwordText() const override { return password; }
    std::string timeoutText() const override { return timeout; }
    std::string articleCacheText() const override { return articleCache; }
    std::string minimumText() const override { return minimum; }
    std::string maximumText() const override { return maximum; }
    std::string downloadFolderText() const override { return downloadFolder; }
    bool saveToOneFolder() const override { return oneFolder; }
    bool fastScanChosen() const override { return fastScan; }
    std::string pipelineText() const override { return pipeline; }
    std::string connectionsText() const override { return connections; }
    bool compressionChosen() const override { return compression; }
    bool skipKnownContent() const override { return skipKnown; }
    std::string subjectMatchText() const override { return subjectMatch; }
    std::string subjectExcludeText() const override { return subjectExclude; }

    std::vector<std::pair<std::string, bool>> groups;  // text, selected
    std::string host = "127.0.0.1", port = "119", userName, password;
    std::string timeout = "1", articleCache = "5000", minimum = "0", maximum = "200";
    std::string downloadFolder;
    bool oneFolder = true;
    bool fastScan = false;
    std::string pipeline = "16";
    std::string connections = "1";
    bool compression = false;
    bool skipKnown = false;
    std::string subjectMatch, subjectExclude;

    std::array<std::string, 5> panels{"Group:", "Article:", "", "", ""};
    std::vector<std::string> panelHistory[5];
    bool getFilesEnabled = true;
    bool stopEnabled = false;
    std::vector<bool> stopHistory;  // every setStopEnabled, in order
    bool bothDisabledSeen = false;  // "Get Files" and "Stop" were disabled at the same time
    std::vector<std::string> messages;
    std::vector<std::string> certificateQuestions;  // host|fingerprint|subject|reason
    bool trustAnswer = false;
};

} // namespace nimbra::test
