#include "service/rest/RestTokenCache.h"

#include "prefs/SecretStore.h"
#include "service/HttpRules.h"
#include "service/rest/RestClient.h"
#include "service/rest/RestJson.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QMutexLocker>
#include <QPasswordDigestor>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {
Q_LOGGING_CATEGORY(lcTokens, "lumbra.rest.tokens")

// Why the file cannot be trusted, or empty when it can.
QString distrustOf(const struct stat &info)
{
    if (!S_ISREG(info.st_mode))
        return u"it is not a plain file"_s;
    if (info.st_uid != geteuid())
        return u"it belongs to another user"_s;
    if (info.st_mode & (S_IRWXG | S_IRWXO))
        return u"others may read or change it"_s;
    if (info.st_size > RestTokenFile::kMaxBytes)
        return u"it is too large to be ours"_s;
    return {};
}

// The file's bytes when it is ours alone, else nullopt (and a line in the log).
std::optional<QByteArray> readOwnFile(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        if (errno == ELOOP)
            qCWarning(lcTokens).noquote() << "ignoring the token cache" << path << "(it is a link)";
        return std::nullopt;
    }
    struct stat info {};
    QByteArray data;
    QString distrust = ::fstat(fd, &info) == 0 ? distrustOf(info) : u"it cannot be examined"_s;
    if (distrust.isEmpty()) {
        data.resize(qsizetype(info.st_size) + 1);
        const ssize_t got = ::read(fd, data.data(), size_t(data.size()));
        if (got < 0 || got > info.st_size)
            distrust = u"it cannot be read whole"_s;
        data.resize(std::max<qsizetype>(0, got));
    }
    ::close(fd);
    if (!distrust.isEmpty()) {
        qCWarning(lcTokens).noquote() << "ignoring the token cache" << path << "because" << distrust
                                      << "; a fresh one replaces it at the next sign-in";
        return std::nullopt;
    }
    return data;
}

} // namespace

// --- The file -----------------------------------------------------------------

RestTokenFile::RestTokenFile(QString path)
    : m_path(std::move(path))
{
}

QString RestTokenFile::defaultPath()
{
    // The window and lumbra-cli go by different application names, and
    // their own cache folders would differ; the token is the account's, so
    // both keep it in one folder of the cache.
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           u"/lumbra/rest-tokens.json"_s;
}

QJsonObject RestTokenFile::readAll() const
{
    const auto data = readOwnFile(m_path);
    if (!data)
        return {};
    const auto entries = RestJson::parseObject(*data);
    if (!entries) {
        qCWarning(lcTokens).noquote() << "ignoring the damaged token cache" << m_path
                                      << "; a fresh one replaces it at the next sign-in";
        return {};
    }
    return *entries;
}

void RestTokenFile::writeAll(const QJsonObject &entries) const
{
    const QFileInfo target(m_path);
    if (!QDir().mkpath(target.absolutePath()))
        return;
    // A temporary file is made readable by its owner alone; renaming it
    // replaces whatever was there (a damaged file, a link, another's file)
    // without writing through it.
    QTemporaryFile fresh(target.absolutePath() + u"/.rest-tokens-XXXXXX"_s);
    fresh.setAutoRemove(true);
    if (!fresh.open() || fresh.write(QJsonDocument(entries).toJson(QJsonDocument::Compact)) < 0 ||
        !fresh.flush() || ::fsync(fresh.handle()) != 0) {
        qCWarning(lcTokens).noquote()
            << "cannot write the token cache" << m_path << ":" << fresh.errorString();
        return;
    }
    fresh.close();
    if (::rename(QFile::encodeName(fresh.fileName()).constData(), QFile::encodeName(m_path).constData()) !=
        0) {
        qCWarning(lcTokens).noquote() << "cannot replace the token cache" << m_path;
        return;
    }
    fresh.setAutoRemove(false);
}

std::optional<QByteArray> RestTokenFile::load(const QString &key)
{
    const QMutexLocker guard(&m_lock);
    const QJsonValue value = readAll().value(key);
    if (!value.isString())
        return std::nullopt;
    return value.toString().toUtf8();
}

void RestTokenFile::save(const QString &key, const QByteArray &value)
{
    const QMutexLocker guard(&m_lock);
    QJsonObject entries = readAll();
    entries.insert(key, QString::fromUtf8(value));
    writeAll(entries);
}

void RestTokenFile::remove(const QString &key)
{
    const QMutexLocker guard(&m_lock);
    QJsonObject entries = readAll();
    if (!entries.contains(key))
        return;
    entries.remove(key);
    writeAll(entries);
}

// --- The keyring ----------------------------------------------------------------

RestTokenKeyring::RestTokenKeyring(std::shared_ptr<RestTokenStore> fallback)
    : m_file(std::move(fallback))
{
}

QString RestTokenKeyring::secretName(const QString &key)
{
    return u"RestToken "_s + key;
}

SecretStore *RestTokenKeyring::keyring() const
{
    return m_silent ? nullptr : secretStore();
}

