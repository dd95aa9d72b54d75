// Program entry: splash, title, main window (which loads everything), about box; then the
// message loop until the main window closes.
#include "app/AboutBox.h"
#include "app/MainWindow.h"
#include "app/SplashWindow.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);

    nimbra::SplashWindow splash;
    splash.showAndPaint();

    QApplication::setApplicationName(QStringLiteral("Nimbra File"));
    application.setProperty("helpFile", QStringLiteral("nimbra.hlp"));

    nimbra::MainWindow window(nullptr, &splash);
    nimbra::AboutBox about(&window);
    window.setAboutBox(&about);

    splash.close();
    window.show();
    return application.exec();
}
