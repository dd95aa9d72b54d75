#pragma once

#include "app/gallery/GalleryEntry.h"

#include <QAbstractListModel>
#include <QCache>
#include <QColor>
#include <QHash>
#include <QPixmap>

#include <vector>

namespace nimbra {

// The pictures of the gallery, one row each, kept in the chosen order (newest first by
// default). Rows hold paths and small metadata; pixels only as the thumbnails of a bounded
// cache (the rows most recently shown), which the window fills as thumbnails are made.
// Rows added later (the scan's batches, files the saver announces) are merged into their
// places; a path is never listed twice. All of it on the window's thread.
class GalleryModel : public QAbstractListModel {
    Q_OBJECT
public:
    // Similar shows only the pictures with a near copy, group by group, as setSimilarGroups()
    // gives them; pictures added meanwhile are kept but shown once another key is chosen.
    enum class SortKey { Date, Name, Size, Group, Similar };
    enum Role { PathRole = Qt::UserRole + 1 };
    // The thumbnails kept as pixmaps, at most this many bytes.
    static constexpr int CacheKilobytes = 64 * 1024;

    explicit GalleryModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    void clear();
    // Adds the entries in their sorted places; a path already listed takes the new size and
    // mtime, and its thumbnail is made again.
    void add(std::vector<GalleryEntry> entries);
    // Removes the rows of these paths (those that are listed).
    void removePaths(const QStringList& paths);
    void setSortKey(SortKey key);
    // With SortKey::Similar: the rows become these paths, group after group (unknown ones
    // are left out).
    void setSimilarGroups(const std::vector<std::vector<QString>>& groups);
    // Every picture known, shown or not.
    std::vector<GalleryEntry> allEntries() const;
    SortKey sortKey() const { return sortKey_; }
    // The side of the square thumbnails are shown in; the cached ones are dropped.
    void setIconSide(int side);
    int iconSide() const { return iconSide_; }
    // The colour the placeholders are drawn on: the view's background. Opaque pictures are
    // copied to the screen, not blended, which keeps the window's repaints short.
    void setBackground(const QColor& colour);

    const GalleryEntry& entry(int row) const { return entries_[order_[static_cast<std::size_t>(row)]]; }
    int rowOf(const QString& path) const;
    // Whether the row shows its thumbnail or its placeholder (nothing more to make).
    bool hasThumbnail(int row) const;
    // A thumbnail made for path (at most iconSide() pixels wide and high), or failed: the
    // placeholder stays. Unknown paths are ignored.
    void setThumbnail(const QString& path, const QImage& image, bool failed);
    int cachedThumbnails() const { return pixmaps_.count(); }

private:
    bool less(quint32 a, quint32 b) const;
    void reorder(std::vector<quint32> order);
    void rebuildRows();
    QPixmap placeholder(bool failed) const;

    std::vector<GalleryEntry> entries_;  // by id; a removed entry keeps its id with an empty path
    std::vector<quint32> order_;         // row -> id
    std::vector<int> rowOfId_;           // id -> row, -1 when removed
    QHash<QString, quint32> ids_;        // path -> id
    mutable QCache<quint32, QPixmap> pixmaps_;
    SortKey sortKey_ = SortKey::Date;
    int iconSide_ = 160;
    QColor background_ = Qt::white;
    mutable QPixmap loading_;
    mutable QPixmap failed_;
};

} // namespace nimbra
