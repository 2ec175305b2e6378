#include "service/OSClient.h"

#include "service/ClientJournal.h"
#include "service/HttpExchange.h"
#include "service/XMLRPCMessage.h"
#include "ServiceEmulator.h"
#include "TestMain.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <QThread>

#include <memory>

using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;

namespace {

XMLRPC::Message logIn()
{
    XMLRPC::Message m(u"LogIn"_s);
    m.AddParam_String(u"alice"_s);
    m.AddParam_String(u"secret"_s);
    m.AddParam_String(u"en"_s);
    m.AddParam_String(u"Lumbra 0.1"_s);
    return m;
}

XMLRPC::Message serverInfo()
{
    return XMLRPC::Message(u"ServerInfo"_s);
}

// SendReq as the windows use it: on a worker thread, while the main thread
// reads the journal, as the refresh timer does.
bool sendFromWorker(OSClient &client, const XMLRPC::Message &message)
{
    bool answered = false;
    std::unique_ptr<QThread> worker(QThread::create([&] { answered = client.SendReq(message); }));
    worker->start();
    while (!worker->wait(5)) {
        (void)client.busy();
        (void)client.status();
    }
    return answered;
}

} // namespace

class tst_OSClient : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(m_emu.start(R"({"users": {"alice": "secret"}})")); }

    void init()
    {
        QVERIFY(m_emu.reset());
        m_client = std::make_unique<OSClient>();
        m_client->setRPCServer(m_emu.url().toString());
        m_client->transport().setTransferTimeout(20s);
    }

    void portRules_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<int>("overridePort");
        QTest::addColumn<bool>("secure");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("url");

        QTest::newRow("https in capitals") << u"HTTPS://api.example.invalid/xml-rpc"_s << 0 << true << 443
                                           << u"https://api.example.invalid/xml-rpc"_s;
        QTest::newRow("plain http") << u"http://api.example.invalid/xml-rpc"_s << 0 << false << 80
                                    << u"http://api.example.invalid/xml-rpc"_s;
        QTest::newRow("override wins over https") << u"https://api.example.invalid/xml-rpc"_s << 8080 << true
                                                  << 8080 << u"https://api.example.invalid:8080/xml-rpc"_s;
        QTest::newRow("override wins over a port in the url")
            << u"http://api.example.invalid:81/xml-rpc"_s << 8080 << false << 8080
            << u"http://api.example.invalid:8080/xml-rpc"_s;
        QTest::newRow("port in the url without override")
            << u"http://127.0.0.1:4321/xml-rpc"_s << 0 << false << 80 << u"http://127.0.0.1:4321/xml-rpc"_s;
    }

    void portRules()
    {
        QFETCH(QString, server);
        QFETCH(int, overridePort);
        OSClient client;
        client.setRPCServer(server);
        client.setRPCPort(overridePort);
        QTEST(client.transport().isSecure(), "secure");
        QTEST(client.RPCPort(), "port");
        QTEST(client.transport().requestUrl().toString(), "url");
    }

    void overridePortReachesTheServer()
    {
        m_client->setRPCServer(u"http://127.0.0.1/xml-rpc"_s);
        m_client->setRPCPort(m_emu.port());
        QVERIFY(sendFromWorker(*m_client, serverInfo()));
        QCOMPARE(m_emu.methods(), QStringList{u"ServerInfo"_s});
    }

    // A capital "HTTPS" really speaks TLS: against the plain-HTTP stand-in the
    // handshake fails before any request reaches it.
    void capitalHttpsSpeaksTls()
    {
        m_client->setRPCServer(u"HTTPS://127.0.0.1:%1/xml-rpc"_s.arg(m_emu.port()));
        QVERIFY(!sendFromWorker(*m_client, serverInfo()));
        QCOMPARE(m_client->transport().lastError().code, 505);
        QVERIFY2(m_client->transport().lastError().reason.startsWith("Unknown socket error #"_L1),
                 qPrintable(m_client->transport().lastError().reason));
        QCOMPARE(m_client->status(), QStringList{u"ERROR:CONN"_s});
        QVERIFY(m_emu.methods().isEmpty());
    }

    void requestAndReplyOnSuccess()
    {
        QVERIFY(sendFromWorker(*m_client, logIn()));
        const QJsonArray calls = m_emu.calls();
        QCOMPARE(calls.size(), 1);
        const QJsonObject call = calls[0].toObject();
        QCOMPARE(call[u"method"_s].toString(), u"LogIn"_s);
        QCOMPARE(call[u"params"_s].toArray(),
                 (QJsonArray{u"alice"_s, u"secret"_s, u"en"_s, u"Lumbra 0.1"_s}));
        QCOMPARE(call[u"body"_s].toString(), m_client->xmlreq());
        const QJsonObject headers = call[u"headers"_s].toObject();
        QVERIFY2(headers[u"user-agent"_s].toString().startsWith("Lumbra XMLRPC Client 2.0 (Qt "_L1),
                 qPrintable(headers[u"user-agent"_s].toString()));
        QCOMPARE(headers[u"accept-encoding"_s].toString(), u"gzip"_s);
        QCOMPARE(headers[u"content-type"_s].toString(), u"text/xml"_s);

        QVERIFY(!m_client->busy());
        QCOMPARE(m_client->status(), QStringList{u"LOGIN:ID"_s});
        QCOMPARE(m_client->transport().lastError().code, 0);
        QCOMPARE(m_client->message().MethodName, u"LogIn"_s);
        QVERIFY(!m_client->isGzipped());
        QVERIFY(m_client->xmlresp().contains("<methodResponse>"_L1));
        const Dictionary reply = m_client->transport().lastReply().value<Dictionary>();
        QCOMPARE(reply.value(u"status"_s).toString(), u"200 OK"_s);
        QVERIFY(!reply.value(u"token"_s).toString().isEmpty());
    }

    void failures_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QJsonObject>("options");
        QTest::addColumn<QStringList>("journal");
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("errorText");
        QTest::addColumn<int>("failure"); // the code the request's error value carries

        const QStringList conn{u"ERROR:CONN"_s};
        const QStringList httpError{u"ERROR:CONN"_s, u"ERROR:LogIn"_s};
        QTest::newRow("503") << u"http503"_s << QJsonObject{}
                             << QStringList{u"ERROR: Service is unavailable trying LogIn"_s} << 0 << QString()
                             << 506;
        QTest::newRow("500") << u"http500"_s << QJsonObject{} << httpError << 502
                             << u"the service answered with HTTP status 500"_s << 502;
        // The service's own status, so that it is worded as "slow down".
        QTest::newRow("429") << u"http429"_s << QJsonObject{} << httpError << 429
                             << u"the service asks to slow down (HTTP 429)"_s << 429;
        QTest::newRow("302 without Location")
            << u"redirect"_s << QJsonObject{{u"location"_s, u""_s}} << httpError << 502
            << u"the service answered with HTTP status 302"_s << 502;
        QTest::newRow("200 empty body") << u"empty"_s << QJsonObject{} << conn << 501 << QString() << 501;
        QTest::newRow("malformed XML") << u"malformed"_s << QJsonObject{} << conn << 500 << QString() << 500;
        QTest::newRow("not a methodResponse")
            << u"notrpc"_s << QJsonObject{} << conn << 500 << QString() << 500;
        QTest::newRow("fault 401") << u"fault"_s
                                   << QJsonObject{{u"code"_s, 401}, {u"text"_s, u"401 Unauthorized"_s}}
                                   << conn << 401 << u"401 Unauthorized"_s << 401;
        // Fault codes beyond an int are clamped; one that is no number still fails.
        const auto oddFault = [&](const char *name, const char *code, int error) {
            QTest::newRow(name) << u"fault"_s
                                << QJsonObject{{u"code"_s, QString::fromLatin1(code)}, {u"text"_s, u"odd"_s}}
                                << conn << error << u"odd"_s << error;
        };
        oddFault("fault code 1e10", "1e10", std::numeric_limits<int>::max());
        oddFault("fault code -1e11", "-1e11", std::numeric_limits<int>::min());
        oddFault("fault code inf", "inf", std::numeric_limits<int>::max());
        oddFault("fault code nan", "nan", 500);
        oddFault("fault code 0", "0", 500);
        QTest::newRow("connection dropped")
            << u"close"_s << QJsonObject{} << conn << 504 << u"Server connection has been lost"_s << 504;
        QTest::newRow("redirect loop") << u"redirectloop"_s << QJsonObject{} << conn << 502
                                       << u"too many redirects (more than 5)"_s << 502;
    }

    // Every failure ends the wait with false and the right journal, leaves the
    // client idle, and the next request on the same client works again.
    void failures()
    {
        QFETCH(QString, mode);
        QFETCH(QJsonObject, options);
        QVERIFY(m_emu.fail(mode, u"LogIn"_s, -1, options));

        QVERIFY(!sendFromWorker(*m_client, logIn()));
        QTEST(m_client->status(), "journal");
        QTEST(m_client->transport().lastError().code, "error");
        QTEST(m_client->transport().lastError().reason, "errorText");
        QTEST(m_client->transport().lastFailure().code, "failure");
        QVERIFY(!m_client->transport().lastFailure().reason.isEmpty());
        QVERIFY(!m_client->busy());
        QVERIFY(!m_client->transport().lastReply().isValid());

        m_client->journal().clear();
        QVERIFY(sendFromWorker(*m_client, serverInfo()));
        QVERIFY(m_client->status().isEmpty());
        QVERIFY(m_client->transport().lastFailure().ok());
    }

    void redirectLoopStopsAfterFiveRedirects()
    {
        QVERIFY(m_emu.fail(u"redirectloop"_s, u"LogIn"_s));
        QVERIFY(!sendFromWorker(*m_client, logIn()));
        // The first post and five redirects followed; the sixth is refused.
        QCOMPARE(m_emu.methods().size(), 6);
    }

    void redirectIsFollowedWithTheSameBody_data()
    {
        QTest::addColumn<int>("code");
        QTest::newRow("301") << 301;
        QTest::newRow("302") << 302;
        QTest::newRow("307") << 307;
    }

    void redirectIsFollowedWithTheSameBody()
    {
        QFETCH(int, code);
        QVERIFY(m_emu.fail(u"redirect"_s, u"LogIn"_s, 1, {{u"code"_s, code}}));
        QVERIFY(sendFromWorker(*m_client, logIn()));

        const QJsonArray calls = m_emu.calls();
        QCOMPARE(calls.size(), 2);
        QCOMPARE(calls[1][u"path"_s].toString(), u"/_redirected/xml-rpc"_s);
        QCOMPARE(calls[1][u"body"_s].toString(), calls[0][u"body"_s].toString());
        QCOMPARE(calls[1][u"method"_s].toString(), u"LogIn"_s);
        // The caller waited for the second reply: its value is the one handled.
        QVERIFY(
            !m_client->transport().lastReply().value<Dictionary>().value(u"token"_s).toString().isEmpty());
        QCOMPARE(m_client->status(), QStringList{u"LOGIN:ID"_s}); // the applied login reply
    }

    void gzipReplyThenPlainReply()
    {
        QVERIFY(m_emu.fail(u"gzip"_s, u"ServerInfo"_s, 1));
        QVERIFY(sendFromWorker(*m_client, serverInfo()));
        QVERIFY(m_client->isGzipped());
        QVERIFY(m_client->xmlresp().startsWith("<?xml"_L1));
        QVERIFY(m_client->transport().lastReply().value<Dictionary>().contains(u"xmlrpc_version"_s));

        QVERIFY(sendFromWorker(*m_client, logIn()));
        QVERIFY(!m_client->isGzipped());
        QVERIFY(m_client->transport().lastReply().value<Dictionary>().contains(u"token"_s));
        QCOMPARE(m_client->status(), QStringList{u"LOGIN:ID"_s});
    }

    // Replies over the size limit fail before they fill memory, whether they
    // arrive large or unpack large.
    void replySizeLimit_data()
    {
        QTest::addColumn<bool>("gzipped");
        QTest::addColumn<QString>("errorText");
        QTest::newRow("plain") << false << u"the reply is larger than %1 bytes"_s;
        QTest::newRow("gzip unpacks too large")
            << true << u"Reply could not be unpacked: unpacked content exceeds %1 bytes"_s;
    }

    void replySizeLimit()
    {
        QFETCH(bool, gzipped);
        QFETCH(QString, errorText);
        QVERIFY(sendFromWorker(*m_client, serverInfo()));
        const qint64 limit = m_client->xmlresp().toUtf8().size() / 2; // the gzip form is smaller still
        m_client->transport().setMaxReplySize(limit);
        if (gzipped)
            QVERIFY(m_emu.fail(u"gzip"_s, u"ServerInfo"_s, 1));

        QVERIFY(!sendFromWorker(*m_client, serverInfo()));
        QCOMPARE(m_client->status(), QStringList{u"ERROR:CONN"_s});
        QCOMPARE(m_client->transport().lastError().code, 500);
        QCOMPARE(m_client->transport().lastError().reason, errorText.arg(limit));
    }

    void stalledServerTimesOut()
    {
        QVERIFY(m_emu.fail(u"stall"_s, u"ServerInfo"_s, 1, {{u"seconds"_s, 5}}));
        m_client->transport().setTransferTimeout(300ms);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!sendFromWorker(*m_client, serverInfo()));
        QVERIFY(clock.elapsed() < 4500); // ended by the client, not by the server's late answer
        QCOMPARE(m_client->status(), QStringList{u"ERROR:CONN"_s});
        QCOMPARE(m_client->transport().lastError().code, 509);
        QCOMPARE(m_client->transport().lastError().reason, u"the service sent nothing for 0.3 s"_s);
        QVERIFY(!m_client->busy());
    }

    void nameResolutionFailure()
    {
        m_client->setRPCServer(u"http://lumbra-test.invalid/xml-rpc"_s);
        QVERIFY(!sendFromWorker(*m_client, serverInfo()));
        QCOMPARE(m_client->status(), QStringList{u"ERROR:CONN"_s});
        QCOMPARE(m_client->transport().lastError().code, 503);
        QCOMPARE(m_client->transport().lastError().reason, u"Could not find server at specified location"_s);
    }

    void connectionRefused()
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const quint16 freePort = probe.serverPort();
        probe.close();
        m_client->setRPCServer(u"http://127.0.0.1:%1/xml-rpc"_s.arg(freePort));
        QVERIFY(!sendFromWorker(*m_client, serverInfo()));
        QCOMPARE(m_client->transport().lastError().code, 508);
        QCOMPARE(m_client->transport().lastError().reason, u"Server refused the connection"_s);
    }

    void socketFailureTable_data()
    {
        QTest::addColumn<int>("qtError");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("text");
        QTest::newRow("host not found") << int(QNetworkReply::HostNotFoundError) << 503
                                        << u"Could not find server at specified location"_s;
        QTest::newRow("remote closed")
            << int(QNetworkReply::RemoteHostClosedError) << 504 << u"Server connection has been lost"_s;
        QTest::newRow("refused") << int(QNetworkReply::ConnectionRefusedError) << 508
                                 << u"Server refused the connection"_s;
        QTest::newRow("network down") << int(QNetworkReply::TemporaryNetworkFailureError) << 504
                                      << u"Server connection has been lost"_s;
        QTest::newRow("no network session") << int(QNetworkReply::NetworkSessionFailedError) << 505
                                            << u"Socket drivers could not be initialized"_s;
        QTest::newRow("tls handshake")
            << int(QNetworkReply::SslHandshakeFailedError) << 505 << u"Unknown socket error #6"_s;
        QTest::newRow("proxy refused")
            << int(QNetworkReply::ProxyConnectionRefusedError) << 505 << u"Unknown socket error #101"_s;
    }

    void socketFailureTable()
    {
        QFETCH(int, qtError);
        const ServiceError failure = HttpReply::networkFailure(QNetworkReply::NetworkError(qtError));
        QTEST(failure.code, "number");
        QTEST(failure.reason, "text");
    }

    // SendMessage returns at once; the reply is handled when the posting
    // thread's event loop runs.
    void sendMessageReturnsAtOnce()
    {
        QVERIFY(m_emu.fail(u"stall"_s, u"ServerInfo"_s, 1, {{u"seconds"_s, 0.5}}));
        QSignalSpy changes(m_client.get(), &OSClient::journalChanged);
        m_client->SendMessage(serverInfo());
        QVERIFY(m_client->busy());
        QTRY_VERIFY_WITH_TIMEOUT(!m_client->busy(), 10000);
        QVERIFY(m_client->transport().lastReply().value<Dictionary>().contains(u"xmlrpc_version"_s));
        QVERIFY(changes.size() >= 2);
    }

    // A front end without worker threads waits on its main thread.
    void sendReqOnTheMainThread()
    {
        QVERIFY(m_emu.fail(u"gzip"_s, u"ServerInfo"_s, 1));
        QVERIFY(m_client->SendReq(serverInfo()));
        QVERIFY(m_client->isGzipped());
        QVERIFY(m_client->SendReq(logIn()));
        QVERIFY(m_client->transport().lastReply().value<Dictionary>().contains(u"token"_s));
    }

    void cleanup() { m_client.reset(); }

private:
    ServiceEmulator m_emu;
    std::unique_ptr<OSClient> m_client;
};

LUMBRA_TEST_MAIN(tst_OSClient)
#include "tst_OSClient.moc"
