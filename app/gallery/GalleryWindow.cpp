#include "app/gallery/GalleryWindow.h"

#include "app/Dialogs.h"
#include "download/ContentStore.h"
#include "platform/Log.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace nimbra {
namespace {

constexpr int StartSide = 160;
constexpr int LongestRowScan = 1000;

} // namespace

GalleryWindow::GalleryWindow(Dialogs& dialogs, ThumbnailCache cache, QWidget* parent)
    : QWidget(parent, Qt::Window), dialogs_(dialogs), loader_(cache), similarity_(cache)
{
    setWindowTitle(QStringLiteral("Gallery"));
    sort_ = new QComboBox;
    sort_->addItems({QStringLiteral("Newest first"), QStringLiteral("Name"), QStringLiteral("Largest first"),
                     QStringLiteral("Group"), QStringLiteral("Similar")});
    slider_ = new QSlider(Qt::Horizontal);
    slider_->setRange(SmallestSide, LargestSide);
    slider_->setSingleStep(16);
    slider_->setPageStep(32);
    slider_->setValue(StartSide);
    slider_->setMaximumWidth(200);
    count_ = new QLabel;
    notSimilar_ = new QPushButton(QStringLiteral("Not similar"));
    notSimilar_->setToolTip(QStringLiteral("The selected pictures are not alike: never group them again."));

    view_ = new QListView;
    view_->setModel(&model_);
    view_->setViewMode(QListView::IconMode);
    view_->setMovement(QListView::Static);
    view_->setResizeMode(QListView::Adjust);
    view_->setUniformItemSizes(true);
    view_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    view_->setTextElideMode(Qt::ElideMiddle);
    view_->setWordWrap(false);
    view_->installEventFilter(this);
    view_->viewport()->installEventFilter(this);
    const QColor background = view_->palette().color(QPalette::Base);
    model_.setBackground(background);
    loader_.setBackground(background);

    auto* bar = new QHBoxLayout;
    bar->addWidget(new QLabel(QStringLiteral("Sort by")));
    bar->addWidget(sort_);
    bar->addWidget(notSimilar_);
    bar->addStretch(1);
    bar->addWidget(count_);
    bar->addStretch(1);
    bar->addWidget(new QLabel(QStringLiteral("Size")));
    bar->addWidget(slider_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(view_, 1);

    wantTimer_.setSingleShot(true);
    wantTimer_.setInterval(0);
    connect(&wantTimer_, &QTimer::timeout, this, &GalleryWindow::requestThumbnails);
    connect(&scan_, &GalleryFolderScan::found, this, [this](const std::vector<GalleryEntry>& entries) {
        model_.add(entries);
        showCount();
    });
    connect(&scan_, &GalleryFolderScan::finished, this, [this] {
        if (model_.sortKey() == GalleryModel::SortKey::Similar)
            groupSimilar();
        showCount();
        if (wantTimer_.isActive())
            wantTimer_.start(0);
    });
    connect(&similarity_, &GallerySimilarity::learned, this, [this](const GallerySimilarity::Learned& hashes) {
        if (!store_)
            return;
        for (const auto& [digest, hash] : hashes)
            store_->setDifferenceHash(digest, hash);
    });
    connect(&similarity_, &GallerySimilarity::grouped, this, [this](const std::vector<std::vector<QString>>& groups) {
        model_.setSimilarGroups(groups);
        showCount();
    });
    connect(&loader_, &ThumbnailLoader::made, this, [this](const QString& path, const QImage& image, bool failed) {
        // Deleted since the folder was listed (by the "Graphics" page or another program).
        if (failed && !QFile::exists(path)) {
            model_.removePaths({path});
            showCount();
            return;
        }
        model_.setThumbnail(path, image, failed);
    });
    connect(view_->verticalScrollBar(), &QScrollBar::valueChanged, this, &GalleryWindow::scheduleThumbnails);
    for (const auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(&model_, signal, this, &GalleryWindow::scheduleThumbnails);
    connect(&model_, &QAbstractItemModel::layoutChanged, this, &GalleryWindow::scheduleThumbnails);
    connect(&model_, &QAbstractItemModel::modelReset, this, &GalleryWindow::scheduleThumbnails);
    connect(slider_, &QSlider::valueChanged, this, &GalleryWindow::setSide);
    connect(sort_, &QComboBox::currentIndexChanged, this, &GalleryWindow::sortBy);
    connect(view_, &QListView::doubleClicked, this, [this] { openCurrent(); });
    connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this, &GalleryWindow::showSimilarActions);
    connect(notSimilar_, &QPushButton::clicked, this, &GalleryWindow::markNotSimilar);
    connect(&model_, &QAbstractItemModel::modelReset, this, &GalleryWindow::showSimilarActions);
    setSide(StartSide);
    showSimilarActions();
    resize(900, 640);
}

GalleryWindow::~GalleryWindow() = default;

void GalleryWindow::setSide(int side)
{
    model_.setIconSide(side);
    loader_.setSide(side);
    view_->setIconSize(QSize(side, side));
    view_->setGridSize(QSize(side + 16, side + view_->fontMetrics().height() + 14));
    scheduleThumbnails();
}

void GalleryWindow::sortBy(int choice)
{
    model_.setSortKey(static_cast<GalleryModel::SortKey>(choice));
    if (model_.sortKey() == GalleryModel::SortKey::Similar && !scan_.running())
        groupSimilar();
    showSimilarActions();
    const QModelIndex current = view_->currentIndex();
    if (current.isValid())
        view_->scrollTo(current);
    showCount();
}

void GalleryWindow::groupSimilar()
{
    // A flat copy of the store is quick; picking out what it knows under the folder is not,
    // and happens on the worker.
    std::shared_ptr<const ContentStore> copy;
    if (store_)
        copy = std::make_shared<const ContentStore>(*store_);
    similarity_.start(model_.allEntries(), std::move(copy), QFile::encodeName(folder_ + QLatin1Char('/')).toStdString(),
                      similarBits_ ? similarBits_() : GallerySimilarity::Distance);
}

void GalleryWindow::showSimilarActions()
{
    notSimilar_->setVisible(model_.sortKey() == GalleryModel::SortKey::Similar);
    notSimilar_->setEnabled(store_ && view_->selectionModel()->selectedIndexes().size() >= 2);
}

void GalleryWindow::markNotSimilar()
{
    const std::vector<int> rows = selectedRows();
    if (!store_ || rows.size() < 2)
        return;
    std::vector<ContentDigest> digests;
    for (const int row : rows) {
        const QString& path = model_.entry(row).path;
        const auto digest = ContentHasher::ofFile(QFile::encodeName(path).toStdString());
        if (digest)
            digests.push_back(*digest);
        else
            qCWarning(logApp).noquote() << "gallery: cannot read" << path << "to set it apart";
    }
    for (std::size_t a = 0; a < digests.size(); ++a)
        for (std::size_t b = a + 1; b < digests.size(); ++b)
            store_->markApart(digests[a], digests[b]);
    qCInfo(logApp, "gallery: %zu pictures marked as not similar", digests.size());
    // Only the pairs are written now; the store takes them in when it is next written.
    if (!store_->saveApart())
        dialogs_.inform("The choice could not be written to " + store_->apartPath()
                        + " (see the log); it is kept with the store when the store is next written.");
    if (model_.sortKey() == GalleryModel::SortKey::Similar)
        groupSimilar();
    showCount();
}

std::vector<int> GalleryWindow::selectedRows() const
{
    std::vector<int> rows;
    for (const QModelIndex& index : view_->selectionModel()->selectedIndexes())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void GalleryWindow::showFolder(const QString& folder, bool rescan)
{
    const QString clean = QDir::cleanPath(QDir(folder).absolutePath());
    if (clean != folder_ || rescan) {
        folder_ = clean;
        model_.clear();
        scan_.start(folder_);
        scanClock_.start();
        qCInfo(logApp).noquote() << "gallery: listing" << folder_;
    }
    showCount();
    show();
    raise();
    activateWindow();
    scheduleThumbnails();
}

void GalleryWindow::addSavedFile(const QString& path)
{
    if (folder_.isEmpty())
        return;
    const QString clean = QDir::cleanPath(path);
    if (!clean.startsWith(folder_ + QLatin1Char('/')))
        return;
    GalleryEntry entry;
    if (GalleryFolderScan::entryOf(folder_, clean, entry)) {
        model_.add({entry});
        showCount();
    }
}

void GalleryWindow::showCount()
{
    const int rows = model_.rowCount();
    QString text = rows == 1 ? QStringLiteral("1 picture") : QStringLiteral("%1 pictures").arg(rows);
    if (model_.sortKey() == GalleryModel::SortKey::Similar)
        text = similarity_.running() || scan_.running() ? QStringLiteral("Looking for similar pictures")
                                                        : QStringLiteral("%1 pictures with a similar one").arg(rows);
    else if (scan_.running())
        text += QStringLiteral(" (listing the folder)");
    count_->setText(text);
}

int GalleryWindow::columns() const
{
    const int rows = model_.rowCount();
    const int top = view_->visualRect(model_.index(0)).top();
    int columns = 1;
    while (columns < rows && columns < LongestRowScan && view_->visualRect(model_.index(columns)).top() == top)
        ++columns;
    return columns;
}

std::pair<int, int> GalleryWindow::rowsInView() const
{
    const int rows = model_.rowCount();
    const int lineHeight = view_->gridSize().height();
    if (rows == 0 || lineHeight <= 0)
        return {0, -1};
    const int columns = this->columns();
    // Lines are a grid height apart, starting where the first row is drawn now.
    const int firstTop = view_->visualRect(model_.index(0)).top();
    const int height = view_->viewport()->height();
    const int firstLine = std::max(0, (-firstTop) / lineHeight);
    const int lastLine = std::max(0, (height - 1 - firstTop) / lineHeight);
    const int first = firstLine * columns;
    const int last = std::min(rows - 1, (lastLine + 1) * columns - 1);
    return {first, last};
}

std::vector<int> GalleryWindow::wantedRows() const
{
    const auto [first, last] = rowsInView();
    std::vector<int> rows;
    if (last < first)
        return rows;
    const int ahead = std::min(model_.rowCount() - 1, last + (last - first + 1));
    for (int row = first; row <= ahead; ++row)
        rows.push_back(row);
    return rows;
}

void GalleryWindow::scheduleThumbnails()
{
    // What was wanted for the old view must not start while the new request waits.
    loader_.dropWaiting();
    // While the folder is being listed, the newest pictures may still be to come: the first
    // request waits for the listing's end, or for a large folder until FirstRequestWaitMs.
    const qint64 wait = scan_.running() ? std::max<qint64>(0, FirstRequestWaitMs - scanClock_.elapsed()) : 0;
    if (!wantTimer_.isActive())
        wantTimer_.start(static_cast<int>(wait));
}

void GalleryWindow::requestThumbnails()
{
    if (!isVisible())
        return;
    std::vector<ThumbnailLoader::Request> requests;
    for (const int row : wantedRows()) {
        if (model_.hasThumbnail(row))
            continue;
        const GalleryEntry& entry = model_.entry(row);
        requests.push_back({entry.path, entry.mtime, entry.size});
    }
    loader_.want(std::move(requests));
}

void GalleryWindow::deleteSelected()
{
    const std::vector<int> rows = selectedRows();
    if (rows.empty())
        return;
    QStringList paths;
    for (const int row : rows)
        paths << model_.entry(row).path;
    const int next = rows.front();
    const std::string question = paths.size() == 1
        ? "Delete " + model_.entry(next).name().toString().toStdString() + "?"
        : "Delete the " + std::to_string(paths.size()) + " selected pictures?";
    if (!dialogs_.ask(question))
        return;
    QStringList removed;
    QStringList kept;
    for (const QString& path : paths) {
        // unlink removes a link itself, never what it points at.
        if (::unlink(QFile::encodeName(path).constData()) == 0 || errno == ENOENT) {
            removed << path;
            loader_.cache().forget(path);
        } else {
            qCWarning(logApp).noquote() << "gallery: cannot delete" << path << ":" << std::strerror(errno);
            kept << path;
        }
    }
    model_.removePaths(removed);
    qCInfo(logApp, "gallery: %lld pictures deleted", static_cast<long long>(removed.size()));
    if (model_.rowCount() > 0)
        view_->setCurrentIndex(model_.index(std::min(next, model_.rowCount() - 1)));
    showCount();
    if (!kept.isEmpty())
        dialogs_.inform(std::to_string(kept.size()) + " of the pictures could not be deleted: "
                        + kept.front().toStdString() + (kept.size() > 1 ? " and others" : "") + " (see the log)");
}

void GalleryWindow::openCurrent()
{
    const QModelIndex current = view_->currentIndex();
    if (current.isValid())
        emit openRequested(model_.entry(current.row()).path);
}

QString GalleryWindow::step(int delta)
{
    const QModelIndex current = view_->currentIndex();
    const int row = (current.isValid() ? current.row() : 0) + delta;
    if (row < 0 || row >= model_.rowCount())
        return {};
    const QModelIndex next = model_.index(row);
    view_->setCurrentIndex(next);
    view_->scrollTo(next);
    return model_.entry(row).path;
}

bool GalleryWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == view_->viewport() && (event->type() == QEvent::Resize || event->type() == QEvent::Show))
        scheduleThumbnails();
    if (watched == view_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            openCurrent();
            return true;
        }
        if (key == Qt::Key_Delete) {
            deleteSelected();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace nimbra
