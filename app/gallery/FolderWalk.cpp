#include "app/gallery/FolderWalk.h"

#include "platform/Log.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace nimbra {

void FolderWalk::files(const QByteArray& root, const std::atomic<bool>& cancel, const Wanted& wanted, const Found& found)
{
    std::vector<QByteArray> folders{root};
    bool first = true;
    while (!folders.empty() && !cancel) {
        const QByteArray folder = std::move(folders.back());
        folders.pop_back();
        // The root may itself be a link (a download folder kept elsewhere); a sub-folder that
        // became a link since it was listed is not entered.
        const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (first ? 0 : O_NOFOLLOW));
        first = false;
        DIR* dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
        if (!dir) {
            qCWarning(logApp).noquote() << "gallery: cannot read the folder" << QString::fromLocal8Bit(folder) << ":"
                                        << std::strerror(errno);
            if (fd >= 0)
                ::close(fd);
            continue;
        }
        const QByteArray prefix = folder.endsWith('/') ? folder : folder + '/';
        while (const dirent* item = ::readdir(dir)) {
            const char* name = item->d_name;
            if (name[0] == '.')
                continue;  // hidden, and the folder itself and its parent
            const unsigned char type = item->d_type;
            if (type == DT_DIR) {
                folders.push_back(prefix + name);
                continue;
            }
            if (type != DT_REG && type != DT_UNKNOWN)
                continue;  // links, devices, sockets
            if (type == DT_REG && !wanted(name))
                continue;
            struct stat status {};
            if (::fstatat(fd, name, &status, AT_SYMLINK_NOFOLLOW) != 0)
                continue;  // gone since it was listed
            if (S_ISDIR(status.st_mode))
                folders.push_back(prefix + name);
            else if (S_ISREG(status.st_mode) && (type == DT_REG || wanted(name)))
                found(folder, name, status);
        }
        ::closedir(dir);
    }
}

} // namespace nimbra
