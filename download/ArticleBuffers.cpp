#include "download/ArticleBuffers.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace nimbra {
namespace {

struct Kept {
    std::mutex lock;
    std::vector<std::unique_ptr<MemoryStream>> streams;
    std::size_t bytes = 0;
};

Kept& pool()
{
    static Kept instance;
    return instance;
}

// A line-sized article grows into its room, the header before it.
constexpr std::size_t Slack = 4096;

} // namespace

std::unique_ptr<MemoryStream> ArticleBuffers::take(std::int64_t announcedBytes)
{
    std::unique_ptr<MemoryStream> stream;
    {
        Kept& k = pool();
        const std::lock_guard<std::mutex> hold(k.lock);
        if (!k.streams.empty()) {
            stream = std::move(k.streams.back());
            k.streams.pop_back();
            k.bytes -= stream->capacity();
        }
    }
    if (!stream)
        stream = std::make_unique<MemoryStream>();
    if (announcedBytes > 0)
        stream->reserve(std::min(static_cast<std::size_t>(announcedBytes), MaxReserved) + Slack);
    return stream;
}

void ArticleBuffers::giveBack(std::unique_ptr<MemoryStream> stream)
{
    if (!stream)
        return;
    stream->clear();
    const std::size_t bytes = stream->capacity();
    Kept& k = pool();
    const std::lock_guard<std::mutex> hold(k.lock);
    if (k.streams.size() >= MaxKept || k.bytes + bytes > MaxKeptBytes)
        return;  // enough is kept: this one is freed
    k.bytes += bytes;
    k.streams.push_back(std::move(stream));
}

void ArticleBuffers::release()
{
    std::vector<std::unique_ptr<MemoryStream>> freed;
    Kept& k = pool();
    const std::lock_guard<std::mutex> hold(k.lock);
    freed.swap(k.streams);
    k.bytes = 0;
}

std::size_t ArticleBuffers::kept()
{
    Kept& k = pool();
    const std::lock_guard<std::mutex> hold(k.lock);
    return k.streams.size();
}

} // namespace nimbra
