#include "download/SessionSettings.h"

#include "download/ArticleSizeCheck.h"
#include "download/SessionView.h"
#include "net/NntpClient.h"

namespace nimbra {

long SessionSettings::number(const std::string& text, long fallback)
{
    std::size_t begin = text.find_first_not_of(" \t");
    std::size_t end = text.find_last_not_of(" \t");
    if (begin == std::string::npos || end - begin + 1 > 9)
        return fallback;
    long value = 0;
    for (std::size_t i = begin; i <= end; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return fallback;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

long SessionSettings::timeoutSeconds(const SessionView& view)
{
    const long seconds = number(view.timeoutText(), 20);
    return seconds > 0 ? seconds : 20;
}

long SessionSettings::articleCache(const SessionView& view) { return number(view.articleCacheText(), 2000); }
long SessionSettings::minimumKB(const SessionView& view) { return number(view.minimumText(), 0); }
long SessionSettings::maximumKB(const SessionView& view) { return number(view.maximumText(), 200); }

std::uint64_t SessionSettings::articleLimitBytes(const SessionView& view)
{
    const long maximum = number(view.maximumText(), 0);
    if (maximum <= 0)
        return NntpClient::DefaultArticleLimit;
    // At most 9 digits: the product stays far inside 64 bits.
    return static_cast<std::uint64_t>(maximum) * ArticleSizeCheck::LinesPerKB * BytesPerLine + HeaderAllowance;
}

int SessionSettings::pipelineWindow(const SessionView& view)
{
    const long window = number(view.pipelineText(), DefaultPipeline);
    return window >= 1 && window <= MaximumPipeline ? static_cast<int>(window) : DefaultPipeline;
}

int SessionSettings::connections(const SessionView& view)
{
    const long count = number(view.connectionsText(), DefaultConnections);
    return count >= 1 && count <= MaximumConnections ? static_cast<int>(count) : DefaultConnections;
}

int SessionSettings::nextSelectedGroup(const SessionView& view, int after)
{
    const int count = view.groupCount();
    for (int index = after + 1; index < count; ++index)
        if (view.groupSelected(index))
            return index;
    return -1;
}

} // namespace nimbra
