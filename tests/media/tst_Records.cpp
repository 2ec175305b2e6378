#include "media/movieFile.h"
#include "media/subtitleFile.h"
#include "prefs/myPrefs.h"
#include "service/openSubtitleItem.h"
#include "service/ResultChecks.h"
#include "TestMain.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <thread>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace {

QString makeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes = "x")
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

std::shared_ptr<openSubtitleItem> result(const QString &hash, const QString &lang, bool checked = false)
{
    auto r = std::make_shared<openSubtitleItem>();
    r->SubHash = hash;
    r->ISO639 = lang;
    r->isChecked = checked;
    return r;
}

// The 16-digit movie hash of a file of 65,536 zero bytes: the size alone.
const QString kZeroChunkHash = u"0000000000010000"_s;

} // namespace

class tst_Records : public QObject {
    Q_OBJECT
private slots:
    void init() { myPrefs::resetToDefaults(); }

    void subtitleLanguageFromName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("code");
        QTest::newRow("two letters") << u"movie.en.srt"_s << u"eng"_s;
        QTest::newRow("upper case") << u"movie.EN.srt"_s << u"eng"_s;
        QTest::newRow("brazilian") << u"movie.pb.srt"_s << u"pob"_s;
        QTest::newRow("three letters") << u"movie.eng.srt"_s << QString();
        QTest::newRow("two fields") << u"movie.srt"_s << QString();
        QTest::newRow("not a code") << u"movie.x.srt"_s << QString();
        QTest::newRow("piece of a code") << u"movie.e.srt"_s << QString();
        QTest::newRow("empty field") << u"movie..srt"_s << QString();
        QTest::newRow("no dot") << u"subtitle"_s << QString();
    }

    void subtitleLanguageFromName()
    {
        QFETCH(QString, name);
        QFETCH(QString, code);
        QTemporaryDir dir;
        const subtitleFile sub(makeFile(dir, name));
        QCOMPARE(sub.subtitleFileName(), name);
        QCOMPARE(sub.ISO639(), code);
        QCOMPARE(sub.ISO639(), code); // the second read gives the same
    }

    void subtitleGettersOnRealFile()
    {
        QTemporaryDir dir;
        const QString path = makeFile(dir, u"Movie.fr.srt"_s, "abc");
        subtitleFile sub(path);
        QCOMPARE(sub.path(), path);
        QCOMPARE(sub.bytesize(), quint64(3));
        // The hash getter never reads the file (it is read under locks);
        // computing it does, once.
        QCOMPARE(sub.subHash(), QString());
        QCOMPARE(sub.computeSubHash(), u"900150983cd24fb0d6963f7d28e17f72"_s);
        QCOMPARE(sub.subHash(), u"900150983cd24fb0d6963f7d28e17f72"_s);
        QCOMPARE(sub.ISO639(), u"fre"_s);

        // Kept values are not read again, and a value set is never replaced.
        QVERIFY(QFile::remove(path));
        QCOMPARE(sub.subtitleFileName(), u"Movie.fr.srt"_s);
        QCOMPARE(sub.bytesize(), quint64(3));
        sub.setISO639(u"spa"_s);
        QCOMPARE(sub.ISO639(), u"spa"_s);
    }

    void subtitleMissingOrAbsent()
    {
        QTemporaryDir dir;
        for (const subtitleFile *sub :
             {new subtitleFile(dir.filePath(u"gone.en.srt"_s)), new subtitleFile(QString())}) {
            QCOMPARE(sub->subtitleFileName(), QString());
            QCOMPARE(sub->ISO639(), QString());
            QCOMPARE(sub->subHash(), QString());
            QCOMPARE(sub->bytesize(), quint64(0));
            QVERIFY(!sub->thisMovie());
            delete sub;
        }
        // A file that appears later is read then: empty values are not kept.
        subtitleFile late(dir.filePath(u"late.en.srt"_s));
        QCOMPARE(late.ISO639(), QString());
        makeFile(dir, u"late.en.srt"_s);
        QCOMPARE(late.ISO639(), u"eng"_s);
    }

    void unreadableFilesGiveEmptyValues()
    {
        QTemporaryDir dir;
        const QString sub = makeFile(dir, u"locked.en.srt"_s, "abc");
        const QString movie = makeFile(dir, u"locked.avi"_s, QByteArray(65536, '\0'));
        QFile::setPermissions(sub, QFile::Permissions());
        QFile::setPermissions(movie, QFile::Permissions());
        if (QFileInfo(sub).isReadable())
            QSKIP("running with privileges that read any file");
        const subtitleFile s(sub);
        QCOMPARE(s.subtitleFileName(), QString());
        QCOMPARE(s.subHash(), QString());
        QCOMPARE(s.bytesize(), quint64(0));
        const auto m = movieFile::create(movie);
        QVERIFY(m->metadata()); // it exists, so the record has its file
        QCOMPARE(m->movieFileName(), QString());
        QCOMPARE(m->movieHash(), QString());
        QCOMPARE(m->bytesize(), quint64(0));
    }

    void movieGettersOnRealFile()
    {
        QTemporaryDir dir;
        const QString path = makeFile(dir, u"The.Show.S01E02.part1.avi"_s, QByteArray(65536, '\0'));
        const auto m = movieFile::create(path);
        QCOMPARE(m->path(), path);
        QCOMPARE(m->movieFileName(), u"The.Show.S01E02.part1.avi"_s);
        QCOMPARE(m->movieFileNameShort(), u"The.Show.S01E02.part1"_s);
        QCOMPARE(m->bytesize(), quint64(65536));
        QCOMPARE(m->movieHash(), QString()); // never read by the getter
        QCOMPARE(m->computeMovieHash(), kZeroChunkHash);
        QCOMPARE(m->movieHash(), kZeroChunkHash);
        QVERIFY(!m->isHashed());
        QVERIFY(m->metadata());
        QCOMPARE(m->metadata()->metadata, u"1x2"_s);
        m->setMovieHash(u"abc"_s);
        QVERIFY(m->isHashed());
        QCOMPARE(m->movieHash(), u"abc"_s);

        // A video below 64 KiB has no hash, and asking again still gives none.
        const auto small = movieFile::create(makeFile(dir, u"small.avi"_s, "tiny"));
        QCOMPARE(small->computeMovieHash(), QString());
        QCOMPARE(small->computeMovieHash(), QString());
    }

    void movieWithoutDotOrFile()
    {
        QTemporaryDir dir;
        const auto noDot = movieFile::create(makeFile(dir, u"video"_s));
        QCOMPARE(noDot->movieFileName(), u"video"_s);
        QCOMPARE(noDot->movieFileNameShort(), QString());
        QVERIFY(noDot->metadata());
        QCOMPARE(noDot->metadata()->showtype, u"UNK"_s);

        const auto missing = movieFile::create(dir.filePath(u"missing.avi"_s));
        QVERIFY(missing->movieFolderItem().filePath().isEmpty());
        QVERIFY(!missing->metadata());
        QCOMPARE(missing->bytesize(), quint64(0));
        QCOMPARE(missing->movieFileName(), QString());
        QCOMPARE(missing->movieFileNameShort(), QString());
        QCOMPARE(missing->movieHash(), QString());
    }

    void subtitlesPointBackWithoutKeepingAlive()
    {
        QTemporaryDir dir;
        const QString video = makeFile(dir, u"Movie.avi"_s);
        const QString en = makeFile(dir, u"Movie.en.srt"_s);
        const QString plain = makeFile(dir, u"Movie.srt"_s);
        auto m = movieFile::create(video, {en, plain}, {u"en"_s});
        const auto subs = m->subtitles();
        QCOMPARE(subs.size(), 2);
        QCOMPARE(subs[0]->path(), en);
        QCOMPARE(subs[1]->path(), plain);
        QCOMPARE(subs[0]->thisMovie(), m);
        QCOMPARE(subs[1]->thisMovie(), m);

        std::weak_ptr<movieFile> watch = m;
        m.reset();
        QVERIFY(watch.expired());
        QVERIFY(!subs[0]->thisMovie());

        // The upload side: the subtitle keeps the video found for it.
        subtitleFile upload(en);
        upload.setThisMovie(movieFile::create(video));
        QVERIFY(upload.thisMovie());
        QCOMPARE(upload.thisMovie()->movieFileName(), u"Movie.avi"_s);
    }

    void matchMovieSubs_data()
    {
        QTest::addColumn<QStringList>("languages");
        QTest::addColumn<QStringList>("subNames");
        QTest::addColumn<bool>("hasAll");
        QTest::newRow("both present")
            << QStringList{u"en"_s, u"es"_s} << QStringList{u"M.en.srt"_s, u"M.es.srt"_s} << true;
        QTest::newRow("one missing") << QStringList{u"en"_s, u"es"_s} << QStringList{u"M.en.srt"_s} << false;
        QTest::newRow("no languages") << QStringList() << QStringList() << true;
        QTest::newRow("code-less subtitle") << QStringList{u"en"_s} << QStringList{u"M.srt"_s} << false;
        QTest::newRow("extra language")
            << QStringList{u"fr"_s} << QStringList{u"M.en.srt"_s, u"M.fr.srt"_s} << true;
    }

    void matchMovieSubs()
    {
        QFETCH(QStringList, languages);
        QFETCH(QStringList, subNames);
        QFETCH(bool, hasAll);
        QTemporaryDir dir;
        QStringList subs;
        for (const QString &n : subNames)
            subs << makeFile(dir, n);
        const auto m = movieFile::create(makeFile(dir, u"M.avi"_s), subs, languages);
        QVERIFY(m->localSubsMatched);
        QCOMPARE(m->hasAllSubs, hasAll);

        // It runs once: other languages later do not change the answer.
        movieFile::matchMovieSubs(*m, {u"de"_s});
        QCOMPARE(m->hasAllSubs, hasAll);
    }

    // A subtitle counts for its language only while its file is there: one
    // listed beside the video but gone when the record is made does not.
    void aSubtitleThatIsGoneDoesNotCount()
    {
        QTemporaryDir dir;
        const QString en = makeFile(dir, u"M.en.srt"_s);
        const QString fr = makeFile(dir, u"M.fr.srt"_s);
        QVERIFY(QFile::remove(fr));
        const auto m = movieFile::create(makeFile(dir, u"M.avi"_s), {en, fr}, {u"en"_s, u"fr"_s});
        QCOMPARE(m->subtitles().size(), 2);
        QVERIFY(!m->hasAllSubs);
        QCOMPARE(m->subtitles().at(1)->ISO639(), QString());
        QCOMPARE(m->subtitles().at(0)->ISO639(), u"eng"_s);
    }

    void toggleSubCheckKeepsOnePerLanguage()
    {
        const auto m = movieFile::create(QString());
        const auto spaA = result(u"a"_s, u"spa"_s);
        const auto spaB = result(u"b"_s, u"spa"_s, true);
        const auto engC = result(u"c"_s, u"eng"_s, true);
        m->setSubtitleResults({spaA, spaB, engC});

        ResultChecks::toggle(*m, *spaA);
        QVERIFY(spaA->isChecked);
        QVERIFY(!spaB->isChecked);
        QVERIFY(engC->isChecked);

        ResultChecks::toggle(*m, *spaA); // unchecking touches only that result
        QVERIFY(!spaA->isChecked);
        QVERIFY(!spaB->isChecked);
        QVERIFY(engC->isChecked);

        // A result the video does not list changes nothing.
        const auto stranger = result(u"z"_s, QString());
        const auto noLang = result(u"d"_s, QString(), true);
        m->addSubtitleResult(noLang);
        ResultChecks::toggle(*m, *stranger);
        QVERIFY(!stranger->isChecked);
        QVERIFY(noLang->isChecked);

        ResultChecks::uncheckAll(*m);
        for (const auto &r : m->subtitleResults())
            QVERIFY(!r->isChecked);
    }

    void copies()
    {
        QTemporaryDir dir;
        const QString video = makeFile(dir, u"Show.S02E05.avi"_s, QByteArray(65536, '\0'));
        const auto original = movieFile::create(video, {makeFile(dir, u"Show.S02E05.en.srt"_s)}, {});
        original->isChecked = true;
        original->addedToList = true;
        original->iso639 = u"eng"_s;
        original->matchedby = 2;
        original->filterBy = u"123"_s;
        original->setImdbs({Dictionary{{u"movieImdbID"_s, 123}}});
        const auto r1 = result(u"h1"_s, u"spa"_s);
        original->setSubtitleResults({r1});

        // The hash is not known yet: the copy computes it itself.
        const auto copy = movieFile::create(*original, false);
        QCOMPARE(copy->computeMovieHash(), kZeroChunkHash);
        QCOMPARE(copy->movieFileName(), u"Show.S02E05.avi"_s);
        QCOMPARE(copy->movieFileNameShort(), u"Show.S02E05"_s);
        QCOMPARE(copy->bytesize(), quint64(65536));
        QCOMPARE(copy->path(), video);
        QCOMPARE(copy->metadata(), original->metadata());
        QCOMPARE(copy->subtitles(), original->subtitles());
        QCOMPARE(copy->imdbs().size(), 1);
        QVERIFY(copy->isChecked && copy->addedToList && copy->localSubsMatched);
        QCOMPARE(copy->iso639, u"eng"_s);
        QCOMPARE(copy->matchedby, 2);
        QCOMPARE(copy->filterBy, QString());
        QVERIFY(copy->subtitleResults().isEmpty());

        // A per-language copy fills and reorders its own results only.
        const auto r2 = result(u"h2"_s, u"spa"_s);
        copy->setSubtitleResults({r2, r1});
        QCOMPARE(original->subtitleResults().size(), 1);

        const auto clone = original->Clone2();
        QCOMPARE(clone->subtitleResults(), original->subtitleResults());
        clone->addSubtitleResult(r2);
        QCOMPARE(original->subtitleResults().size(), 1);
        // A check made through a copy is the original's check too.
        ResultChecks::toggle(*clone, *r1);
        QVERIFY(original->subtitleResults().first()->isChecked);
        // The metadata object is shared, so the IMDB id learnt later reaches all.
        original->metadata()->setMovieImdbID(u"0133093"_s);
        QCOMPARE(clone->metadata()->movieImdbID(), u"0133093"_s);
    }

    void lazyValuesFromSeveralThreads()
    {
        QTemporaryDir dir;
        const QString video = makeFile(dir, u"Race.S01E01.avi"_s, QByteArray(200000, 'r'));
        const auto m = movieFile::create(
            video, {makeFile(dir, u"Race.S01E01.en.srt"_s), makeFile(dir, u"Race.es.srt"_s)},
            {u"en"_s, u"es"_s});
        const QString expectedHash = movieFile::create(video)->computeMovieHash();

        std::vector<std::thread> threads;
        std::vector<QString> hashes(6);
        for (int t = 0; t < 6; ++t) {
            threads.emplace_back([&, t] {
                for (const auto &sub : m->subtitles()) {
                    sub->ISO639();
                    sub->computeSubHash();
                    sub->bytesize();
                    sub->subtitleFileName();
                }
                m->movieFileNameShort();
                m->bytesize();
                const auto copy = movieFile::create(*m, t % 2 == 0);
                hashes[size_t(t)] = copy->computeMovieHash();
                m->addSubtitleResult(result(QString::number(t), u"eng"_s));
                m->metadata()->movieImdbID();
            });
        }
        for (auto &t : threads)
            t.join();
        for (const QString &h : hashes)
            QCOMPARE(h, expectedHash);
        QCOMPARE(m->subtitleResults().size(), 6);
        QCOMPARE(m->subtitles().at(0)->ISO639(), u"eng"_s);
        QVERIFY(m->hasAllSubs);
    }
};

LUMBRA_TEST_MAIN(tst_Records)
#include "tst_Records.moc"
