#include "app/gallery/GalleryModel.h"

#include <QDateTime>
#include <QLocale>
#include <QPainter>

#include <algorithm>

namespace nimbra {

GalleryModel::GalleryModel(QObject* parent) : QAbstractListModel(parent)
{
    pixmaps_.setMaxCost(CacheKilobytes);
}

int GalleryModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(order_.size());
}

QVariant GalleryModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const quint32 id = order_[static_cast<std::size_t>(index.row())];
    const GalleryEntry& item = entries_[id];
    switch (role) {
    case Qt::DisplayRole:
        return item.name().toString();
    case Qt::DecorationRole:
        if (const QPixmap* pixmap = pixmaps_.object(id))
            return *pixmap;
        return placeholder(item.failed);
    case Qt::ToolTipRole:
        return QStringLiteral("%1\n%2%3 bytes\n%4")
            .arg(item.name().toString(),
                 item.group.isEmpty() ? QString() : item.group + QLatin1Char('\n'),
                 QLocale().toString(item.size),
                 QDateTime::fromSecsSinceEpoch(item.mtime).toString(QStringLiteral("yyyy-MM-dd HH:mm")));
    case PathRole:
        return item.path;
    default:
        return {};
    }
}

QPixmap GalleryModel::placeholder(bool failed) const
{
    QPixmap& pixmap = failed ? failed_ : loading_;
    if (pixmap.width() != iconSide_) {
        // A plain frame: light while the thumbnail is being made, grey with a cross for a
        // picture that cannot be shown (its name is the row's text).
        pixmap = QPixmap(iconSide_, iconSide_);
        pixmap.fill(background_);
        QPainter painter(&pixmap);
        const QRect box(iconSide_ / 8, iconSide_ / 8, iconSide_ * 3 / 4, iconSide_ * 3 / 4);
        painter.setPen(QColor(failed ? 150 : 210, failed ? 150 : 210, failed ? 150 : 210));
        painter.fillRect(box, failed ? QColor(225, 225, 225) : QColor(245, 245, 245));
        painter.drawRect(box);
        if (failed) {
            painter.drawLine(box.topLeft(), box.bottomRight());
            painter.drawLine(box.topRight(), box.bottomLeft());
        }
    }
    return pixmap;
}

void GalleryModel::setBackground(const QColor& colour)
{
    background_ = colour;
    loading_ = QPixmap();
    failed_ = QPixmap();
}

void GalleryModel::clear()
{
    beginResetModel();
    entries_.clear();
    order_.clear();
    rowOfId_.clear();
    ids_.clear();
    pixmaps_.clear();
    endResetModel();
}

bool GalleryModel::less(quint32 a, quint32 b) const
{
    const GalleryEntry& x = entries_[a];
    const GalleryEntry& y = entries_[b];
    const auto byName = [&] {
        const int order = x.name().compare(y.name(), Qt::CaseInsensitive);
        return order != 0 ? order < 0 : x.path < y.path;
    };
    switch (sortKey_) {
    case SortKey::Date:
        return x.mtime != y.mtime ? x.mtime > y.mtime : byName();
    case SortKey::Name:
        return byName();
    case SortKey::Size:
        return x.size != y.size ? x.size > y.size : byName();
    case SortKey::Similar:
        return byName();
    case SortKey::Group: {
        const int order = x.group.compare(y.group, Qt::CaseInsensitive);
        if (order != 0)
            return order < 0;
        return x.mtime != y.mtime ? x.mtime > y.mtime : byName();
    }
    }
    return false;
}

void GalleryModel::add(std::vector<GalleryEntry> entries)
{
    std::vector<quint32> added;
    bool changed = false;
    for (GalleryEntry& entry : entries) {
        const auto known = ids_.constFind(entry.path);
        if (known != ids_.cend()) {
            GalleryEntry& old = entries_[*known];
            if (old.mtime != entry.mtime || old.size != entry.size) {
                old.mtime = entry.mtime;
                old.size = entry.size;
                old.failed = false;
                pixmaps_.remove(*known);
                changed = true;
            }
            continue;
        }
        const auto id = static_cast<quint32>(entries_.size());
        ids_.insert(entry.path, id);
        entry.failed = false;
        entries_.push_back(std::move(entry));
        rowOfId_.push_back(-1);
        added.push_back(id);
    }
    if (sortKey_ == SortKey::Similar) {
        if (changed)
            emit dataChanged(index(0), index(std::max(0, rowCount() - 1)), {Qt::DecorationRole, Qt::ToolTipRole});
        return;
    }
    if (!added.empty()) {
        std::sort(added.begin(), added.end(), [this](quint32 a, quint32 b) { return less(a, b); });
        const int rows = rowCount();
        const int count = static_cast<int>(added.size());
        const bool onTop = rows == 0 || !less(order_.front(), added.back());
        const bool atEnd = !onTop && !less(added.front(), order_.back());
        if (onTop || atEnd) {
            // The common cases need no reordering: a new scan, and pictures newer than all.
            const int first = onTop ? 0 : rows;
            beginInsertRows({}, first, first + count - 1);
            order_.insert(onTop ? order_.begin() : order_.end(), added.begin(), added.end());
            rebuildRows();
            endInsertRows();
        } else {
            // Appended, then merged into place as one reordering.
            beginInsertRows({}, rows, rows + count - 1);
            order_.insert(order_.end(), added.begin(), added.end());
            rebuildRows();
            endInsertRows();
            std::vector<quint32> merged;
            merged.reserve(order_.size());
            std::merge(order_.begin(), order_.begin() + rows, added.begin(), added.end(), std::back_inserter(merged),
                       [this](quint32 a, quint32 b) { return less(a, b); });
            reorder(std::move(merged));
        }
    }
    if (changed) {
        std::vector<quint32> sorted = order_;
        std::stable_sort(sorted.begin(), sorted.end(), [this](quint32 a, quint32 b) { return less(a, b); });
        reorder(std::move(sorted));
        if (rowCount() > 0)
            emit dataChanged(index(0), index(rowCount() - 1), {Qt::DecorationRole, Qt::ToolTipRole});
    }
}

