#include "ServiceEmulator.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;

ServiceEmulator::~ServiceEmulator()
{
    stop();
}

bool ServiceEmulator::start(const QByteArray &catalogJson)
{
    stop();
    const QString catalog = m_dir.filePath(u"catalog.json"_s);
    QFile file(catalog);
    if (!m_dir.isValid() || !file.open(QIODevice::WriteOnly) ||
        file.write(catalogJson) != catalogJson.size()) {
        qWarning("ServiceEmulator: cannot write the catalogue");
        return false;
    }
    file.close();

    const QString script = QStringLiteral(LUMBRA_SOURCE_DIR) + u"/tests/service-emulator/"_s +
                           (m_api == Api::Rest ? u"rest_emulator.py"_s : u"emulator.py"_s);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // --watch-stdin: the server ends when our end of its stdin closes, so a
    // crashed test leaves no server behind.
    m_process.start(u"python3"_s,
                    {u"-u"_s, script, u"--catalog"_s, catalog, u"--port"_s, u"0"_s, u"--watch-stdin"_s});
    if (!m_process.waitForStarted(10000)) {
        qWarning("ServiceEmulator: python3 did not start");
        return false;
    }
    // The script prints "listening http://127.0.0.1:PORT/xml-rpc" once it accepts connections.
    static const QRegularExpression listening(u"listening http://127\\.0\\.0\\.1:(\\d+)/"_s);
    QByteArray output;
    const QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired() && m_process.state() == QProcess::Running) {
        if (!m_process.canReadLine() && !m_process.waitForReadyRead(int(deadline.remainingTime())))
            continue;
        output += m_process.readAll();
        const auto match = listening.match(QString::fromUtf8(output));
        if (match.hasMatch()) {
            m_port = match.captured(1).toUShort();
            return true;
        }
    }
    qWarning("ServiceEmulator: the stand-in did not come up: %s", output.constData());
    stop();
    return false;
}

void ServiceEmulator::stop()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    m_port = 0;
}

QUrl ServiceEmulator::url() const
{
    return QUrl(baseUrl() + (m_api == Api::Rest ? u"/api/v1"_s : u"/xml-rpc"_s));
}

QString ServiceEmulator::baseUrl() const
{
    return u"http://127.0.0.1:%1"_s.arg(m_port);
}

bool ServiceEmulator::fail(const QString &mode, const QString &on, int times, const QJsonObject &options)
{
    QJsonObject rule = options;
    rule.insert(u"mode"_s, mode);
    if (!on.isEmpty())
        rule.insert(u"on"_s, on);
    if (times >= 0)
        rule.insert(u"times"_s, times);
    return !request("POST", u"/_fail"_s, QJsonDocument(rule).toJson(QJsonDocument::Compact)).isNull();
}

bool ServiceEmulator::reset()
{
    return !request("POST", u"/_reset"_s).isNull();
}

bool ServiceEmulator::setCatalog(const QByteArray &catalogJson)
{
    return !request("POST", u"/_catalog"_s, catalogJson).isNull();
}

QJsonArray ServiceEmulator::calls() const
{
    return QJsonDocument::fromJson(request("GET", u"/_calls"_s)).array();
}

QStringList ServiceEmulator::methods() const
{
    QStringList names;
    const QJsonArray all = calls();
    for (const QJsonValue &call : all) {
        if (m_api == Api::Rest)
            names << call[u"endpoint"_s].toString();
        else if (call[u"kind"_s].toString() == "xmlrpc"_L1)
            names << call[u"method"_s].toString();
    }
    return names;
}

QStringList ServiceEmulator::filesAskedFor() const
{
    QStringList ids;
    const QJsonArray all = calls();
    for (const QJsonValue &call : all) {
        const QJsonArray params = call[u"params"_s].toArray();
        if (call[u"kind"_s].toString() == "download"_L1)
            ids << params.at(0).toString();
        else if (call[u"method"_s].toString() == "DownloadSubtitles"_L1)
            ids << params.at(1).toVariant().toStringList();
    }
    return ids;
}

// One control request, waited for on a private event loop. A null result means
// the request failed; a successful one is never null.
QByteArray ServiceEmulator::request(const QByteArray &verb, const QString &path, const QByteArray &body) const
{
    if (m_port == 0)
        return {};
    QNetworkAccessManager manager;
    QNetworkRequest req(QUrl(baseUrl() + path));
    req.setHeader(QNetworkRequest::ContentTypeHeader, u"application/json"_s);
    req.setTransferTimeout(10000);
    QNetworkReply *reply = manager.sendCustomRequest(req, verb, body);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    QByteArray result;
    if (reply->error() == QNetworkReply::NoError) {
        result = reply->readAll();
        if (result.isNull())
            result = QByteArray(""); // empty but not null: the request worked
    } else
        qWarning("ServiceEmulator: %s %s failed: %s", verb.constData(), qPrintable(path),
                 qPrintable(reply->errorString()));
    delete reply;
    return result;
}
