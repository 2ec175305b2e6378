#include "preview/subClass.h"
#include "preview/subsModule.h"
#include "TestMain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <limits>

using namespace Qt::Literals::StringLiterals;

namespace {

// A cue as one line of text: "id|start|end|text lines joined with /".
QString describe(const subLine &cue)
{
    return u"%1|%2|%3|%4"_s.arg(cue.lineID).arg(cue.startTime, cue.endTime, cue.subText.join(u'/'));
}

QStringList describe(const subClass &set)
{
    QStringList cues;
    for (const subLine &cue : set.subLines())
        cues << describe(cue);
    return cues;
}

} // namespace

class tst_Subtitles : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_files = 0;

    // A subtitle file with these bytes and extension, in a fresh name.
    QString write(const QByteArray &bytes, const QString &extension = u"srt"_s)
    {
        const QString path = m_dir.filePath(u"sub%1.%2"_s.arg(++m_files).arg(extension));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            qFatal("cannot write fixture");
        return path;
    }

private slots:
    void secondsToTimestring_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0.0 << u"00:00:00,000"_s;
        QTest::newRow("hours minutes seconds") << 3725.5 << u"01:02:05,500"_s;
        QTest::newRow("seconds rounded after minutes") << 59.9996 << u"00:00:60,000"_s;
        QTest::newRow("milliseconds rounded") << 1.2344 << u"00:00:01,234"_s;
        QTest::newRow("hundred hours") << 360000.25 << u"100:00:00,250"_s;
        QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << u"00:00:00,000"_s;
        QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << u"00:00:00,000"_s;
    }
    void secondsToTimestring()
    {
        QFETCH(double, seconds);
        QFETCH(QString, text);
        QCOMPARE(subsModule::secondsToTimestring(seconds), text);
    }

    void timeStringToSeconds_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("seconds");
        QTest::newRow("comma") << u"01:02:05,500"_s << 3725.5;
        QTest::newRow("point") << u"01:02:05.500"_s << 3725.5;
        QTest::newRow("short fields") << u"1:2:3"_s << 3723.0;
        QTest::newRow("two fields") << u"02:05,500"_s << -1.0;
        QTest::newRow("position field after the time") << u"00:00:02,500 X1:100"_s << -1.0;
        QTest::newRow("empty") << QString() << -1.0;
        QTest::newRow("non-numbers read as 0") << u"aa:01:02,5"_s << 62.5;
        QTest::newRow("trailing text after the number") << u"00:00:07,250 "_s << 7.25;
    }
    void timeStringToSeconds()
    {
        QFETCH(QString, text);
        QFETCH(double, seconds);
        QCOMPARE(subsModule::timeStringToSeconds(text), seconds);
    }

    void timeStringRoundTrip()
    {
        for (double s : {0.0, 0.001, 59.5, 61.25, 3599.999, 3725.5, 86399.0})
            QCOMPARE(subsModule::timeStringToSeconds(subsModule::secondsToTimestring(s)), s);
    }

    void srtCues_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("cues");

        QTest::newRow("well formed, no final blank line")
            << "1\n00:00:01,000 --> 00:00:02,500\nHello\n\n2\n00:00:03,000 --> 00:00:04,000\nTwo\nlines\n\n"
               "3\n00:00:05,000 --> 00:00:06,000\nLast"_ba
            << QStringList{u"1|00:00:01,000|00:00:02,500|Hello"_s, u"2|00:00:03,000|00:00:04,000|Two/lines"_s,
                           u"3|00:00:05,000|00:00:06,000|Last"_s};
        QTest::newRow("number followed by a blank line") << "1\n\n2\n00:00:03,000 --> 00:00:04,000\nB\n"_ba
                                                         << QStringList{u"2|00:00:03,000|00:00:04,000|B"_s};
        QTest::newRow("next number without a blank line drops the cue")
            << "1\n00:00:01,000 --> 00:00:02,000\nA\n2\n00:00:03,000 --> 00:00:04,000\nB\n"_ba
            << QStringList{u"2|00:00:03,000|00:00:04,000|B"_s};
        QTest::newRow("a year on its own line is a cue number")
            << "1\n00:00:01,000 --> 00:00:02,000\nIn\n1984\n\n2\n00:00:03,000 --> 00:00:04,000\nB\n"_ba
            << QStringList{u"2|00:00:03,000|00:00:04,000|B"_s};
        QTest::newRow("last line is a cue number") << "1\n00:00:01,000 --> 00:00:02,000\nA\n\n2"_ba
                                                   << QStringList{u"1|00:00:01,000|00:00:02,000|A"_s};
        QTest::newRow("time line without text") << "1\n00:00:01,000 --> 00:00:02,000"_ba << QStringList{};
        QTest::newRow("no time line after the number")
            << "1\nHello\n\n2\n00:00:03,000 --> 00:00:04,000\nB\n"_ba
            << QStringList{u"2|00:00:03,000|00:00:04,000|B"_s};
        QTest::newRow("out of order sorted by start")
            << "1\n00:00:09,000 --> 00:00:10,000\nLate\n\n2\n00:00:01,000 --> 00:00:02,000\nEarly\n"_ba
            << QStringList{u"2|00:00:01,000|00:00:02,000|Early"_s, u"1|00:00:09,000|00:00:10,000|Late"_s};
        QTest::newRow("blank-looking separator and padded number")
            << "1\n00:00:01,000 --> 00:00:02,000\nA\n  \n2 \n00:00:03,000 --> 00:00:04,000\nB"_ba
            << QStringList{u"1|00:00:01,000|00:00:02,000|A"_s, u"2|00:00:03,000|00:00:04,000|B"_s};
        QTest::newRow("decimal number is not a cue number")
            << "1.5\n00:00:01,000 --> 00:00:02,000\nA\n\n2\n00:00:03,000 --> 00:00:04,000\nB"_ba
            << QStringList{u"2|00:00:03,000|00:00:04,000|B"_s};
        QTest::newRow("untrimmed text, trimmed times")
            << "7\n  00:00:01,000-->00:00:02,000  \n  indented \n"_ba
            << QStringList{u"7|00:00:01,000|00:00:02,000|  indented "_s};
        QTest::newRow("huge cue number is clamped")
            << "99999999999\n00:00:01,000 --> 00:00:02,000\nA\n"_ba
            << QStringList{u"2147483647|00:00:01,000|00:00:02,000|A"_s};
        QTest::newRow("empty file") << QByteArray() << QStringList{};
    }
    void srtCues()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, cues);
        const subClass set(write(file), 25);
        QVERIFY(set.isSRT());
        QVERIFY(set.allReady());
        QCOMPARE(describe(set), cues);
        QCOMPARE(set.count(), cues.size());
    }

    void cueTimes()
    {
        const subClass set(write("1\n00:00:01,000 --> 00:00:02,500\nA\n\n"
                                 "2\n00:01:02,000 --> 00:01:04,500 X1:100 X2:200\nB\n"_ba),
                           25);
        QCOMPARE(set.count(), 2);
        const subLine &a = set.subLines()[0];
        QCOMPARE(a.startSeconds, 1.0);
        QCOMPARE(a.endSeconds, 2.5);
        QCOMPARE(a.durationSeconds, 1.5);
        const subLine &b = set.subLines()[1];
        QCOMPARE(b.startSeconds, 62.0);
        QCOMPARE(b.endTime, u"00:01:04,500 X1:100 X2:200"_s);
        QCOMPARE(b.endSeconds, -1.0);
        QCOMPARE(b.durationSeconds, -63.0);
        // The end of the last listed cue.
        QCOMPARE(set.duration(), -1.0);
    }

    void durationAndLines()
    {
        const subClass set(write("1\n00:00:01,000 --> 00:00:02,500\nA\n\n"
                                 "2\n00:00:03,000 --> 00:00:04,250\nTwo\nlines\n"_ba),
                           25);
        QCOMPARE(set.duration(), 4.25);
        const subLine &cue = set.subLines().last();
        QCOMPARE(cue.lines(u" | "_s), u"Two | lines"_s);
        QCOMPARE(cue.lines(), u"Two\nlines"_s);
        QCOMPARE(subLine().lines(u" | "_s), QString());
        QCOMPARE(subClass(write(QByteArray()), 25).duration(), 0.0);
    }

    void subConversion_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<double>("fps");
        QTest::addColumn<QStringList>("srtLines");

        QTest::newRow("one cue, two lines")
            << "{100}{250}Hello|World"_ba << 25.0
            << QStringList{u"1"_s, u"00:00:04,000 --> 00:00:10,000"_s, u"Hello"_s, u"World"_s, QString()};
        QTest::newRow("other lines and empty text dropped, counter kept")
            << "# comment\n{10}{20}\n{0}{25}A\r\n{50}{75}B"_ba << 25.0
            << QStringList{u"1"_s, u"00:00:00,000 --> 00:00:01,000"_s, u"A"_s, QString(),
                           u"2"_s, u"00:00:02,000 --> 00:00:03,000"_s, u"B"_s, QString()};
        QTest::newRow("text cut at a brace, frames truncated, non-numbers 0")
            << "{x}{23.9}Say {y} no"_ba << 23.976
            << QStringList{u"1"_s, u"00:00:00,000 --> 00:00:00,959"_s, u"Say {y"_s, QString()};
        QTest::newRow("no frame rate gives no lines") << "{100}{250}Hello"_ba << 0.0 << QStringList{};
    }
    void subConversion()
    {
        QFETCH(QByteArray, file);
        QFETCH(double, fps);
        QFETCH(QStringList, srtLines);
        const subClass set(write(file, u"SUB"_s), fps);
        QVERIFY(set.isSRT());
        QCOMPARE(set.subText(), srtLines);
        QVERIFY(set.allReady());
        QCOMPARE(set.count(), srtLines.size() / 4);
    }

    void subCues()
    {
        const subClass set(write("{250}{300}Later\n{100}{250}Hello|World\n"_ba, u"sub"_s), 25);
        QCOMPARE(describe(set), (QStringList{u"2|00:00:04,000|00:00:10,000|Hello/World"_s,
                                             u"1|00:00:10,000|00:00:12,000|Later"_s}));
    }

    void encodings_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<TextEncoding>("encoding");
        QTest::addColumn<QString>("text");

        const QString cue = u"1\n00:00:01,000 --> 00:00:02,000\ncaf\u00e9 \u263a\n"_s;
        const auto utf16 = [](const QString &s, bool bigEndian, bool bom) -> QByteArray {
            QStringEncoder encoder(bigEndian ? QStringConverter::Utf16BE : QStringConverter::Utf16LE);
            const QByteArray mark = bigEndian ? "\xfe\xff"_ba : "\xff\xfe"_ba;
            return (bom ? mark : QByteArray()) + QByteArray(encoder.encode(s));
        };
        QTest::newRow("UTF-16 little-endian mark")
            << utf16(cue, false, true) << TextEncoding::UTF16 << u"caf\u00e9 \u263a"_s;
        QTest::newRow("UTF-16 big-endian mark")
            << utf16(cue, true, true) << TextEncoding::UTF16 << u"caf\u00e9 \u263a"_s;
        // Without a mark only text whose every character has a zero byte is
        // recognised as UTF-16.
        QTest::newRow("UTF-16 big-endian without mark")
            << utf16(u"1\n00:00:01,000 --> 00:00:02,000\ncaf\u00e9\n"_s, true, false) << TextEncoding::UTF16
            << u"caf\u00e9"_s;
        QTest::newRow("UTF-8 with mark")
            << QByteArray("\xef\xbb\xbf"_ba + cue.toUtf8()) << TextEncoding::UTF8 << u"caf\u00e9 \u263a"_s;
        QTest::newRow("UTF-8 without mark") << cue.toUtf8() << TextEncoding::UTF8 << u"caf\u00e9 \u263a"_s;
        QTest::newRow("Latin-1") << "1\n00:00:01,000 --> 00:00:02,000\ncaf\xe9\n"_ba << TextEncoding::Latin1
                                 << u"caf\u00e9"_s;
        QTest::newRow("ASCII, CR line ends")
            << "1\r00:00:01,000 --> 00:00:02,000\rplain\r\r"_ba << TextEncoding::ASCII << u"plain"_s;
        QTest::newRow("UTF-8, CR LF line ends")
            << "1\r\n00:00:01,000 --> 00:00:02,000\r\n\xc3\xa9t\xc3\xa9\r\n"_ba << TextEncoding::UTF8
            << u"\u00e9t\u00e9"_s;
    }
    void encodings()
    {
        QFETCH(QByteArray, file);
        QFETCH(TextEncoding, encoding);
        QFETCH(QString, text);
        const subClass set(write(file), 25);
        QCOMPARE(set.encoding(), std::optional<TextEncoding>(encoding));
        QCOMPARE(set.subOriginalContents(), file);
        QCOMPARE(set.count(), 1);
        QCOMPARE(set.subLines()[0].lineID, 1);
        QCOMPARE(set.subLines()[0].subText, QStringList{text});
    }

    void unreadableFiles()
    {
        const subClass missing(m_dir.filePath(u"missing.srt"_s), 25);
        QVERIFY(!missing.allReady());
        QCOMPARE(missing.count(), 0);
        QVERIFY(missing.subFile().isEmpty());

        const subClass none(QString(), 25);
        QVERIFY(!none.allReady());

        const QString text = write("1\n00:00:01,000 --> 00:00:02,000\nA\n"_ba, u"txt"_s);
        const subClass other(text, 25);
        QVERIFY(!other.allReady());
        QVERIFY(!other.isSRT());
        QVERIFY(other.subText().isEmpty());
        QCOMPARE(other.subFile(), text);

        QVERIFY(QDir(m_dir.path()).mkdir(u"folder.srt"_s));
        const subClass folder(m_dir.filePath(u"folder.srt"_s), 25);
        QVERIFY(!folder.allReady());

        const QString locked = write("1\n00:00:01,000 --> 00:00:02,000\nA\n"_ba);
        QFile::setPermissions(locked, QFileDevice::WriteOwner);
        // Someone with rights to read anything (root) cannot test this.
        if (!QFileInfo(locked).isReadable()) {
            const subClass unreadable(locked, 25);
            QVERIFY(!unreadable.allReady());
            QCOMPARE(unreadable.count(), 0);
        }
    }
};

LUMBRA_TEST_MAIN(tst_Subtitles)
#include "tst_Subtitles.moc"