void RestTokenKeyring::noAnswer()
{
    if (!m_silent.exchange(true))
        qCInfo(lcTokens) << "no keyring answered; the sign-in token is kept in the cache file instead";
}

std::optional<QByteArray> RestTokenKeyring::load(const QString &key)
{
    SecretStore *store = keyring();
    if (!store)
        return m_file->load(key);
    const SecretStore::Reply reply = store->read(secretName(key));
    if (!reply.answered) {
        noAnswer();
        return m_file->load(key);
    }
    if (const auto inFile = m_file->load(key)) {
        save(key, *inFile);
        return inFile;
    }
    if (reply.value.isEmpty() || reply.value.size() > RestTokenFile::kMaxBytes)
        return std::nullopt;
    return reply.value.toUtf8();
}

void RestTokenKeyring::save(const QString &key, const QByteArray &value)
{
    SecretStore *store = keyring();
    if (store && store->write(secretName(key), QString::fromUtf8(value))) {
        m_file->remove(key);
        return;
    }
    if (store)
        noAnswer();
    m_file->save(key, value);
}

void RestTokenKeyring::remove(const QString &key)
{
    if (SecretStore *store = keyring(); store && !store->remove(secretName(key)))
        noAnswer();
    m_file->remove(key);
}

// --- The cache ----------------------------------------------------------------

RestTokenCache::RestTokenCache(std::shared_ptr<RestTokenStore> store, Now now)
    : m_store(std::move(store))
    , m_now(std::move(now))
{
}

QString RestTokenCache::keyOf(const QString &account, const QUrl &server)
{
    return account + u'@' + server.adjusted(QUrl::StripTrailingSlash).toString();
}

QString RestTokenCache::proofOf(const QString &token, const QString &password)
{
    return QString::fromLatin1(QPasswordDigestor::deriveKeyPbkdf2(
                                   QCryptographicHash::Sha256, password.toUtf8(), token.toUtf8(), 20000, 32)
                                   .toBase64());
}

std::optional<CachedToken> RestTokenCache::find(const QString &account, const QUrl &server,
                                                const QString &password) const
{
    const auto stored = m_store->load(keyOf(account, server));
    if (!stored)
        return std::nullopt;
    const auto entry = RestJson::parseObject(*stored);
    CachedToken cached;
    QString proof;
    if (entry) {
        proof = RestJson::text(entry->value("proof"_L1));
        cached.token = RestJson::text(entry->value("token"_L1));
        cached.root = QUrl(RestJson::text(entry->value("root"_L1)), QUrl::StrictMode);
        cached.expires = QDateTime::fromString(RestJson::text(entry->value("expires"_L1)), Qt::ISODate);
    }
    if (!HttpRules::isTokenText(cached.token.toUtf8()) || !cached.root.isValid() ||
        !cached.expires.isValid()) {
        qCWarning(lcTokens) << "ignoring a damaged entry of the token cache";
        return std::nullopt;
    }
    // The root goes through the same rule as a sign-in's base_url: one that
    // leaves the server's domain (or its security) is never used.
    if (RestReplies::resolveRoot(server, cached.root.toString()) != cached.root) {
        qCWarning(lcTokens).noquote() << "ignoring a cached token for" << cached.root.host()
                                      << ", which is not on the domain of" << server.host();
        return std::nullopt;
    }
    if (cached.expires <= m_now())
        return std::nullopt;
    if (proof != proofOf(cached.token, password)) {
        qCInfo(lcTokens) << "the password has changed since the cached sign-in; signing in afresh";
        return std::nullopt;
    }
    return cached;
}

void RestTokenCache::keep(const QString &account, const QUrl &server, const CachedToken &token,
                          const QString &password) const
{
    if (!HttpRules::isTokenText(token.token.toUtf8()))
        return;
    const QJsonObject entry{{u"token"_s, token.token},
                            {u"proof"_s, proofOf(token.token, password)},
                            {u"root"_s, token.root.toString()},
                            {u"expires"_s, token.expires.toUTC().toString(Qt::ISODate)}};
    m_store->save(keyOf(account, server), QJsonDocument(entry).toJson(QJsonDocument::Compact));
}

void RestTokenCache::forget(const QString &account, const QUrl &server) const
{
    m_store->remove(keyOf(account, server));
}

QDateTime RestTokenCache::expiryOf(const QString &token) const
{
    const QDateTime now = m_now();
    const QDateTime fallback = now.addSecs(kKeptSeconds);
    const QByteArray payload =
        QByteArray::fromBase64(token.section(u'.', 1, 1).toLatin1(), QByteArray::Base64UrlEncoding);
    const auto claims = RestJson::parseObject(payload);
    if (!claims)
        return fallback;
    const qint64 exp = RestJson::integer(claims->value("exp"_L1), 1, 32503680000LL, 0);
    if (exp == 0)
        return fallback;
    // Never longer than a token is known to live, whatever it claims.
    return std::min(QDateTime::fromSecsSinceEpoch(exp, Qt::UTC).addSecs(-kMarginSeconds),
                    now.addSecs(2 * kKeptSeconds));
}
