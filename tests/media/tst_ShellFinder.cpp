#include "media/ShellFinder.h"
#include "TestMain.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// Makes an empty file (and its folders) below `root`; `relative` is raw bytes
// so that names a QString cannot carry can be made too.
bool touchBytes(const QString &root, const QByteArray &relative)
{
    const QByteArray path = QFile::encodeName(root) + '/' + relative;
    // Folders one by one on the raw bytes: QDir cannot make what it cannot name.
    for (qsizetype slash = path.indexOf('/', 1); slash > 0; slash = path.indexOf('/', slash + 1))
        ::mkdir(path.left(slash).constData(), 0755);
    const int fd = ::open(path.constData(), O_CREAT | O_WRONLY, 0644);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

bool touch(const QString &root, const QString &relative)
{
    return touchBytes(root, QFile::encodeName(relative));
}

QStringList paths(const QList<FoundEntry> &entries)
{
    QStringList out;
    for (const FoundEntry &e : entries)
        out.append(e.path);
    return out;
}

// What `find ROOT` prints, a line per entry. Run through popen rather than
// QProcess: under ThreadSanitizer, starting a QProcess (Qt 6.4) makes the
// walk's helper threads, kept from an earlier walk, look unsynchronised with
// the next walk (a plain fork or popen does not).
QList<QByteArray> findLines(const QString &root)
{
    Q_ASSERT(!root.contains(u'\''));
    const QByteArray command = "/usr/bin/find '" + QFile::encodeName(root) + "'";
    FILE *find = ::popen(command.constData(), "r");
    if (!find)
        return {};
    QByteArray output;
    char chunk[4096];
    for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, find)) > 0;)
        output.append(chunk, qsizetype(got));
    ::pclose(find);
    QList<QByteArray> lines = output.split('\n');
    lines.removeAll(QByteArray());
    return lines;
}

} // namespace

class TestShellFinder final : public QObject {
    Q_OBJECT

private slots:
    void listsLikeFindSortedByBytes_data();
    void listsLikeFindSortedByBytes();
    void hostileNamesAreData_data();
    void hostileNamesAreData();
    void skipsNamesThatAreNotUtf8();
    void siblingsShareTheShortName();
    void keepsOnlyVideoAndSubtitleFiles();
    void keepsName_data();
    void keepsName();
    void doesNotFollowLinkCycles();
    void missingFolderListsNothing();
};

void TestShellFinder::listsLikeFindSortedByBytes_data()
{
    QTest::addColumn<int>("libraryFiles");
    QTest::newRow("awkward names") << 0;
    // Enough entries that folders are read, sorted and decoded on several
    // threads and the parts merged.
    QTest::newRow("and a library") << 6000;
}

// The walk must give what `find DIR | LC_ALL=C sort` gives, entry for entry.
void TestShellFinder::listsLikeFindSortedByBytes()
{
    QFETCH(int, libraryFiles);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString root = dir.path() + u"/tree"_s;
    for (const QString &rel :
         {u"a.avi"_s, u"a b/x.avi"_s, u"a/x.avi"_s, u"a/x.srt"_s, u"B.mkv"_s, u"é.avi"_s,
          u"Z/deep/er/v.mp4"_s, u"a-b.avi"_s, u"a_b.avi"_s, u"~tilde.srt"_s, u".hidden/in.avi"_s})
        QVERIFY(touch(root, rel));
    QDir().mkpath(root + u"/empty folder"_s);
    const QStringList folders{u"Show"_s, u"Show 2"_s, u"show/Season 1"_s, u"Émile"_s, u"a/b/c"_s, u"Zed"_s};
    for (int i = 0; i < libraryFiles; ++i) {
        const QString &folder = folders.at(i % folders.size());
        QVERIFY(touch(
            root,
            u"%1/%2 %3.%4"_s.arg(folder, i % 2 ? u"Ep"_s : u"ép"_s).arg(i).arg(i % 3 ? u"mkv"_s : u"srt"_s)));
    }

    const QStringList listed = paths(ShellFinder::list(ShellFinder::treeOf(root)));

    QList<QByteArray> lines = findLines(root);
    QVERIFY(!lines.isEmpty());
    std::sort(lines.begin(), lines.end());
    QStringList expected;
    for (const QByteArray &line : lines)
        expected.append(QFile::decodeName(line));
    QCOMPARE(listed, expected);
}

