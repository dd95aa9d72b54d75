#include "app/HelpWindow.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace nimbra {

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window), browser_(new QTextBrowser)
{
    setWindowTitle(QStringLiteral("Nimbra File Help"));
    browser_->setOpenExternalLinks(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(browser_);
    resize(600, 500);
}

std::string HelpWindow::findHelpFile(const std::string& helpFile)
{
    QString beside = QString::fromStdString(helpFile);
    if (beside.endsWith(QStringLiteral(".hlp")))
        beside.chop(4);
    beside += QStringLiteral(".html");
    if (QFileInfo(beside).isFile())
        return beside.toStdString();
    // Installed: share/nimbra/ beside the bin/ folder of the program, wherever the prefix is;
    // then the system's data folders.
    if (QCoreApplication::instance()) {
        const QFileInfo prefixed(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/nimbra/nimbra.html"));
        if (prefixed.isFile())
            return prefixed.canonicalFilePath().toStdString();
    }
    const QString installed
        = QStandardPaths::locate(QStandardPaths::GenericDataLocation, QStringLiteral("nimbra/nimbra.html"));
    return installed.toStdString();
}

bool HelpWindow::showContents(const std::string& htmlFile)
{
    const QString path = QString::fromStdString(htmlFile);
    if (htmlFile.empty() || !QFileInfo(path).isReadable())
        return false;
    browser_->setSource(QUrl::fromLocalFile(path));
    browser_->moveCursor(QTextCursor::Start);
    show();
    raise();
    activateWindow();
    return true;
}

} // namespace nimbra
