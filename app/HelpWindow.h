#pragma once

#include <QWidget>
#include <string>

class QTextBrowser;

namespace nimbra {

// The help window: the program's HTML help file shown at its contents.
class HelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit HelpWindow(QWidget* parent = nullptr);

    // The help file for a program help path ending in "nimbra.hlp": the "nimbra.html" beside
    // it, else share/nimbra/nimbra.html under the program's install prefix, else the one in the
    // system's data folders. Empty when there is none.
    static std::string findHelpFile(const std::string& helpFile);

    // Loads the file and shows its start; false when it cannot be read.
    bool showContents(const std::string& htmlFile);
    QTextBrowser* browser() const { return browser_; }

private:
    QTextBrowser* browser_;
};

} // namespace nimbra