void TestShellFinder::hostileNamesAreData_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("double quotes") << u"say \"hi\".avi"_s;
    QTest::newRow("single quote") << u"it's.avi"_s;
    QTest::newRow("dollar") << u"$HOME $(touch pwned) `touch pwned2`.avi"_s;
    QTest::newRow("backslash") << u"back\\slash\\n.avi"_s;
    QTest::newRow("spaces") << u"  spaced  out  .avi"_s;
    QTest::newRow("leading dash") << u"-rf --delete.avi"_s;
    QTest::newRow("newline") << u"two\nlines.avi"_s;
    QTest::newRow("carriage return") << u"cr\rname.avi"_s;
    QTest::newRow("glob and pipe") << u"*?[a] | sort; rm x.avi"_s;
    QTest::newRow("non-ASCII") << u"Amélie 東京.avi"_s;
}

// A hostile name in the seed folder and below it is listed literally, and
// nothing it spells is ever run.
void TestShellFinder::hostileNamesAreData()
{
    QFETCH(QString, name);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString root = dir.path() + u'/' + QString(name).replace(u".avi"_s, u" dir"_s);
    QVERIFY(touch(root, name));
    QVERIFY(touch(root, u"sub/"_s + name));
    QVERIFY(touch(root, u"plain.srt"_s));

    QStringList results;
    ShellFinder finder(ShellFinder::treeOf(root), &results);
    finder.DoWork();
    QStringList expected{root + u'/' + name, root + u"/plain.srt"_s, root + u"/sub/"_s + name};
    std::sort(expected.begin(), expected.end(),
              [](const QString &a, const QString &b) { return QFile::encodeName(a) < QFile::encodeName(b); });
    QCOMPARE(results, expected);
    for (const QString &path : std::as_const(results))
        QVERIFY2(QFile::exists(path), qPrintable(path));
    QVERIFY(!QFile::exists(dir.path() + u"/pwned"_s));
    QVERIFY(!QFile::exists(u"pwned"_s));
}

void TestShellFinder::skipsNamesThatAreNotUtf8()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(touchBytes(dir.path(), "bad\xff\xfe.avi"));
    QVERIFY(touchBytes(dir.path(), "bad\xc3(dir/inside.avi"));
    QVERIFY(touch(dir.path(), u"good.avi"_s));

    QStringList results;
    ShellFinder finder(ShellFinder::treeOf(dir.path()), &results);
    finder.DoWork();
    // QTemporaryDir cannot remove what it cannot name either.
    const QByteArray base = QFile::encodeName(dir.path());
    ::unlink(QByteArray(base + "/bad\xff\xfe.avi").constData());
    ::unlink(QByteArray(base + "/bad\xc3(dir/inside.avi").constData());
    ::rmdir(QByteArray(base + "/bad\xc3(dir").constData());

    QCOMPARE(results, QStringList{dir.path() + u"/good.avi"_s});
    // Both are kept for the user, with the bytes that are not text shown.
    QCOMPARE(finder.skippedNames().size(), 2);
    QCOMPARE(finder.skippedNames().at(0).path, dir.path() + u"/bad\\xc3(dir"_s);
    QVERIFY(finder.skippedNames().at(0).isFolder);
    QCOMPARE(finder.skippedNames().at(1).path, dir.path() + u"/bad\\xff\\xfe.avi"_s);
    QCOMPARE(ShellFinder::shownName("Caf\xc3\xa9 \xe9.mkv"), u"Café \\xe9.mkv"_s);
}

