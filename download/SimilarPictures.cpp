#include "download/SimilarPictures.h"

#include "download/ContentStore.h"
#include "download/DifferenceHash.h"
#include "download/KnownPictures.h"
#include "download/SaveTarget.h"
#include "download/SimilarityIndex.h"
#include "platform/Log.h"
#include "platform/SafeName.h"

#include <QDirIterator>
#include <QFileInfo>

#include <algorithm>
#include <ctime>
#include <memory>

namespace nimbra {
namespace {

struct Picture {
    std::string path;
    ContentDigest digest;
    std::uint64_t hash;
};

// The pictures in folder and its folders, not following links.
std::vector<std::string> picturesIn(const std::string& folder)
{
    std::vector<std::string> paths;
    QString top = QString::fromStdString(folder);
    while (top.size() > 1 && top.endsWith(QLatin1Char('/')))
        top.chop(1);
    QDirIterator it(top, QDir::Files | QDir::Hidden | QDir::NoSymLinks,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo file(it.next());
        const std::string name = file.fileName().toStdString();
        if (file.isSymLink() || SaveTarget::isWorkingName(name) || !SimilarPictures::isPictureName(name))
            continue;
        paths.push_back(file.filePath().toStdString());
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

} // namespace

bool SimilarPictures::isPictureName(const std::string& name)
{
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos)
        return false;
    const std::string suffix = SafeName::lowerCase(name.substr(dot + 1));
    for (const char* known : {"jpg", "jpeg", "png", "gif", "bmp", "webp"})
        if (suffix == known)
            return true;
    return false;
}

std::vector<std::vector<std::string>> SimilarPictures::groups(const std::string& folder)
{
    hashedNow_ = 0;
    // A copy: the store itself gains entries and hashes below.
    const KnownPictures known = KnownPictures::of(std::make_shared<const ContentStore>(store_));
    std::vector<Picture> pictures;
    for (const std::string& path : picturesIn(folder)) {
        std::optional<ContentStore::Entry> entry;
        const QFileInfo file(QString::fromStdString(path));
        if (const auto picture = known.find(path, static_cast<std::uint64_t>(file.size()))) {
            entry.emplace();
            entry->digest = picture->digest;
            entry->differenceHash = picture->differenceHash;
        }
        if (!entry || !entry->differenceHash) {
            const auto digest = ContentHasher::ofFile(path);
            if (!digest) {
                qCWarning(logSaving).noquote() << "cannot read" << QString::fromStdString(path) << "to compare it";
                continue;
            }
            entry = store_.find(*digest);
            if (!entry || !entry->differenceHash) {
                const auto hash = DifferenceHash::ofFile(path);
                if (!hash) {
                    qCInfo(logSaving).noquote() << "not a picture that can be decoded:" << QString::fromStdString(path);
                    continue;
                }
                ++hashedNow_;
                if (!entry) {
                    ContentStore::Entry made;
                    made.digest = *digest;
                    made.size = static_cast<std::uint64_t>(file.size());
                    made.time = static_cast<std::int64_t>(std::time(nullptr));
                    made.path = path;
                    store_.add(made);
                    entry = made;
                }
                store_.setDifferenceHash(*digest, *hash);
                entry->differenceHash = hash;
            }
        }
        pictures.push_back({path, entry->digest, *entry->differenceHash});
    }

    std::vector<std::uint64_t> hashes;
    hashes.reserve(pictures.size());
    for (const Picture& picture : pictures)
        hashes.push_back(picture.hash);
    const SimilarityIndex index(std::move(hashes), maxDistance_);
    std::vector<std::vector<std::string>> result;
    for (const std::vector<std::size_t>& ids : index.groups([&](std::size_t a, std::size_t b) {
             return store_.apart(pictures[a].digest, pictures[b].digest);
         })) {
        std::vector<std::string> paths;
        for (const std::size_t id : ids)
            paths.push_back(pictures[id].path);
        result.push_back(std::move(paths));
    }
    return result;
}

} // namespace nimbra
