#include "common/AppIdentity.h"
#include "media/ExceptionHelpers.h"
#include "media/FileNames.h"
#include "media/MemoryStream.h"
#include "media/MethodProfiler.h"
#include "media/NaturalOrder.h"
#include "media/TempFolder.h"
#include "media/TextEncoding.h"
#include "media/TextTransforms.h"
#include "TestMain.h"

#include <QDir>
#include <QFile>
#include <QSysInfo>
#include <QTest>
#include <QThread>

#include <stdexcept>
#include <thread>
#include <vector>

using namespace Qt::Literals::StringLiterals;

Q_DECLARE_METATYPE(TextEncoding)

class tst_Helpers : public QObject {
    Q_OBJECT
private slots:
    void guessEncoding_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<TextEncoding>("encoding");
        QTest::addColumn<bool>("bigEndianData"); // only read for UTF16

        const auto row = [](const char *name, const QByteArray &b, TextEncoding e, bool be = false) {
            QTest::newRow(name) << b << e << be;
        };
        row("utf16 le bom", QByteArray("\xFF\xFE\x41\x00", 4), TextEncoding::UTF16, false);
        row("utf16 be bom", QByteArray("\xFE\xFF\x00\x41", 4), TextEncoding::UTF16, true);
        row("utf8 bom", QByteArray("\xEF\xBB\xBFhello"), TextEncoding::UTF8);
        row("ascii", QByteArray("1\r\n00:00:01,000 --> 00:00:02,000\r\nHi\r\n"), TextEncoding::ASCII);
        row("empty", QByteArray(), TextEncoding::ASCII);
        row("latin1 cafe", QByteArray("caf\xE9"), TextEncoding::Latin1);
        row("utf8 cafe", QByteArray("caf\xC3\xA9"), TextEncoding::UTF8);
        row("utf8 cut at end", QByteArray("caf\xC3"), TextEncoding::Latin1);
        row("utf8 three bytes cut", QByteArray("x\xE2\x82"), TextEncoding::Latin1);
        row("utf8 euro", QByteArray("\xE2\x82\xAC 5"), TextEncoding::UTF8);
        row("utf8 four bytes", QByteArray("\xF0\x9F\x98\x80"), TextEncoding::UTF8);
        row("overlong E0 80", QByteArray("\xE0\x80\x80"), TextEncoding::Latin1);
        row("F4 above U+10FFFF", QByteArray("\xF4\x90\x80\x80"), TextEncoding::Latin1);
        row("lone continuation", QByteArray("a\x80z"), TextEncoding::Latin1);
        row("C0 lead", QByteArray("\xC0\xAF"), TextEncoding::Latin1);
        row("encoded surrogate pair", QByteArray("\xED\xA0\x80\xED\xB0\x80"), TextEncoding::Latin1);
        row("last before surrogates", QByteArray("\xED\x9F\xBF"), TextEncoding::UTF8);
        // UTF-16 without a mark: the zero bytes give the order away, even
        // when every character is ASCII.
        row("utf16 le no bom ascii", QByteArray("H\0i\0!\0\n\0", 8), TextEncoding::UTF16, false);
        row("utf16 be no bom ascii", QByteArray("\0H\0i\0!\0\n", 8), TextEncoding::UTF16, true);
        row("utf16 le no bom accented", QByteArray("c\0a\0f\0\xE9\0", 8), TextEncoding::UTF16, false);
        row("one stray zero", QByteArray("abc\0def", 7), TextEncoding::ASCII);
    }

    void guessEncoding()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(TextEncoding, encoding);
        QFETCH(bool, bigEndianData);
        bool swapped = true;
        QCOMPARE(GuessEncoding(bytes, swapped), encoding);
        QCOMPARE(GuessEncoding(bytes), encoding);
        const bool hostBig = QSysInfo::ByteOrder == QSysInfo::BigEndian;
        if (encoding == TextEncoding::UTF16)
            QCOMPARE(swapped, bigEndianData != hostBig);
        else
            QVERIFY(!swapped);
    }

    void decodeText_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("utf16 le bom") << QByteArray("\xFF\xFE\x41\x00\xE9\x00", 6) << u"A\u00e9"_s;
        QTest::newRow("utf16 be bom") << QByteArray("\xFE\xFF\x00\x41\x20\xAC", 6) << u"A\u20ac"_s;
        QTest::newRow("utf16 le no bom") << QByteArray("H\0i\0", 4) << u"Hi"_s;
        QTest::newRow("utf8 bom") << QByteArray("\xEF\xBB\xBF\xC3\xA9t\xC3\xA9") << u"\u00e9t\u00e9"_s;
        QTest::newRow("latin1") << QByteArray("caf\xE9") << u"caf\u00e9"_s;
        QTest::newRow("ascii") << QByteArray("plain") << u"plain"_s;
    }

    void decodeText()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(::decodeText(bytes), text);
    }

    void encodeURL_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("encoded");
        QTest::newRow("space") << u"a b"_s << u"a%20b"_s;
        QTest::newRow("tab") << u"\t"_s << u"%09"_s;
        QTest::newRow("nul") << QString(QChar(0)) << u"%00"_s;
        QTest::newRow("alnum kept") << u"AZaz09"_s << u"AZaz09"_s;
        QTest::newRow("punctuation") << u"The.Show-1&2"_s << u"The%2EShow%2D1%262"_s;
        QTest::newRow("latin1 code point") << u"caf\u00e9"_s << u"caf%E9"_s;
        QTest::newRow("beyond latin1 as utf8") << u"\u20ac"_s << u"%E2%82%AC"_s;
        QTest::newRow("astral") << u"\U0001F600"_s << u"%F0%9F%98%80"_s;
        QTest::newRow("empty") << QString() << QString();
    }

    void encodeURL()
    {
        QFETCH(QString, text);
        QFETCH(QString, encoded);
        QCOMPARE(::encodeURL(text), encoded);
    }

    void lastPosOf_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("sought");
        QTest::addColumn<qsizetype>("pos");
        QTest::newRow("dots") << u"a.b.c"_s << u"."_s << qsizetype(4);
        QTest::newRow("none") << u"abc"_s << u"."_s << qsizetype(0);
        QTest::newRow("case") << u"Movie.EN.srt.en"_s << u"En"_s << qsizetype(14);
        QTest::newRow("overlapping") << u"aaa"_s << u"aa"_s << qsizetype(2);
        QTest::newRow("first char") << u"xabc"_s << u"x"_s << qsizetype(1);
        QTest::newRow("empty sought") << u"abc"_s << QString() << qsizetype(0);
        QTest::newRow("empty text") << QString() << u"a"_s << qsizetype(0);
    }

    void lastPosOf()
    {
        QFETCH(QString, text);
        QFETCH(QString, sought);
        QFETCH(qsizetype, pos);
        QCOMPARE(LastPosOf(text, sought), pos);
    }

    void namePieces_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("ext");    // extension
        QTest::addColumn<QString>("shortN"); // shortname
        QTest::addColumn<QString>("Ext");    // Extension
        QTest::addColumn<QString>("noExt");  // NameNoExtension
        QTest::newRow("plain") << u"movie.avi"_s << u"avi"_s << u"movie"_s << u"avi"_s << u"movie"_s;
        QTest::newRow("two dots") << u"movie.part1.avi"_s << u"avi"_s << u"movie.part1"_s << u"avi"_s
                                  << u"movie.part1"_s;
        QTest::newRow("no dot") << u"README"_s << u"README"_s << u"README"_s << QString() << u"README"_s;
        QTest::newRow("hidden") << u".bashrc"_s << u"bashrc"_s << QString() << QString() << u".bashrc"_s;
        QTest::newRow("hidden with ext")
            << u".hidden.srt"_s << u"srt"_s << u".hidden"_s << u"srt"_s << u".hidden"_s;
        QTest::newRow("space in last part")
            << u"Mr. Smith"_s << u" Smith"_s << u"Mr"_s << QString() << u"Mr. Smith"_s;
        QTest::newRow("trailing dot") << u"name."_s << QString() << u"name"_s << QString() << u"name."_s;
    }

    void namePieces()
    {
        QFETCH(QString, name);
        QFETCH(QString, ext);
        QFETCH(QString, shortN);
        QFETCH(QString, Ext);
        QFETCH(QString, noExt);
        QCOMPARE(extension(name), ext);
        QCOMPARE(shortname(name), shortN);
        const QFileInfo file(u"/some/dir.d/"_s + name);
        QCOMPARE(shortname(file), shortN);
        QCOMPARE(Extension(file), Ext);
        QCOMPARE(NameNoExtension(file), noExt);
    }

    void naturalOrder_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::newRow("letter case does not count") << u"alien.avi"_s << u"Zed.avi"_s;
        QTest::newRow("numbers by value") << u"Episode 2.mkv"_s << u"Episode 10.mkv"_s;
        QTest::newRow("leading zeros") << u"S01E09"_s << u"s1e10"_s;
        QTest::newRow("longer name after its start") << u"Film"_s << u"Film 2"_s;
        QTest::newRow("same reading, plain order decides") << u"FILM.avi"_s << u"film.avi"_s;
        QTest::newRow("huge numbers") << u"a 99999999999999999999"_s << u"a 100000000000000000000"_s;
        QTest::newRow("folders") << u"/v/Show 9/a.mkv"_s << u"/v/show 10/a.mkv"_s;
    }

    // Names sort as people read them, the same way in both directions.
    void naturalOrder()
    {
        QFETCH(QString, before);
        QFETCH(QString, after);
        QVERIFY(naturalCompare(before, after) < 0);
        QVERIFY(naturalCompare(after, before) > 0);
        QCOMPARE(naturalCompare(before, before), 0);
    }

    void replaceLineEndings()
    {
        QCOMPARE(ReplaceLineEndings(u"a\r\nb\rc\nd\n\r"_s), u"a\nb\nc\nd\n\n"_s);
        QCOMPARE(ReplaceLineEndings(u"a\nb"_s, u"\r\n"_s), u"a\r\nb"_s);
        QCOMPARE(TrimWhitespace(u"\u00a0 \t line \r\n"_s), u"line"_s);
    }

    void zeroPad()
    {
        QCOMPARE(ZeroPad(7, 3), u"007"_s);
        QCOMPARE(ZeroPad(1234, 3), u"1234"_s);
        QCOMPARE(ZeroPad(u"8.5"_s, 10), u"00000008.5"_s);
        QCOMPARE(ZeroPad(0, 0), u"0"_s);
    }

    void tempDirIsNewAndPrivate()
    {
        const QString a = getTempDir();
        const QString b = getTempDir();
        QVERIFY(!a.isEmpty());
        QVERIFY(a != b);
        const QFileInfo info(a);
        QVERIFY(info.isDir());
        QCOMPARE(info.absolutePath(), QDir(QDir::tempPath()).absolutePath());
        QVERIFY(info.fileName().startsWith(AppIdentity::ReverseDomainId + u'.'));
        QCOMPARE(info.permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                       QFile::ReadOther | QFile::WriteOther | QFile::ExeOther),
                 QFile::Permissions());
        QVERIFY(QDir(a).removeRecursively());
        QVERIFY(QDir(b).removeRecursively());
        QCOMPARE(AppName(), u"Lumbra2_debug"_s);
    }

    void myStringReadsInChunks()
    {
        MyString s(QByteArray("abcdef"));
        QCOMPARE(s.Read(4), QByteArray("abcd"));
        QCOMPARE(s.Read(4), QByteArray("ef"));
        QCOMPARE(s.Read(4), QByteArray());
        QVERIFY(!s.eof());
        QCOMPARE(s.LastError(), 0);
    }

    void exceptionText()
    {
        QCOMPARE(ShowExceptionText(u"nil object"_s, QString()),
                 u"Exception: nil object.\n\nNo further details available."_s);
        const auto text = ShowExceptionText(std::make_exception_ptr(std::out_of_range("index 5")));
        QCOMPARE(text, u"Exception: out of bounds.\n\nindex 5."_s);
        QCOMPARE(ShowExceptionText(std::make_exception_ptr(42)),
                 u"Exception: runtime error.\n\nNo further details available."_s);
        QCOMPARE(exceptionKind(std::runtime_error("x")), u"runtime error"_s);
    }

    void profilerWritesNestedTrace()
    {
        QFile::remove(MethodProfiler::logFilePath());
        {
            MethodProfiler outer(u"Hashing Files"_s);
            {
                MethodProfiler inner(u"Inner"_s);
                QThread::msleep(2);
            }
        }
        QFile file(MethodProfiler::logFilePath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines[0], u"<Hashing Files> Entered"_s);
        QCOMPARE(lines[1], u"\t<Inner> Entered"_s);
        QVERIFY2(QRegularExpression(u"^\\t<Inner> \\d+\\.\\d{3}ms"_s).match(lines[2]).hasMatch(),
                 qPrintable(lines[2]));
        QVERIFY2(QRegularExpression(u"^<Hashing Files> \\d+\\.\\d{3}ms"_s).match(lines[3]).hasMatch(),
                 qPrintable(lines[3]));
    }

    void profilerFromSeveralThreads()
    {
        QFile::remove(MethodProfiler::logFilePath());
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([t] {
                MethodProfiler outer(u"Thread %1"_s.arg(t));
                MethodProfiler inner(u"Step %1"_s.arg(t));
            });
        }
        for (auto &t : threads)
            t.join();
        QFile file(MethodProfiler::logFilePath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 16);
        // Nesting is counted per thread: every inner step is one level deep.
        for (int t = 0; t < 4; ++t)
            QVERIFY(lines.contains(u"\t<Step %1> Entered"_s.arg(t)));
    }
};

LUMBRA_TEST_MAIN(tst_Helpers)
#include "tst_Helpers.moc"
