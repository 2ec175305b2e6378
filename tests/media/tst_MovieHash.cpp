#include "common/DesktopHooks.h"
#include "media/MovieHash.h"
#include "TestMain.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

// Keeps the messages the core reports instead of printing them.
class RecordingHooks final : public DesktopHooks {
public:
    void showError(const QString &text) override { errors.append(text); }
    QStringList errors;
};

enum class Fill { Zeros, Ones, Ramp };

// Writes `size` bytes; zero files are made sparse so gigabytes cost nothing.
bool makeFile(const QString &path, qint64 size, Fill fill)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    if (fill == Fill::Zeros)
        return f.resize(size);
    QByteArray bytes(size, '\xff');
    if (fill == Fill::Ramp) {
        for (qint64 i = 0; i < size; ++i)
            bytes[i] = char(i % 256);
    }
    return f.write(bytes) == size;
}

} // namespace

Q_DECLARE_METATYPE(Fill)

class tst_MovieHash : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    RecordingHooks *m_hooks = nullptr;

    QString path(const QString &name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        auto hooks = std::make_unique<RecordingHooks>();
        m_hooks = hooks.get();
        installDesktopHooks(std::move(hooks));
    }
    void init() { m_hooks->errors.clear(); }

    void movieHash_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<Fill>("fill");
        QTest::addColumn<QString>("hash");
        // Check values shared by independent implementations of the service's hash.
        QTest::newRow("128 KiB of zeros") << qint64(131072) << Fill::Zeros << u"0000000000020000"_s;
        QTest::newRow("20 MiB of zeros") << qint64(20 << 20) << Fill::Zeros << u"0000000001400000"_s;
        QTest::newRow("4 GiB and more, sparse") << qint64(4295033890) << Fill::Zeros << u"0000000100010422"_s;
        QTest::newRow("128 KiB of 0xFF, sum wraps") << qint64(131072) << Fill::Ones << u"000000000001c000"_s;
        QTest::newRow("1 MiB ramp, little-endian words")
            << qint64(1 << 20) << Fill::Ramp << u"a0601fdf9f6f0000"_s;
        // The 64 KiB boundary: one byte short has no hash; exactly 64 KiB counts
        // the same chunk twice (8192 words of 2^64-1, twice, plus 65536).
        QTest::newRow("65,535 bytes") << qint64(65535) << Fill::Ones << QString();
        QTest::newRow("65,536 bytes") << qint64(65536) << Fill::Ones << u"000000000000c000"_s;
        QTest::newRow("empty file") << qint64(0) << Fill::Zeros << QString();
    }
    void movieHash()
    {
        QFETCH(qint64, size);
        QFETCH(Fill, fill);
        QFETCH(QString, hash);
        const QString file = path(u"video.avi"_s);
        QVERIFY(makeFile(file, size, fill));
        QCOMPARE(XMLRPC::getMoviehash(file), hash);
        const XMLRPC::MovieHashResult r = XMLRPC::computeMovieHash(file);
        QVERIFY(r.ok());
        QCOMPARE(r.size, size);
        QCOMPARE(r.hash, hash);
        QVERIFY(m_hooks->errors.isEmpty());
        QFile::remove(file);
    }

    void subHash_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("abc") << QByteArray("abc");
        QTest::newRow("larger than one read block") << QByteArray(200000, 'x') + QByteArray("tail");
    }
    void subHash()
    {
        QFETCH(QByteArray, content);
        const QString file = path(u"sub.srt"_s);
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
        f.close();
        const QString hash = XMLRPC::getSubHash(file);
        QCOMPARE(hash,
                 QString::fromLatin1(QCryptographicHash::hash(content, QCryptographicHash::Md5).toHex()));
        QCOMPARE(hash.size(), 32);
        if (content == "abc")
            QCOMPARE(hash, u"900150983cd24fb0d6963f7d28e17f72"_s);
        QVERIFY(m_hooks->errors.isEmpty());
    }

    void absentOrMissingFileGivesEmptyTextSilently()
    {
        for (const QString &p : {QString(), path(u"missing.avi"_s), path(u"missing/inside.avi"_s)}) {
            QCOMPARE(XMLRPC::getMoviehash(p), QString());
            QCOMPARE(XMLRPC::getSubHash(p), QString());
        }
        QVERIFY(m_hooks->errors.isEmpty());
        const XMLRPC::MovieHashResult r = XMLRPC::computeMovieHash(path(u"missing.avi"_s));
        QVERIFY(!r.ok());
        QCOMPARE(r.size, -1);
        QVERIFY(r.error.contains(path(u"missing.avi"_s)));
    }

    // A folder exists but cannot be read as a file (this holds even for root,
    // unlike a file without read permission).
    void unreadableFileIsReported()
    {
        const QString folder = path(u"folder.avi"_s);
        QVERIFY(QDir().mkpath(folder));
        QCOMPARE(XMLRPC::getMoviehash(folder), QString());
        QCOMPARE(m_hooks->errors.size(), 1);
        QVERIFY2(m_hooks->errors.first().contains(folder), qPrintable(m_hooks->errors.first()));
        QCOMPARE(XMLRPC::getSubHash(folder), u"Error"_s);
        QCOMPARE(m_hooks->errors.size(), 2);
        QVERIFY(m_hooks->errors.last().contains(folder));
    }
};

LUMBRA_TEST_MAIN(tst_MovieHash)
#include "tst_MovieHash.moc"
