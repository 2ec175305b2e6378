#include "prefs/XPrefs.h"
#include "TestMain.h"

#include <QDomDocument>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <memory>

#include <csignal>
#include <ctime>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace Qt::Literals::StringLiterals;

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

} // namespace

class tst_XPrefs : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_path;

    // Forgets the values in memory, so the next call reads the file again.
    void reload() { XPrefs::setFilePathForTesting(m_path); }

private slots:
    void initTestCase()
    {
        // Two hours ahead of UTC, without daylight saving.
        qputenv("TZ", "UTC-2");
        tzset();
        QVERIFY(m_dir.isValid());
    }

    void init()
    {
        m_path = m_dir.filePath(QString::fromLatin1(QTest::currentTestFunction()) + u".plist"_s);
        QFile::remove(m_path);
        XPrefs::setAutoSave(false);
        reload();
    }

    void writesTheDocumentedShape()
    {
        XPrefs::setValue(u"languageList"_s, QStringList{u"en"_s, u"es"_s});
        XPrefs::setValue(u"refreshSubs"_s, false);
        XPrefs::setValue(u"nothing"_s, Variant());
        QVERIFY(XPrefs::Save());
        QCOMPARE(XPrefs::LastErrorCode(), 0);
        const QByteArray expected = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                    "<!--DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                                    "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\"-->\n"
                                    "<plist>\n<dict>\n"
                                    "<key>languageList</key>\n<array>\n"
                                    "<key>0</key>\n<string>en</string>\n"
                                    "<key>1</key>\n<string>es</string>\n</array>\n"
                                    "<key>refreshSubs</key>\n<false/>\n"
                                    "<key>nothing</key>\n<data/>\n"
                                    "</dict>\n</plist>\n";
        QCOMPARE(readAll(m_path), expected);
        QCOMPARE(XPrefs::ToString().toUtf8(), expected);
    }

    void roundTrips_data()
    {
        QTest::addColumn<Variant>("value");
        Dictionary nested{{u"x"_s, 10},
                          {u"inner"_s, QVariant::fromValue(Dictionary{{u"deep"_s, u"yes"_s}})},
                          {u"list"_s, VariantList{1, u"two"_s, true}}};
        QTest::newRow("list of codes") << Variant(VariantList{u"en"_s, u"es"_s});
        QTest::newRow("empty list") << Variant(VariantList{});
        QTest::newRow("list in list") << Variant(VariantList{VariantList{1, 2}, VariantList{}});
        QTest::newRow("true") << Variant(true);
        QTest::newRow("false") << Variant(false);
        QTest::newRow("integer") << Variant(-42);
        QTest::newRow("64-bit integer") << Variant(qlonglong(5'000'000'000));
        QTest::newRow("real") << Variant(0.1);
        QTest::newRow("real exponent") << Variant(-1.25e-300);
        QTest::newRow("text") << Variant(u"Occitan/Provençal <&> \"quoted\" 日本"_s);
        QTest::newRow("empty text") << Variant(QString(u""_s));
        QTest::newRow("spaces only") << Variant(u"  "_s);
        QTest::newRow("text with tags") << Variant(u"a><b</string>"_s);
        QTest::newRow("line breaks") << Variant(u"a\r\nb\nc\r"_s);
        QTest::newRow("bytes") << Variant(QByteArray("\x00\x01\xff", 3));
        QTest::newRow("empty value") << Variant();
        QTest::newRow("nested dictionary") << QVariant::fromValue(nested);
    }

    void roundTrips()
    {
        QFETCH(Variant, value);
        XPrefs::setValue(u"k"_s, value);
        XPrefs::setValue(u"after"_s, 1);
        QVERIFY(XPrefs::Save());
        reload();
        QVERIFY(XPrefs::HasKey(u"k"_s));
        const Variant back = XPrefs::Value(u"k"_s);
        QCOMPARE(back, value);
        QCOMPARE(XPrefs::Value(u"after"_s), Variant(1));
    }

    void datesAreWrittenInUtcAndReadInLocalTime()
    {
        const QDateTime local(QDate(2024, 3, 5), QTime(14, 30, 0), Qt::LocalTime);
        QCOMPARE(local.offsetFromUtc(), 2 * 3600);
        XPrefs::setValue(u"when"_s, local);
        QVERIFY(XPrefs::Save());
        QVERIFY(readAll(m_path).contains("<date>2024-03-05T12:30:00Z</date>"));
        reload();
        const QDateTime back = XPrefs::Value(u"when"_s).toDateTime();
        QCOMPARE(back.timeSpec(), Qt::LocalTime);
        QCOMPARE(back.time(), QTime(14, 30, 0));
        QCOMPARE(back, local);
    }

    void keysIgnoreLetterCase()
    {
        XPrefs::setValue(u"autoSearchSubs"_s, true);
        XPrefs::setValue(u"AutoSearchSubs"_s, false);
        QCOMPARE(XPrefs::Keys().size(), 1);
        QCOMPARE(XPrefs::Value(u"AUTOSEARCHSUBS"_s), Variant(false));
        QVERIFY(XPrefs::Save());
        QCOMPARE(readAll(m_path).count("<key>"), 1);
        reload();
        QVERIFY(XPrefs::HasKey(u"autosearchsubs"_s));
        QCOMPARE(XPrefs::Value(u"autoSearchSubs"_s), Variant(false));
    }

    void damagedFilesAreKeptAside_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("recovered");
        const QByteArray good = "<?xml version=\"1.0\"?>\n<plist>\n<dict>\n<key>a</key>\n<string>x</string>\n"
                                "<key>b</key>\n<true/>\n</dict>\n</plist>\n";
        const QStringList none;
        QTest::newRow("empty") << QByteArray() << none;
        QTest::newRow("truncated") << good.left(good.size() / 2) << none;
        // The pairs read whole before the damage are unambiguous: kept.
        QTest::newRow("last line cut") << good.left(good.indexOf("</plist>")) << QStringList{u"a"_s, u"b"_s};
        QTest::newRow("cut inside the second value")
            << good.left(good.indexOf("<true/>") + 3) << QStringList{u"a"_s};
        static const char garbage[] = "\x89PNG\r\n\x1a\n\x00\x01 not a plist";
        QTest::newRow("garbage") << QByteArray(garbage, sizeof(garbage) - 1) << none;
        QTest::newRow("other xml") << QByteArray("<html><body/></html>") << none;
        QTest::newRow("plist without dict") << QByteArray("<plist><array/></plist>") << none;
        // Deep enough to overflow the stack of a reader without a limit.
        const auto nested = [](const QByteArray &open, const QByteArray &close, int depth) -> QByteArray {
            return "<plist><dict><key>a</key>" + open.repeated(depth) + close.repeated(depth) +
                   "</dict></plist>";
        };
        QTest::newRow("dicts nested 30000 deep") << nested("<dict><key>k</key>", "</dict>", 30000) << none;
        QTest::newRow("arrays nested 30000 deep") << nested("<array>", "</array>", 30000) << none;
        QTest::newRow("nested 65 deep") << nested("<array>", "</array>", 64) << none;
        // Over the 1 MiB cap: refused unread, however sound.
        QTest::newRow("larger than 1 MiB")
            << "<plist><dict><key>a</key><string>" + QByteArray(1 << 20, 'x') + "</string></dict></plist>"
            << none;
    }

    // A file that cannot be read whole is renamed beside itself before any
    // save, said once, and what it held whole before the damage stays.
    void damagedFilesAreKeptAside()
    {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, recovered);
        writeFile(m_path, content);
        QCOMPARE(XPrefs::Keys(), recovered);
        const QString problem = XPrefs::TakeLoadProblem();
        QVERIFY2(problem.contains(u"damaged"_s), qPrintable(problem));
        QCOMPARE(XPrefs::TakeLoadProblem(), QString()); // said once
        const QStringList aside =
            QDir(m_dir.path()).entryList({QFileInfo(m_path).fileName() + u".damaged-*"_s});
        QCOMPARE(aside.size(), 1);
        QVERIFY(problem.contains(aside.first()));
        QCOMPARE(readAll(m_dir.filePath(aside.first())), content);
        QFile::remove(m_dir.filePath(aside.first()));

        // The next save writes a sound file again.
        XPrefs::setValue(u"c"_s, 3);
        QVERIFY(XPrefs::Save());
        reload();
        QCOMPARE(XPrefs::Keys(), recovered + QStringList{u"c"_s});
        QCOMPARE(XPrefs::LoadProblem(), QString());
    }

    // A FIFO at the file's place would block an open for reading until a
    // writer comes: it is not opened as a file, and not written to.
    void fifoIsNeitherWaitedOnNorReplaced()
    {
        QCOMPARE(::mkfifo(QFile::encodeName(m_path).constData(), 0600), 0);
        QVERIFY(XPrefs::Keys().isEmpty());
        QVERIFY(XPrefs::LoadProblem().contains(u"not a regular file"_s));
        XPrefs::setValue(u"a"_s, 1);
        QVERIFY(!XPrefs::Save());
        QVERIFY(XPrefs::LastErrorText().contains(u"not a regular file"_s));
        QVERIFY(QFileInfo(m_path).isFile() == false && QFileInfo::exists(m_path));
        QFile::remove(m_path);
    }

    // Saving never writes through a link: the file it points at keeps its
    // content and mode, and the link stays.
    void saveRefusesASymbolicLink()
    {
        // A preference file kept elsewhere (a folder of dotfiles), linked in.
        const QString target = m_dir.filePath(u"elsewhere.plist"_s);
        const QByteArray precious = "<plist><dict><key>a</key><string>x</string></dict></plist>";
        writeFile(target, precious);
        QVERIFY(QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                                  QFile::ReadOther));
        const QFile::Permissions mode = QFile::permissions(target);
        QVERIFY(QFile::link(target, m_path));
        reload();
        XPrefs::setValue(u"a"_s, 1);
        QVERIFY(!XPrefs::Save());
        QCOMPARE(XPrefs::LastErrorCode(), int(XPrefs::AccessDenied));
        QVERIFY(XPrefs::LastErrorText().contains(u"symbolic link"_s));
        QCOMPARE(readAll(target), precious);
        QCOMPARE(QFile::permissions(target), mode);
        QVERIFY(QFileInfo(m_path).isSymLink());
        QFile::remove(m_path);
    }

    void folderThatCannotBeMadeIsNamed()
    {
        const QString blocker = m_dir.filePath(u"plainfile"_s);
        writeFile(blocker, "x");
        m_path = blocker + u"/sub/prefs.plist"_s;
        reload();
        XPrefs::setValue(u"a"_s, 1);
        QVERIFY(!XPrefs::Save());
        QVERIFY2(XPrefs::LastErrorText().contains(u"cannot create the preference folder"_s),
                 qPrintable(XPrefs::LastErrorText()));
    }

    void nestingUpToTheLimitReads()
    {
        // The top dict and 63 arrays: the deepest file the reader takes.
        writeFile(m_path, "<plist><dict><key>a</key>" + QByteArray("<array>").repeated(62) +
                              "<array><string>x</string></array>" + QByteArray("</array>").repeated(62) +
                              "</dict></plist>");
        Variant value = XPrefs::Value(u"a"_s);
        for (int i = 0; i < 63; ++i) {
            QCOMPARE(value.toList().size(), 1);
            value = value.toList().first();
        }
        QCOMPARE(value, Variant(u"x"_s));
    }

    void missingFileLeavesTheStoreEmpty()
    {
        QVERIFY(!QFile::exists(m_path));
        QVERIFY(XPrefs::Keys().isEmpty());
        QCOMPARE(XPrefs::Value(u"anything"_s), Variant());
        QVERIFY(!QFile::exists(m_path));
    }

    void readsFilesOfOtherWriters()
    {
        writeFile(m_path, "<?xml version='1.0' encoding='utf-8' standalone='no'?>\n"
                          "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                          "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                          "<plist version=\"1.0\">\n"
                          "  <dict>\n"
                          "    <!-- a comment between pairs -->\n"
                          "    <key>languageList</key>\n"
                          "    <array>\n      <string>fr</string>\n      <string>de</string>\n    </array>\n"
                          "    <key>count</key>\t<integer> 7 </integer>\n"
                          "    <key>fraction</key><integer>3.9</integer>\n"
                          "    <key>ratio</key>\n    <real>2.5</real>\n"
                          "    <key>on</key>\n    <true/>\n"
                          "    <key>pad</key>\n    <string>  </string>\n"
                          "    <key>empty</key>\n    <string></string>\n"
                          "    <key>when</key>\n    <date>2020-01-02T03:04:05Z</date>\n"
                          "    <key>unknown</key>\n    <foo>1</foo>\n"
                          "    <key>sub</key>\n    <dict>\n      <key>a</key>\n      <false/>\n    </dict>\n"
                          "  </dict>\n"
                          "</plist>\n");
        QCOMPARE(XPrefs::Value(u"languageList"_s), Variant(VariantList{u"fr"_s, u"de"_s}));
        QCOMPARE(XPrefs::Value(u"count"_s), Variant(7));
        QCOMPARE(XPrefs::Value(u"fraction"_s), Variant(3));
        QCOMPARE(XPrefs::Value(u"ratio"_s), Variant(2.5));
        QCOMPARE(XPrefs::Value(u"on"_s), Variant(true));
        QCOMPARE(XPrefs::Value(u"pad"_s), Variant(u"  "_s));
        QCOMPARE(XPrefs::Value(u"empty"_s).toString(), QString());
        QCOMPARE(XPrefs::Value(u"when"_s).toDateTime(),
                 QDateTime(QDate(2020, 1, 2), QTime(3, 4, 5), Qt::UTC));
        QVERIFY(!XPrefs::HasKey(u"unknown"_s));
        QCOMPARE(XPrefs::Value(u"sub"_s), QVariant::fromValue(Dictionary{{u"a"_s, false}}));
    }

    // XML cannot carry most control characters: they are dropped rather than
    // making the whole file unreadable at the next start.
    void controlCharactersDoNotSpoilTheFile()
    {
        XPrefs::setValue(u"OSPassword"_s, u"pa\x01ss\x1bword"_s);
        XPrefs::setValue(u"other"_s, true);
        QVERIFY(XPrefs::Save());
        reload();
        QCOMPARE(XPrefs::Value(u"OSPassword"_s), Variant(u"password"_s));
        QCOMPARE(XPrefs::Value(u"other"_s), Variant(true));
    }

    void fileIsReadableByItsOwnerOnly()
    {
        writeFile(m_path, "<plist><dict/></plist>");
        QVERIFY(QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                                  QFile::ReadOther | QFile::ReadUser | QFile::WriteUser));
        XPrefs::setValue(u"OSPassword"_s, u"secret"_s);
        QVERIFY(XPrefs::Save());
        QCOMPARE(QFile::permissions(m_path) & ~(QFile::ReadUser | QFile::WriteUser),
                 QFile::ReadOwner | QFile::WriteOwner);
    }

    // A write that fails part-way (here: the file size limit, which holds for
    // root too) leaves the previous file whole and is reported.
    void failedSaveKeepsThePreviousFile()
    {
        XPrefs::setValue(u"languageList"_s, QStringList{u"en"_s});
        QVERIFY(XPrefs::Save());
        const QByteArray before = readAll(m_path);
        QVERIFY(!before.isEmpty());

        XPrefs::setValue(u"big"_s, QString(100'000, u'x'));
        rlimit old{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
        rlimit small = old;
        small.rlim_cur = 4096;
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        const bool saved = XPrefs::Save();
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);

        QVERIFY(!saved);
        QCOMPARE(XPrefs::LastErrorCode(), int(XPrefs::IOError));
        QCOMPARE(readAll(m_path), before);
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).filter(u"failedSave"_s),
                 QStringList{QFileInfo(m_path).fileName()});

        // Once writing works again the next save succeeds and clears the code.
        QVERIFY(XPrefs::Save());
        QCOMPARE(XPrefs::LastErrorCode(), 0);
    }

    void saveOverAFolderFails()
    {
        QVERIFY(QDir().mkpath(m_path));
        XPrefs::setValue(u"a"_s, 1);
        QVERIFY(!XPrefs::Save());
        QCOMPARE(XPrefs::LastErrorCode(), int(XPrefs::InvalidName));
        QVERIFY(QFileInfo(m_path).isDir());
        QDir(m_path).removeRecursively();
    }

    void savingWindowHooks()
    {
        int shows = 0;
        int closes = 0;
        XPrefs::setSavingWindowHooks([&] { ++shows; }, [&] { ++closes; });
        XPrefs::setValue(u"a"_s, 1);
        XPrefs::setSaveAlertWait(0);
        QVERIFY(XPrefs::Save());
        QCOMPARE(shows, 1);
        QCOMPARE(closes, 1);
        XPrefs::setSaveAlertWait(-1);
        QVERIFY(XPrefs::Save());
        XPrefs::setSaveAlertWait(2.0);
        XPrefs::setSavingWindowHooks({}, {});
        QCOMPARE(shows, 1);
        QCOMPARE(closes, 1);
    }

    // The saving window runs events; a window closed meanwhile saves its
    // placement on the same thread. That save goes through, and the file
    // ends up with the newest values whichever save writes last.
    void saveFromInsideTheSavingWindowGoesThrough()
    {
        XPrefs::setSaveAlertWait(0);
        bool nestedSaved = false;
        int nesting = 0;
        XPrefs::setSavingWindowHooks(
            [&] {
                if (nesting++ > 0)
                    return;
                XPrefs::setValue(u"placement"_s, 42);
                nestedSaved = XPrefs::Save();
            },
            {});
        XPrefs::setValue(u"a"_s, 1);
        bool saved = false;
        std::unique_ptr<QThread> saver(QThread::create([&] { saved = XPrefs::Save(); }));
        saver->start();
        const bool ended = saver->wait(10000);
        XPrefs::setSavingWindowHooks({}, {});
        XPrefs::setSaveAlertWait(2.0);
        if (!ended)
            qFatal("a save from inside the saving window locked up");
        QVERIFY(saved && nestedSaved);
        const QByteArray text = readAll(m_path);
        QVERIFY(text.contains("<key>a</key>\n<integer>1</integer>"));
        QVERIFY(text.contains("<key>placement</key>\n<integer>42</integer>"));
    }

    void autoSaveWritesEachChange()
    {
        XPrefs::setAutoSave(true);
        XPrefs::setValue(u"x"_s, 5);
        XPrefs::setAutoSave(false);
        QVERIFY(readAll(m_path).contains("<key>x</key>\n<integer>5</integer>"));
    }
};

LUMBRA_TEST_MAIN(tst_XPrefs)
#include "tst_XPrefs.moc"
