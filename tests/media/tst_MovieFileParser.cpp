#include "media/FileTypes.h"
#include "media/IntakeTarget.h"
#include "media/MovieFileParser.h"
#include "TestMain.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <condition_variable>
#include <mutex>

#include <unistd.h>

using namespace Qt::Literals::StringLiterals;
using Mode = MovieFileParser::Mode;

namespace {

// Stands in for a window: counts intake items, remembers seeded folders and
// records each batch handed to the client.
class FakeWindow final : public IntakeTarget {
public:
    void intakeItemAdded() override
    {
        std::lock_guard lock(m_mutex);
        ++Tcounter;
    }
    void intakeItemRemoved() override
    {
        {
            std::lock_guard lock(m_mutex);
            --Tcounter;
        }
        m_changed.notify_all();
    }
    bool claimFolder(const QString &nativePath) override
    {
        std::lock_guard lock(m_mutex);
        if (dirList.contains(nativePath))
            return false;
        dirList.append(nativePath);
        return true;
    }
    QString extensionList() const override { return FileTypes::intakeExtensionList(); }
    void processFiles(const QStringList &paths) override
    {
        std::lock_guard lock(m_mutex);
        batches.append(paths);
    }
    void notTakenIn(const QStringList &shownPaths, const QString &) override
    {
        std::lock_guard lock(m_mutex);
        notTaken += shownPaths;
    }

    bool waitUntilIdle()
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(20), [this] { return Tcounter == 0; });
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    int Tcounter = 0;
    QStringList dirList;
    QList<QStringList> batches;
    QStringList notTaken;
};

void touch(const QString &root, const QString &relative)
{
    const QString path = root + u'/' + relative;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

QStringList under(const QString &root, const QStringList &relatives)
{
    QStringList out;
    for (const QString &r : relatives)
        out.append(root + u'/' + r);
    return out;
}

} // namespace

class TestMovieFileParser final : public QObject {
    Q_OBJECT

private slots:
    void init();
    void singleFileSeed_data();
    void singleFileSeed();
    void folderSeedHandsOnEveryFileOnce();
    void folderIsSeededOncePerWindow();
    void countsItemsFromCreationToDestruction();
    void unreadableOrMissingSeedEndsQuietly();
    void queuedParsersFillOneWindow();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString d;
};

void TestMovieFileParser::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    d = m_dir->path();
    for (const QString &rel :
         {u"movie.avi"_s, u"movie.srt"_s, u"movie.en.srt"_s, u"movie2.avi"_s, u"movie2.srt"_s,
          u"Movie.es.srt"_s, u"movie.nfo"_s, u".movie.srt"_s, u"movie.extras/movie.fr.srt"_s,
          u"show.s01e02.mkv"_s, u"show.s01e02.en.srt"_s, u"lonely.srt"_s, u"movie avi"_s})
        touch(d, rel);
}

void TestMovieFileParser::singleFileSeed_data()
{
    QTest::addColumn<QString>("seed");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QStringList>("handedOn");

    // A video brings in the subtitles that share its short name and a dot,
    // and nothing else (movie2.*, a different case, hidden names, other types).
    QTest::newRow("video, getting") << u"movie.avi"_s << int(Mode::GetSubs)
                                    << QStringList{u"movie.avi"_s, u"movie.en.srt"_s,
                                                   u"movie.extras/movie.fr.srt"_s, u"movie.srt"_s};
    QTest::newRow("episode, getting") << u"show.s01e02.mkv"_s << int(Mode::GetSubs)
                                      << QStringList{u"show.s01e02.en.srt"_s, u"show.s01e02.mkv"_s};
    // A subtitle brings in its video and the subtitles that share its short name.
    QTest::newRow("subtitle, putting")
        << u"movie.srt"_s << int(Mode::PutSubs)
        << QStringList{u"movie.avi"_s, u"movie.en.srt"_s, u"movie.extras/movie.fr.srt"_s, u"movie.srt"_s};
    // movie.en.srt pairs with movie.avi: the video comes along, but not the
    // other subtitles of movie.* nor what lies in movie.extras.
    QTest::newRow("language subtitle, putting")
        << u"movie.en.srt"_s << int(Mode::PutSubs) << QStringList{u"movie.avi"_s, u"movie.en.srt"_s};
    QTest::newRow("episode subtitle, putting") << u"show.s01e02.en.srt"_s << int(Mode::PutSubs)
                                               << QStringList{u"show.s01e02.en.srt"_s, u"show.s01e02.mkv"_s};
    QTest::newRow("subtitle brings its video")
        << u"movie2.srt"_s << int(Mode::PutSubs) << QStringList{u"movie2.avi"_s, u"movie2.srt"_s};
    QTest::newRow("subtitle, getting") << u"movie.srt"_s << int(Mode::GetSubs) << QStringList();
    QTest::newRow("video, putting") << u"movie.avi"_s << int(Mode::PutSubs) << QStringList();
    QTest::newRow("other type") << u"movie.nfo"_s << int(Mode::GetSubs) << QStringList();
    QTest::newRow("no extension") << u"movie avi"_s << int(Mode::GetSubs) << QStringList();
}

