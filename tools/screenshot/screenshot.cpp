// Opens the main window offscreen with a small example list and saves each page as a PNG:
//   nimbra_screenshot <output folder>
// writes main-window.png (the "News groups" page), graphics-page.png, options-page.png and
// gallery.png (the gallery of the demo run's pictures and a few more in group folders).
// Before the grabs it runs "Get Files" against the demo news server, started in this process
// on 127.0.0.1, so that the "Graphics" page shows a picture that arrived the usual way.
// It runs in a temporary HOME, so the user's own settings and lists are not touched.
#include "app/ButtonRow.h"
#include "app/GalleryWiring.h"
#include "app/gallery/GalleryWindow.h"
#include "app/GroupCacheFile.h"
#include "app/GroupListModel.h"
#include "app/MainWindow.h"
#include "app/NewsGroupsPage.h"
#include "app/StatusPanels.h"
#include "app/WindowSettings.h"
#include "platform/RegistryStore.h"
#include "platform/TextListFile.h"
#include "tools/newsmodel/DemoContent.h"
#include "tools/newsmodel/DemoPicture.h"
#include "tools/newsmodel/ModelServer.h"
#include "tools/newsmodel/NewsServerModel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListView>
#include <QPixmap>
#include <QPushButton>
#include <QTabWidget>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

void seedExample()
{
    nimbra::TextListFile::save(nimbra::GroupCacheFile::path("127.0.0.1"),
        {"alt.binaries.pictures.nature", "alt.binaries.pictures.space", "comp.lang.c++", "alt.binaries.boats",
            "alt.binaries.pictures.animals", "de.alt.binaries.bilder", "alt.binaries.pictures.aviation",
            "alt.Binaries.x", "rec.photo.digital", "alt.binaries.pictures.landscapes", "alt.binaries.sounds.mp3",
            "alt.binaries.pictures.astronomy", "alt.binaries.pictures.trains"});
    nimbra::RegistryStore store;
    store.openKey(nimbra::WindowSettings::SettingsKey, true);
    store.writeString("NEWSHost", "127.0.0.1");
    // The temporary home would show in the folder field; show the usual one instead.
    store.writeString("dirtosave", "/home/user/nimbra files/");
    store.closeKey();
}

// Walks the demo group with the valley picture (the last one it saves), then puts the example
// list back into the box. False when the run did not end within a minute.
bool downloadDemoPicture(nimbra::MainWindow& window, const std::string& folder)
{
    const nimbra::test::DemoContent content;
    nimbra::test::NewsServerModel model;
    content.addTo(model);
    nimbra::test::ModelServer server(model.greeting(), model.responder());
    const std::string dirtosave = window.fieldText(nimbra::Field::Folder);
    window.setFieldText(nimbra::Field::Port, std::to_string(server.port()));
    window.setFieldText(nimbra::Field::Folder, folder);
    nimbra::GroupListModel& box = *window.newsGroupsPage()->model();
    box.fill({"demo.binaries.pictures.uuencode"}, {});
    window.newsGroupsPage()->listBox()->selectAll();
    window.buttonRow()->getFilesButton()->click();
    QElapsedTimer clock;
    clock.start();
    while (window.statusPanels()->panelText(0) != "Processing is over" && clock.elapsed() < 60000)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    window.setFieldText(nimbra::Field::Port, "119");
    window.setFieldText(nimbra::Field::Folder, dirtosave);
    window.fillGroupList();
    return window.statusPanels()->panelText(0) == "Processing is over";
}

bool grab(nimbra::MainWindow& window, int page, const std::string& path)
{
    window.pages()->setCurrentIndex(page);
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
    const bool saved = window.grab().save(QString::fromStdString(path), "PNG");
    std::printf("%s %s\n", saved ? "wrote" : "could not write", path.c_str());
    return saved;
}

// The gallery of folder (the demo run's pictures, and a few more in two group folders),
// once its thumbnails are made.
bool grabGallery(nimbra::MainWindow& window, const std::string& folder, const std::string& path)
{
    const struct {
        const char* name;
        int width, height;
    } more[] = {{"alt.binaries.pictures.nature/glade.jpg", 900, 600},
                {"alt.binaries.pictures.nature/ridge.jpg", 640, 640},
                {"alt.binaries.pictures.nature/dusk.jpg", 800, 450},
                {"alt.binaries.pictures.nature/morning.jpg", 480, 640},
                {"alt.binaries.pictures.landscapes/dunes.jpg", 1000, 500},
                {"alt.binaries.pictures.landscapes/fjord.jpg", 700, 525}};
    unsigned seed = 20;
    for (const auto& picture : more) {
        std::filesystem::create_directories(std::filesystem::path(folder + picture.name).parent_path());
        std::ofstream(folder + picture.name, std::ios::binary)
            << nimbra::test::DemoPicture::jpeg(picture.width, picture.height, seed++);
    }
    const std::string dirtosave = window.fieldText(nimbra::Field::Folder);
    window.setFieldText(nimbra::Field::Folder, folder);
    window.galleryWiring().open();
    window.setFieldText(nimbra::Field::Folder, dirtosave);
    nimbra::GalleryWindow& gallery = *window.galleryWiring().gallery();
    gallery.resize(760, 520);
    QElapsedTimer clock;
    clock.start();
    while ((gallery.scan().running() || !gallery.loader().idle()) && clock.elapsed() < 30000)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
    const bool saved = gallery.grab().save(QString::fromStdString(path), "PNG");
    std::printf("%s %s\n", saved ? "wrote" : "could not write", path.c_str());
    return saved;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    const std::string out = std::filesystem::absolute(argv[1]).string() + "/";
    char pattern[] = "/tmp/nimbra-shot-XXXXXX";
    if (!mkdtemp(pattern))
        return 1;
    const std::string root = pattern;
    for (const char* sub : {"home", "config", "data", "cache"})
        std::filesystem::create_directories(root + "/" + sub);
    setenv("HOME", (root + "/home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
    setenv("XDG_CACHE_HOME", (root + "/cache").c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);

    int failures = 0;
    {
        QApplication application(argc, argv);
        QApplication::setApplicationName(QStringLiteral("Nimbra File"));
        seedExample();
        nimbra::MainWindow window;
        window.show();
        if (!downloadDemoPicture(window, root + "/home/downloads/")) {
            std::fprintf(stderr, "the demo run did not end; the preview stays empty\n");
            ++failures;
        }
        QListView* box = window.newsGroupsPage()->listBox();
        box->selectionModel()->select(box->model()->index(1, 0), QItemSelectionModel::Select);
        box->selectionModel()->select(box->model()->index(3, 0), QItemSelectionModel::Select);
        failures += !grab(window, 0, out + "main-window.png");
        failures += !grab(window, 1, out + "graphics-page.png");
        failures += !grab(window, 2, out + "options-page.png");
        failures += !grabGallery(window, root + "/home/downloads/", out + "gallery.png");
    }
    std::filesystem::remove_all(root);
    return failures ? 1 : 0;
}
