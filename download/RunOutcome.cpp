#include "download/RunOutcome.h"

#include "platform/Log.h"

namespace nimbra {

void RunOutcome::reset()
{
    reason_.clear();
}

void RunOutcome::fail(const std::string& reason)
{
    const std::string text = reason.empty() ? std::string("an error without a reason") : reason;
    qCWarning(logSession, "the run ended with an error: %s", text.c_str());
    if (reason_.empty())
        reason_ = text;
}

} // namespace nimbra
