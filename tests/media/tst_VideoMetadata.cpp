#include "media/VideoMetadata.h"
#include "TestMain.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <array>

using namespace Qt::Literals::StringLiterals;

namespace {

// The fields a parse sets, to compare two parsers by.
struct Parsed {
    QString kind, show, marker, date;
    QList<int> numbers; // season, episode, episode2, part, parts
    bool tv = false;
    bool operator==(const Parsed &) const = default;
};

Parsed fieldsOf(const VideoMetadata &m)
{
    return {
        m.showtype, m.showname, m.metadata, m.showDate, {m.season, m.episode, m.episode2, m.part, m.parts},
        m.isTVShow};
}

// The parser as it was written first, with regular expressions: the
// reference the scanner must agree with on every name.
Parsed referenceParse(const QString &text)
{
    struct Pattern {
        QRegularExpression re;
        QString kind, format;
        bool plain;
    };
    const auto re = [](const QString &pattern) {
        return QRegularExpression(pattern, QRegularExpression::CaseInsensitiveOption |
                                               QRegularExpression::DotMatchesEverythingOption);
    };
    static const std::array<Pattern, 16> patterns = {{
        {re(u"^(.*) S([0-9][0-9]*)E([0-9][0-9]*)-E([0-9][0-9]*).*$"_s), u"EP2"_s, u"%2x%3-%4"_s, true},
        {re(u"^(.*) S([0-9][0-9]*)E([0-9][0-9]*) E([0-9][0-9]*).*$"_s), u"EP2"_s, u"%2x%3-%4"_s, true},
        {re(u"^(.*) S([0-9][0-9]*)E([0-9][0-9]*)E([0-9][0-9]*).*$"_s), u"EP2"_s, u"%2x%3-%4"_s, true},
        {re(u"^(.*) ([0-9][0-9]*)x([0-9][0-9]*)-([0-9][0-9]*).*$"_s), u"EP2"_s, u"%2x%3-%4"_s, true},
        {re(u"^(.*) season ([0-9][0-9]*) ep ([0-9][0-9]*)-([0-9][0-9]*).*$"_s), u"EP2"_s, u"%2x%3-%4"_s,
         true},
        {re(u"^(.*) season ([0-9][0-9]*) ep ([0-9][0-9]*).*$"_s), u"EPI"_s, u"%2x%3"_s, true},
        {re(u"^(.*) S([0-9][0-9]*)E([0-9][0-9]*).*$"_s), u"EPI"_s, u"%2x%3"_s, true},
        {re(u"^(.*) ([0-9][0-9]*)x([0-9][0-9]*).*$"_s), u"EPI"_s, u"%2x%3"_s, true},
        {re(u"^(.*) ([0-9])([0-9][0-9]) .*$"_s), u"EPI"_s, u"%2x%3"_s, true},
        {re(u"^(.*) (19[0-9]{2}|20[0-1][0-9]) (0[0-9]|1[0-2]) ([0-2][0-9]|3[0-1]).*$"_s), u"DAY"_s,
         u"%2-%3-%4"_s, true},
        {re(u"^(.*) (0[0-9]|1[0-2]) ([0-2][0-9]|3[0-1]) (19[0-9]{2}|20[0-1][0-9]).*$"_s), u"DAY"_s,
         u"%4-%2-%3"_s, true},
        {re(u"^(.*) S([0-9][0-9]*).*$"_s), u"SPC"_s, u"SP%2"_s, false},
        {re(u"^(.*) E([0-9][0-9]*).*$"_s), u"SPC"_s, u"SP%2"_s, false},
        {re(u"^(.*) Part ([0-9][0-9]*)[ ]*[Oo][Ff][ ]*([0-9][0-9]*).*$"_s), u"PRT"_s, u"%2-%3"_s, true},
        {re(u"^(.*) ([0-9][0-9]*)[ ]*[Oo][Ff][ ]*([0-9][0-9]*).*$"_s), u"PRT"_s, u"%2-%3"_s, true},
        {re(u"^(.*) Part[ ]*([0-9][0-9]*).*$"_s), u"PRT"_s, u"%2"_s, false},
    }};
    const auto toField = [](const QString &digits) {
        bool ok = false;
        const int value = digits.toInt(&ok);
        return ok ? value : 0;
    };
    QString s = text;
    s.replace(u'.', u' ')
        .replace(u'[', u' ')
        .replace(u']', u' ')
        .replace(u'_', u' ')
        .replace(u" - "_s, u" "_s);
    for (int i = 0; i < 5; ++i)
        s.replace(u"  "_s, u" "_s);

    Parsed out{u"UNK"_s, text.trimmed(), QString(), QString(), {0, 0, 0, 0, 0}, false};
    for (const Pattern &p : patterns) {
        const QRegularExpressionMatch m = p.re.match(s);
        if (!m.hasMatch())
            continue;
        out.kind = p.kind;
        out.show = m.captured(1).trimmed();
        out.marker = p.format;
        out.tv = true;
        for (int g = p.re.captureCount(); g >= 2; --g) {
            QString digits = m.captured(g);
            while (p.plain && digits.size() > 1 && digits.startsWith(u'0'))
                digits.remove(0, 1);
            out.marker.replace(u'%' + QString::number(g), digits);
        }
        const QStringList f = out.marker.split(u'x');
        if (p.kind == "EPI"_L1) {
            out.numbers = {toField(f.value(0)), toField(f.value(1)), 0, 0, 0};
        } else if (p.kind == "EP2"_L1) {
            const QStringList e = f.value(1).split(u'-');
            out.numbers = {toField(f.value(0)), toField(e.value(0)), toField(e.value(1)), 0, 0};
        } else if (p.kind == "DAY"_L1) {
            out.date = out.marker;
        } else if (p.kind == "PRT"_L1) {
            const QStringList parts = out.marker.split(u'-');
            out.numbers = {0, 0, 0, toField(parts.value(0)), toField(parts.value(1))};
        }
        break;
    }
    return out;
}

} // namespace

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

    // The scanner gives what the regular expressions gave, on names built to
    // sit on the edges of each pattern and on random names made of the
    // pieces the patterns look for.
    void agreesWithTheRegularExpressions()
    {
        QStringList names = {
            u"Show S01E02-E03 S04"_s,
            u"Show S01E02 E03x4"_s,
            u"Show s1e2e3e4"_s,
            u"Show 1x2-3-4"_s,
            u"Show SEASON 1 EP 2-3"_s,
            u"Show season1 ep 2"_s,
            u"Show S01E"_s,
            u"Show SE01"_s,
            u"Show 1x"_s,
            u"Show x1"_s,
            u"Show 1234 "_s,
            u"Show 123 "_s,
            u"Show 12 3 "_s,
            u"News 1999 12 31"_s,
            u"News 2019 13 01"_s,
            u"News 2019 00 32"_s,
            u"News 1900 00 00x"_s,
            u"News 12 31 2019"_s,
            u"News 12 31 2020"_s,
            u"News 01 30 19999"_s,
            u"Show E"_s,
            u"Show S"_s,
            u"Film Part 2of3"_s,
            u"Film Part2  OF  3"_s,
            u"Film 2 of3"_s,
            u"Film Part of 3"_s,
            u"Film Part"_s,
            u"Film PART 007"_s,
            u"Show \u017F01E02"_s,
            u"Show \u017Fea\u017Fon 1 ep 2"_s,
            u"Show \u212A01E02"_s,
            u"Show S01\nE02"_s,
            u"Show\nS01E02"_s,
            u"Show \u0661x\u0662"_s,
            u"  S01E02  "_s,
            u"S01E02"_s,
            u" "_s,
            u"Show S01E02 \u00A0"_s,
            u"\u00A0Show S1E2"_s,
            u"Show - - S01E02"_s,
            u"Show . - . S01E02"_s,
            u"Show__[S01E02]"_s,
            u"a     b      S1E1"_s,
            u"Show S0000000000000000000000000000001E1"_s,
            u"Show S2147483648E2147483647"_s,
            u"Show S01E02 \U0001F600"_s,
            u"\U0001F600 1x2"_s,
        };
        // Runs of spaces are shortened by halving them five times.
        for (const int run : {31, 32, 33, 64, 65, 97})
            names.append(u"A"_s + QString(run, u'.') + u"B S01E02"_s);
        names.append(u" 1x2 "_s + QChar(0xD800));
        names.append(QChar(0xDC00) + QString(u" S01E02"_s));

        // Random names: pieces that the patterns look for, glued at random.
        const QStringList pieces = {
            u" "_s,    u"."_s,  u"_"_s,  u"-"_s,      u" - "_s, u"["_s,  u"]"_s,      u"0"_s,
            u"1"_s,    u"2"_s,  u"9"_s,  u"19"_s,     u"20"_s,  u"3"_s,  u"12"_s,     u"31"_s,
            u"s"_s,    u"S"_s,  u"e"_s,  u"E"_s,      u"x"_s,   u"X"_s,  u"season"_s, u"ep"_s,
            u"Part"_s, u"of"_s, u"OF"_s, u"\u017F"_s, u"a"_s,   u"\n"_s, u"\u00E9"_s, u"\U0001F600"_s};
        QRandomGenerator random(17);
        for (int n = 0; n < 20000; ++n) {
            QString name;
            for (int k = random.bounded(1, 14); k > 0; --k)
                name += pieces.at(random.bounded(pieces.size()));
            names.append(name);
        }
        for (const QString &name : std::as_const(names)) {
            const Parsed expected = referenceParse(name);
            const Parsed got = fieldsOf(VideoMetadata(name));
            if (!(got == expected))
                QFAIL(qPrintable(u"\"%1\": %2 \"%3\" %4 instead of %5 \"%6\" %7"_s.arg(
                    name, got.kind, got.show, got.marker, expected.kind, expected.show, expected.marker)));
        }
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
