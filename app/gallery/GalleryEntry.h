#pragma once

#include <QString>
#include <QStringView>

namespace nimbra {

// One picture of the gallery: where it is and what the grid sorts it by. No pixels.
// Entries found in one folder share the group text (implicitly shared QString), so 100,000
// entries cost little more than their paths.
struct GalleryEntry {
    QString path;         // absolute, clean
    QString group;        // the sub-folder below the download folder ("" for the folder itself)
    qint64 mtime = 0;     // seconds since the epoch, as stat gives st_mtime
    qint64 size = 0;      // bytes
    bool failed = false;  // no thumbnail could be made: the placeholder is shown

    QStringView name() const
    {
        const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
        return QStringView(path).mid(slash + 1);
    }
};

} // namespace nimbra
