#include "app/SimilarRun.h"

#include "app/FieldRules.h"
#include "app/MainWindow.h"
#include "app/SessionWiring.h"
#include "download/ContentStore.h"
#include "download/SaveTarget.h"
#include "download/SimilarPictures.h"
#include "platform/Log.h"

#include <QDir>

#include <cstdio>

namespace nimbra {

int SimilarRun::run(MainWindow& window)
{
    const std::string folder = SaveTarget::downloadFolder(window.fieldText(Field::Folder));
    if (!QDir(QString::fromStdString(folder)).exists()) {
        std::fprintf(stderr, "nimbra: the download folder \"%s\" does not exist\n", folder.c_str());
        return 1;
    }
    const int distance = FieldRules::number(FieldRules::similarBits(window.fieldText(Field::SimilarBits))).value_or(5);
    ContentStore& store = window.sessionWiring().saver().contentStore();
    SimilarPictures similar(store, distance);
    const auto groups = similar.groups(folder);
    for (const std::vector<std::string>& group : groups) {
        std::string line;
        for (const std::string& path : group)
            line += (line.empty() ? "" : "\t") + path;
        std::printf("%s\n", line.c_str());
    }
    std::fflush(stdout);
    store.save();
    qCInfo(logApp, "similar pictures in %s: %zu groups within %d bits, %zu pictures hashed now", folder.c_str(),
           groups.size(), distance, similar.hashedNow());
    return 0;
}

} // namespace nimbra
