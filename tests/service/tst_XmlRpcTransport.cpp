#include "service/ClientJournal.h"
#include "service/XMLRPCMessage.h"
#include "service/XmlRpcTransport.h"
#include "ServiceEmulator.h"
#include "TestMain.h"

#include <QJsonObject>
#include <QTest>
#include <QThread>

#include <memory>

using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;

// The transport alone against the stand-in: what a request gives back is a
// value (the reply or the error); the journal only records it.
class tst_XmlRpcTransport : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(m_emu.start("{}")); }

    void init()
    {
        QVERIFY(m_emu.reset());
        m_journal = std::make_unique<ClientJournal>();
        m_transport = std::make_unique<XmlRpcTransport>(*m_journal);
        m_transport->setServer(m_emu.url().toString());
        m_transport->setTransferTimeout(20s);
    }

    void cleanup()
    {
        m_transport.reset();
        m_journal.reset();
    }

    void errorsAreValues_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QJsonObject>("options");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("reason");
        QTest::newRow("503") << u"http503"_s << QJsonObject{} << 506
                             << u"ServerInfo: the service is unavailable (HTTP 503)"_s;
        QTest::newRow("500") << u"http500"_s << QJsonObject{} << 502
                             << u"ServerInfo: the service answered with HTTP status 500"_s;
        QTest::newRow("fault") << u"fault"_s << QJsonObject{{u"code"_s, 429}, {u"text"_s, u"429 Slow down"_s}}
                               << 429 << u"ServerInfo: 429 Slow down"_s;
        QTest::newRow("429") << u"http429"_s << QJsonObject{} << 429
                             << u"ServerInfo: the service asks to slow down (HTTP 429)"_s;
        QTest::newRow("redirect loop")
            << u"redirectloop"_s << QJsonObject{} << 502 << u"ServerInfo: too many redirects (more than 5)"_s;
        QTest::newRow("empty body") << u"empty"_s << QJsonObject{} << 501
                                    << u"ServerInfo: the service sent an empty reply"_s;
        QTest::newRow("connection dropped")
            << u"close"_s << QJsonObject{} << 504 << u"ServerInfo: Server connection has been lost"_s;
    }

    void errorsAreValues()
    {
        QFETCH(QString, mode);
        QFETCH(QJsonObject, options);
        QVERIFY(m_emu.fail(mode, u"ServerInfo"_s, -1, options));
        const ServiceResult<Variant> failed = m_transport->call(XMLRPC::Message(u"ServerInfo"_s));
        QTEST(failed.error.code, "code");
        QTEST(failed.error.reason, "reason");
        QVERIFY(!failed.value.isValid());
        QVERIFY(!m_transport->busy());
        // Once the service is well again, the next request is answered with
        // no error left over.
        QVERIFY(m_emu.reset());
        const ServiceResult<Variant> answered = m_transport->call(XMLRPC::Message(u"ServerInfo"_s));
        QVERIFY2(answered.ok(), qPrintable(answered.error.text()));
        QVERIFY(answered.value.value<Dictionary>().contains(u"xmlrpc_version"_s));
    }

    // A body that trickles on for ever ends at the time limit of the whole
    // exchange; one without a length ends at the size cap, counted as it
    // arrives. Neither is sent again, and the thread's next request is
    // answered at once, not queued behind what the server still sends.
    void endlessBodyEndsBounded_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("reason");
        QTest::newRow("a byte every 0.2 s")
            << u"trickle"_s << 509 << u"ServerInfo: the service did not finish its answer within 1.5 s"_s;
        QTest::newRow("1 GiB without a length")
            << u"chunked"_s << 500 << u"ServerInfo: the reply is larger than 1048576 bytes"_s;
    }
    void endlessBodyEndsBounded()
    {
        QFETCH(QString, mode);
        QVERIFY(m_emu.fail(mode, u"ServerInfo"_s, 1, {{u"interval"_s, 0.2}}));
        m_transport->setTransferTimeout(1s);
        m_transport->setTimeLimit(mode == "trickle"_L1 ? 1500ms
                                                       : 60000ms); // the huge body ends at the cap first
        m_transport->setMaxReplySize(1 << 20);
        const ServiceResult<Variant> failed = m_transport->call(XMLRPC::Message(u"ServerInfo"_s));
        QTEST(failed.error.code, "code");
        QTEST(failed.error.reason, "reason");
        QTest::qWait(1200); // time for a request sent again to arrive
        QCOMPARE(m_emu.methods(), QStringList{u"ServerInfo"_s});
        const ServiceResult<Variant> next = m_transport->call(XMLRPC::Message(u"ServerInfo"_s));
        QVERIFY2(next.ok(), qPrintable(next.error.text()));
    }

    // A request that gets no answer in time fails with the reason, once.
    void silentServerIsAskedOnce()
    {
        QVERIFY(m_emu.fail(u"stall"_s, u"ServerInfo"_s, 1, {{u"seconds"_s, 3}}));
        m_transport->setTransferTimeout(500ms);
        const ServiceResult<Variant> failed = m_transport->call(XMLRPC::Message(u"ServerInfo"_s));
        QCOMPARE(failed.error.code, 509);
        QCOMPARE(failed.error.reason, u"ServerInfo: the service sent nothing for 0.5 s"_s);
        QTest::qWait(3000); // past the stall: a request sent again would be recorded
        QCOMPARE(m_emu.methods(), QStringList{u"ServerInfo"_s});
    }

    // Someone else's failure entry in the journal while a request waits is
    // not that request's failure: it still gets its reply.
    void foreignJournalEntriesDoNotEndTheWait()
    {
        QVERIFY(m_emu.fail(u"stall"_s, u"ServerInfo"_s, 1, {{u"seconds"_s, 0.5}}));
        ServiceResult<Variant> reply;
        std::unique_ptr<QThread> worker(
            QThread::create([&] { reply = m_transport->call(XMLRPC::Message(u"ServerInfo"_s)); }));
        worker->start();
        QTRY_VERIFY(m_transport->busy());
        m_journal->append(u"ERROR:CONN"_s);
        QVERIFY(worker->wait(20000));
        QVERIFY2(reply.ok(), qPrintable(reply.error.text()));
        QVERIFY(reply.value.value<Dictionary>().contains(u"xmlrpc_version"_s));
    }

    // A reply handler may refuse a normal reply (a refused login): the
    // request then fails with its reason, recorded once in the journal.
    void replyHandlerCanFailTheRequest()
    {
        m_transport->setReplyHandler([this](const QString &method, const Variant &) {
            m_transport->fail(401, method + u" refused"_s);
        });
        const ServiceResult<Variant> reply = m_transport->call(XMLRPC::Message(u"ServerInfo"_s));
        QCOMPARE(reply.error.code, 401);
        QCOMPARE(reply.error.reason, u"ServerInfo: ServerInfo refused"_s);
        QCOMPARE(m_journal->entries(), QStringList{u"ERROR:CONN"_s});
    }

private:
    ServiceEmulator m_emu;
    std::unique_ptr<ClientJournal> m_journal;
    std::unique_ptr<XmlRpcTransport> m_transport;
};

LUMBRA_TEST_MAIN(tst_XmlRpcTransport)
#include "tst_XmlRpcTransport.moc"
