#include "download/ContentCheck.h"

#include "download/ContentStore.h"
#include "download/FileSizeOf.h"
#include "download/SaveTarget.h"
#include "mime/NameText.h"
#include "platform/Log.h"

#include <cctype>
#include <ctime>
#include <utility>

namespace nimbra {

void ContentCheck::setArticle(std::string messageId, std::string group)
{
    messageId_ = std::move(messageId);
    group_ = std::move(group);
}

std::optional<std::string> ContentCheck::publish(const SaveTarget& target, const std::string& workingPath,
                                                 const std::string& rawName, std::optional<ContentDigest> digest)
{
    if (!enabled_)
        return target.publish(workingPath, rawName);
    if (!digest)
        digest = ContentHasher::ofFile(workingPath);
    if (!digest) {
        // Unreadable now means unnameable too, most likely; naming it says why if so.
        qCWarning(logSaving).noquote() << "cannot read back" << QString::fromStdString(workingPath)
                                       << "to compare its content; it is kept";
        return target.publish(workingPath, rawName);
    }
    const std::int64_t size = FileSizeOf(workingPath);
    if (const auto known = store_.find(*digest)) {
        SaveTarget::discard(workingPath);
        qCInfo(logSaving).noquote() << "duplicate not kept:" << QString::fromStdString(NameText::toUtf8(rawName))
                                    << "from" << QString::fromStdString(messageId_) << "has the content of"
                                    << QString::fromStdString(known->path) << "(" << ContentHasher::hex(*digest).c_str()
                                    << ")";
        duplicates_.push_back({NameText::toUtf8(rawName), known->path});
        return std::nullopt;
    }
    std::string name = target.publish(workingPath, rawName);
    ContentStore::Entry entry;
    entry.digest = *digest;
    entry.size = size < 0 ? 0 : static_cast<std::uint64_t>(size);
    entry.time = static_cast<std::int64_t>(std::time(nullptr));
    entry.path = workingPath.substr(0, workingPath.rfind('/') + 1) + name;
    entry.messageId = messageId_;
    entry.group = group_;
    store_.add(entry);
    if (recent_.size() >= RecentFiles)
        recent_.erase(recent_.begin());
    recent_.emplace_back(entry.path, entry.digest);
    return name;
}

std::optional<ContentDigest> ContentCheck::digestOf(const std::string& path) const
{
    for (auto it = recent_.rbegin(); it != recent_.rend(); ++it)
        if (it->first == path)
            return it->second;
    return std::nullopt;
}

std::vector<ContentCheck::Duplicate> ContentCheck::takeDuplicates()
{
    return std::exchange(duplicates_, {});
}

std::string ContentCheck::messageIdOf(const std::string& article)
{
    static const std::string field = "message-id:";
    std::size_t line = 0;
    while (line < article.size()) {
        std::size_t end = article.find('\n', line);
        if (end == std::string::npos)
            end = article.size();
        std::size_t length = end - line;
        if (length > 0 && article[line + length - 1] == '\r')
            --length;
        if (length == 0)
            return {};  // the header ends
        if (length > field.size()) {
            bool match = true;
            for (std::size_t i = 0; i < field.size() && match; ++i)
                match = std::tolower(static_cast<unsigned char>(article[line + i])) == field[i];
            if (match) {
                std::string value = article.substr(line + field.size(), length - field.size());
                const std::size_t first = value.find_first_not_of(" \t<");
                const std::size_t last = value.find_last_not_of(" \t>");
                return first == std::string::npos ? std::string() : value.substr(first, last - first + 1);
            }
        }
        line = end + 1;
    }
    return {};
}

} // namespace nimbra
