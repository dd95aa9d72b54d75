#include "download/MessageIdCache.h"

#include "platform/TextListFile.h"

#include <algorithm>

namespace nimbra {

bool MessageIdCache::testAndEnter(const std::string& id, long capacity)
{
    if (id.empty())
        return false;
    if (contains(id))
        return true;
    if (static_cast<long>(order_.size()) >= capacity && !order_.empty())
        dropOldest();
    order_.push_back(id);
    index_.insert(id);
    return false;
}

void MessageIdCache::trim(long capacity)
{
    const std::size_t keep = capacity < 0 ? 0 : static_cast<std::size_t>(capacity);
    while (order_.size() > keep)
        dropOldest();
}

void MessageIdCache::forget(const std::string& id)
{
    if (index_.erase(id) == 0)
        return;
    // The id forgotten is nearly always the one entered last, so search from the back.
    auto found = std::find(order_.rbegin(), order_.rend(), id);
    order_.erase(std::next(found).base());
}

void MessageIdCache::dropOldest()
{
    index_.erase(order_.front());
    order_.pop_front();
}

void MessageIdCache::assign(std::vector<std::string> ids)
{
    order_.clear();
    index_.clear();
    for (std::string& id : ids)
        if (!id.empty() && index_.insert(id).second)
            order_.push_back(std::move(id));
}

bool MessageIdCache::load(const std::string& path)
{
    std::vector<std::string> lines;
    const bool loaded = TextListFile::load(path, lines);
    assign(std::move(lines));
    return loaded;
}

bool MessageIdCache::save(const std::string& path) const
{
    return TextListFile::save(path, entries());
}

} // namespace nimbra
