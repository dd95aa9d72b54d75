#pragma once

namespace nimbra {

class GalleryWindow;
class RegistryStore;

// Keeps the gallery window's place and size, the thumbnail size and the sort order in the
// settings store, beside the main window's settings.
class GallerySettings {
public:
    static constexpr const char* Key = "Software\\Tolmar\\Nimbra V1.0\\Gallery";

    // Values absent or unusable leave the window as it is.
    static void load(RegistryStore& store, GalleryWindow& window);
    static void save(RegistryStore& store, const GalleryWindow& window);
};

} // namespace nimbra
