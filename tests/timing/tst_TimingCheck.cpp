#include "SpeechMedia.h"
#include "TestFiles.h"
#include "TestMain.h"

#include "timing/CueAligner.h"
#include "timing/SpokenCues.h"
#include "timing/SubtitleRetimer.h"
#include "timing/TimingCheck.h"

#include <QProcess>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr double palToFilm = 25.0 / (24000.0 / 1001.0);
// Within this of the truth a cue reads as in time.
constexpr double tolerance = 0.1;

QString subtitleSpec(const QString &name, double offset, double ratio, const QString &options = {})
{
    return u"%1:%2:%3%4"_s.arg(name).arg(offset, 0, 'f', 3).arg(ratio, 0, 'f', 10).arg(options);
}

} // namespace

class tst_TimingCheck : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    SpeechMedia m_film;  // mkv, opus, tones between some lines
    SpeechMedia m_other; // mp4, ac3, another voice and script

    QString path(const QString &name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const QStringList cases[] = {
            {subtitleSpec(u"in_step.srt"_s, 0, 1), subtitleSpec(u"later.srt"_s, 2.5, 1),
             subtitleSpec(u"earlier.srt"_s, -7.25, 1), subtitleSpec(u"far_later.srt"_s, 18, 1),
             subtitleSpec(u"far_earlier.srt"_s, -15, 1), subtitleSpec(u"pal.srt"_s, 0.8, palToFilm),
             subtitleSpec(u"ntsc.srt"_s, -3, 1 / palToFilm),
             subtitleSpec(u"skipped.srt"_s, 4, 1, u":drop=4"_s),
             subtitleSpec(u"notes.srt"_s, 1.5, 1, u":notes"_s)},
            {subtitleSpec(u"in_step.srt"_s, 0, 1)},
        };
        m_film = SpeechMedia::make(path(u"film"_s), [&] {
            QStringList args = {u"--seconds"_s, u"45"_s,      u"--seed"_s,  u"3"_s,     u"--music"_s,
                                u"--codec"_s,   u"opus"_s,    u"--voice"_s, u"en-us"_s, u"--voice"_s,
                                u"en-gb+f3"_s,  u"--noise"_s, u"0.02"_s};
            for (const QString &wanted : cases[0])
                args << u"--subtitle"_s << wanted;
            return args;
        }());
        m_other =
            SpeechMedia::make(path(u"other"_s), {u"--seconds"_s, u"45"_s, u"--seed"_s, u"9"_s, u"--codec"_s,
                                                 u"ac3"_s, u"--container"_s, u"mp4"_s, u"--voice"_s,
                                                 u"en-gb-scotland"_s, u"--subtitle"_s, cases[1].first()});
    }

    // The measured transform must put the subtitle's first and last cues
    // where the truth has them, and a subtitle in step must be left alone.
    void measuresOffsetsAndRates_data()
    {
        QTest::addColumn<QString>("subtitle");
        QTest::addColumn<double>("offset");
        QTest::addColumn<double>("ratio");
        QTest::newRow("in step") << u"in_step.srt"_s << 0.0 << 1.0;
        QTest::newRow("2.5 s later") << u"later.srt"_s << 2.5 << 1.0;
        QTest::newRow("7.25 s earlier") << u"earlier.srt"_s << -7.25 << 1.0;
        QTest::newRow("18 s later") << u"far_later.srt"_s << 18.0 << 1.0;
        QTest::newRow("15 s earlier, cues past the end") << u"far_earlier.srt"_s << -15.0 << 1.0;
        QTest::newRow("25 to 23.976 fps") << u"pal.srt"_s << 0.8 << palToFilm;
        QTest::newRow("23.976 to 25 fps") << u"ntsc.srt"_s << -3.0 << 1 / palToFilm;
        QTest::newRow("lines missing") << u"skipped.srt"_s << 4.0 << 1.0;
        QTest::newRow("music notes") << u"notes.srt"_s << 1.5 << 1.0;
    }
    void measuresOffsetsAndRates()
    {
        QFETCH(QString, subtitle);
        QFETCH(double, offset);
        QFETCH(double, ratio);
        const QString file = path(u"film/"_s + subtitle);
        const TimingMeasurement m = TimingCheck::measure(m_film.video, file);
        QVERIFY2(m.measured(), qPrintable(m.error));
        QVERIFY2(m.sure(), qPrintable(u"confidence %1"_s.arg(m.confidence)));
        const TimingTransform expected{ratio, offset};
        const QList<double> starts = srtCueStarts(file);
        for (const double start : {starts.first(), starts.last()}) {
            const double error = m.transform.apply(start) - expected.apply(start);
            QVERIFY2(std::abs(error) <= tolerance,
                     qPrintable(u"cue at %1 s lands %2 s off (%3)"_s.arg(start).arg(error).arg(
                         m.transform.description())));
        }
        QCOMPARE(m.fixAdvised(), offset != 0 || ratio != 1);
    }

    void anotherContainerAndCodec()
    {
        const TimingMeasurement m = TimingCheck::measure(m_other.video, path(u"other/in_step.srt"_s));
        QVERIFY2(m.sure(), qPrintable(m.reasonToLeave()));
        QVERIFY2(!m.fixAdvised(), qPrintable(m.transform.description()));
    }

    void leavesWhatItCannotMatch_data()
    {
        QTest::addColumn<QString>("video");
        QTest::addColumn<QString>("subtitle");
        QTest::addColumn<QString>("error"); // empty: measured but not sure
        QTest::newRow("another film's subtitle") << u"film"_s << u"other/in_step.srt"_s << QString();
        QTest::newRow("music only") << u"tones"_s << u"film/in_step.srt"_s << QString();
        QTest::newRow("no audio track") << u"silent"_s << u"film/in_step.srt"_s << u"no audio track"_s;
        QTest::newRow("not a video") << u"bogus"_s << u"film/in_step.srt"_s << u"cannot read the video"_s;
        QTest::newRow("one cue") << u"film"_s << u"one.srt"_s << u"too few spoken cues"_s;
        QTest::newRow("not a subtitle") << u"film"_s << u"film/truth.json"_s << u"SRT and SUB"_s;
    }
    void leavesWhatItCannotMatch()
    {
        QFETCH(QString, video);
        QFETCH(QString, subtitle);
        QFETCH(QString, error);
        const QString tones = path(u"tones.mkv"_s), silent = path(u"silent.mkv"_s);
        if (!QFile::exists(tones)) {
            QCOMPARE(QProcess::execute(u"ffmpeg"_s,
                                       {u"-nostdin"_s, u"-loglevel"_s, u"error"_s, u"-f"_s, u"lavfi"_s,
                                        u"-i"_s, u"sine=frequency=330:beep_factor=3:duration=45"_s, u"-c:a"_s,
                                        u"libopus"_s, tones}),
                     0);
            QCOMPARE(QProcess::execute(u"ffmpeg"_s, {u"-nostdin"_s, u"-loglevel"_s, u"error"_s, u"-f"_s,
                                                     u"lavfi"_s, u"-i"_s, u"color=c=black:s=32x32:d=5"_s,
                                                     u"-c:v"_s, u"mpeg4"_s, silent}),
                     0);
            writeTestFile(path(u"bogus.mkv"_s), QByteArray(70000, 'x'));
            writeTestFile(path(u"one.srt"_s), "1\n00:00:05,000 --> 00:00:07,000\nHello there.\n");
        }
        const QString videoFile = video == "film"_L1 ? m_film.video : path(video + u".mkv"_s);
        const QString subtitleFile = path(subtitle);
        const QByteArray before = readTestFile(subtitleFile);
        const TimingMeasurement m = TimingCheck::measure(videoFile, subtitleFile);
        if (error.isEmpty()) {
            QVERIFY2(m.measured(), qPrintable(m.error));
            QVERIFY2(!m.sure(), qPrintable(u"confidence %1"_s.arg(m.confidence)));
        } else {
            QVERIFY2(m.error.contains(error), qPrintable(m.error));
        }
        QVERIFY(!m.fixAdvised());
        QVERIFY(!TimingCheck::applyFix(subtitleFile, m).error.isEmpty());
        QCOMPARE(readTestFile(subtitleFile), before);
    }

    void stopsWhenCancelled()
    {
        std::atomic<int> asked = 0;
        const TimingMeasurement m =
            TimingCheck::measure(m_film.video, path(u"film/later.srt"_s), [&asked] { return ++asked > 20; });
        QCOMPARE(m.error, u"cancelled"_s);
    }

    void soundTagsAreNotSpeech_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<bool>("tag");
        QTest::newRow("music") << QStringList{u"[MUSIC]"_s} << true;
        QTest::newRow("notes") << QStringList{u"♪ la la la ♪"_s} << true;
        QTest::newRow("italic note") << QStringList{u"<i>(door slams)</i>"_s} << true;
        QTest::newRow("tag lines") << QStringList{u"[laughs]"_s, u"♪"_s} << true;
        QTest::newRow("words after a tag") << QStringList{u"[MUSIC] Come here."_s} << false;
        QTest::newRow("speaker and words") << QStringList{u"(JOHN) Come here."_s} << false;
        QTest::newRow("dialogue") << QStringList{u"- Where?"_s, u"- There."_s} << false;
    }
    void soundTagsAreNotSpeech()
    {
        QFETCH(QStringList, lines);
        QFETCH(bool, tag);
        QCOMPARE(SpokenCues::isSoundTag(lines), tag);
    }

    // Only the times change: encoding, byte-order mark, line ends and texts stay.
    void retimingKeepsEverythingElse_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("ratio");
        QTest::addColumn<double>("offset");
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        const auto utf16 = [](const QString &text) {
            return QByteArray(
                QStringEncoder(QStringConverter::Utf16LE, QStringConverter::Flag::WriteBom).encode(text));
        };
        QTest::newRow("UTF-8 with BOM, CRLF, time-like text")
            << u"a.srt"_s << 1.0 << 2.0
            << QByteArray("\xEF\xBB\xBF"
                          "1\r\n00:00:01,000 --> 00:00:02,500\r\nCaf\xC3\xA9 12:00:00,000\r\n")
            << QByteArray("\xEF\xBB\xBF"
                          "1\r\n00:00:03,000 --> 00:00:04,500\r\nCaf\xC3\xA9 12:00:00,000\r\n");
        QTest::newRow("Latin-1, dot separator, moved before the start")
            << u"b.srt"_s << 1.0 << -1.0 << QByteArray("1\n00:00:00.500 --> 00:00:02.000\nCaf\xE9\n")
            << QByteArray("1\n00:00:00.000 --> 00:00:01.000\nCaf\xE9\n");
        QTest::newRow("UTF-16LE, stretched")
            << u"c.srt"_s << 2.0 << 0.0 << utf16(u"1\n01:00:00,000 --> 01:00:01,000\nÉté\n"_s)
            << utf16(u"1\n02:00:00,000 --> 02:00:02,000\nÉté\n"_s);
        QTest::newRow("SUB frames at 25 fps")
            << u"d.sub"_s << 1.0 << 2.0 << QByteArray("{25}{50}Hello|there\n{100}{}Bye\n")
            << QByteArray("{75}{100}Hello|there\n{150}{}Bye\n");
    }
    void retimingKeepsEverythingElse()
    {
        QFETCH(QString, name);
        QFETCH(double, ratio);
        QFETCH(double, offset);
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        const SubtitleRetimer::Retimed retimed = SubtitleRetimer::retime(before, name, {ratio, offset}, 25.0);
        QVERIFY2(retimed.error.isEmpty(), qPrintable(retimed.error));
        QCOMPARE(retimed.content, after);
    }
};

LUMBRA_TEST_MAIN(tst_TimingCheck)
#include "tst_TimingCheck.moc"