void GalleryModel::reorder(std::vector<quint32> order)
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<quint32> ids;
    ids.reserve(static_cast<std::size_t>(before.size()));
    for (const QModelIndex& index : before)
        ids.push_back(order_[static_cast<std::size_t>(index.row())]);
    order_ = std::move(order);
    rebuildRows();
    QModelIndexList after;
    after.reserve(before.size());
    for (const quint32 id : ids)
        after.push_back(index(rowOfId_[id]));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void GalleryModel::rebuildRows()
{
    std::fill(rowOfId_.begin(), rowOfId_.end(), -1);
    for (std::size_t row = 0; row < order_.size(); ++row)
        rowOfId_[order_[row]] = static_cast<int>(row);
}

void GalleryModel::removePaths(const QStringList& paths)
{
    std::vector<int> rows;
    for (const QString& path : paths) {
        const auto id = ids_.constFind(path);
        if (id == ids_.cend())
            continue;
        if (rowOfId_[*id] >= 0)
            rows.push_back(rowOfId_[*id]);
        pixmaps_.remove(*id);
        entries_[*id] = GalleryEntry{};
        ids_.erase(id);
    }
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    // Contiguous rows go in one step, from the bottom up so the rows above keep their numbers.
    for (std::size_t at = 0; at < rows.size();) {
        std::size_t end = at + 1;
        while (end < rows.size() && rows[end] == rows[end - 1] - 1)
            ++end;
        const int last = rows[at];
        const int first = rows[end - 1];
        beginRemoveRows({}, first, last);
        order_.erase(order_.begin() + first, order_.begin() + last + 1);
        endRemoveRows();
        at = end;
    }
    rebuildRows();
}

void GalleryModel::setSortKey(SortKey key)
{
    if (key == sortKey_)
        return;
    const bool wasSimilar = sortKey_ == SortKey::Similar;
    sortKey_ = key;
    if (key == SortKey::Similar || wasSimilar) {
        // Another set of rows, not another order: the rows wait for the groups, or come back.
        beginResetModel();
        order_.clear();
        if (!wasSimilar) {
            rebuildRows();
        } else {
            for (const quint32 id : ids_)
                order_.push_back(id);
            std::sort(order_.begin(), order_.end(), [this](quint32 a, quint32 b) { return less(a, b); });
            rebuildRows();
        }
        endResetModel();
        return;
    }
    std::vector<quint32> sorted = order_;
    std::sort(sorted.begin(), sorted.end(), [this](quint32 a, quint32 b) { return less(a, b); });
    reorder(std::move(sorted));
}

void GalleryModel::setSimilarGroups(const std::vector<std::vector<QString>>& groups)
{
    if (sortKey_ != SortKey::Similar)
        return;
    beginResetModel();
    order_.clear();
    std::fill(rowOfId_.begin(), rowOfId_.end(), -1);
    for (const auto& group : groups)
        for (const QString& path : group) {
            const auto id = ids_.constFind(path);
            if (id != ids_.cend() && rowOfId_[*id] < 0) {
                rowOfId_[*id] = static_cast<int>(order_.size());
                order_.push_back(*id);
            }
        }
    endResetModel();
}

std::vector<GalleryEntry> GalleryModel::allEntries() const
{
    std::vector<GalleryEntry> all;
    all.reserve(static_cast<std::size_t>(ids_.size()));
    for (const quint32 id : ids_)
        all.push_back(entries_[id]);
    return all;
}

void GalleryModel::setIconSide(int side)
{
    if (side == iconSide_)
        return;
    iconSide_ = side;
    pixmaps_.clear();
    if (rowCount() > 0)
        emit dataChanged(index(0), index(rowCount() - 1), {Qt::DecorationRole});
}

int GalleryModel::rowOf(const QString& path) const
{
    const auto id = ids_.constFind(path);
    return id == ids_.cend() ? -1 : rowOfId_[*id];
}

bool GalleryModel::hasThumbnail(int row) const
{
    const quint32 id = order_[static_cast<std::size_t>(row)];
    return entries_[id].failed || pixmaps_.contains(id);
}

void GalleryModel::setThumbnail(const QString& path, const QImage& image, bool failed)
{
    const auto id = ids_.constFind(path);
    if (id == ids_.cend())
        return;
    if (failed || image.isNull()) {
        entries_[*id].failed = true;
    } else {
        auto* pixmap = new QPixmap(QPixmap::fromImage(image));
        const qint64 bytes = qint64(pixmap->width()) * pixmap->height() * pixmap->depth() / 8;
        pixmaps_.insert(*id, pixmap, static_cast<int>(std::max<qint64>(1, bytes / 1024)));
    }
    const QModelIndex changed = index(rowOfId_[*id]);
    emit dataChanged(changed, changed, {Qt::DecorationRole});
}

} // namespace nimbra
