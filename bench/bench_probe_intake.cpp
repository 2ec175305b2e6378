// What reading the streams inside videos costs the intake: a folder of small
// mkv files (made once with ffmpeg, each with a French SubRip stream, so an
// English-wanting intake opens every one) is taken in with
// EmbeddedSubsCount off (the baseline) and on, alternately, in one run.
//
//   bench_probe_intake [--videos N] [--runs R]   (defaults: 2000 videos, 5 runs)
//
// The first round of each kind is a warm-up and is not counted; the medians
// of the rest are printed.

#include "prefs/myPrefs.h"
#include "service/ClientIntake.h"
#include "service/JobRecords.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMutexLocker>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace {

bool makeVideos(const QString &root, int count)
{
    const QString srt = root + u"/cue.srt"_s;
    QFile cue(srt);
    if (!cue.open(QIODevice::WriteOnly) || cue.write("1\n00:00:00,500 --> 00:00:01,500\nBonjour\n\n") < 0)
        return false;
    cue.close();
    const QString first = root + u"/videos/Film 0000.mkv"_s;
    QDir().mkpath(root + u"/videos"_s);
    QProcess ffmpeg;
    ffmpeg.start(QStandardPaths::findExecutable(u"ffmpeg"_s),
                 {u"-v"_s, u"error"_s, u"-y"_s, u"-f"_s, u"lavfi"_s, u"-i"_s,
                  u"testsrc=duration=2:size=160x120:rate=25"_s, u"-i"_s, srt, u"-map"_s, u"0"_s, u"-map"_s,
                  u"1"_s, u"-c:v"_s, u"mpeg4"_s, u"-metadata:s:s:0"_s, u"language=fre"_s, first});
    if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitCode() != 0)
        return false;
    for (int i = 1; i < count; ++i) {
        if (!QFile::copy(first, root + u"/videos/Film %1.mkv"_s.arg(i, 4, 10, QChar(u'0'))))
            return false;
    }
    return true;
}

// Nanoseconds for one intake of the folder; the records it made in `videos`.
qint64 intakeOnce(const QString &folder, bool countEmbedded, qsizetype &videos)
{
    myPrefs::Values prefs = myPrefs::values();
    prefs.languageList = {u"en"_s};
    prefs.EmbeddedSubsCount = countEmbedded;
    myPrefs::setValues(prefs);
    QElapsedTimer timer;
    timer.start();
    auto owner = std::make_shared<JobRecords>();
    {
        const QMutexLocker guard(&owner->stateLock());
        owner->mode = u"GetSubs"_s;
    }
    auto intake = std::make_shared<ClientIntake>(owner);
    if (!intake->add(folder, MovieFileParser::Mode::GetSubs))
        return -1;
    intake->waitUntilDone();
    const qint64 elapsed = timer.nsecsElapsed();
    const QMutexLocker guard(&owner->stateLock());
    videos = owner->movieFiles.size();
    return elapsed;
}

double medianMs(std::vector<qint64> samples)
{
    std::sort(samples.begin(), samples.end());
    return samples.empty() ? 0 : double(samples[samples.size() / 2]) / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    int videos = 2000;
    int runs = 5;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == "--videos"_L1)
            videos = args[i + 1].toInt();
        else if (args[i] == "--runs"_L1)
            runs = args[i + 1].toInt();
    }
    QTemporaryDir dir;
    if (!dir.isValid() || !makeVideos(dir.path(), videos)) {
        std::fprintf(stderr, "bench_probe_intake: cannot make the videos (is ffmpeg installed?)\n");
        return 1;
    }
    const QString folder = dir.path() + u"/videos"_s;
    std::vector<qint64> without, with;
    qsizetype listed = 0;
    for (int round = 0; round <= runs; ++round) {
        const qint64 off = intakeOnce(folder, false, listed);
        const qint64 on = intakeOnce(folder, true, listed);
        if (off < 0 || on < 0)
            return 1;
        if (round > 0) { // the first round warms the disk cache
            without.push_back(off);
            with.push_back(on);
        }
    }
    const double base = medianMs(without);
    const double probed = medianMs(with);
    std::printf("%d small mkv files, %lld listed, median of %d runs:\n", videos, qlonglong(listed), runs);
    std::printf("  intake without reading streams: %.1f ms\n", base);
    std::printf("  intake reading each header:     %.1f ms (+%.1f ms, %.1f us a video)\n", probed,
                probed - base, videos > 0 ? (probed - base) * 1000.0 / videos : 0.0);
    return 0;
}
