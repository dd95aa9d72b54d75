#pragma once

namespace nimbra {

class MainWindow;

// `--similar`: the groups of similar pictures in the download folder of the window's fields,
// within "Similar within, bits", printed one group a line with the paths separated by tabs
// (pictures without a near copy are not printed). Pictures without a hash are hashed first
// and the content store is written. Returns the exit status: 0, or 1 with the reason on
// standard error when the folder does not exist. The window is not shown.
class SimilarRun {
public:
    static int run(MainWindow& window);
};

} // namespace nimbra
