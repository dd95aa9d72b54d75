#include "app/GroupCacheFile.h"

#include "platform/AppPaths.h"
#include "platform/SafeName.h"

namespace nimbra {

std::string GroupCacheFile::path(const std::string& host)
{
    if (host.empty())
        return {};
    return AppPaths::dataFolder() + SafeName::mapped(SafeName::lowerCase(host), {"mesagid"});
}

} // namespace nimbra
