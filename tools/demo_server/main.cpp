// nimbra-demo-server: serves the demo groups on 127.0.0.1 until SIGINT or SIGTERM, in plain
// text or, with --tls, over TLS with a certificate made at start.
#include "tools/newsmodel/DemoContent.h"
#include "tools/newsmodel/ModelServer.h"
#include "tools/newsmodel/NewsServerModel.h"
#include "tools/newsmodel/ServerCertificate.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSaveFile>

#include <csignal>
#include <cstdio>
#include <exception>
#include <memory>
#include <pthread.h>
#include <stdexcept>

using namespace nimbra::test;

namespace {

// Written beside its final name and renamed over it, so that a client reading the file never
// sees half a certificate.
void writePem(const ServerCertificate& certificate, const QString& path)
{
    QSaveFile file(path);
    const std::string pem = certificate.pem();
    if (!file.open(QIODevice::WriteOnly) || file.write(pem.data(), static_cast<qint64>(pem.size())) != qint64(pem.size())
        || !file.commit())
        throw std::runtime_error("cannot write the certificate to " + path.toStdString() + ": "
                                 + file.errorString().toStdString());
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("nimbra-demo-server"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "A small news server for trying Nimbra File: generated groups with pictures (uuencoded, "
        "split over three articles, base64 MIME, yEnc), a quoted-printable text, plain text, an "
        "article over the default size limit and an empty group. Listens on 127.0.0.1 only; "
        "runs until interrupted. With --tls it speaks TLS with a self-signed certificate for "
        "127.0.0.1 and localhost, made at start; its SHA-256 fingerprint is printed."));
    parser.addHelpOption();
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Port to listen on (default 11119; 0 picks a free one, printed)."),
                                  QStringLiteral("port"), QStringLiteral("11119"));
    const QCommandLineOption user(QStringLiteral("user"), QStringLiteral("Require AUTHINFO with this user name."),
                                  QStringLiteral("name"));
    const QCommandLineOption password(QStringLiteral("password"), QStringLiteral("The password that goes with --user."),
                                      QStringLiteral("password"));
    const QCommandLineOption tls(QStringLiteral("tls"), QStringLiteral("Serve every connection over TLS."));
    const QCommandLineOption writeCertificate(
        QStringLiteral("write-certificate"),
        QStringLiteral("With --tls: write the certificate (PEM, no key) to this file, for SSL_CERT_FILE."),
        QStringLiteral("file"));
    parser.addOptions({port, user, password, tls, writeCertificate});
    parser.process(application);

    bool ok = false;
    const uint portNumber = parser.value(port).toUInt(&ok);
    if (!ok || portNumber > 65535) {
        std::fprintf(stderr, "nimbra-demo-server: the port must be a number from 0 to 65535\n");
        return 2;
    }
    if (parser.isSet(user) != parser.isSet(password)) {
        std::fprintf(stderr, "nimbra-demo-server: --user and --password go together\n");
        return 2;
    }
    if (parser.isSet(writeCertificate) && (!parser.isSet(tls) || parser.value(writeCertificate).isEmpty())) {
        std::fprintf(stderr, "nimbra-demo-server: --write-certificate goes with --tls and needs a file name\n");
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
        std::unique_ptr<ServerCertificate> certificate;
        if (parser.isSet(tls))
            certificate = std::make_unique<ServerCertificate>(std::vector<std::string>{"127.0.0.1", "localhost"});
        ModelServer server(model.greeting(), model.responder(), static_cast<std::uint16_t>(portNumber),
                           certificate.get());
        // Before the start lines, so that whoever waits for them finds the file complete.
        if (parser.isSet(writeCertificate))
            writePem(*certificate, parser.value(writeCertificate));

        std::printf("Nimbra demo news server on 127.0.0.1:%u%s%s\n", unsigned(server.port()),
                    certificate ? " over TLS" : "", parser.isSet(user) ? " (AUTHINFO required)" : "");
        if (certificate)
            std::printf("TLS certificate SHA-256: %s\n", certificate->fingerprint().c_str());
        if (parser.isSet(writeCertificate))
            std::printf("Certificate written to %s\n", parser.value(writeCertificate).toLocal8Bit().constData());
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
