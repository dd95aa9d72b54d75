// nimbra-demo-server: serves the demo groups on 127.0.0.1 until SIGINT or SIGTERM.
#include "tools/newsmodel/DemoContent.h"
#include "tools/newsmodel/ModelServer.h"
#include "tools/newsmodel/NewsServerModel.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <exception>
#include <pthread.h>

using namespace nimbra::test;

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("nimbra-demo-server"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "A small news server for trying Nimbra File: generated groups with pictures (uuencoded, "
        "split over three articles, base64 MIME, yEnc), a quoted-printable text, plain text, an "
        "article over the default size limit and an empty group. Listens on 127.0.0.1 only; "
        "runs until interrupted."));
    parser.addHelpOption();
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Port to listen on (default 11119)."),
                                  QStringLiteral("port"), QStringLiteral("11119"));
    const QCommandLineOption user(QStringLiteral("user"), QStringLiteral("Require AUTHINFO with this user name."),
                                  QStringLiteral("name"));
    const QCommandLineOption password(QStringLiteral("password"), QStringLiteral("The password that goes with --user."),
                                      QStringLiteral("password"));
    parser.addOptions({port, user, password});
    parser.process(application);

    bool ok = false;
    const uint portNumber = parser.value(port).toUInt(&ok);
    if (!ok || portNumber == 0 || portNumber > 65535) {
        std::fprintf(stderr, "nimbra-demo-server: the port must be a number from 1 to 65535\n");
        return 2;
    }
    if (parser.isSet(user) != parser.isSet(password)) {
        std::fprintf(stderr, "nimbra-demo-server: --user and --password go together\n");
        return 2;
    }

    // The signals are taken by sigwait below; blocked before any thread starts, so that
    // every thread inherits the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    try {
        const DemoContent content;
        NewsServerModel model;
        content.addTo(model);
        if (parser.isSet(user))
            model.setCredentials(parser.value(user).toStdString(), parser.value(password).toStdString());
        model.setGreeting("200 Nimbra demo news server ready, posting allowed");
        ModelServer server(model.greeting(), model.responder(), static_cast<std::uint16_t>(portNumber));

        std::printf("Nimbra demo news server on 127.0.0.1:%u%s\n", unsigned(server.port()),
                    parser.isSet(user) ? " (AUTHINFO required)" : "");
        for (const std::string& group : content.groups())
            std::printf("  %s\n", group.c_str());
        std::fflush(stdout);

        int received = 0;
        sigwait(&stopSignals, &received);
        server.stop();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "nimbra-demo-server: %s\n", e.what());
        return 1;
    }
    return 0;
}
