#include "app/MessageBoxDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace nimbra {

bool MessageBoxDialogs::ask(const std::string& text)
{
    return QMessageBox::question(owner_, QApplication::applicationName(), QString::fromStdString(text),
               QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        == QMessageBox::Yes;
}

void MessageBoxDialogs::inform(const std::string& text)
{
    QMessageBox::information(owner_, QApplication::applicationName(), QString::fromStdString(text));
}

bool MessageBoxDialogs::chooseFolder(const std::string& title, const std::string&, std::string& path)
{
    // The root ("My computer") has no counterpart here: the dialog starts at the current
    // folder, or at the file system's root view when none is given.
    const QString chosen = QFileDialog::getExistingDirectory(owner_, QString::fromStdString(title),
        QString::fromStdString(path), QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty())
        return false;
    path = chosen.toStdString();
    return true;
}

} // namespace nimbra
