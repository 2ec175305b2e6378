#include "TestFiles.h"
#include "TestMain.h"

#include "media/movieFile.h"
#include "media/StreamProbe.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

// The streams of videos made here with ffmpeg, and of files that are no
// video or a damaged one.
class tst_StreamProbe final : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_srt;

    QString video(const QString &name, const QStringList &inputs, const QStringList &args)
    {
        return makeVideo(m_dir.filePath(name), inputs, args); // ffmpeg is in scripts/packages.txt
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_srt = writeTestFile(m_dir.filePath(u"cue.srt"_s), "1\n00:00:00,500 --> 00:00:01,500\nHello\n\n");
    }

    // Kind, codec, tag, Lumbra's code and flags of each stream, and which
    // languages count as carried.
    void readsStreamsOfContainers_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QStringList>("carried");
        // ffmpeg's arguments after the inputs (a picture source and two SubRip files).
        const QString maps = u"-map 0 -map 1 -map 2 "_s;
        QTest::newRow("mkv: English SubRip, forced, titled; und one unknown")
            << u"a.mkv"_s
            << QString(maps + u"-c:s srt -metadata:s:s:0 language=eng -metadata:s:s:0 title=Signs "
                              u"-disposition:s:0 forced -metadata:s:s:1 language=und"_s)
                   .split(u' ')
            << QStringList{u"video mpeg4 / "_s, u"subtitle subrip eng en Signs forced text"_s,
                           u"subtitle subrip / text"_s}
            << QStringList{u"en"_s};
        QTest::newRow("mkv: BCP 47 tag and a tag of 200 characters")
            << u"b.mkv"_s
            << QString(maps + u"-c:s ass -metadata:s:s:0 language=pt-BR -metadata:s:s:1 language="_s +
                       QString(200, u'a'))
                   .split(u' ')
            << QStringList{u"video mpeg4 / "_s, u"subtitle ass pt-BR pb default text"_s,
                           u"subtitle ass / text"_s}
            << QStringList{u"pb"_s};
        QTest::newRow("mp4: mov_text in French")
            << u"c.mp4"_s << u"-map 0 -map 1 -c:s mov_text -metadata:s:s:0 language=fre"_s.split(u' ')
            << QStringList{u"video mpeg4 / default"_s, u"subtitle mov_text fre fr default text"_s}
            << QStringList{u"fr"_s};
    }
    void readsStreamsOfContainers()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, args);
        QFETCH(QStringList, expected);
        QFETCH(QStringList, carried);
        const QStringList inputs{u"-i"_s, m_srt, u"-i"_s, m_srt};
        const QString path = video(name, inputs, args);
        QVERIFY(!path.isEmpty());
        const VideoStreams found = StreamProbe::probe(path);
        QVERIFY2(found.failure.isEmpty(), qPrintable(found.failure));
        QStringList described;
        for (const EmbeddedStream &s : found.streams) {
            QStringList words{EmbeddedStream::kindName(s.kind), s.codec,
                              s.languageTag.isEmpty() ? u"/"_s : s.languageTag + u' ' + s.language, s.title};
            if (s.isDefault)
                words.append(u"default"_s);
            if (s.isForced)
                words.append(u"forced"_s);
            if (s.isTextSubtitle)
                words.append(u"text"_s);
            described.append(words.join(u' ').simplified());
        }
        for (QString &line : expected)
            line = line.simplified();
        QCOMPARE(described, expected);
        QCOMPARE(found.frameRate, 25.0);
        QVERIFY(qAbs(found.duration - 3.0) < 0.2);
        for (const QString &language : {u"en"_s, u"fr"_s, u"pb"_s, u"de"_s})
            QCOMPARE(found.carriesTextSubtitleIn(language), carried.contains(language));
    }

    // Nothing that is not a sound video container is read; the reason says why.
    void givesUpOnWhatIsNoVideo_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("cut"); // bytes of a real video kept; -1: use `bytes`
        QTest::newRow("subtitle text") << QByteArray("1\n00:00:00,500 --> 00:00:01,500\nHello\n") << -1;
        QTest::newRow("empty") << QByteArray() << -1;
        QTest::newRow("zeros") << QByteArray(100000, '\0') << -1;
        QTest::newRow("EBML magic and noise") << QByteArray("\x1A\x45\xDF\xA3\xFF\xFF\xFF\xFF\xFF", 9) << -1;
        QTest::newRow("truncated mkv header") << QByteArray() << 60;
    }
    void givesUpOnWhatIsNoVideo()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, cut);
        if (cut >= 0) {
            const QString path =
                video(u"whole.mkv"_s, {u"-i"_s, m_srt}, {u"-map"_s, u"0"_s, u"-map"_s, u"1"_s});
            QVERIFY(!path.isEmpty());
            bytes = readTestFile(path).left(cut);
        }
        const QString file = writeTestFile(m_dir.filePath(u"not-a-video.mkv"_s), bytes);
        for (const VideoStreams &found : {StreamProbe::probe(file), StreamProbe::probeBytes(bytes)}) {
            QVERIFY(!found.failure.isEmpty());
            QVERIFY(found.streams.isEmpty());
            QVERIFY(!found.carriesTextSubtitleIn(u"en"_s));
        }
    }

    void languageTagsAndCodecs()
    {
        const QList<std::pair<QString, QString>> tags{
            {u"eng"_s, u"en"_s}, {u"fre"_s, u"fr"_s},        {u"fra"_s, u"fr"_s},   {u"deu"_s, u"de"_s},
            {u"en"_s, u"en"_s},  {u"pt-BR"_s, u"pb"_s},      {u"pt_br"_s, u"pb"_s}, {u"por"_s, u"pt"_s},
            {u"zho"_s, u"zh"_s}, {u"gre"_s, u"el"_s},        {u"und"_s, u""_s},     {u"xx"_s, u""_s},
            {u"e n"_s, u""_s},   {QString(200, u'a'), u""_s}};
        for (const auto &[tag, code] : tags)
            QVERIFY2(StreamProbe::languageOfTag(tag) == code, qPrintable(tag));
        for (const char *text : {"subrip", "ass", "mov_text", "webvtt"})
            QVERIFY2(StreamProbe::isTextSubtitleCodec(QLatin1StringView(text)), text);
        for (const char *picture : {"hdmv_pgs_subtitle", "dvd_subtitle", "dvb_subtitle", "h264", "nonsense"})
            QVERIFY2(!StreamProbe::isTextSubtitleCodec(QLatin1StringView(picture)), picture);
    }

    // The header is read once per record, only when a wanted language lacks
    // a subtitle beside the video, and copies share what was read.
    void recordsReadOnceAndCountWhenAsked()
    {
        const QString path =
            video(u"rec.mkv"_s, {u"-i"_s, m_srt},
                  {u"-map"_s, u"0"_s, u"-map"_s, u"1"_s, u"-metadata:s:s:0"_s, u"language=eng"_s});
        QVERIFY(!path.isEmpty());
        const auto counted = movieFile::create(path, {}, {u"en"_s}, true);
        QVERIFY(counted->hasAllSubs);
        QVERIFY(counted->carriesSubtitleIn(u"eng"_s));
        QCOMPARE(counted->probeStreams(), counted->streams()); // the same object: read once
        QCOMPARE(movieFile::create(*counted, false)->streams(), counted->streams());

        const auto notCounted = movieFile::create(path, {}, {u"en"_s}, false);
        QVERIFY(!notCounted->hasAllSubs);
        QVERIFY(!notCounted->streams());
        const auto besideCovers =
            movieFile::create(path, {writeTestFile(m_dir.filePath(u"rec.en.srt"_s), "1\n")}, {u"en"_s}, true);
        QVERIFY(!besideCovers->streams()); // nothing missing: the header is not read
    }
};

LUMBRA_TEST_MAIN(tst_StreamProbe)
#include "tst_StreamProbe.moc"
