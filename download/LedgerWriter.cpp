#include "download/LedgerWriter.h"

#include "platform/Log.h"

#include <algorithm>

namespace nimbra {

LedgerWriter::LedgerWriter(std::chrono::milliseconds interval) : interval_(interval)
{
    timer_.setSingleShot(true);
    timer_.callOnTimeout([this] { flush(); });
}

void LedgerWriter::changed(const Ledger& ledger)
{
    const auto now = std::chrono::steady_clock::now();
    if (waiting_.empty()) {
        since_ = now;
        if (interval_.count() > 0)
            timer_.start(interval_);
    }
    if (std::find(waiting_.begin(), waiting_.end(), &ledger) == waiting_.end())
        waiting_.push_back(&ledger);
    if (now - since_ >= interval_)
        flush();
}

void LedgerWriter::flush()
{
    timer_.stop();
    std::vector<const Ledger*> failed;
    for (const Ledger* ledger : waiting_) {
        if (!write(*ledger))
            failed.push_back(ledger);
    }
    waiting_ = std::move(failed);
    if (!waiting_.empty()) {
        since_ = std::chrono::steady_clock::now();
        if (interval_.count() > 0)
            timer_.start(interval_);
    }
}

void LedgerWriter::forget(const Ledger& ledger)
{
    const auto found = std::find(waiting_.begin(), waiting_.end(), &ledger);
    if (found == waiting_.end())
        return;
    waiting_.erase(found);
    write(ledger);
    if (waiting_.empty())
        timer_.stop();
}

void LedgerWriter::record(LedgerWriter* writer, const Ledger& ledger)
{
    if (writer)
        writer->changed(ledger);
    else
        write(ledger);
}

void LedgerWriter::release(LedgerWriter* writer, const Ledger& ledger)
{
    if (writer)
        writer->forget(ledger);
}

bool LedgerWriter::write(const Ledger& ledger)
{
    if (ledger.save())
        return true;
    qCWarning(logSaving).noquote() << "cannot write the ledger" << QString::fromStdString(ledger.path())
                                   << "; it is tried again at the next write";
    return false;
}

} // namespace nimbra
