#include "app/SingleInstance.h"
#include "TestMain.h"

#include <QDir>
#include <QLocalServer>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

// The running instance serves on its own thread here, as it would in its own
// process, so the new launch's blocking hand-over has someone to answer it.
class tst_SingleInstance final : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void secondLaunchHandsOverItsDocuments();
    void leftoverSocketIsTakenOver();
    void noRunningInstance();
    void documentPaths();

private:
    QString m_name;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void tst_SingleInstance::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_name = m_dir->filePath(u"lumbra.socket"_s);
}

void tst_SingleInstance::cleanup()
{
    m_dir.reset();
}

void tst_SingleInstance::secondLaunchHandsOverItsDocuments()
{
    QThread thread;
    auto *running = new SingleInstance(m_name);
    running->moveToThread(&thread);
    connect(&thread, &QThread::finished, running, &QObject::deleteLater);
    QList<QStringList> received;
    connect(
        running, &SingleInstance::documentsReceived, this,
        [&received](const QStringList &paths) { received.append(paths); }, Qt::QueuedConnection);
    thread.start();
    const auto stop = qScopeGuard([&thread] {
        thread.quit();
        thread.wait(5000);
    });
    bool serving = false;
    QMetaObject::invokeMethod(running, &SingleInstance::listen, Qt::BlockingQueuedConnection, &serving);
    QVERIFY(serving);

    SingleInstance second(m_name);
    QVERIFY(!second.listen()); // someone serves already
    const QStringList files{u"/films/a b.mkv"_s, u"/films/Café/"_s};
    QVERIFY(second.handOver(files));
    QVERIFY(second.handOver({})); // a bare launch only brings the first one forward

    QTRY_COMPARE(received.size(), 2);
    QCOMPARE(received.at(0), files);
    QVERIFY(received.at(1).isEmpty());
}

void tst_SingleInstance::leftoverSocketIsTakenOver()
{
    // A socket file nobody listens on, as a crashed instance leaves it.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    QVERIFY(fd >= 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(m_name);
    QVERIFY(size_t(path.size()) < sizeof(address.sun_path));
    memcpy(address.sun_path, path.constData(), size_t(path.size()));
    QCOMPARE(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)), 0);
    ::close(fd);
    QVERIFY(QFileInfo::exists(m_name));

    SingleInstance instance(m_name);
    QVERIFY(instance.listen());
    QVERIFY(instance.isListening());
}

void tst_SingleInstance::noRunningInstance()
{
    SingleInstance lonely(m_name);
    QVERIFY(!lonely.handOver({u"/a.mkv"_s}, 500));
}

void tst_SingleInstance::documentPaths()
{
    const QStringList args{u"a.mkv"_s,
                           u"../b/c.srt"_s,
                           u"/abs/d.avi"_s,
                           u"file:///films/e%20f.mkv"_s,
                           u"https://example.org/x"_s,
                           QString()};
    QCOMPARE(SingleInstance::documentPaths(args, u"/home/user/videos"_s),
             (QStringList{u"/home/user/videos/a.mkv"_s, u"/home/user/b/c.srt"_s, u"/abs/d.avi"_s,
                          u"/films/e f.mkv"_s}));
}

LUMBRA_TEST_MAIN(tst_SingleInstance)
#include "tst_SingleInstance.moc"
