#include "platform/SecretServiceKeyring.h"

#include "platform/Log.h"

#include <qt6keychain/keychain.h>

#include <QEventLoop>

namespace nimbra {
namespace {

// Runs a keychain job to its end; the job is owned by the caller.
void runToEnd(QKeychain::Job& job, const std::string& key)
{
    job.setAutoDelete(false);
    job.setInsecureFallback(false);
    job.setKey(QString::fromStdString(key));
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    job.start();
    loop.exec();
}

} // namespace

SecretServiceKeyring::SecretServiceKeyring(QString service) : service_(std::move(service)) {}

bool SecretServiceKeyring::available()
{
    if (!available_) {
        // A read of an entry that need not exist: "not found" proves a keyring answered.
        QKeychain::ReadPasswordJob probe(service_);
        runToEnd(probe, "availability probe");
        available_ = probe.error() == QKeychain::NoError || probe.error() == QKeychain::EntryNotFound;
        if (!*available_)
            qCInfo(logApp, "no keyring: %s", qPrintable(probe.errorString()));
    }
    return *available_;
}

std::optional<std::string> SecretServiceKeyring::read(const std::string& key)
{
    if (!available())
        return std::nullopt;
    QKeychain::ReadPasswordJob job(service_);
    runToEnd(job, key);
    if (job.error() != QKeychain::NoError) {
        if (job.error() != QKeychain::EntryNotFound)
            qCWarning(logApp, "keyring read of %s failed: %s", key.c_str(), qPrintable(job.errorString()));
        return std::nullopt;
    }
    return job.textData().toStdString();
}

bool SecretServiceKeyring::write(const std::string& key, const std::string& secret)
{
    if (!available())
        return false;
    QKeychain::WritePasswordJob job(service_);
    job.setTextData(QString::fromStdString(secret));
    runToEnd(job, key);
    if (job.error() != QKeychain::NoError) {
        qCWarning(logApp, "keyring write of %s failed: %s", key.c_str(), qPrintable(job.errorString()));
        return false;
    }
    return true;
}

bool SecretServiceKeyring::remove(const std::string& key)
{
    if (!available())
        return false;
    QKeychain::DeletePasswordJob job(service_);
    runToEnd(job, key);
    if (job.error() != QKeychain::NoError && job.error() != QKeychain::EntryNotFound) {
        qCWarning(logApp, "keyring removal of %s failed: %s", key.c_str(), qPrintable(job.errorString()));
        return false;
    }
    return true;
}

} // namespace nimbra
