// Program entry: splash, title, main window (which loads everything), about box; then the
// message loop until the main window closes. Command-line options fill the window's fields
// and may run "Get Files" unattended (CommandLineOptions), or list similar pictures and end.
#include "app/AboutBox.h"
#include "app/ButtonRow.h"
#include "app/CommandLineOptions.h"
#include "app/ConsoleDialogs.h"
#include "app/GalleryWiring.h"
#include "app/MainWindow.h"
#include "app/SimilarRun.h"
#include "app/SplashWindow.h"
#include "app/StopSignals.h"
#include "app/UnattendedRun.h"
#include "platform/Log.h"
#include "platform/SecretServiceKeyring.h"

#include <QApplication>
#include <QPushButton>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace {

// A program given options may be run from a script on a machine without a display; it then
// runs on the offscreen platform rather than failing to start. Without options nothing
// changes.
void chooseDisplay(int argc)
{
    if (argc > 1 && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

} // namespace

int main(int argc, char** argv)
{
    chooseDisplay(argc);
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Nimbra File"));
    QApplication::setApplicationVersion(QStringLiteral("2.03"));
    nimbra::Log::install(nimbra::Log::defaultPath());
    const nimbra::CommandLineOptions options = nimbra::CommandLineOptions::parse(QApplication::arguments());
    nimbra::Log::setMirror(options.verbose);
    qCInfo(nimbra::logApp, "Nimbra File %s started; options: %s", qPrintable(QApplication::applicationVersion()),
           options.summary().c_str());

    nimbra::SplashWindow splash;
    splash.showAndPaint();

    application.setProperty("helpFile", QStringLiteral("nimbra.hlp"));

    // Nobody answers message boxes in a run that ends by itself.
    const bool unattended = options.getFiles && !options.keepOpen;
    std::unique_ptr<nimbra::ConsoleDialogs> console;
    if (unattended)
        console = std::make_unique<nimbra::ConsoleDialogs>();
    nimbra::SecretServiceKeyring keyring;  // before the window, which uses it until it closes
    nimbra::MainWindow window(console.get(), &splash);
    if (console)
        console->setOutcome(&window.runOutcome());
    nimbra::AboutBox about(&window);
    window.setAboutBox(&about);
    options.applyTo(window);
    if (options.similar) {
        splash.close();
        return nimbra::SimilarRun::run(window);
    }
    // The keyring may ask the desktop to unlock it: only where someone can answer.
    if (!unattended)
        window.setKeyring(keyring);

    splash.close();
    window.show();
    if (options.gallery)
        window.galleryWiring().open();
    std::unique_ptr<nimbra::UnattendedRun> run;
    if (unattended) {
        // With the default time-out of 30 s: two minutes without any progress.
        const int timeoutSeconds = std::atoi(window.fieldText(nimbra::Field::Timeout).c_str());
        run = std::make_unique<nimbra::UnattendedRun>(window, (4 * std::max(timeoutSeconds, 10) + 5) * 1000);
        run->start();
    } else if (options.getFiles) {
        window.buttonRow()->getFilesButton()->click();
    }
    // Ctrl+C, a logout or kill: the run stops and everything is kept as on "Close".
    nimbra::StopSignals stopSignals([&](int signal) {
        if (run)
            run->interrupt(signal);
        else
            window.closeWithoutAsking();
    });
    const int status = application.exec();
    qCInfo(nimbra::logApp, "exit status %d", status);
    return status;
}
