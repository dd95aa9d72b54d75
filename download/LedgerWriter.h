#pragma once

#include "download/Ledger.h"

#include <QTimer>

#include <chrono>
#include <vector>

namespace nimbra {

// Decides when the ledgers of unfinished files reach the disk. Writing a ledger replaces its
// file with a sync and a rename, which costs far more than the part it records, so a change
// is not written at once: the ledgers that changed are written together once the interval
// has passed since the first change not yet written (at the next change, or by a timer when
// none comes), at flush() (the end of a run, before the group marks are written) and at
// forget() (the ledger's owner goes, the program closes). A crash loses at most the parts
// recorded in the last interval; their articles are fetched again, since the marks and the
// message-id cache are never written ahead of the ledgers.
//
// The ledgers are not owned; each must be forgotten before it is destroyed, and the writer
// must outlive them. A ledger that cannot be written is logged and stays waiting for the
// next write. One thread; the timer needs that thread's event loop.
class LedgerWriter {
public:
    static constexpr std::chrono::milliseconds DefaultInterval{3000};

    // An interval of zero writes every change at once.
    explicit LedgerWriter(std::chrono::milliseconds interval = DefaultInterval);
    LedgerWriter(const LedgerWriter&) = delete;
    LedgerWriter& operator=(const LedgerWriter&) = delete;

    // The ledger's entries changed in memory.
    void changed(const Ledger& ledger);
    // Writes every ledger that has changed since it was last written.
    void flush();
    // Writes ledger when it has changed, and forgets it.
    void forget(const Ledger& ledger);
    bool waiting() const { return !waiting_.empty(); }

    // For an owner that may have no writer: changed(), or without a writer the ledger written
    // at once; and forget(), or nothing.
    static void record(LedgerWriter* writer, const Ledger& ledger);
    static void release(LedgerWriter* writer, const Ledger& ledger);

private:
    static bool write(const Ledger& ledger);

    std::chrono::milliseconds interval_;
    std::vector<const Ledger*> waiting_;
    std::chrono::steady_clock::time_point since_;  // the first change not yet written
    QTimer timer_;
};

} // namespace nimbra
