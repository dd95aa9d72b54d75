#include "download/ReconnectBackOff.h"

#include <algorithm>

namespace nimbra {

int ReconnectBackOff::take()
{
    const int wait = seconds_;
    seconds_ = seconds_ == 0 ? 1 : std::min(seconds_ * 2, MaximumSeconds);
    return wait;
}

} // namespace nimbra
