#pragma once

#include "download/SaveTarget.h"
#include "download/SplitPartLedger.h"

#include <cstdint>
#include <optional>
#include <string>

namespace nimbra {

class LedgerWriter;

// Puts together files posted over several articles by a key and a part number (split
// uuencode by subject and poster, MIME message/partial by id), in whatever order and in
// whatever runs the parts come. Each part's bytes wait in a working file of their own,
// recorded in the ledger; once every part from 1 to the total is there, they are joined in
// part order into one working file, which the caller names or decodes. Unfinished files
// older than the maximum age are forgotten and their part files deleted. The ledger is written
// when the writer given decides (see LedgerWriter), or after every change without one. One
// thread.
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

    // Takes the closed working file partPath as part number of total of the file key; name
    // is the file's name when this part carries it, else empty. A part already held, or
    // out of range, is deleted. Returns the whole file when this part completed it. Throws
    // std::runtime_error when the joined file cannot be written; the parts then stay.
    std::optional<Whole> keep(const SaveTarget& target, const std::string& key, std::uint32_t number,
                              std::uint32_t total, const std::string& name, const std::string& partPath);

    const SplitPartLedger& ledger() const { return ledger_; }

private:
    void expire();
    // Forgets the parts whose files are not working files of target; true when none was.
    static bool keepOwnParts(const SaveTarget& target, SplitPartLedger::Entry& entry);
    Whole join(const SaveTarget& target, const SplitPartLedger::Entry& entry);

    SplitPartLedger ledger_;
    std::int64_t maxAge_;
    LedgerWriter* writer_;
};

} // namespace nimbra
