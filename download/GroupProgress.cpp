#include "download/GroupProgress.h"

#include "download/ArticleSink.h"
#include "download/GroupMarks.h"

#include "platform/Log.h"

namespace nimbra {

std::optional<std::int64_t> GroupProgress::begin(const std::string& group, std::int64_t first, std::int64_t last)
{
    group_ = group;
    last_ = last;
    stuck_ = false;
    mark_ = 0;
    if (!marks_)
        return first;
    const std::int64_t stored = marks_->mark(server_, group_);
    if (stored > last) {
        qCInfo(logSession, "group %s: marked at %lld but the server's last article is %lld; renumbered, scanned from %lld",
              group.c_str(), static_cast<long long>(stored), static_cast<long long>(last),
              static_cast<long long>(first));
        marks_->setMark(server_, group_, 0);
        return first;
    }
    mark_ = stored;
    if (stored >= last)
        return std::nullopt;
    return stored >= first ? stored + 1 : first;
}

void GroupProgress::done(std::int64_t number)
{
    moveTo(number);
}

void GroupProgress::givenUp()
{
    stuck_ = true;
}

void GroupProgress::finished()
{
    moveTo(last_);
    save();
}

void GroupProgress::save()
{
    if (sink_)
        sink_->flush();
    if (marks_)
        marks_->save();
}

void GroupProgress::moveTo(std::int64_t number)
{
    if (!active() || stuck_ || number <= mark_)
        return;
    mark_ = number;
    marks_->setMark(server_, group_, mark_);
}

} // namespace nimbra
