#pragma once

#include "download/ContentHasher.h"
#include "download/OpenWorkingFile.h"
#include "download/PrefixHasher.h"
#include "download/SaveTarget.h"
#include "download/YencPartLedger.h"
#include "platform/FileStream.h"
#include "mime/YencDecoder.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace nimbra {

class ContentCheck;
class LedgerWriter;

// Saves yEnc files from the decoder's events. A file split over several articles is put
// together from its parts in whatever order they come and whatever comes between them, in
// this run or a later one: parts belong together by the name, size and total of their
// "=ybegin" line, each is written at its own place in one file, and what is needed to go on
// is kept in the ledger file. A part is held in memory until its "=yend" has confirmed it,
// so a part that fails its checks never reaches the disk. A whole file in one article goes
// straight to its own working file as it is decoded (it may be as large as the article), and
// that file is deleted when the checks fail.
//
// The file is made as a working file (SaveTarget) in the target folder given with the part
// that begins it; later parts go to that same file wherever they are found. Once whole it
// gets the article's name, made safe, with a leading "1" while the name is taken: nothing
// incomplete ever carries that name. A whole file in one article is saved the same way and
// finishes at once. A ledger entry whose file is not a working file inside the download
// folder is forgotten, never written. The ledger is written when the writer given decides
// (see LedgerWriter), or after every change without one. Called on one thread; throws nothing.
class YencAssembly {
public:
    enum class Outcome {
        Stored,     // the part is written; the file still misses parts
        Completed,  // the file is whole and its crc32 matches (or none was given)
        Duplicate,  // this part was written before; nothing written now
        Refused,    // the part failed its own checks (size, pcrc32, its range); nothing written
        Corrupt,    // the file is whole but its crc32 disagrees; it is named but not counted
        Failed,     // the file could not be made or written
        Known,      // the file is whole but its content was saved before: not kept (ContentCheck)
    };

    struct Report {
        Outcome outcome = Outcome::Refused;
        std::string folder;  // the file's folder, ending in "/"; empty when there is no file
        std::string name;    // its name in that folder
        std::uint64_t size = 0;
        bool counts() const { return outcome == Outcome::Completed; }
    };

    // Loads the ledger kept at ledgerPath; a missing or damaged one is started afresh. The
    // writer is not owned and must outlive the assembly, which hands its ledger back to it
    // (written when changed) when destroyed.
    explicit YencAssembly(std::string ledgerPath = defaultLedgerPath(), LedgerWriter* writer = nullptr);
    ~YencAssembly();
    YencAssembly(const YencAssembly&) = delete;
    YencAssembly& operator=(const YencAssembly&) = delete;
    // "yenc-parts" in the program's data folder.
    static std::string defaultLedgerPath();

    // The most bytes one part can hold (the size limit of its article); 0: no bound. A file
    // announced larger than its total of parts times this, or a part whose range ends past
    // its own number of parts times this, is refused: no honest poster can fill it, and a
    // working file is never made for it.
    void setPartLimit(std::uint64_t bytes) { partLimit_ = bytes; }

    // Whole files are named through check (not owned; null: named directly). A file in one
    // article is hashed as its bytes are written; one put together from parts at their
    // offsets as its parts join up from its beginning (PrefixHasher), and read back once it
    // is complete only when that could not be done (its first parts were written in an
    // earlier run).
    void setContentCheck(ContentCheck* check) { check_ = check; }

    // The decoder's events for one part; target says where a new file goes.
    void begin(const YencStart& start, const SaveTarget& target);
    void data(const char* bytes, std::size_t length, std::uint64_t offset);
    Report end(const YencStart& start, const YencResult& result);
    // Drops a part begun but not ended (the article failed); nothing is written.
    void abandon();

    const YencPartLedger& ledger() const { return ledger_; }

private:
    bool beyondParts(const YencStart& start) const;
    Report saveSingle(const YencStart& start);
    void beginSingle();
    Report savePart(const YencStart& start, const YencResult& result);
    Report finishFile(const YencPartLedger::Entry& entry);
    // Hashes the part just written into entry's file, while the content check wants digests.
    void hashPart(const YencPartLedger::Entry& entry, std::uint64_t begin);
    // Forgets the digests being made of files the ledger no longer holds.
    void forgetPrefixes();
    // Makes a new empty working file; returns its path, empty on failure.
    std::string createFile() const;
    static Report report(Outcome outcome, const std::string& path, std::uint64_t size);
    // Gives the whole file at workingPath its real name; Failed when it cannot be named.
    Report publish(Outcome outcome, const std::string& workingPath, const std::string& rawName,
                   std::uint64_t size, const std::optional<ContentDigest>& digest = std::nullopt) const;

    // The most a part's buffer reserves before its bytes come.
    static constexpr std::uint64_t ReserveLimit = 64u << 20;

    YencPartLedger ledger_;
    LedgerWriter* writer_;
    ContentCheck* check_ = nullptr;
    bool open_ = false;
    bool overflow_ = false;
    std::uint64_t limit_ = 0;
    std::uint64_t partLimit_ = 0;
    SaveTarget target_;
    std::uint64_t received_ = 0;
    std::optional<ContentHasher> singleHasher_;  // the single-article file, while checking
    std::map<std::string, PrefixHasher> prefixes_;  // by working file, while checking
    std::string bytes_;  // the part being received; its memory is kept for the next part
    std::unique_ptr<FileStream> single_;  // the working file of a whole file in one article
    OpenWorkingFile working_;             // the working file the last part went to
    bool singleFailed_ = false;           // ... which could not be made
};

} // namespace nimbra
