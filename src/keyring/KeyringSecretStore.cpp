#include "keyring/KeyringSecretStore.h"

#include <QDBusConnection>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QTimer>

#include <qt6keychain/keychain.h>

using namespace Qt::Literals::StringLiterals;

Q_LOGGING_CATEGORY(lcKeyring, "lumbra.keyring")

namespace {

const QString kService = u"Lumbra"_s;

struct Outcome {
    bool ended = false;
    QKeychain::Error error = QKeychain::OtherError;
    QString text;
};

// Without a session bus no Secret Service can answer: say so at once rather
// than let the keyring library try to start a bus of its own.
bool sessionBusAnswers()
{
    return QDBusConnection::sessionBus().isConnected();
}

// Starts `job` and waits for its end, at most `wait`. A job that does not end
// in time deletes itself when it ends later; its answer is then ignored.
Outcome runJob(QKeychain::Job *job, std::chrono::milliseconds wait)
{
    Outcome outcome;
    job->setAutoDelete(true);
    if (!sessionBusAnswers()) {
        job->deleteLater();
        return outcome;
    }
    QEventLoop loop;
    QObject::connect(job, &QKeychain::Job::finished, &loop, [&outcome, &loop](QKeychain::Job *done) {
        outcome.ended = true;
        outcome.error = done->error();
        if (auto *read = qobject_cast<QKeychain::ReadPasswordJob *>(done))
            outcome.text = read->textData();
        if (done->error() != QKeychain::NoError && done->error() != QKeychain::EntryNotFound)
            qCDebug(lcKeyring).noquote() << "keyring:" << done->errorString();
        loop.quit();
    });
    QTimer::singleShot(wait, &loop, &QEventLoop::quit);
    job->start();
    if (!outcome.ended)
        loop.exec();
    if (!outcome.ended)
        qCDebug(lcKeyring) << "the keyring did not answer in" << wait.count() << "ms";
    return outcome;
}

} // namespace

KeyringSecretStore::KeyringSecretStore(std::chrono::milliseconds wait)
    : m_wait(wait)
{
}

SecretStore::Reply KeyringSecretStore::read(const QString &name)
{
    auto *job = new QKeychain::ReadPasswordJob(kService);
    job->setKey(name);
    const Outcome outcome = runJob(job, m_wait);
    if (!outcome.ended)
        return {};
    if (outcome.error == QKeychain::NoError)
        return {true, outcome.text};
    if (outcome.error == QKeychain::EntryNotFound)
        return {true, QString()};
    return {};
}

bool KeyringSecretStore::write(const QString &name, const QString &value)
{
    auto *job = new QKeychain::WritePasswordJob(kService);
    job->setKey(name);
    job->setTextData(value);
    const Outcome outcome = runJob(job, m_wait);
    return outcome.ended && outcome.error == QKeychain::NoError;
}

bool KeyringSecretStore::remove(const QString &name)
{
    auto *job = new QKeychain::DeletePasswordJob(kService);
    job->setKey(name);
    const Outcome outcome = runJob(job, m_wait);
    return outcome.ended &&
           (outcome.error == QKeychain::NoError || outcome.error == QKeychain::EntryNotFound);
}
