#include "tests/download/RecordingSessionView.h"

namespace nimbra::test {

void RecordingSessionView::setPanelText(Panel panel, const std::string& text)
{
    panels.at(panel) = text;
    panelHistory[panel].push_back(text);
}

void RecordingSessionView::setGetFilesEnabled(bool enabled)
{
    getFilesEnabled = enabled;
    bothDisabledSeen = bothDisabledSeen || (!getFilesEnabled && !stopEnabled);
}

void RecordingSessionView::setStopEnabled(bool enabled)
{
    stopEnabled = enabled;
    stopHistory.push_back(enabled);
    bothDisabledSeen = bothDisabledSeen || (!getFilesEnabled && !stopEnabled);
}

} // namespace nimbra::test
