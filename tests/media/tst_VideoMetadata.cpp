#include "media/VideoMetadata.h"
#include "TestMain.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

class tst_VideoMetadata : public QObject {
    Q_OBJECT
private slots:
    void parse_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("show");
        QTest::addColumn<QString>("marker");
        // season, episode, episode2, part, parts
        QTest::addColumn<QList<int>>("numbers");

        const auto row = [](const char *name, const QString &in, const QString &kind, const QString &show,
                            const QString &marker, const QList<int> &n = {0, 0, 0, 0, 0}) {
            QTest::newRow(name) << in << kind << show << marker << n;
        };
        // Cases the behaviour is defined by.
        row("SxxEyy", u"The.Show.S01E02.720p.HDTV"_s, u"EPI"_s, u"The Show"_s, u"1x2"_s, {1, 2, 0, 0, 0});
        row("double episode", u"Show_S02E03E04"_s, u"EP2"_s, u"Show"_s, u"2x3-4"_s, {2, 3, 4, 0, 0});
        row("spaced dash", u"Show - 1x05 - Title"_s, u"EPI"_s, u"Show"_s, u"1x5"_s, {1, 5, 0, 0, 0});
        row("three digits", u"Show 102 HDTV"_s, u"EPI"_s, u"Show"_s, u"1x2"_s, {1, 2, 0, 0, 0});
        row("three digits at end", u"Show 102"_s, u"UNK"_s, u"Show 102"_s, QString());
        row("date", u"News 2010 01 05"_s, u"DAY"_s, u"News"_s, u"2010-1-5"_s);
        row("date us order", u"News.12.31.1999.x264"_s, u"DAY"_s, u"News"_s, u"1999-12-31"_s);
        row("year out of range", u"News 2020 01 05"_s, u"UNK"_s, u"News 2020 01 05"_s, QString());
        row("part of", u"Documentary Part 2 of 3"_s, u"PRT"_s, u"Documentary"_s, u"2-3"_s, {0, 0, 0, 2, 3});
        row("part alone", u"Documentary Part2"_s, u"PRT"_s, u"Documentary"_s, u"2"_s, {0, 0, 0, 2, 0});
        row("movie", u"Some Movie 1080p"_s, u"UNK"_s, u"Some Movie 1080p"_s, QString());
        row("lower case", u"show.s01e02"_s, u"EPI"_s, u"show"_s, u"1x2"_s, {1, 2, 0, 0, 0});
        row("season ep", u"Show SEASON 1 EP 2"_s, u"EPI"_s, u"Show"_s, u"1x2"_s, {1, 2, 0, 0, 0});
        row("empty", QString(), u"UNK"_s, QString(), QString());

