#include "app/gallery/GallerySettings.h"

#include "app/gallery/GalleryWindow.h"
#include "platform/RegistryStore.h"

#include <QComboBox>
#include <QSlider>

namespace nimbra {

void GallerySettings::load(RegistryStore& store, GalleryWindow& window)
{
    if (!store.openKey(Key, false))
        return;
    const QByteArray geometry = QByteArray::fromBase64(QByteArray::fromStdString(store.readString("geometry")));
    if (!geometry.isEmpty())
        window.restoreGeometry(geometry);
    bool ok = false;
    const int side = QString::fromStdString(store.readString("thumbsize")).toInt(&ok);
    if (ok)
        window.sizeSlider()->setValue(side);  // the slider keeps it within its range
    const int sort = QString::fromStdString(store.readString("sort")).toInt(&ok);
    if (ok && sort >= 0 && sort < window.sortBox()->count())
        window.sortBox()->setCurrentIndex(sort);
    store.closeKey();
}

void GallerySettings::save(RegistryStore& store, const GalleryWindow& window)
{
    store.openKey(Key, true);
    store.writeString("geometry", window.saveGeometry().toBase64().toStdString());
    store.writeString("thumbsize", std::to_string(window.sizeSlider()->value()));
    store.writeString("sort", std::to_string(window.sortBox()->currentIndex()));
    store.closeKey();
}

} // namespace nimbra
