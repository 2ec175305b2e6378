#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QMutex>
#include <QString>
#include <QUrl>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class SecretStore;

// Where sign-in tokens are kept between runs, by key. One small seam: the
// file below is one store, the desktop's keyring can be another.
class RestTokenStore {
public:
    virtual ~RestTokenStore() = default;
    virtual std::optional<QByteArray> load(const QString &key) = 0;
    virtual void save(const QString &key, const QByteArray &value) = 0;
    virtual void remove(const QString &key) = 0;
};

// The store as one JSON file readable by its owner alone (0600), by default
// "lumbra/rest-tokens.json" in the cache folder. A file that is damaged, not ours
// (another owner, a link, not a plain file) or readable by others is
// ignored with a line in the log, and replaced by a fresh one at the next
// save.
class RestTokenFile final : public RestTokenStore {
public:
    explicit RestTokenFile(QString path = defaultPath());
    static QString defaultPath();

    std::optional<QByteArray> load(const QString &key) override;
    void save(const QString &key, const QByteArray &value) override;
    void remove(const QString &key) override;

    // The most the file may hold; a larger one is damaged.
    static constexpr qint64 kMaxBytes = 256 * 1024;

private:
    QJsonObject readAll() const;
    void writeAll(const QJsonObject &entries) const;

    const QString m_path;
    QMutex m_lock; // one read-change-write at a time within this process
};

// The store of tokens in the desktop's keyring (the installed SecretStore)
// when one answers, else in `fallback` (the file), as the account's password
// is kept. A token the file holds while a keyring answers was kept when none
// did, so it is the newer one: it moves to the keyring and leaves the file.
// A keyring that once gives no answer is not asked again by this store, so a
// run waits for it at most once.
//
// Threads: called on the worker that signs in. The keyring's calls run a
// local event loop on that thread, bounded by the keyring's wait; nothing
// here holds a lock across them.
class RestTokenKeyring final : public RestTokenStore {
public:
    explicit RestTokenKeyring(std::shared_ptr<RestTokenStore> fallback);

    std::optional<QByteArray> load(const QString &key) override;
    void save(const QString &key, const QByteArray &value) override;
    void remove(const QString &key) override;

    // The name a token is kept under in the keyring.
    static QString secretName(const QString &key);

private:
    SecretStore *keyring() const;
    void noAnswer();

    const std::shared_ptr<RestTokenStore> m_file;
    std::atomic<bool> m_silent{false};
};

// A token the service gave, remembered with where it came from.
struct CachedToken {
    QString token;
    QUrl root;         // the API root its sign-in named (base_url), resolved
    QDateTime expires; // UTC
};

// Sign-in tokens reused across runs, keyed by the account's name and the
// configured server. A token is handed out only while it is valid (its own
// expiry, less a margin; else 20 hours after it came, as clients of the
// service keep it) and only when its root stays on the server's domain.
class RestTokenCache final {
public:
    using Now = std::function<QDateTime()>;
    explicit RestTokenCache(std::shared_ptr<RestTokenStore> store, Now now = &QDateTime::currentDateTimeUtc);

    // `password` is the one in effect: a token kept under another password
    // is not handed out, so that a changed or mistyped password is checked
    // by a real sign-in. The file holds no password, only a slow digest of
    // it salted with the token.
    std::optional<CachedToken> find(const QString &account, const QUrl &server,
                                    const QString &password = {}) const;
    void keep(const QString &account, const QUrl &server, const CachedToken &token,
              const QString &password = {}) const;
    void forget(const QString &account, const QUrl &server) const;

    // When a token made now runs out: its JWT "exp" less a margin, else 20 hours on.
    QDateTime expiryOf(const QString &token) const;

    // How long before its own expiry a token stops being used.
    static constexpr qint64 kMarginSeconds = 10 * 60;
    // How long a token without an expiry of its own is kept.
    static constexpr qint64 kKeptSeconds = 20 * 3600;

private:
    static QString keyOf(const QString &account, const QUrl &server);
    static QString proofOf(const QString &token, const QString &password);

    const std::shared_ptr<RestTokenStore> m_store;
    const Now m_now;
};
