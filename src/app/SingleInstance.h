#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;
class QLocalSocket;

// One running Lumbra per user. The first instance listens on a local socket;
// a later launch hands its documents over through it and exits.
class SingleInstance final : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const QString &serverName = defaultServerName(), QObject *parent = nullptr);
    ~SingleInstance() override;

    // The user's socket: in the user's runtime folder, or named after the
    // user id in the temporary folder when there is none.
    static QString defaultServerName();

    // Starts serving. False when another instance already serves (a socket
    // left behind by a crashed instance is cleared and taken over).
    bool listen();
    bool isListening() const;

    // Hands the documents to the running instance and waits until it has
    // taken them. False when no instance answered within the time.
    bool handOver(const QStringList &paths, int timeoutMs = 5000);

    // Turns launch arguments into absolute paths (file URIs are accepted).
    static QStringList documentPaths(const QStringList &arguments, const QString &workingDirectory);

Q_SIGNALS:
    // Another launch handed these over (possibly none: it only wants the
    // running instance in front).
    void documentsReceived(const QStringList &paths);

private:
    void accept();
    void readFrom(QLocalSocket *socket);

    QString m_serverName;
    QLocalServer *m_server = nullptr;
};
