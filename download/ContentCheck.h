#pragma once

#include "download/ContentHasher.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace nimbra {

class ContentStore;
class SaveTarget;

// Asked before a whole working file gets its real name: is its content already known? When
// checking is on ("Skip pictures I already have") a file whose SHA-256 is in the store is not
// kept: its working file is deleted, a log line names it and the file first saved with that
// content, and it is counted as a duplicate; a new file is named as before and entered in the
// store with the article's message-id and group. Off, every file is named as before and the
// store is neither asked nor changed.
//
// The store is not owned and must outlive the check. One thread.
class ContentCheck {
public:
    struct Duplicate {
        std::string name;       // the name the file would have had (the article's, as posted)
        std::string firstPath;  // where the same content was first saved
    };

    explicit ContentCheck(ContentStore& store) : store_(store) {}

    void setEnabled(bool on) { enabled_ = on; }
    bool enabled() const { return enabled_; }
    // The article whose files follow.
    void setArticle(std::string messageId, std::string group);

    // Names the whole working file as SaveTarget::publish does, unless its content is known:
    // then the working file is deleted and none is returned. digest: of the bytes as they
    // were written; none (or checking off) and the file is read back to hash it when the
    // check needs it. Throws as SaveTarget::publish does.
    std::optional<std::string> publish(const SaveTarget& target, const std::string& workingPath,
                                       const std::string& rawName, std::optional<ContentDigest> digest);

    // The digest of a file this check named lately (the last RecentFiles), for the picture
    // hash its preview brings; none when it is not among them.
    std::optional<ContentDigest> digestOf(const std::string& path) const;
    static constexpr std::size_t RecentFiles = 64;

    // The duplicates met since the last call, in order.
    std::vector<Duplicate> takeDuplicates();

    // The Message-ID of a whole article (header and body), without its angle brackets; empty
    // when the header has none.
    static std::string messageIdOf(const std::string& article);

private:
    ContentStore& store_;
    bool enabled_ = false;
    std::string messageId_;
    std::string group_;
    std::vector<Duplicate> duplicates_;
    std::vector<std::pair<std::string, ContentDigest>> recent_;  // oldest first
};

} // namespace nimbra
