#include "media/movieFile.h"
#include "prefs/myPrefs.h"
#include "service/BestChoice.h"
#include "service/JobRecords.h"
#include "service/openSubtitleItem.h"
#include "TestMain.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

openSubtitleItemPtr result(const QString &hash, const QString &lang, double rating, int downloads,
                           bool meta = true)
{
    auto item = std::make_shared<openSubtitleItem>();
    item->SubHash = hash;
    item->ISO639 = lang;
    item->SubRating = rating;
    item->SubDownloadsCnt = downloads;
    item->metaMatch = meta;
    return item;
}

openSubtitleItemPtr hashResult(const QString &movieHash, const QString &subHash)
{
    Dictionary entry{{u"MatchedBy"_s, u"moviehash"_s}, {u"MovieHash"_s, movieHash},
                     {u"SubHash"_s, subHash},          {u"IDMovieImdb"_s, u"0111161"_s},
                     {u"ISO639"_s, u"en"_s},           {u"SubFileName"_s, u"x.srt"_s}};
    return std::make_shared<openSubtitleItem>(entry);
}

} // namespace

// The merge and the best choice, without a network: records of real files
// held by a client whose replies are applied by hand.
class tst_ResultMerge : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    std::shared_ptr<movieFile> video(const QString &name, const QString &hash)
    {
        QFile file(m_dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot create the video");
        file.write(QByteArray(70000, 'v'));
        file.close();
        auto record = movieFile::create(file.fileName());
        record->setMovieHash(hash);
        return record;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        myPrefs::resetToDefaults();
    }

    void entryFieldsReadFromTextOrNumbers()
    {
        const Dictionary entry{{u"IDSubtitle"_s, u"42"_s},
                               {u"SubRating"_s, u"7.5"_s},
                               {u"SubDownloadsCnt"_s, 1234.0},
                               {u"SubBad"_s, u"1"_s},
                               {u"SubHearingImpaired"_s, u"0"_s},
                               {u"MovieBytesize"_s, u"7033732714"_s},
                               {u"IDMovieImdb"_s, u"tt0111161"_s},
                               {u"SubFormat"_s, u"tmp"_s},
                               {u"SubAddDate"_s, u"2013-10-16 16:56:06"_s},
                               {u"MovieName"_s, u"Heat"_s},
                               {u"SubFileName"_s, u"heat.srt"_s}};
        const openSubtitleItem item(entry);
        QCOMPARE(item.IDSubtitle, 42);
        QCOMPARE(item.SubRating, 7.5);
        QCOMPARE(item.SubDownloadsCnt, 1234);
        QVERIFY(item.SubBad);
        QVERIFY(!item.SubHearingImpaired);
        QCOMPARE(item.MovieBytesize, 7033732714ULL);
        QCOMPARE(item.IDMovieImdb, 111161);
        QCOMPARE(item.SubFormat, u"txt"_s);
        QCOMPARE(item.SubAddDate, QDateTime(QDate(2013, 10, 16), QTime(16, 56, 6)));
        QCOMPARE(item.Cellstring(), u"Heat/heat.srt (1234)"_s);

        const openSubtitleItem blank;
        QCOMPARE(blank.status, u"idle"_s);
        QVERIFY(blank.SubHash.isEmpty());
        QCOMPARE(blank.SubRating, 0.0);
    }

    // Numbers beyond a field's range are clamped to it; never a cast that
    // overflows.
    void numbersOutOfRangeAreClamped_data()
    {
        QTest::addColumn<Variant>("number");
        QTest::addColumn<quint64>("byteSize");
        QTest::addColumn<int>("id");
        constexpr quint64 maxSize = std::numeric_limits<quint64>::max();
        constexpr int maxInt = std::numeric_limits<int>::max();
        constexpr int minInt = std::numeric_limits<int>::min();
        QTest::newRow("huge text") << Variant(u"99999999999999999999"_s) << maxSize << maxInt;
        QTest::newRow("1e10") << Variant(1e10) << quint64(10000000000) << maxInt;
        QTest::newRow("-1e11") << Variant(-1e11) << quint64(0) << minInt;
        QTest::newRow("2^64") << Variant(18446744073709551616.0) << maxSize << maxInt;
        QTest::newRow("infinity") << Variant(std::numeric_limits<double>::infinity()) << maxSize << maxInt;
        QTest::newRow("minus infinity")
            << Variant(-std::numeric_limits<double>::infinity()) << quint64(0) << minInt;
        QTest::newRow("NaN") << Variant(std::numeric_limits<double>::quiet_NaN()) << quint64(0) << 0;
        QTest::newRow("text inf") << Variant(u"inf"_s) << quint64(0) << 0;
        QTest::newRow("fraction") << Variant(u"12.9"_s) << quint64(12) << 12;
    }
    void numbersOutOfRangeAreClamped()
    {
        QFETCH(Variant, number);
        const openSubtitleItem item(Dictionary{{u"MovieBytesize"_s, number}, {u"IDSubtitle"_s, number}});
        QTEST(item.MovieBytesize, "byteSize");
        QTEST(item.IDSubtitle, "id");
    }

    void hostileNamesFromTheServiceStayPlain_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("expectedName");
        QTest::addColumn<QString>("expectedFormat");
        QTest::newRow("plain") << u"Movie.srt"_s << u"srt"_s << u"en"_s << u"Movie.srt"_s << u"srt"_s;
        QTest::newRow("parent folders")
            << u"../../etc/passwd"_s << u"../x"_s << u"../"_s << u"passwd"_s << u"srt"_s;
        QTest::newRow("dot dot") << u".."_s << u"s/rt"_s << u"e\nn"_s << u"subtitle"_s << u"srt"_s;
        QTest::newRow("control characters")
            << u"a\0b\ac.srt"_s << u"sub"_s << u"es"_s << u"abc.srt"_s << u"sub"_s;
        QTest::newRow("windows path")
            << u"C:\\subs\\film.srt"_s << u"SRT"_s << u"fr"_s << u"film.srt"_s << u"SRT"_s;
        QTest::newRow("very long") << QString(5000, u'a') << QString(300, u'b') << u"en"_s
                                   << QString(180, u'a') << u"srt"_s;
    }
    void hostileNamesFromTheServiceStayPlain()
    {
        QFETCH(QString, fileName);
        QFETCH(QString, format);
        QFETCH(QString, language);
        QFETCH(QString, expectedName);
        QFETCH(QString, expectedFormat);
        openSubtitleItem item(Dictionary{{u"SubFileName"_s, fileName},
                                         {u"SubFormat"_s, format},
                                         {u"ISO639"_s, language},
                                         {u"IDSubtitle"_s, u"7"_s}});
        QCOMPARE(item.SubFileName, expectedName);
        QCOMPARE(item.SubFormat, expectedFormat);
        item.setMovieFolderItemPath(m_dir.filePath(u"Film.mkv"_s));
        for (const QString &name : {item.finalName(), item.previewName()}) {
            QVERIFY2(!name.contains(u'/') && !name.contains(u'\0') && name != ".."_L1, qPrintable(name));
            QVERIFY(name.size() < 255);
        }
    }

    void metaMatchFollowsEpisodeData()
    {
        openSubtitleItem item(Dictionary{{u"SubFileName"_s, u"Show.S02E05.srt"_s},
                                         {u"SeriesSeason"_s, u"2"_s},
                                         {u"SeriesEpisode"_s, u"6"_s}});
        item.setMovieFolderItemPath(u"/videos/Show.S02E06.mkv"_s);
        QVERIFY(item.metaMatch); // names disagree, the entry's own numbers agree

        openSubtitleItem other(Dictionary{{u"SubFileName"_s, u"Show.S02E05.srt"_s}});
        other.setMovieFolderItemPath(u"/videos/Show.S02E06.mkv"_s);
        QVERIFY(!other.metaMatch);
        openSubtitleItem film(Dictionary{{u"SubFileName"_s, u"heat.srt"_s}});
        film.setMovieFolderItemPath(u"/videos/Heat.1995.mkv"_s);
        QVERIFY(film.metaMatch);
    }

    // The best choice over tables of results: each candidate written as
    // "hash lang rating downloads [stranger] [bad]", in list order.
    void bestChoice_data()
    {
        QTest::addColumn<QStringList>("candidates");
        QTest::addColumn<QStringList>("languages");
        QTest::addColumn<QStringList>("chosen");
        QTest::addColumn<QList<int>>("scores");
        QTest::newRow("a tie goes to more downloads")
            << QStringList{u"a en 5 100"_s, u"b en 5 200"_s} << QStringList{u"en"_s} << QStringList{u"b"_s}
            << QList<int>{2, 2};
        QTest::newRow("a 10 counts as 7 and loses to an 8")
            << QStringList{u"eight en 8 10"_s, u"ten en 10 999"_s} << QStringList{u"en"_s}
            << QStringList{u"eight"_s} << QList<int>{2, 1};
        QTest::newRow("unrated counts as 5; bad and strangers are never chosen")
            << QStringList{u"bad en 9 5000 bad"_s, u"stranger en 9 5000 stranger"_s, u"unrated en 0 1"_s}
            << QStringList{u"en"_s} << QStringList{u"unrated"_s} << QList<int>{0, -2, 2};
        QTest::newRow("only bad candidates: nothing, not even a result without a hash")
            << QStringList{u"x en 9 5 bad"_s, u"- es 9 5"_s} << QStringList{u"en"_s} << QStringList{}
            << QList<int>{0, 0};
        QTest::newRow("one choice per language, others untouched")
            << QStringList{u"e1 en 6 1"_s, u"s1 es 6 1"_s, u"e2 en 7 5"_s, u"f1 fr 9 9"_s}
            << QStringList{u"en"_s, u"es"_s} << QStringList{u"s1"_s, u"e2"_s} << QList<int>{2, 2, 2, 0};
    }

    void bestChoice()
    {
        QFETCH(QStringList, candidates);
        QFETCH(QStringList, languages);
        QFETCH(QStringList, chosen);
        QFETCH(QList<int>, scores);
        QList<openSubtitleItemPtr> results;
        for (const QString &text : std::as_const(candidates)) {
            const QStringList f = text.split(u' ');
            const QString hash = f[0] == "-"_L1 ? QString() : f[0];
            results.append(result(hash, f[1], f[2].toDouble(), f[3].toInt(), !f.contains(u"stranger"_s)));
            results.last()->SubBad = f.contains(u"bad"_s);
        }
        BestChoice::mark(results, languages);
        QStringList marked;
        QList<int> rated;
        for (const auto &r : std::as_const(results)) {
            QCOMPARE(r->myBest, r->isChecked);
            if (r->myBest)
                marked.append(r->SubHash);
            rated.append(r->myRating);
        }
        QCOMPARE(marked, chosen);
        QCOMPARE(rated, scores);
    }

    // The user's wishes over one table: hearing-impaired (hi), machine-
    // translated (mt) and forced results, written as in bestChoice.
    void bestChoiceWishes_data()
    {
        QTest::addColumn<QString>("hearingImpaired");
        QTest::addColumn<bool>("skipMachineTranslated");
        QTest::addColumn<QStringList>("candidates");
        QTest::addColumn<QStringList>("chosen");
        const QStringList all{u"forced en 9.9 9000 forced"_s, u"mt en 9.5 900 mt"_s, u"hi en 9 500 hi"_s,
                              u"plain en 6 10"_s, u"hies es 8 10 hi"_s};
        QTest::newRow("any: forced and machine-translated never, hi as any other")
            << u"any"_s << true << all << QStringList{u"hi"_s, u"hies"_s};
        QTest::newRow("machine-translated allowed when the user says so")
            << u"any"_s << false << all << QStringList{u"mt"_s, u"hies"_s};
        QTest::newRow("avoid: hi only where nothing else exists")
            << u"avoid"_s << true << all << QStringList{u"plain"_s, u"hies"_s};
        QTest::newRow("only: hi or nothing")
            << u"only"_s << true << QStringList{u"plain en 9 10"_s, u"mthi en 9 99 hi mt"_s, u"pes es 9 9"_s}
            << QStringList{};
        QTest::newRow("only: the hi one wins over a better plain one")
            << u"only"_s << true << all << QStringList{u"hi"_s, u"hies"_s};
    }
    void bestChoiceWishes()
    {
        QFETCH(QString, hearingImpaired);
        QFETCH(bool, skipMachineTranslated);
        QFETCH(QStringList, candidates);
        QFETCH(QStringList, chosen);
        QList<openSubtitleItemPtr> results;
        for (const QString &text : std::as_const(candidates)) {
            const QStringList f = text.split(u' ');
            results.append(result(f[0], f[1], f[2].toDouble(), f[3].toInt()));
            results.last()->SubHearingImpaired = f.contains(u"hi"_s);
            results.last()->SubAutoTranslation = f.contains(u"mt"_s);
            results.last()->SubForeignPartsOnly = f.contains(u"forced"_s);
        }
        BestChoice::mark(results, {u"en"_s, u"es"_s}, {hearingImpaired, skipMachineTranslated});
        QStringList marked;
        for (const auto &r : std::as_const(results)) {
            if (r->isChecked)
                marked.append(r->SubHash);
        }
        QCOMPARE(marked, chosen);
    }

    // Both interfaces carry the flags the choice reads.
    void providersMapTheFlagsAlike()
    {
        const openSubtitleItem xmlrpc(Dictionary{{u"SubHearingImpaired"_s, u"1"_s},
                                                 {u"SubAutoTranslation"_s, u"1"_s},
                                                 {u"SubForeignPartsOnly"_s, u"1"_s}});
        QVERIFY(xmlrpc.SubHearingImpaired && xmlrpc.SubAutoTranslation && xmlrpc.SubForeignPartsOnly);
        const openSubtitleItem plain(
            Dictionary{{u"SubAutoTranslation"_s, u"0"_s}, {u"SubForeignPartsOnly"_s, u"0"_s}});
        QVERIFY(!plain.SubAutoTranslation && !plain.SubForeignPartsOnly);
    }

    void resultsAttachOnceToEveryVideoWithTheirHash()
    {
        JobRecords records;
        const auto one = video(u"One.avi"_s, u"09a2c497663259cb"_s);
        const auto copy = video(u"Copy.avi"_s, u"09a2c497663259cb"_s);
        const auto other = video(u"Other.avi"_s, u"1111111111111111"_s);
        records.movieFiles = {one, copy, other};

        // The service may write the hash without its leading zero.
        records.addThisResult(hashResult(u"9a2c497663259cb"_s, u"sub1"_s));
        records.addThisResult(hashResult(u"09a2c497663259cb"_s, u"sub1"_s)); // listed twice in a reply
        QCOMPARE(one->subtitleResults().size(), 1);
        QCOMPARE(copy->subtitleResults().size(), 1);
        QCOMPARE(other->subtitleResults().size(), 0);
        QCOMPARE(one->imdbs().size(), 1);
        QCOMPARE(one->subtitleResults().first()->MovieHash, u"09a2c497663259cb"_s);

        // A second subtitle of the same film adds no second IMDB entry.
        records.addThisResult(hashResult(u"09a2c497663259cb"_s, u"sub2"_s));
        QCOMPARE(one->subtitleResults().size(), 2);
        QCOMPARE(one->imdbs().size(), 1);

        // Results and IMDB entries replaced wholesale (a new search) take
        // the same subtitle and film again.
        one->setSubtitleResults({});
        one->setImdbs({});
        records.addThisResult(hashResult(u"09a2c497663259cb"_s, u"sub1"_s));
        QCOMPARE(one->subtitleResults().size(), 1);
        QCOMPARE(one->imdbs().size(), 1);
    }

    void nameAndTagResultsMatchTheFileName()
    {
        JobRecords records;
        const auto film = video(u"Heat.1995.1080p.mkv"_s, u"2222222222222222"_s);
        const auto episode = video(u"The.Wire.S01E02.avi"_s, u"3333333333333333"_s);
        records.movieFiles = {film, episode};

        auto byName = std::make_shared<openSubtitleItem>(Dictionary{
            {u"MatchedBy"_s, u"fulltext"_s},
            {u"SubHash"_s, u"n1"_s},
            {u"QueryParameters"_s, QVariant::fromValue(Dictionary{{u"query"_s, u"heat.1995.1080p"_s}})}});
        records.addThisResult(byName);
        auto byEpisode = std::make_shared<openSubtitleItem>(Dictionary{
            {u"MatchedBy"_s, u"fulltext"_s},
            {u"SubHash"_s, u"n2"_s},
            {u"QueryParameters"_s, QVariant::fromValue(Dictionary{
                                       {u"query"_s, u"the wire"_s}, {u"season"_s, 1}, {u"episode"_s, 2}})}});
        records.addThisResult(byEpisode);
        auto byTag = std::make_shared<openSubtitleItem>(Dictionary{
            {u"MatchedBy"_s, u"tag"_s},
            {u"SubHash"_s, u"t1"_s},
            {u"QueryParameters"_s, QVariant::fromValue(Dictionary{{u"tag"_s, u"Heat.1995.1080p.mkv"_s}})}});
        records.addThisResult(byTag);

        QCOMPARE(film->subtitleResults().size(), 2);
        QCOMPARE(episode->subtitleResults().size(), 1);
        QCOMPARE(episode->subtitleResults().first()->SubHash, u"n2"_s);
    }

    // Each kind of result among several videos: the ones it attaches to, in
    // list order (the record then names the last of them).
    void eachKindOfResultFindsItsVideos_data()
    {
        QTest::addColumn<Dictionary>("entry");
        QTest::addColumn<QStringList>("attachedTo");
        const auto named = [](const Dictionary &query) { return QVariant::fromValue(query); };
        QTest::newRow("hash") << Dictionary{{u"MatchedBy"_s, u"moviehash"_s},
                                            {u"MovieHash"_s, u"1111111111111111"_s}}
                              << QStringList{u"Heat.1995.mkv"_s, u"Heat.1995.avi"_s};
        QTest::newRow("IMDB id") << Dictionary{{u"MatchedBy"_s, u"imdbid"_s},
                                               {u"IDMovieImdb"_s, u"0113277"_s}}
                                 << QStringList{u"Heat.1995.mkv"_s};
        QTest::newRow("tag, any case")
            << Dictionary{{u"MatchedBy"_s, u"tag"_s},
                          {u"QueryParameters"_s, named({{u"tag"_s, u"heat.1995.AVI"_s}})}}
            << QStringList{u"Heat.1995.avi"_s};
        QTest::newRow("film name") << Dictionary{{u"MatchedBy"_s, u"fulltext"_s},
                                                 {u"QueryParameters"_s, named({{u"query"_s, u"heat.1995"_s},
                                                                               {u"season"_s, 0},
                                                                               {u"episode"_s, 0}})}}
                                   << QStringList{u"Heat.1995.mkv"_s, u"Heat.1995.avi"_s};
        QTest::newRow("episode") << Dictionary{{u"MatchedBy"_s, u"fulltext"_s},
                                               {u"QueryParameters"_s, named({{u"query"_s, u"the wire"_s},
                                                                             {u"season"_s, 1},
                                                                             {u"episode"_s, 3}})}}
                                 << QStringList{u"The.Wire.S01E03.avi"_s};
        QTest::newRow("episode of another IMDB id")
            << Dictionary{{u"MatchedBy"_s, u"fulltext"_s},
                          {u"IDMovieImdb"_s, u"999"_s},
                          {u"QueryParameters"_s,
                           named({{u"query"_s, u"the wire"_s}, {u"season"_s, 1}, {u"episode"_s, 2}})}}
            << QStringList{};
        // The first video lends its season and episode to a query without them.
        QTest::newRow("episode, season and episode lent")
            << Dictionary{{u"MatchedBy"_s, u"fulltext"_s},
                          {u"QueryParameters"_s, named({{u"query"_s, u"The Wire"_s}})}}
            << QStringList{u"The.Wire.S01E02.avi"_s};
        QTest::newRow("episode by its file name")
            << Dictionary{{u"MatchedBy"_s, u"fulltext"_s},
                          {u"QueryParameters"_s,
                           named({{u"query"_s, u"the.wire.s01e03"_s}, {u"season"_s, 0}, {u"episode"_s, 0}})}}
            << QStringList{u"The.Wire.S01E03.avi"_s};
    }
    void eachKindOfResultFindsItsVideos()
    {
        QFETCH(Dictionary, entry);
        QFETCH(QStringList, attachedTo);
        JobRecords records;
        const auto wire = video(u"The.Wire.S01E02.avi"_s, u"2222222222222222"_s);
        wire->metadata()->setMovieImdbID(u"0306414"_s);
        const auto heat = video(u"Heat.1995.mkv"_s, u"1111111111111111"_s);
        heat->metadata()->setMovieImdbID(u"0113277"_s);
        records.movieFiles = {wire, heat, video(u"Heat.1995.avi"_s, u"1111111111111111"_s),
                              video(u"The.Wire.S01E03.avi"_s, u"3333333333333333"_s),
                              video(u"Ronin.mkv"_s, u"4444444444444444"_s)};
        entry.insert(u"SubHash"_s, u"s1"_s);
        const auto item = std::make_shared<openSubtitleItem>(entry);
        records.addThisResult(item);

        QStringList attached;
        for (const auto &v : std::as_const(records.movieFiles)) {
            if (!v->subtitleResults().isEmpty())
                attached.append(v->movieFileName());
        }
        QCOMPARE(attached, attachedTo);
        if (!attachedTo.isEmpty())
            QCOMPARE(QFileInfo(item->movieFolderItemPath()).fileName(), attachedTo.last());
    }

    void imdbCandidatesGoToVideosWithThatHash()
    {
        JobRecords records;
        const auto known = video(u"Known.avi"_s, u"4444444444444444"_s);
        records.movieFiles = {known};
        const Dictionary candidate{{u"MovieHash"_s, u"4444444444444444"_s},
                                   {u"MovieImdbID"_s, u"133093"_s},
                                   {u"MovieName"_s, u"The Matrix"_s},
                                   {u"MovieYear"_s, u"1999"_s},
                                   {u"MovieKind"_s, u"movie"_s},
                                   {u"SeriesSeason"_s, u"0"_s},
                                   {u"SeriesEpisode"_s, u"0"_s},
                                   {u"SeenCount"_s, u"12"_s}};
        records.addThisResult(candidate, {QVariant::fromValue(candidate)});
        QCOMPARE(known->metadata()->movieImdbID(), u"133093"_s);
        QCOMPARE(known->metadata()->identity().MovieYear, 1999);
        QCOMPARE(known->imdbs().size(), 1);

        Dictionary stranger = candidate;
        stranger.insert(u"MovieHash"_s, u"5555555555555555"_s);
        stranger.insert(u"MovieImdbID"_s, u"1"_s);
        records.addThisResult(stranger, {QVariant::fromValue(stranger)});
        QCOMPARE(known->metadata()->movieImdbID(), u"133093"_s);
    }
};

LUMBRA_TEST_MAIN(tst_ResultMerge)
#include "tst_ResultMerge.moc"
