#include "download/GroupMarks.h"

#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"
#include "platform/SafeName.h"

#include "platform/Log.h"

#include <cstdio>
#include <sstream>

namespace nimbra {

namespace {

constexpr const char* FirstLine = "nimbra group marks 1";
// A mark file is a few lines per group the user harvests; anything near this is not one.
constexpr std::size_t MaxFileBytes = 4u << 20;
constexpr std::size_t MaxNumberDigits = 18;

bool readNumber(const std::string& text, std::int64_t& number)
{
    if (text.empty() || text.size() > MaxNumberDigits)
        return false;
    number = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        number = number * 10 + (c - '0');
    }
    return number > 0;
}

} // namespace

GroupMarks::GroupMarks(std::string path) : path_(std::move(path))
{
    load();
}

std::string GroupMarks::defaultPath()
{
    return AppPaths::dataFolder() + "group-marks";
}

std::string GroupMarks::serverKey(const std::string& host, const std::string& port)
{
    return SafeName::lowerCase(host) + ":" + port;
}

std::int64_t GroupMarks::mark(const std::string& server, const std::string& group) const
{
    const auto found = marks_.find({server, group});
    return found == marks_.end() ? 0 : found->second;
}

void GroupMarks::setMark(const std::string& server, const std::string& group, std::int64_t number)
{
    if (!usableName(server) || !usableName(group))
        return;
    const Key key{server, group};
    const auto found = marks_.find(key);
    if (number < 1) {
        if (found != marks_.end()) {
            marks_.erase(found);
            changed_ = true;
        }
        return;
    }
    if (found != marks_.end() && found->second == number)
        return;
    marks_[key] = number;
    changed_ = true;
}

void GroupMarks::clear(const std::string& server, const std::string& group)
{
    setMark(server, group, 0);
    save();
}

bool GroupMarks::save()
{
    if (!changed_)
        return true;
    std::string bytes = std::string(FirstLine) + "\r\n";
    for (const auto& [key, number] : marks_)
        bytes += key.first + ' ' + key.second + ' ' + std::to_string(number) + "\r\n";
    if (!AtomicFile::write(path_, bytes)) {
        qCWarning(logSession, "group marks: cannot write %s; the marks are kept for the next try", path_.c_str());
        return false;
    }
    changed_ = false;
    return true;
}

void GroupMarks::load()
{
    std::string bytes;
    if (!AtomicFile::read(path_, bytes))
        return;  // no file yet: no marks
    if (parse(bytes))
        return;
    marks_.clear();
    damaged_ = true;
    const std::string aside = path_ + ".damaged";
    if (std::rename(path_.c_str(), aside.c_str()) == 0)
        qCWarning(logSession, "group marks: %s is damaged; set aside as %s, every group is scanned from its start",
                 path_.c_str(), aside.c_str());
    else
        qCWarning(logSession, "group marks: %s is damaged and cannot be set aside; no mark of it is used", path_.c_str());
}

bool GroupMarks::parse(const std::string& bytes)
{
    if (bytes.size() > MaxFileBytes)
        return false;
    std::istringstream in(bytes);
    std::string line;
    bool first = true;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (first) {
            if (line != FirstLine)
                return false;
            first = false;
            continue;
        }
        const std::size_t a = line.find(' ');
        const std::size_t b = a == std::string::npos ? a : line.find(' ', a + 1);
        if (b == std::string::npos || line.find(' ', b + 1) != std::string::npos)
            return false;
        const std::string server = line.substr(0, a);
        const std::string group = line.substr(a + 1, b - a - 1);
        std::int64_t number = 0;
        if (!usableName(server) || !usableName(group) || !readNumber(line.substr(b + 1), number))
            return false;
        if (!marks_.emplace(Key{server, group}, number).second)
            return false;  // the writer never repeats a key
    }
    return !first;
}

bool GroupMarks::usableName(const std::string& name)
{
    if (name.empty())
        return false;
    for (const char c : name)
        if (static_cast<unsigned char>(c) <= ' ' || c == '\x7f')
            return false;
    return true;
}

} // namespace nimbra
