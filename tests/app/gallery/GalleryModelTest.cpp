// The gallery's rows: their order under each sort key, batches merged into place, one row
// per path, removals, and the bounded thumbnail cache; checked by Qt's model tester throughout.
#include "app/gallery/GalleryModel.h"

#include <QAbstractItemModelTester>
#include <QImage>
#include <QPersistentModelIndex>
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace nimbra {
namespace {

GalleryEntry entry(const QString& path, qint64 mtime, qint64 size = 100, const QString& group = {})
{
    GalleryEntry item;
    item.path = path;
    item.mtime = mtime;
    item.size = size;
    item.group = group;
    return item;
}

QStringList names(const GalleryModel& model)
{
    QStringList list;
    for (int row = 0; row < model.rowCount(); ++row)
        list << model.data(model.index(row)).toString();
    return list;
}

TEST(GalleryModel, NewestFirstAndEachSortKey)
{
    GalleryModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.add({entry("/p/b.jpg", 20, 300, "alt.x"), entry("/p/a.jpg", 30, 100, "alt.y"),
               entry("/p/C.jpg", 10, 200, "alt.x"), entry("/p/d.jpg", 20, 50, "alt.y")});
    EXPECT_EQ(names(model), (QStringList{"a.jpg", "b.jpg", "d.jpg", "C.jpg"}));
    model.setSortKey(GalleryModel::SortKey::Name);
    EXPECT_EQ(names(model), (QStringList{"a.jpg", "b.jpg", "C.jpg", "d.jpg"}));
    model.setSortKey(GalleryModel::SortKey::Size);
    EXPECT_EQ(names(model), (QStringList{"b.jpg", "C.jpg", "a.jpg", "d.jpg"}));
    model.setSortKey(GalleryModel::SortKey::Group);
    EXPECT_EQ(names(model), (QStringList{"b.jpg", "C.jpg", "a.jpg", "d.jpg"}));
    EXPECT_EQ(model.data(model.index(0), GalleryModel::PathRole).toString(), "/p/b.jpg");
}

TEST(GalleryModel, BatchesInAnyOrderEndSortedWithOneRowPerPathAndTheSelectionKept)
{
    GalleryModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    std::vector<GalleryEntry> all;
    for (int i = 0; i < 3000; ++i)
        all.push_back(entry(QStringLiteral("/p/%1.jpg").arg(i), (i * 7919) % 5000));
    std::shuffle(all.begin(), all.end(), std::mt19937(7));
    model.add(std::vector<GalleryEntry>(all.begin(), all.begin() + 1000));
    const QPersistentModelIndex held = model.index(500);
    const QString heldPath = model.entry(500).path;
    for (std::size_t at = 1000; at < all.size(); at += 250)
        model.add(std::vector<GalleryEntry>(all.begin() + at, all.begin() + at + 250));
    model.add({all[5], all[2500]});  // announced again: no second row
    ASSERT_EQ(model.rowCount(), 3000);
    for (int row = 1; row < model.rowCount(); ++row)
        ASSERT_GE(model.entry(row - 1).mtime, model.entry(row).mtime) << row;
    ASSERT_TRUE(held.isValid());
    EXPECT_EQ(model.entry(held.row()).path, heldPath);
    EXPECT_EQ(model.rowOf(heldPath), held.row());
}

TEST(GalleryModel, APictureSavedAgainMovesToItsNewPlaceAndLosesItsThumbnail)
{
    GalleryModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.add({entry("/p/a.jpg", 10), entry("/p/b.jpg", 20), entry("/p/c.jpg", 30)});
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(Qt::green);
    model.setThumbnail("/p/a.jpg", image, false);
    EXPECT_TRUE(model.hasThumbnail(model.rowOf("/p/a.jpg")));
    model.add({entry("/p/a.jpg", 40)});
    EXPECT_EQ(names(model), (QStringList{"a.jpg", "c.jpg", "b.jpg"}));
    EXPECT_FALSE(model.hasThumbnail(0));
}

TEST(GalleryModel, RemovedPathsLeaveTheRestInOrder)
{
    GalleryModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    std::vector<GalleryEntry> items;
    for (int i = 0; i < 10; ++i)
        items.push_back(entry(QStringLiteral("/p/%1.jpg").arg(i), 100 - i));
    model.add(items);
    model.removePaths({"/p/1.jpg", "/p/2.jpg", "/p/5.jpg", "/p/9.jpg", "/p/not-listed.jpg"});
    EXPECT_EQ(names(model), (QStringList{"0.jpg", "3.jpg", "4.jpg", "6.jpg", "7.jpg", "8.jpg"}));
    EXPECT_EQ(model.rowOf("/p/5.jpg"), -1);
    EXPECT_EQ(model.rowOf("/p/6.jpg"), 3);
    model.add({entry("/p/5.jpg", 95)});  // listed again after it came back
    EXPECT_EQ(model.rowOf("/p/5.jpg"), 3);
}

TEST(GalleryModel, AFailedThumbnailShowsThePlaceholderAndTheThumbnailsAreBounded)
{
    GalleryModel model;
    model.setIconSide(256);
    std::vector<GalleryEntry> items;
    for (int i = 0; i < 600; ++i)
        items.push_back(entry(QStringLiteral("/p/%1.jpg").arg(i), i));
    model.add(items);
    model.setThumbnail("/p/3.jpg", QImage(), true);
    const int failed = model.rowOf("/p/3.jpg");
    EXPECT_TRUE(model.hasThumbnail(failed));
    const QPixmap placeholder = model.data(model.index(failed), Qt::DecorationRole).value<QPixmap>();
    EXPECT_EQ(placeholder.size(), QSize(256, 256));
    EXPECT_EQ(model.data(model.index(failed)).toString(), "3.jpg");

    QImage image(256, 256, QImage::Format_RGB32);
    image.fill(Qt::gray);
    for (int i = 0; i < 600; ++i)
        model.setThumbnail(QStringLiteral("/p/%1.jpg").arg(i), image, false);
    EXPECT_LE(qint64(model.cachedThumbnails()) * 256 * 256 * 4, qint64(GalleryModel::CacheKilobytes) * 1024);
    EXPECT_GT(model.cachedThumbnails(), 100);
    // The newest thumbnails are the ones kept.
    EXPECT_TRUE(model.hasThumbnail(model.rowOf("/p/599.jpg")));
    EXPECT_FALSE(model.hasThumbnail(model.rowOf("/p/0.jpg")));
}

TEST(GalleryModel, TheSimilarViewShowsItsGroupsAndKeepsWhatArrivesMeanwhile)
{
    GalleryModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.add({entry("/p/a.jpg", 10), entry("/p/b.jpg", 20), entry("/p/c.jpg", 30), entry("/p/d.jpg", 40)});
    model.setSortKey(GalleryModel::SortKey::Similar);
    EXPECT_EQ(model.rowCount(), 0);
    model.setSimilarGroups({{"/p/c.jpg", "/p/a.jpg"}, {"/p/d.jpg", "/p/gone.jpg", "/p/b.jpg"}});
    EXPECT_EQ(names(model), (QStringList{"c.jpg", "a.jpg", "d.jpg", "b.jpg"}));
    model.add({entry("/p/e.jpg", 50)});  // saved while the groups are shown: not in one
    model.removePaths({"/p/a.jpg", "/p/e.jpg"});
    EXPECT_EQ(names(model), (QStringList{"c.jpg", "d.jpg", "b.jpg"}));
    model.setSortKey(GalleryModel::SortKey::Date);
    EXPECT_EQ(names(model), (QStringList{"d.jpg", "c.jpg", "b.jpg"}));
    model.add({entry("/p/f.jpg", 60)});
    EXPECT_EQ(names(model), (QStringList{"f.jpg", "d.jpg", "c.jpg", "b.jpg"}));
}

} // namespace
} // namespace nimbra