        // The other patterns, and the cases that go wrong easily.
        row("dash range", u"Show.S01E02-E03"_s, u"EP2"_s, u"Show"_s, u"1x2-3"_s, {1, 2, 3, 0, 0});
        row("space range", u"Show S01E02 E03"_s, u"EP2"_s, u"Show"_s, u"1x2-3"_s, {1, 2, 3, 0, 0});
        row("x range", u"Show 3x04-05"_s, u"EP2"_s, u"Show"_s, u"3x4-5"_s, {3, 4, 5, 0, 0});
        row("season ep range", u"Show Season 2 Ep 7-8"_s, u"EP2"_s, u"Show"_s, u"2x7-8"_s, {2, 7, 8, 0, 0});
        row("special S", u"Show S03 Extras"_s, u"SPC"_s, u"Show"_s, u"SP03"_s);
        row("special E", u"Show.E007"_s, u"SPC"_s, u"Show"_s, u"SP007"_s);
        row("of without part", u"Show 1of2"_s, u"PRT"_s, u"Show"_s, u"1-2"_s, {0, 0, 0, 1, 2});
        row("part keeps zeros", u"Film Part 02"_s, u"PRT"_s, u"Film"_s, u"02"_s, {0, 0, 0, 2, 0});
        row("part of drops zeros", u"Film Part 01 of 03"_s, u"PRT"_s, u"Film"_s, u"1-3"_s, {0, 0, 0, 1, 3});
        row("leading zeros", u"Show S000E0010"_s, u"EPI"_s, u"Show"_s, u"0x10"_s, {0, 10, 0, 0, 0});
        row("last marker wins", u"Show S01E01 Recap S02E05"_s, u"EPI"_s, u"Show S01E01 Recap"_s, u"2x5"_s,
            {2, 5, 0, 0, 0});
        row("marker at start", u"S01E02.avi-name"_s, u"UNK"_s, u"S01E02.avi-name"_s, QString());
        row("marker at start after space", u" S01E02"_s, u"EPI"_s, QString(), u"1x2"_s, {1, 2, 0, 0, 0});
        row("marker at end", u"Show.S01E02"_s, u"EPI"_s, u"Show"_s, u"1x2"_s, {1, 2, 0, 0, 0});
        row("brackets and underscores", u"[Group]_Show_[1x03]_[720p]"_s, u"EPI"_s, u"Group Show"_s, u"1x3"_s,
            {1, 3, 0, 0, 0});
        row("many spaces", u"Show............S01E02"_s, u"EPI"_s, u"Show"_s, u"1x2"_s, {1, 2, 0, 0, 0});
        row("hyphen without spaces", u"Show-S01E02"_s, u"UNK"_s, u"Show-S01E02"_s, QString());
        row("number too big", u"Show S99999999999E01"_s, u"EPI"_s, u"Show"_s, u"99999999999x1"_s,
            {0, 1, 0, 0, 0});
        row("bracket movie", u"Movie [2010]"_s, u"UNK"_s, u"Movie [2010]"_s, QString());
        row("resolution is not episode", u"Show 720p"_s, u"UNK"_s, u"Show 720p"_s, QString());
        row("four digits are not 1x80", u"Movie 1080 x264"_s, u"UNK"_s, u"Movie 1080 x264"_s, QString());
    }

    void parse()
    {
        QFETCH(QString, input);
        QFETCH(QString, kind);
        QFETCH(QString, show);
        QFETCH(QString, marker);
        QFETCH(QList<int>, numbers);

        const VideoMetadata m(input);
        QCOMPARE(m.showtype, kind);
        QCOMPARE(m.showname, show);
        QCOMPARE(m.metadata, marker);
        const bool tv = kind != "UNK"_L1 && kind != "MOV"_L1;
        QCOMPARE(m.isTVShow, tv);
        QCOMPARE(m.season, numbers[0]);
        QCOMPARE(m.episode, numbers[1]);
        QCOMPARE(m.episode2, numbers[2]);
        QCOMPARE(m.part, numbers[3]);
        QCOMPARE(m.parts, numbers[4]);
        QCOMPARE(m.showDate, kind == "DAY"_L1 ? marker : QString());
        QVERIFY(m.movieImdbID().isEmpty());
    }

    void fromFileDropsLastExtension()
    {
        QCOMPARE(VideoMetadata(QFileInfo(u"/v/The.Show.S01E02.mkv"_s)).metadata, u"1x2"_s);
        // The extension is cut before parsing: "102.avi" is not "102 ".
        QCOMPARE(VideoMetadata(QFileInfo(u"/v/Show.102.avi"_s)).showtype, u"UNK"_s);
        const VideoMetadata noDot(QFileInfo(u"/v.d/Show S01E02"_s));
        QCOMPARE(noDot.showtype, u"UNK"_s);
        QCOMPARE(noDot.showname, QString());
    }

    void reparseResetsFields()
    {
        VideoMetadata m(u"Show S01E02E03"_s);
        m.setMovieImdbID(u"0133093"_s);
        m.GetEpisodeMetadata(u"Film Part 2 of 3"_s);
        QCOMPARE(m.season, 0);
        QCOMPARE(m.episode2, 0);
        QCOMPARE(m.part, 2);
        QCOMPARE(m.movieImdbID(), u"0133093"_s);
    }
};

LUMBRA_TEST_MAIN(tst_VideoMetadata)
#include "tst_VideoMetadata.moc"
