#pragma once

#include <string>

namespace nimbra {

// A ledger of unfinished files that a LedgerWriter keeps on disk (the split parts, the
// yEnc parts): something that can replace its file with what it holds in memory.
class Ledger {
public:
    virtual ~Ledger() = default;
    // Replaces the file atomically; false when it could not be written (the entries stay).
    virtual bool save() const = 0;
    virtual const std::string& path() const = 0;
};

} // namespace nimbra