// The entries beside a file that start with a prefix, each with what lies
// below it; nothing else in the folder.
void TestShellFinder::siblingsShareTheShortName()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString d = dir.path();
    for (const QString &rel :
         {u"movie.avi"_s, u"movie.srt"_s, u"movie.en.srt"_s, u"movie.extras/bonus.srt"_s, u"movie2.avi"_s,
          u"movie avi.srt"_s, u"Movie.srt"_s, u"other.srt"_s, u"movie"_s})
        QVERIFY(touch(d, rel));

    const QStringList listed = paths(ShellFinder::list(ShellFinder::siblingsOf(d, u"movie."_s)));
    QCOMPARE(listed, (QStringList{d + u"/movie.avi"_s, d + u"/movie.en.srt"_s, d + u"/movie.extras"_s,
                                  d + u"/movie.extras/bonus.srt"_s, d + u"/movie.srt"_s}));
}

// Completion keeps files of video and subtitle types, each once, in listing
// (byte) order after what the list already held.
void TestShellFinder::keepsOnlyVideoAndSubtitleFiles()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString d = dir.path();
    for (const QString &rel : {u"a.avi"_s, u"a.SRT"_s, u"a.nfo"_s, u".DS_Store"_s, u"README"_s,
                               u"trailing."_s, u"Season.1/b.mkv"_s, u"fake.avi/c.sub"_s})
        QVERIFY(touch(d, rel));

    QStringList results{d + u"/a.avi"_s};
    ShellFinder finder(ShellFinder::treeOf(d), &results);
    finder.DoWork();
    QCOMPARE(results, (QStringList{d + u"/a.avi"_s, d + u"/Season.1/b.mkv"_s, d + u"/a.SRT"_s,
                                   d + u"/fake.avi/c.sub"_s}));
    // The listing itself still holds everything.
    QVERIFY(finder.resultLines().contains(d + u"/fake.avi"_s));
    QVERIFY(finder.resultLines().contains(d + u"/.DS_Store"_s));
}

void TestShellFinder::keepsName_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("kept");
    QTest::newRow("video") << u"/x/movie.avi"_s << true;
    QTest::newRow("upper case") << u"/x/MOVIE.MKV"_s << true;
    QTest::newRow("subtitle") << u"/x/movie.en.srt"_s << true;
    QTest::newRow("hidden") << u"/x/.DS_Store"_s << false;
    QTest::newRow("hidden video") << u"/x/.movie.avi"_s << false;
    QTest::newRow("no dot") << u"/x.avi/README"_s << false;
    QTest::newRow("ends in dot") << u"/x/movie.avi."_s << false;
    QTest::newRow("other type") << u"/x/movie.nfo"_s << false;
    QTest::newRow("dot in folder only") << u"/x.y/movie"_s << false;
    QTest::newRow("empty") << QString() << false;
}

void TestShellFinder::keepsName()
{
    QFETCH(QString, path);
    QFETCH(bool, kept);
    QCOMPARE(ShellFinder::keepsName(path, u".avi;.mkv;.srt"_s), kept);
}

void TestShellFinder::doesNotFollowLinkCycles()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString d = dir.path();
    QVERIFY(touch(d, u"inner/v.avi"_s));
    QVERIFY(QFile::link(d, d + u"/inner/loop.avi"_s));
    QVERIFY(QFile::link(d + u"/inner/v.avi"_s, d + u"/link.avi"_s));

    QStringList results;
    ShellFinder finder(ShellFinder::treeOf(d), &results);
    finder.DoWork();
    // The link to a file is kept; the link to a folder is listed, not walked, not kept.
    QCOMPARE(results, (QStringList{d + u"/inner/v.avi"_s, d + u"/link.avi"_s}));
    QVERIFY(finder.resultLines().contains(d + u"/inner/loop.avi"_s));
}

void TestShellFinder::missingFolderListsNothing()
{
    QStringList results;
    ShellFinder finder(ShellFinder::treeOf(u"/nonexistent/lumbra"_s), &results);
    finder.DoWork();
    QVERIFY(results.isEmpty());
    QVERIFY(finder.listing().isEmpty());
}

LUMBRA_TEST_MAIN(TestShellFinder)
#include "tst_ShellFinder.moc"
