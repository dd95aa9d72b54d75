#include "download/PrefixHasher.h"

#include "platform/FileStream.h"
#include "platform/Log.h"

#include <algorithm>
#include <exception>

namespace nimbra {

void PrefixHasher::written(const std::string& path, const std::vector<YencPartLedger::Part>& parts, std::uint64_t begin,
                           const char* bytes, std::size_t length)
{
    if (broken_ || begin != hashed_)
        return;  // a gap before it: it is read back once the gap is filled
    hasher_.update(bytes, length);
    hashed_ += length;
    for (;;) {
        const auto next = std::find_if(parts.begin(), parts.end(), [&](const YencPartLedger::Part& part) {
            return part.begin == hashed_ && part.end > part.begin;
        });
        if (next == parts.end()) {
            hasher_.pause();  // the next part may come much later, or never
            return;
        }
        if (!readBack(path, next->begin, next->end)) {
            broken_ = true;
            qCWarning(logSaving, "cannot read back %s to take its digest as its parts come; it is read once complete",
                      path.c_str());
            return;
        }
    }
}

bool PrefixHasher::readBack(const std::string& path, std::uint64_t begin, std::uint64_t end)
{
    try {
        FileStream file(path, FileStream::Mode::OpenRead);
        file.seek(static_cast<std::int64_t>(begin));
        std::vector<char> chunk(std::min<std::uint64_t>(end - begin, 1u << 20));
        while (hashed_ < end) {
            const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(end - hashed_, chunk.size()));
            const std::size_t n = file.read(chunk.data(), wanted);
            if (n == 0)
                return false;
            hasher_.update(chunk.data(), n);
            hashed_ += n;
        }
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

std::optional<ContentDigest> PrefixHasher::digest(std::uint64_t size)
{
    if (broken_ || hashed_ != size)
        return std::nullopt;
    return hasher_.finish();
}

} // namespace nimbra
