#include "TestMain.h"

#include "media/movieFile.h"
#include "media/subtitleFile.h"
#include "service/JobRecords.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

// The job's intake of listed paths: which subtitle files go with which
// video, in which order, and what they say about its languages.
class tst_PathIntake : public QObject {
    Q_OBJECT
private slots:
    void subtitlesGoWithTheVideoTheyAreNamedAfter_data()
    {
        QTest::addColumn<QStringList>("files");
        // For each video: its name, then the names of its subtitles in order.
        QTest::addColumn<QList<QStringList>>("videos");
        QTest::newRow("letter case does not matter")
            << QStringList{u"Film.MKV"_s, u"film.EN.srt"_s, u"FILM.srt"_s}
            << QList<QStringList>{{u"Film.MKV"_s, u"film.EN.srt"_s, u"FILM.srt"_s}};
        QTest::newRow("nor beyond ASCII")
            << QStringList{u"Ärger.mkv"_s, u"ÄRGER.en.srt"_s, u"Öl.avi"_s, u"öl.srt"_s}
            << QList<QStringList>{{u"Ärger.mkv"_s, u"ÄRGER.en.srt"_s}, {u"Öl.avi"_s, u"öl.srt"_s}};
        QTest::newRow("in the order they arrive")
            << QStringList{u"M.mkv"_s, u"M.es.srt"_s, u"M.en.srt"_s, u"N.mkv"_s}
            << QList<QStringList>{{u"M.mkv"_s, u"M.es.srt"_s, u"M.en.srt"_s}, {u"N.mkv"_s}};
        QTest::newRow("named after a video whose name goes on")
            << QStringList{u"Alien.mkv"_s,      u"Alien.en.srt"_s,     u"Aliens.mkv"_s,
                           u"Aliens.en.srt"_s,  u"Movie.avi"_s,        u"Movie 2.avi"_s,
                           u"Movie 2.es.srt"_s, u"Movie-forced.srt"_s, u"Movies.srt"_s}
            << QList<QStringList>{{u"Alien.mkv"_s, u"Alien.en.srt"_s},
                                  {u"Aliens.mkv"_s, u"Aliens.en.srt"_s},
                                  {u"Movie.avi"_s, u"Movie-forced.srt"_s, u"Movies.srt"_s},
                                  {u"Movie 2.avi"_s, u"Movie 2.es.srt"_s}};
        // "|" ends one drop: the next one is taken in by itself, with what
        // the earlier ones listed still known.
        QTest::newRow("over several drops")
            << QStringList{u"Zed.mkv"_s,      u"Zed.en.srt"_s,   u"Alpha.es.srt"_s, u"|"_s,
                           u"Alpha.mkv"_s,    u"Alpha.en.srt"_s, u"Zed 2.mkv"_s,    u"|"_s,
                           u"Zed 2.de.srt"_s, u"Beta.mkv"_s,     u"beta.srt"_s}
            << QList<QStringList>{{u"Zed.mkv"_s, u"Zed.en.srt"_s},
                                  {u"Alpha.mkv"_s, u"Alpha.es.srt"_s, u"Alpha.en.srt"_s},
                                  {u"Zed 2.mkv"_s},
                                  {u"Beta.mkv"_s, u"beta.srt"_s}};
        QTest::newRow("a path given again counts once")
            << QStringList{u"A.mkv"_s,    u"A.en.srt"_s, u"A.mkv"_s, u"|"_s,
                           u"A.en.srt"_s, u"B.mkv"_s,    u"A.mkv"_s}
            << QList<QStringList>{{u"A.mkv"_s, u"A.en.srt"_s}, {u"B.mkv"_s}};
        QTest::newRow("two videos of one name share")
            << QStringList{u"Film.avi"_s, u"Film.mkv"_s, u"Film.en.srt"_s}
            << QList<QStringList>{{u"Film.avi"_s, u"Film.en.srt"_s}, {u"Film.mkv"_s, u"Film.en.srt"_s}};
    }

    void subtitlesGoWithTheVideoTheyAreNamedAfter()
    {
        QFETCH(QStringList, files);
        QFETCH(QList<QStringList>, videos);
        QTemporaryDir dir;
        QList<QStringList> drops{{}};
        for (const QString &name : std::as_const(files)) {
            if (name == "|"_L1) {
                drops.append(QStringList{});
                continue;
            }
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            drops.last().append(file.fileName());
        }
        JobRecords records;
        {
            const QMutexLocker guard(&records.stateLock());
            records.mode = u"GetSubs"_s;
        }
        for (const QStringList &paths : std::as_const(drops))
            records.processFiles(paths);

        const QMutexLocker guard(&records.stateLock());
        QCOMPARE(records.movieFiles.size(), videos.size());
        for (qsizetype i = 0; i < videos.size(); ++i) {
            const auto &video = records.movieFiles.at(i);
            QStringList seen{video->movieFileName()};
            for (const auto &sub : video->subtitles())
                seen.append(sub->subtitleFileName());
            QCOMPARE(seen, videos.at(i));
        }
    }

    // A library is turned into records on several threads at once: every
    // video is still listed once, in the order of the drop, with its own
    // subtitles.
    void aLibraryKeepsItsOrder()
    {
        QTemporaryDir dir;
        QStringList drop;
        QList<QStringList> expected;
        const auto make = [&](const QString &name) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            drop.append(file.fileName());
        };
        for (int i = 0; i < 600; ++i) {
            const QString video = u"Show %1.mkv"_s.arg(i, 3, 10, QLatin1Char('0'));
            QStringList entry{video};
            make(video);
            if (i % 3 == 0) {
                entry.append(u"show %1.EN.srt"_s.arg(i, 3, 10, QLatin1Char('0')));
                make(entry.last());
            }
            if (i % 5 == 0) { // a sequel's subtitle is the sequel's
                make(u"Show %1 2.mkv"_s.arg(i, 3, 10, QLatin1Char('0')));
                make(u"Show %1 2.es.srt"_s.arg(i, 3, 10, QLatin1Char('0')));
                expected.append(entry);
                expected.append({u"Show %1 2.mkv"_s.arg(i, 3, 10, QLatin1Char('0')),
                                 u"Show %1 2.es.srt"_s.arg(i, 3, 10, QLatin1Char('0'))});
                continue;
            }
            expected.append(entry);
        }
        std::sort(drop.begin(), drop.end());
        std::sort(expected.begin(), expected.end(),
                  [](const QStringList &a, const QStringList &b) { return a.first() < b.first(); });

        JobRecords records;
        {
            const QMutexLocker guard(&records.stateLock());
            records.mode = u"GetSubs"_s;
        }
        records.processFiles(drop);

        const QMutexLocker guard(&records.stateLock());
        QList<QStringList> seen;
        for (const auto &video : std::as_const(records.movieFiles)) {
            QStringList names{video->movieFileName()};
            for (const auto &sub : video->subtitles())
                names.append(sub->subtitleFileName());
            seen.append(names);
        }
        QCOMPARE(seen, expected);
    }
};

LUMBRA_TEST_MAIN(tst_PathIntake)
#include "tst_PathIntake.moc"
