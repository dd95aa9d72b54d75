// Opens the main window offscreen with a small example list and saves each page as a PNG:
//   nimbra_screenshot <output folder>
// writes main-window.png (the "News groups" page), graphics-page.png and options-page.png.
// It runs in a temporary HOME, so the user's own settings and lists are not touched.
#include "app/MainWindow.h"
#include "app/NewsGroupsPage.h"
#include "app/WindowSettings.h"
#include "platform/AppPaths.h"
#include "platform/RegistryStore.h"
#include "platform/TextListFile.h"

#include <QApplication>
#include <QListView>
#include <QPixmap>
#include <QTabWidget>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

void seedExample()
{
    nimbra::TextListFile::save(nimbra::AppPaths::dataFolder() + "127.0.0.1",
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

bool grab(nimbra::MainWindow& window, int page, const std::string& path)
{
    window.pages()->setCurrentIndex(page);
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
    const bool saved = window.grab().save(QString::fromStdString(path), "PNG");
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
    for (const char* sub : {"home", "config", "data"})
        std::filesystem::create_directories(root + "/" + sub);
    setenv("HOME", (root + "/home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);

    int failures = 0;
    {
        QApplication application(argc, argv);
        QApplication::setApplicationName(QStringLiteral("Nimbra File"));
        seedExample();
        nimbra::MainWindow window;
        window.show();
        QListView* box = window.newsGroupsPage()->listBox();
        box->selectionModel()->select(box->model()->index(1, 0), QItemSelectionModel::Select);
        box->selectionModel()->select(box->model()->index(3, 0), QItemSelectionModel::Select);
        failures += !grab(window, 0, out + "main-window.png");
        failures += !grab(window, 1, out + "graphics-page.png");
        failures += !grab(window, 2, out + "options-page.png");
    }
    std::filesystem::remove_all(root);
    return failures ? 1 : 0;
}