void TestMovieFileParser::singleFileSeed()
{
    QFETCH(QString, seed);
    QFETCH(int, mode);
    QFETCH(QStringList, handedOn);

    auto window = std::make_shared<FakeWindow>();
    {
        MovieFileParser parser(d + u'/' + seed, window, Mode(mode));
        parser.DoWork();
    }
    if (handedOn.isEmpty()) {
        QVERIFY(window->batches.isEmpty());
    } else {
        QCOMPARE(window->batches.size(), 1);
        QCOMPARE(window->batches.first(), under(d, handedOn));
    }
    QVERIFY(window->dirList.isEmpty());
}

void TestMovieFileParser::folderSeedHandsOnEveryFileOnce()
{
    auto window = std::make_shared<FakeWindow>();
    MovieFileParser parser(d + u"/"_s, window, Mode::GetSubs);
    parser.DoWork();
    QCOMPARE(window->dirList, QStringList{d});
    QCOMPARE(window->batches.size(), 1);
    QCOMPARE(window->batches.first(),
             under(d, {u"Movie.es.srt"_s, u"lonely.srt"_s, u"movie.avi"_s, u"movie.en.srt"_s,
                       u"movie.extras/movie.fr.srt"_s, u"movie.srt"_s, u"movie2.avi"_s, u"movie2.srt"_s,
                       u"show.s01e02.en.srt"_s, u"show.s01e02.mkv"_s}));
    QVERIFY(parser.foundFiles().isEmpty());
}

void TestMovieFileParser::folderIsSeededOncePerWindow()
{
    auto window = std::make_shared<FakeWindow>();
    MovieFileParser(d, window, Mode::GetSubs).DoWork();
    MovieFileParser(d + u"/movie.extras/.."_s, window, Mode::GetSubs).DoWork();
    QCOMPARE(window->batches.size(), 1);
    // Another window seeds it again.
    auto other = std::make_shared<FakeWindow>();
    MovieFileParser(d, other, Mode::PutSubs).DoWork();
    QCOMPARE(other->batches.size(), 1);
}

void TestMovieFileParser::countsItemsFromCreationToDestruction()
{
    auto window = std::make_shared<FakeWindow>();
    auto first = std::make_unique<MovieFileParser>(d, window, Mode::GetSubs);
    auto second = std::make_unique<MovieFileParser>(d + u"/movie.avi"_s, window, Mode::GetSubs);
    QCOMPARE(window->Tcounter, 2);
    first->DoWork();
    QCOMPARE(window->Tcounter, 2);
    first.reset();
    QCOMPARE(window->Tcounter, 1);
    second.reset();
    QCOMPARE(window->Tcounter, 0);
}

void TestMovieFileParser::unreadableOrMissingSeedEndsQuietly()
{
    auto window = std::make_shared<FakeWindow>();
    QVERIFY(!MovieFileParser::Queue(d + u"/missing.avi"_s, window, Mode::GetSubs));
    QVERIFY(!MovieFileParser::Queue(QString(), window, Mode::GetSubs));

    MovieFileParser(d + u"/missing.avi"_s, window, Mode::GetSubs).DoWork();
    // Permissions do not stop the superuser, so the unreadable folder only counts for others.
    if (::geteuid() != 0) {
        QVERIFY(QFile::setPermissions(d + u"/movie.extras"_s, QFileDevice::WriteOwner));
        MovieFileParser(d + u"/movie.extras"_s, window, Mode::GetSubs).DoWork();
        QVERIFY(QFile::setPermissions(d + u"/movie.extras"_s, QFileDevice::ReadOwner |
                                                                  QFileDevice::WriteOwner |
                                                                  QFileDevice::ExeOwner));
    }
    QVERIFY(window->batches.isEmpty());
    QCOMPARE(window->Tcounter, 0);
}

// Several items for one window on the shared queue at once: every file
// arrives, each folder once, and the count returns to zero.
void TestMovieFileParser::queuedParsersFillOneWindow()
{
    for (int i = 0; i < 8; ++i)
        touch(d, u"nested/%1/ep%1.mkv"_s.arg(i));
    auto window = std::make_shared<FakeWindow>();
    for (int i = 0; i < 8; ++i) {
        QVERIFY(MovieFileParser::Queue(d + u"/nested/%1"_s.arg(i), window, Mode::GetSubs));
        QVERIFY(MovieFileParser::Queue(d + u"/nested/%1"_s.arg(i), window, Mode::GetSubs));
    }
    QVERIFY(MovieFileParser::Queue(d + u"/movie.avi"_s, window, Mode::GetSubs));
    QVERIFY(window->waitUntilIdle());

    std::lock_guard lock(window->m_mutex);
    QCOMPARE(window->batches.size(), 9);
    QStringList all;
    for (const QStringList &batch : std::as_const(window->batches))
        all += batch;
    QCOMPARE(all.size(), 8 + 4);
    QCOMPARE(window->dirList.size(), 8);
}

LUMBRA_TEST_MAIN(TestMovieFileParser)
#include "tst_MovieFileParser.moc"
