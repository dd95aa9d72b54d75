#pragma once

#include "download/SaveTarget.h"
#include "download/SplitPartLedger.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nimbra {

class LedgerWriter;

// Puts together files posted over several articles by a key and a part number (split
// uuencode by subject and poster, MIME message/partial by id), in whatever order and in
// whatever runs the parts come. Parts that come in order are written one after the other into
// one working file, the joined file; a part that comes ahead of a gap waits in a working file
// of its own and is moved into the joined file once the gap is filled. Once every part from 1
// to the total is joined, the caller names or decodes the joined file. Everything is recorded
// in the ledger: a part is recorded only once its bytes are written, and bytes past the joined
// length recorded (a part written but never recorded before a crash) are cut off when the file
// is next used. Unfinished files older than the maximum age are forgotten and their files
// deleted. The ledger is written when the writer given decides (see LedgerWriter), or after
// every change without one. One thread.
class SplitAssembly {
public:
    static constexpr std::int64_t DefaultMaxAgeSeconds = 14 * 24 * 3600;

    struct Whole {
        std::string workingPath;  // the joined bytes, a working file the caller now owns
        std::string name;         // the name a part gave the file; may be empty
    };

    // Loads the ledger kept at ledgerPath; a missing or damaged one is started afresh. The
    // writer is not owned and must outlive the assembly, which hands its ledger back to it
    // (written when changed) when destroyed.
    explicit SplitAssembly(std::string ledgerPath = defaultLedgerPath(),
                           std::int64_t maxAgeSeconds = DefaultMaxAgeSeconds, LedgerWriter* writer = nullptr);
    ~SplitAssembly();
    SplitAssembly(const SplitAssembly&) = delete;
    SplitAssembly& operator=(const SplitAssembly&) = delete;
    // "split-parts" in the program's data folder.
    static std::string defaultLedgerPath();

    // Takes bytes as part number of total of the file key; name is the file's name when this
    // part carries it, else empty. A new file's working files are made in target. A part
    // already held, or out of range, is dropped. Returns the whole file when this part
    // completed it. Throws std::runtime_error when the bytes cannot be written; the parts
    // held before stay as they were.
    std::optional<Whole> keep(const SaveTarget& target, const std::string& key, std::uint32_t number,
                              std::uint32_t total, const std::string& name, std::string_view bytes);

    const SplitPartLedger& ledger() const { return ledger_; }

private:
    void expire();
    SplitPartLedger::Entry& entryFor(const std::string& key, std::uint32_t total);
    // Once per run and entry: the joined file must be a working file of target holding at
    // least the recorded bytes, and is cut to them; else its parts are waited for again.
    static void checkJoined(const SaveTarget& target, SplitPartLedger::Entry& entry);
    // Writes bytes after the joined parts as the next part (a new joined file for part 1).
    static void append(const SaveTarget& target, SplitPartLedger::Entry& entry, std::string_view bytes);
    // Moves the waiting parts that now follow the joined ones into the joined file.
    void joinWaiting(const SaveTarget& target, SplitPartLedger::Entry& entry);
    static std::string writePart(const SaveTarget& target, const SplitPartLedger::Entry& entry, std::string_view bytes);

    SplitPartLedger ledger_;
    std::int64_t maxAge_;
    LedgerWriter* writer_;
    std::string waiting_;  // a waiting part's bytes on their way into the joined file
};

} // namespace nimbra
