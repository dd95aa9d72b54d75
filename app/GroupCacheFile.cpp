#include "app/GroupCacheFile.h"

#include "platform/AppPaths.h"
#include "platform/PrivateFiles.h"
#include "platform/SafeName.h"

namespace nimbra {

std::string GroupCacheFile::folder()
{
    const std::string lists = AppPaths::dataFolder() + "newsgroups/";
    PrivateFiles::ensureOwnFolder(lists);
    return lists;
}

std::string GroupCacheFile::path(const std::string& host)
{
    if (host.empty())
        return {};
    return folder() + SafeName::mapped(SafeName::lowerCase(host));
}

} // namespace nimbra
