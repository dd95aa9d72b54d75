#include "platform/TextListFile.h"

#include "platform/AtomicFile.h"

#include <sys/stat.h>

namespace nimbra {

bool TextListFile::load(const std::string& path, std::vector<std::string>& lines)
{
    lines.clear();
    std::string bytes;
    if (!AtomicFile::read(path, bytes))
        return false;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        const bool last = end == std::string::npos;
        if (last)
            end = bytes.size();
        std::size_t stop = end;
        if (stop > start && bytes[stop - 1] == '\r')
            --stop;
        lines.emplace_back(bytes, start, stop - start);
        start = end + 1;
    }
    return true;
}

bool TextListFile::save(const std::string& path, const std::vector<std::string>& lines)
{
    std::size_t total = 0;
    for (const auto& line : lines)
        total += line.size() + 2;
    std::string bytes;
    bytes.reserve(total);
    for (const auto& line : lines) {
        bytes += line;
        bytes += "\r\n";
    }
    return AtomicFile::write(path, bytes);
}

bool TextListFile::exists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace nimbra
