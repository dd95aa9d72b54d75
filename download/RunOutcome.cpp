#include "download/RunOutcome.h"

#include "platform/Log.h"

namespace nimbra {

void RunOutcome::reset()
{
    reason_.clear();
    shown_ = false;
}

void RunOutcome::fail(const std::string& reason, bool shown)
{
    const std::string text = reason.empty() ? std::string("an error without a reason") : reason;
    qCWarning(logSession, "the run ended with an error: %s", text.c_str());
    if (reason_.empty()) {
        reason_ = text;
        shown_ = shown;
    }
}

} // namespace nimbra
