#pragma once

#include <QImage>
#include <QString>

namespace nimbra {

// The desktop's shared thumbnail cache, as file managers keep it: under
// $XDG_CACHE_HOME/thumbnails/, "normal" (at most 128 px) and "large" (at most 256 px), one PNG
// per picture named after the MD5 of the picture's file:// URI, carrying the URI and the
// picture's modification time (Thumb::URI, Thumb::MTime, and Thumb::Size). A thumbnail whose
// Thumb::MTime is not the picture's mtime is stale and made again. Pictures that could not
// be read are recorded under fail/nimbra-<version>/ so they are not tried on every opening.
//
// Folders are made 0700 and thumbnails 0600; each file is written under a temporary name in
// its folder and renamed, so a reader never sees half a thumbnail. The object holds only its
// root: its methods may be called from any thread at once.
class ThumbnailCache {
public:
    enum class Flavour { Normal = 128, Large = 256 };

    // root is the thumbnails folder; by default $XDG_CACHE_HOME/thumbnails (~/.cache/...).
    explicit ThumbnailCache(QString root = defaultRoot());
    static QString defaultRoot();
    // The flavour whose pixels cover a thumbnail shown at most side pixels wide and high.
    static Flavour flavourFor(int side) { return side <= 128 ? Flavour::Normal : Flavour::Large; }

    // file:// followed by the absolute path, percent-encoded (RFC 3986; UTF-8).
    static QByteArray uriOf(const QString& path);
    QString thumbnailPath(const QString& path, Flavour flavour) const;
    QString failurePath(const QString& path) const;

    // The cached thumbnail of path when it was made from the picture with this mtime; null
    // when there is none, it is stale, or it cannot be read.
    QImage find(const QString& path, qint64 mtime, Flavour flavour) const;
    // Whether making a thumbnail of the picture with this mtime failed before.
    bool failedBefore(const QString& path, qint64 mtime) const;

    // Writes the thumbnail; false (with the reason logged) when it could not be written.
    bool store(const QString& path, qint64 mtime, qint64 size, Flavour flavour, const QImage& thumbnail) const;
    bool storeFailure(const QString& path, qint64 mtime) const;
    // Removes the thumbnails and failure record of a picture that was deleted.
    void forget(const QString& path) const;

    const QString& root() const { return root_; }

private:
    bool write(const QString& folder, const QString& target, const QImage& image) const;
    static QString nameOf(const QString& path);

    QString root_;
};

} // namespace nimbra
