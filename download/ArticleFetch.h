#pragma once

#include "download/ArticleLineFollower.h"
#include "platform/MemoryStream.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace nimbra {

class ArticleSink;
class SessionView;

// One article being fetched into memory: its stream, whether its terminating line came, its
// body lines followed for the percentage panel, and the hand-over of a whole article to the
// sink.
class ArticleFetch {
public:
    // A run starts: nothing of the previous run's article carries over.
    void startRun();
    // A new article of the given announced size in lines and bytes (0: unknown); the stream to
    // fetch into stays valid until the next begin(), deliver() or drop().
    MemoryStream* begin(std::int32_t lines, std::int64_t bytes = 0);
    // A line of the article; true for a body line (progress). The percentage is shown in the
    // view's panel when it changes.
    bool line(const std::string& text, SessionView& view);
    // The same without the panel (for an article on another connection than the one shown).
    bool line(const std::string& text);
    void ended() { ended_ = true; }
    // Hands the article to the sink when it arrived whole; false when none did (nothing begun,
    // or the connection ended inside it). May throw what the sink throws.
    bool deliver(ArticleSink* sink, int groupIndex, const std::string& groupName);
    void drop();
    // The article when it arrived whole (null otherwise); the fetch keeps nothing.
    std::unique_ptr<MemoryStream> takeWhole();
    // Whether the request ended because the article passed the client's size limit; then it
    // is dropped and the skip logged with the article's number, group and the limit.
    bool tooLarge(std::uint16_t error, std::int64_t number, const std::string& groupName, std::uint64_t limit);
    bool open() const { return stream_ != nullptr; }
    // The size announced at begin(), in lines (0: unknown).
    std::int32_t lines() const { return lines_; }

private:
    std::unique_ptr<MemoryStream> stream_;
    bool ended_ = false;
    std::int32_t lines_ = 0;
    ArticleLineFollower follower_;
    std::optional<std::int64_t> shownPercent_;
};

} // namespace nimbra
