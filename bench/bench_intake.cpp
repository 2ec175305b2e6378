// Lists a tree of video files and turns it into records, the way a folder
// dropped on a download window is taken in, and compares it with the floor:
// `find DIR | sort` on the same tree, run in the same program run.
//
//   bench_intake [--videos N] [--runs R] [--dir DIR] [--dump FILE]   (defaults: 10000 videos, 3 runs)
//
// --dump writes every record the intake made (path, what its name says, its
// subtitles and their languages) to FILE, so that two builds can be checked
// to make the same records.
//
// The tree (sparse files, so it costs no disk) is made in DIR, or in a
// temporary folder that is removed afterwards. Each measurement runs in a
// fresh process so that its peak memory is its own; the first round of each
// is a warm-up and is not counted.

#include "common/AllocatorSetup.h"
#include "media/FileTypes.h"
#include "media/IntakeTarget.h"
#include "media/movieFile.h"
#include "media/MovieFileParser.h"
#include "media/subtitleFile.h"
#include "prefs/myPrefs.h"
#include "service/ClientIntake.h"
#include "service/JobRecords.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMutexLocker>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

using namespace Qt::Literals::StringLiterals;

namespace {

struct Counts {
    int videos = 0;
    int subtitles = 0;
    int others = 0;
};

Counts makeTree(const QString &root, int videos)
{
    Counts counts;
    const int episodesPerSeason = 50;
    const int seasonsPerShow = 4;
    int made = 0;
    for (int show = 0; made < videos; ++show) {
        const QString showName = u"Show Name %1"_s.arg(show, 3, 10, QLatin1Char('0'));
        for (int season = 1; season <= seasonsPerShow && made < videos; ++season) {
            const QString folder = u"%1/%2/Season %3"_s.arg(root, showName).arg(season);
            QDir().mkpath(folder);
            auto touch = [](const QString &path, qint64 size) {
                const int fd =
                    ::open(QFile::encodeName(path).constData(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
                if (fd >= 0) {
                    if (size > 0 && ::ftruncate(fd, size) != 0)
                        std::perror("ftruncate");
                    ::close(fd);
                }
            };
            touch(folder + u"/season.nfo"_s, 100);
            ++counts.others;
            for (int episode = 1; episode <= episodesPerSeason && made < videos; ++episode, ++made) {
                const QString base = u"%1/Show.Name.%2.S%3E%4.720p.HDTV"_s.arg(folder)
                                         .arg(show, 3, 10, QLatin1Char('0'))
                                         .arg(season, 2, 10, QLatin1Char('0'))
                                         .arg(episode, 2, 10, QLatin1Char('0'));
                touch(base + u".mkv"_s, 700LL * 1024 * 1024 + made);
                ++counts.videos;
                if (made % 3 == 0) {
                    touch(base + u".srt"_s, 40000);
                    ++counts.subtitles;
                }
                if (made % 7 == 0) {
                    touch(base + u".en.srt"_s, 40000);
                    touch(base + u".es.srt"_s, 40000);
                    counts.subtitles += 2;
                }
            }
        }
    }
    return counts;
}

// Stands in for the window when only the listing is measured: takes the
// paths the intake hands on and builds nothing.
class ListingOnly final : public IntakeTarget {
public:
    void intakeItemAdded() override {}
    void intakeItemRemoved() override {}
    bool claimFolder(const QString &) override { return true; }
    QString extensionList() const override { return FileTypes::intakeExtensionList(); }
    void processFiles(const QStringList &paths) override { handedOn += paths.size(); }
    void notTakenIn(const QStringList &, const QString &) override {}
    qlonglong handedOn = 0;
};

// The listing and filtering of the intake up to the hand-over to the client.
int runListing(const QString &root)
{
    QElapsedTimer timer;
    timer.start();
    auto target = std::make_shared<ListingOnly>();
    MovieFileParser(root, target, MovieFileParser::Mode::GetSubs).DoWork();
    std::printf("%lld 0 %lld\n", target->handedOn, qlonglong(timer.nsecsElapsed()));
    return 0;
}

// The records say whether a subtitle beside each video covers every wanted
// language: English here, what a fresh home starts with (the preferences of
// the account running the benchmark are not read).
void wantEnglish()
{
    myPrefs::Values prefs = myPrefs::values();
    prefs.languageList = {u"en"_s};
    myPrefs::setValues(prefs);
}

// The measured work, in this process: the intake of the folder as a download
// window does it, ending with one video record per video file (with the
// subtitles beside it) in the job's list.
int runIntake(const QString &root)
{
    wantEnglish();
    QElapsedTimer timer;
    timer.start();
    auto owner = std::make_shared<JobRecords>();
    JobRecords &client = *owner;
    {
        const QMutexLocker guard(&client.stateLock());
        client.mode = u"GetSubs"_s;
    }
    auto intake = std::make_shared<ClientIntake>(owner);
    if (!intake->add(root, MovieFileParser::Mode::GetSubs))
        return 1;
    intake->waitUntilDone();
    const qint64 elapsed = timer.nsecsElapsed();
    qlonglong videos = 0, subtitles = 0;
    {
        const QMutexLocker guard(&client.stateLock());
        videos = client.movieFiles.size();
        for (const auto &video : std::as_const(client.movieFiles))
            subtitles += video->subtitles().size();
    }
    std::printf("%lld %lld %lld\n", videos, subtitles, qlonglong(elapsed));
    return 0;
}

// The intake, then each record as text (not measured).
int runDump(const QString &root)
{
    wantEnglish();
    auto owner = std::make_shared<JobRecords>();
    {
        const QMutexLocker guard(&owner->stateLock());
        owner->mode = u"GetSubs"_s;
    }
    auto intake = std::make_shared<ClientIntake>(owner);
    if (!intake->add(root, MovieFileParser::Mode::GetSubs))
        return 1;
    intake->waitUntilDone();
    const QMutexLocker guard(&owner->stateLock());
    for (const auto &video : std::as_const(owner->movieFiles)) {
        if (!video->metadata()) {
            std::printf("(a record without a file)\n");
            continue;
        }
        const VideoMetadata &m = *video->metadata();
        std::printf("%s\t%s|%s|%s|%d|%d|%d|%d|%d|%s|%d\t%s\n", qPrintable(video->path()),
                    qPrintable(m.showtype), qPrintable(m.showname), qPrintable(m.metadata), m.season,
                    m.episode, m.episode2, m.part, m.parts, qPrintable(m.showDate), int(m.isTVShow),
                    video->hasAllSubs ? "all" : "lacking");
        for (const auto &sub : video->subtitles())
            std::printf("  %s\t%s\n", qPrintable(sub->path()), qPrintable(sub->ISO639()));
    }
    return 0;
}

struct Sample {
    double wallMs = 0;
    double cpuMs = 0; // user and system time of all the processes
    long peakKiB = 0; // largest peak resident set of the processes involved
    QByteArray output;
};

double msSince(const timespec &start)
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec - start.tv_sec) * 1e3 + double(now.tv_nsec - start.tv_nsec) / 1e6;
}

// Runs the processes as a pipeline, the last one's output captured, and waits
// for each with its own resource usage.
Sample runPipeline(const std::vector<std::vector<QByteArray>> &commands)
{
    Sample sample;
    timespec start{};
    ::clock_gettime(CLOCK_MONOTONIC, &start);
    std::vector<pid_t> pids;
    int input = -1;
    int capture[2];
    if (::pipe(capture) != 0)
        return sample;
    for (size_t i = 0; i < commands.size(); ++i) {
        int link[2] = {-1, -1};
        const bool last = i + 1 == commands.size();
        if (!last && ::pipe(link) != 0)
            return sample;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (input >= 0)
            posix_spawn_file_actions_adddup2(&actions, input, 0);
        posix_spawn_file_actions_adddup2(&actions, last ? capture[1] : link[1], 1);
        posix_spawn_file_actions_addclose(&actions, capture[0]);
        if (!last)
            posix_spawn_file_actions_addclose(&actions, link[0]);
        std::vector<char *> argv;
        for (const QByteArray &arg : commands[i])
            argv.push_back(const_cast<char *>(arg.constData()));
        argv.push_back(nullptr);
        pid_t pid = 0;
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0)
            pids.push_back(pid);
        posix_spawn_file_actions_destroy(&actions);
        if (input >= 0)
            ::close(input);
        if (!last) {
            ::close(link[1]);
            input = link[0];
        }
    }
    ::close(capture[1]);
    char buffer[65536];
    for (ssize_t n; (n = ::read(capture[0], buffer, sizeof buffer)) > 0;)
        sample.output.append(buffer, n);
    ::close(capture[0]);
    for (pid_t pid : pids) {
        int status = 0;
        rusage usage{};
        ::wait4(pid, &status, 0, &usage);
        sample.peakKiB = std::max(sample.peakKiB, usage.ru_maxrss);
        sample.cpuMs += double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                        double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
    }
    sample.wallMs = msSince(start);
    return sample;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    AllocatorSetup::apply(); // as the application does
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.size() == 2 && args[0] == "--phase-intake"_L1)
        return runIntake(args[1]);
    if (args.size() == 2 && args[0] == "--phase-listing"_L1)
        return runListing(args[1]);
    if (args.size() == 2 && args[0] == "--phase-dump"_L1)
        return runDump(args[1]);

    int videos = 10000;
    int runs = 3;
    QString dir;
    QString dump;
    for (qsizetype i = 0; i + 1 < args.size(); i += 2) {
        if (args[i] == "--videos"_L1)
            videos = args[i + 1].toInt();
        else if (args[i] == "--runs"_L1)
            runs = args[i + 1].toInt();
        else if (args[i] == "--dir"_L1)
            dir = args[i + 1];
        else if (args[i] == "--dump"_L1)
            dump = args[i + 1];
    }
    QTemporaryDir temporary;
    const QString root = (dir.isEmpty() ? temporary.path() : dir) + u"/tree"_s;

    QElapsedTimer making;
    making.start();
    const Counts counts = makeTree(root, videos);
    std::printf("tree: %d videos, %d subtitles, %d other files under %s (made in %lld ms)\n", counts.videos,
                counts.subtitles, counts.others, qPrintable(root), making.elapsed());

    const QByteArray self = QFile::encodeName(QCoreApplication::applicationFilePath());
    const QByteArray rootBytes = QFile::encodeName(root);
    struct Series {
        const char *label;
        std::vector<QByteArray> command;
        std::vector<double> wall, cpu, inner;
        long peak = 0;
        QList<QByteArray> fields;
    };
    std::vector<Series> series{
        {"find DIR | sort", {"/usr/bin/find", rootBytes}, {}, {}, {}, 0, {}},
        {"intake: listing", {self, "--phase-listing", rootBytes}, {}, {}, {}, 0, {}},
        {"intake: records", {self, "--phase-intake", rootBytes}, {}, {}, {}, 0, {}},
    };
    for (int round = 0; round <= runs; ++round) {
        for (Series &s : series) {
            const Sample sample = s.command.front() == "/usr/bin/find"
                                      ? runPipeline({s.command, {"/usr/bin/sort"}})
                                      : runPipeline({s.command});
            if (round == 0)
                continue; // warm-up
            s.wall.push_back(sample.wallMs);
            s.cpu.push_back(sample.cpuMs);
            s.peak = std::max(s.peak, sample.peakKiB);
            s.fields = sample.output.trimmed().split(' ');
            if (s.fields.size() == 3)
                s.inner.push_back(double(s.fields[2].toLongLong()) / 1e6);
        }
    }

    const double floorWall = median(series[0].wall);
    const double floorCpu = median(series[0].cpu);
    std::printf("medians of %d runs      wall ms     CPU ms  peak RSS KiB  wall/floor  CPU/floor\n", runs);
    for (const Series &s : series) {
        const double wall = median(s.wall);
        const double cpu = median(s.cpu);
        std::printf("%-20s %10.1f %10.1f %13ld %11.2f %10.2f\n", s.label, wall, cpu, s.peak,
                    floorWall > 0 ? wall / floorWall : 0.0, floorCpu > 0 ? cpu / floorCpu : 0.0);
    }
    if (series[1].fields.size() == 3)
        std::printf("listing: %s paths handed on (%.1f ms measured inside)\n",
                    series[1].fields[0].constData(), median(series[1].inner));
    if (series[2].fields.size() == 3)
        std::printf("records: %s videos, %s subtitles beside them (%.1f ms measured inside)\n",
                    series[2].fields[0].constData(), series[2].fields[1].constData(),
                    median(series[2].inner));
    if (!dump.isEmpty()) {
        QFile out(dump);
        const Sample records = runPipeline({{self, "--phase-dump", rootBytes}});
        if (!out.open(QIODevice::WriteOnly) || out.write(records.output) != records.output.size())
            std::fprintf(stderr, "cannot write %s\n", qPrintable(dump));
        else
            std::printf("records written to %s\n", qPrintable(dump));
    }
    return 0;
}
