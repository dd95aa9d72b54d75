#include "app/GalleryWiring.h"

#include "app/FieldRules.h"
#include "app/FullScreenWindow.h"
#include "app/GraphicsPage.h"
#include "app/MainWindow.h"
#include "app/SessionWiring.h"
#include "app/gallery/GallerySettings.h"
#include "app/gallery/GalleryWindow.h"
#include "platform/RegistryStore.h"

#include <QEvent>
#include <QImageReader>
#include <QPushButton>

namespace nimbra {

GalleryWiring::GalleryWiring(MainWindow& window) : window_(window)
{
    connect(window_.graphicsPage()->galleryButton(), &QPushButton::clicked, this, [this] { open(); });
    window_.sessionWiring().pictures().setSavedListener(this, [this](const std::string& path) {
        if (gallery_)
            gallery_->addSavedFile(QString::fromStdString(path));
    });
}

GalleryWiring::~GalleryWiring()
{
    window_.sessionWiring().pictures().setSavedListener(this, nullptr);
    if (gallery_)
        gallery_->removeEventFilter(this);  // its hiding while it goes is no change to keep
}

void GalleryWiring::open()
{
    if (!gallery_) {
        gallery_ = std::make_unique<GalleryWindow>(window_.dialogs());
        gallery_->setContentStore(&window_.sessionWiring().saver().contentStore());
        gallery_->setSimilarDistance([this] {
            return FieldRules::number(FieldRules::similarBits(window_.fieldText(Field::SimilarBits)))
                .value_or(GallerySimilarity::Distance);
        });
        fullScreen_ = new FullScreenWindow(gallery_.get());
        fullScreen_->setNavigation([this](int step) {
            const QString path = gallery_->step(step);
            if (!path.isEmpty())
                showPicture(path);
        });
        connect(gallery_.get(), &GalleryWindow::openRequested, this, [this](const QString& path) { showFullScreen(path); });
        RegistryStore store;
        GallerySettings::load(store, *gallery_);
        gallery_->installEventFilter(this);
    }
    gallery_->showFolder(QString::fromStdString(window_.fieldText(Field::Folder)));
}

void GalleryWiring::setPicture(const QString& path)
{
    // The full-screen window places the picture by its size, which the header gives.
    const QSize size = QImageReader(path).size();
    fullScreen_->setPicture(path.toStdString(), std::max(1, size.width()), std::max(1, size.height()));
}

void GalleryWiring::showPicture(const QString& path)
{
    setPicture(path);
    fullScreen_->loadPicture();
}

void GalleryWiring::showFullScreen(const QString& path)
{
    setPicture(path);
    fullScreen_->showModal();
}

void GalleryWiring::keepSettings(RegistryStore& store) const
{
    if (gallery_)
        GallerySettings::save(store, *gallery_);
}

bool GalleryWiring::eventFilter(QObject* watched, QEvent* event)
{
    if (gallery_ && watched == gallery_.get() && event->type() == QEvent::Hide) {
        RegistryStore store;
        keepSettings(store);
    }
    return false;
}

} // namespace nimbra
