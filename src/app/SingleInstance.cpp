#include "app/SingleInstance.h"

#include <QDataStream>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <QUrl>

#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

Q_LOGGING_CATEGORY(lcInstance, "lumbra.app.instance")

namespace {
// Sent back once the documents have been read, so the new launch knows they
// arrived before it exits.
constexpr char Acknowledge = '\x06';
constexpr quint32 Magic = 0x4c4d4231; // "LMB1"
} // namespace

SingleInstance::SingleInstance(const QString &serverName, QObject *parent)
    : QObject(parent)
    , m_serverName(serverName)
{
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultServerName()
{
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return QDir(runtime).filePath(u"lumbra.socket"_s);
    return u"lumbra-%1"_s.arg(::getuid());
}

bool SingleInstance::isListening() const
{
    return m_server && m_server->isListening();
}

bool SingleInstance::listen()
{
    if (isListening())
        return true;
    // Ask first: QLocalServer replaces a socket file in its way, even one that
    // a running instance still serves.
    {
        QLocalSocket probe;
        probe.connectToServer(m_serverName);
        if (probe.waitForConnected(1000))
            return false;
    }
    if (!m_server) {
        m_server = new QLocalServer(this);
        m_server->setSocketOptions(QLocalServer::UserAccessOption);
        connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::accept);
    }
    if (!m_server->listen(m_serverName)) {
        // Nobody answered: a socket left over by an instance that crashed.
        QLocalServer::removeServer(m_serverName);
        if (!m_server->listen(m_serverName)) {
            // Lumbra still runs; later launches then open their own instance.
            qCWarning(lcInstance) << "Cannot listen for other launches:" << m_server->errorString();
        }
    }
    return true;
}

bool SingleInstance::handOver(const QStringList &paths, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(m_serverName);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    QByteArray message;
    {
        QDataStream out(&message, QIODevice::WriteOnly);
        out.setVersion(QDataStream::Qt_6_4);
        out << Magic << paths;
    }
    socket.write(message);
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    while (socket.bytesAvailable() < 1) {
        if (!socket.waitForReadyRead(timeoutMs))
            return false;
    }
    char answer = 0;
    return socket.getChar(&answer) && answer == Acknowledge;
}

void SingleInstance::accept()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
        if (socket->bytesAvailable() > 0)
            readFrom(socket);
    }
}

void SingleInstance::readFrom(QLocalSocket *socket)
{
    QDataStream in(socket);
    in.setVersion(QDataStream::Qt_6_4);
    in.startTransaction();
    quint32 magic = 0;
    QStringList paths;
    in >> magic >> paths;
    if (!in.commitTransaction())
        return; // the rest has not arrived yet
    if (magic != Magic) {
        qCWarning(lcInstance) << "Ignoring a message that is not a Lumbra hand-over";
        socket->disconnectFromServer();
        return;
    }
    socket->putChar(Acknowledge);
    socket->flush();
    Q_EMIT documentsReceived(paths);
}

QStringList SingleInstance::documentPaths(const QStringList &arguments, const QString &workingDirectory)
{
    QStringList paths;
    const QDir base(workingDirectory);
    for (const QString &argument : arguments) {
        if (argument.isEmpty())
            continue;
        QString path = argument;
        // Desktops may pass addresses; only local files can be opened.
        if (argument.contains("://"_L1)) {
            const QUrl url(argument);
            if (url.isValid() && !url.scheme().isEmpty()) {
                if (!url.isLocalFile())
                    continue;
                path = url.toLocalFile();
            }
        }
        paths.append(QDir::cleanPath(base.absoluteFilePath(path)));
    }
    return paths;
}
