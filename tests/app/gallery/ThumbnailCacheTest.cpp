// The desktop thumbnail cache as other programs read it: names, keys, modes, staleness and
// the failure records.
#include "app/gallery/PngWriter.h"
#include "app/gallery/ThumbnailCache.h"
#include "app/gallery/ThumbnailMaker.h"
#include "tests/app/gallery/GalleryFiles.h"
#include "tests/support/TestEnvironment.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QImageReader>
#include <gtest/gtest.h>

#include <cctype>

#include <sys/stat.h>

namespace nimbra {
namespace {

using test::GalleryFiles;
using test::TestEnvironment;
using Flavour = ThumbnailCache::Flavour;

// file:// and every byte of the UTF-8 path percent-encoded except the unreserved ones and "/".
QByteArray expectedUri(const std::string& path)
{
    QByteArray uri = "file://";
    for (const unsigned char c : path) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/')
            uri += static_cast<char>(c);
        else
            uri += '%' + QByteArray::number(c, 16).toUpper().rightJustified(2, '0');
    }
    return uri;
}

int modeOf(const QString& path)
{
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return -1;
    return static_cast<int>(status.st_mode & 07777);
}

QImage readThumbnail(const QString& file)
{
    QImageReader reader(file, "png");
    return reader.read();
}

TEST(PngWriter, PixelsAlphaAndTextsComeBackExactlyAndARefusingDeviceFails)
{
    for (const bool alpha : {false, true}) {
        QImage image(37, 23, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                image.setPixel(x, y, qRgba(x * 7, y * 11, (x * y) & 0xFF, alpha ? (x + y * 5) & 0xFF : 0xFF));
        image.setText(QStringLiteral("Thumb::URI"), QStringLiteral("file:///tmp/a%20b.jpg"));
        image.setText(QStringLiteral("Thumb::MTime"), QStringLiteral("1700000000"));
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QString error;
        ASSERT_TRUE(PngWriter::write(buffer, image, error)) << error.toStdString();
        QImage back = QImage::fromData(buffer.data(), "png");
        ASSERT_FALSE(back.isNull());
        EXPECT_EQ(back.hasAlphaChannel(), alpha);
        EXPECT_EQ(back.convertToFormat(image.format()), image) << "alpha " << alpha;
        EXPECT_EQ(back.text(QStringLiteral("Thumb::URI")), QStringLiteral("file:///tmp/a%20b.jpg"));
        EXPECT_EQ(back.text(QStringLiteral("Thumb::MTime")), QStringLiteral("1700000000"));
    }
    QBuffer closed;  // not open: every write fails
    QString error;
    EXPECT_FALSE(PngWriter::write(closed, QImage(8, 8, QImage::Format_RGB32), error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(PngWriter::write(closed, QImage(), error));
}

TEST(ThumbnailCache, AThumbnailFollowsTheDesktopStandard)
{
    const std::string root = TestEnvironment::makeFolder("thumbs");
    const std::string picture = TestEnvironment::makeFolder("my pictures") + "été #1.jpg";
    GalleryFiles::jpeg(picture, 800, 600, 1700000000);
    const ThumbnailCache cache(GalleryFiles::q(root + "thumbnails"));

    const ThumbnailMaker::Result made = ThumbnailMaker::make(cache, GalleryFiles::q(picture), 1700000000, 1234, Flavour::Large);
    ASSERT_FALSE(made.failed);
    EXPECT_FALSE(made.cached);

    const QByteArray uri = expectedUri(picture);
    EXPECT_EQ(ThumbnailCache::uriOf(GalleryFiles::q(picture)), uri);
    const QString name = QString::fromLatin1(QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex()) + ".png";
    const QString file = GalleryFiles::q(root) + "thumbnails/large/" + name;
    const QImage stored = readThumbnail(file);
    ASSERT_FALSE(stored.isNull()) << file.toStdString();
    EXPECT_EQ(stored.size(), QSize(256, 192));
    EXPECT_EQ(stored.text("Thumb::URI").toUtf8(), uri);
    EXPECT_EQ(stored.text("Thumb::MTime"), "1700000000");
    EXPECT_EQ(stored.text("Thumb::Size"), "1234");
    EXPECT_EQ(modeOf(file), 0600);
    EXPECT_EQ(modeOf(GalleryFiles::q(root) + "thumbnails"), 0700);
    EXPECT_EQ(modeOf(GalleryFiles::q(root) + "thumbnails/large"), 0700);
    // Written under another name and renamed: nothing else is left in the folder.
    EXPECT_EQ(QDir(GalleryFiles::q(root) + "thumbnails/large").entryList(QDir::Files | QDir::Hidden),
              QStringList{name});

    ASSERT_FALSE(ThumbnailMaker::make(cache, GalleryFiles::q(picture), 1700000000, 1234, Flavour::Normal).failed);
    EXPECT_EQ(readThumbnail(GalleryFiles::q(root) + "thumbnails/normal/" + name).size(), QSize(128, 96));
}

TEST(ThumbnailCache, SmallPicturesAreNotEnlarged)
{
    const std::string picture = TestEnvironment::makeFolder("small") + "tiny.jpg";
    GalleryFiles::jpeg(picture, 100, 40);
    const ThumbnailCache cache(GalleryFiles::q(TestEnvironment::root() + "thumbnails"));
    EXPECT_EQ(ThumbnailMaker::make(cache, GalleryFiles::q(picture), 5, 5, Flavour::Large).image.size(), QSize(100, 40));
}

TEST(ThumbnailCache, ReusedWhileTheMtimeMatchesAndMadeAgainWhenItChanges)
{
    const std::string picture = TestEnvironment::makeFolder("pictures") + "a.jpg";
    GalleryFiles::jpeg(picture, 640, 480);
    const ThumbnailCache cache(GalleryFiles::q(TestEnvironment::root() + "thumbnails"));
    const QString path = GalleryFiles::q(picture);
    ASSERT_FALSE(ThumbnailMaker::make(cache, path, 1000, 1, Flavour::Large).cached);

    // Another picture under the same keys stands in for the cached one: it is what comes back.
    QImage marker(64, 48, QImage::Format_RGB32);
    marker.fill(Qt::red);
    ASSERT_TRUE(cache.store(path, 1000, 1, Flavour::Large, marker));
    const ThumbnailMaker::Result again = ThumbnailMaker::make(cache, path, 1000, 1, Flavour::Large);
    EXPECT_TRUE(again.cached);
    EXPECT_EQ(again.image.size(), QSize(64, 48));

    // The picture changed: decoded again and the cache file rewritten with the new mtime.
    const ThumbnailMaker::Result remade = ThumbnailMaker::make(cache, path, 2000, 1, Flavour::Large);
    EXPECT_FALSE(remade.cached);
    EXPECT_EQ(remade.image.size(), QSize(256, 192));
    const QImage stored = readThumbnail(cache.thumbnailPath(path, Flavour::Large));
    EXPECT_EQ(stored.text("Thumb::MTime"), "2000");
    EXPECT_EQ(stored.size(), QSize(256, 192));
}

TEST(ThumbnailCache, AThumbnailOfAnotherPictureIsNotTaken)
{
    const ThumbnailCache cache(GalleryFiles::q(TestEnvironment::root() + "thumbnails"));
    QImage image(10, 10, QImage::Format_RGB32);
    image.fill(Qt::blue);
    ASSERT_TRUE(cache.store("/pictures/a.jpg", 7, 1, Flavour::Large, image));
    // The same file name, but its keys name another picture (as after an MD5 clash or a copy).
    ASSERT_TRUE(QFile::copy(cache.thumbnailPath("/pictures/a.jpg", Flavour::Large),
                            cache.thumbnailPath("/pictures/b.jpg", Flavour::Large)));
    EXPECT_TRUE(cache.find("/pictures/b.jpg", 7, Flavour::Large).isNull());
    EXPECT_FALSE(cache.find("/pictures/a.jpg", 7, Flavour::Large).isNull());
}

TEST(ThumbnailCache, AnUnreadablePictureIsRecordedAsAFailureUntilItChanges)
{
    const std::string picture = TestEnvironment::makeFolder("bad") + "broken.jpg";
    GalleryFiles::damaged(picture);
    const ThumbnailCache cache(GalleryFiles::q(TestEnvironment::root() + "thumbnails"));
    const QString path = GalleryFiles::q(picture);

    const ThumbnailMaker::Result made = ThumbnailMaker::make(cache, path, 300, 10, Flavour::Large);
    EXPECT_TRUE(made.failed);
    EXPECT_TRUE(made.image.isNull());
    EXPECT_TRUE(cache.failurePath(path).contains("/thumbnails/fail/nimbra-"));
    const QImage record = readThumbnail(cache.failurePath(path));
    ASSERT_FALSE(record.isNull());
    EXPECT_EQ(record.text("Thumb::URI").toUtf8(), ThumbnailCache::uriOf(path));
    EXPECT_EQ(record.text("Thumb::MTime"), "300");
    EXPECT_EQ(modeOf(cache.failurePath(path)), 0600);
    EXPECT_TRUE(QFile::exists(cache.thumbnailPath(path, Flavour::Large)) == false);
    EXPECT_TRUE(cache.failedBefore(path, 300));

    // Mended under the same name: a new mtime, so it is tried again.
    GalleryFiles::jpeg(picture, 320, 240);
    EXPECT_FALSE(cache.failedBefore(path, 301));
    EXPECT_FALSE(ThumbnailMaker::make(cache, path, 301, 10, Flavour::Large).failed);

    cache.forget(path);
    EXPECT_FALSE(QFile::exists(cache.thumbnailPath(path, Flavour::Large)));
    EXPECT_FALSE(QFile::exists(cache.failurePath(path)));
}

} // namespace
} // namespace nimbra
