#pragma once

#include "download/ContentHasher.h"
#include "download/PartCounter.h"
#include "download/SaveTarget.h"
#include "download/SplitAssembly.h"
#include "platform/FileStream.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace nimbra {

class ContentCheck;
class MimeDecoder;

// The files one article's decoding makes, from the decoder's part and uuencode events.
// A named MIME part and a uuencoded block are written into a working file and get their real
// name when they end whole. A uuencoded file split over several articles (its subject
// carries a part counter, and its block stops without "end" or starts without "begin") is
// handed part by part to the split assembly, keyed by the subject before the counter and
// the poster; the file appears once its last part is in. A part's bytes are held in memory
// until its block stops, so a part in order is written once, straight after the parts
// before it. Bytes of a block that stops short
// in an article without a counter, and continuation data without one, are dropped: nothing
// incomplete is ever named. One thread; decoder and assembly must outlive this object, whose
// destructor unbinds the events it set.
class ArticleFiles {
public:
    struct Saved {
        std::string folder;  // ends in "/"
        std::string name;
    };

    ArticleFiles(MimeDecoder& decoder, SplitAssembly& split);
    ~ArticleFiles();
    ArticleFiles(const ArticleFiles&) = delete;
    ArticleFiles& operator=(const ArticleFiles&) = delete;

    // Before an article is decoded: where its files go.
    void start(const SaveTarget& target)
    {
        target_ = target;
        failure_.clear();
    }
    // After it was decoded: closes what is still open and returns the files made whole
    // during the article, in order. failure() then tells whether a file could not be written.
    std::vector<Saved> finish();
    // The article failed: whatever is open is deleted.
    void abandon();
    // Why a file of this article could not be written; empty when none failed.
    const std::string& failure() const { return failure_; }

    // Publishes a working file that holds a whole file, as the article's own files are;
    // digest is its content's when known (else it is read back when the check needs it).
    void publish(const std::string& workingPath, const std::string& rawName,
                 const std::optional<ContentDigest>& digest = std::nullopt);

    // Whole files are named through check (not owned; null: named directly), which hashes
    // them as they are written while it is enabled.
    void setContentCheck(ContentCheck* check) { check_ = check; }

private:
    enum class Kind { MimePart, UuBlock, UuContinuation };
    struct Output {
        Kind kind = Kind::MimePart;
        std::unique_ptr<FileStream> file;  // none while the bytes are held as a part (held_)
        std::string rawName;
        std::uint64_t bytes = 0;
        std::optional<ContentHasher> hasher;
    };

    void open(Kind kind, const std::string& rawName);
    void write(const char* data, std::size_t length);
    // Closes the output; its path when every byte reached the disk, else empty (and deleted).
    // Held bytes are written to a working file first; closedDigest_ then holds the content's
    // digest when it was hashed.
    std::string close();
    void closeAndPublish();
    // Whether an output of this kind may be a part of a counted series.
    bool mayBePart(Kind kind) const;
    void uuBegin(const std::string& name);
    void uuEnd(bool endLineSeen);
    void keepPart(const std::string& rawName);

    MimeDecoder& decoder_;
    SplitAssembly& split_;
    SaveTarget target_;
    std::optional<Output> output_;
    std::optional<ContentDigest> closedDigest_;
    ContentCheck* check_ = nullptr;
    std::optional<PartCounter::Counted> counter_;
    std::string poster_;
    std::string held_;  // the open part's decoded bytes; the memory is kept for the next part
    std::vector<Saved> saved_;
    std::string failure_;
};

} // namespace nimbra
