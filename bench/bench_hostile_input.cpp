// How the readers of outside input grow with hostile input: each case runs
// at doubling sizes, so linear growth shows as a time that doubles with the
// size. With --rss it instead reports the peak memory of decoding one large
// reply.
// Usage: bench_hostile_input [--rss MiB]
#include "media/movieFile.h"
#include "preview/PlayerOutputReader.h"
#include "service/JobRecords.h"
#include "service/openSubtitleItem.h"
#include "service/XMLRPC.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>
#include <functional>

using namespace Qt::Literals::StringLiterals;

namespace {

void row(const char *what, qsizetype size, const std::function<void()> &run)
{
    QElapsedTimer clock;
    clock.start();
    run();
    std::printf("%-44s %10lld %10.1f ms\n", what, static_cast<long long>(size),
                double(clock.nsecsElapsed()) / 1e6);
    std::fflush(stdout);
}

// Results for one video, each with its own subtitle and IMDB id, merged one
// by one as a search reply is.
void mergeResults(const QString &dir, int count)
{
    const QString path = dir + u"/Film.mkv"_s;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray(70000, 'v')) != 70000)
        qFatal("cannot write the video");
    file.close();
    auto video = movieFile::create(path);
    video->setMovieHash(u"1111111111111111"_s);
    QList<std::shared_ptr<openSubtitleItem>> items;
    for (int i = 0; i < count; ++i) {
        items.append(std::make_shared<openSubtitleItem>(Dictionary{{u"MatchedBy"_s, u"moviehash"_s},
                                                                   {u"MovieHash"_s, u"1111111111111111"_s},
                                                                   {u"SubHash"_s, QString::number(i)},
                                                                   {u"IDMovieImdb"_s, QString::number(i + 1)},
                                                                   {u"SubFileName"_s, u"Film.srt"_s}}));
    }
    row("merge results into one video", count, [&] {
        JobRecords records;
        records.movieFiles = {video};
        for (const auto &item : std::as_const(items))
            records.addThisResult(item);
        if (video->subtitleResults().size() != count)
            qFatal("results lost");
    });
}

void feedPlayer(const char *what, const QByteArray &output, int chunk)
{
    row(what, output.size(), [&] {
        PlayerOutputReader reader;
        for (qsizetype i = 0; i < output.size(); i += chunk)
            reader.feed(output.mid(i, chunk));
        reader.finish();
    });
}

// One element with `count` attributes, in a reply that declares ISO-8859-1.
void latin1Attributes(int count)
{
    QByteArray xml =
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><methodResponse><params><param><value "_ba;
    for (int i = 0; i < count; ++i)
        xml += "a" + QByteArray::number(i) + "=\"\" ";
    xml += "><string>caf\xe9</string></value></param></params></methodResponse>";
    row("ISO-8859-1 reply, attributes on one element", count, [&] { XMLRPC::ParseDocument(xml); });
}

// A reply that declares ISO-8859-1 and holds one long string.
void latin1Text(qsizetype size)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><methodResponse><params><param><value>"
                     "<string>"_ba;
    xml += QByteArray("caf\xe9 ").repeated(size / 5);
    xml += "</string></value></param></params></methodResponse>";
    row("ISO-8859-1 reply, one long string", xml.size(), [&] {
        if (!XMLRPC::ParseDocument(xml).ok())
            qFatal("reply did not decode");
    });
}

long peakKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A reply made of one string: the bytes, then the decoded value.
int decodePeak(int mebibytes)
{
    const qsizetype size = qsizetype(mebibytes) * 1024 * 1024;
    QByteArray xml;
    xml.reserve(size + 200);
    xml += "<?xml version=\"1.0\"?><methodResponse><params><param><value><string>";
    xml.append(size, 'x');
    xml += "</string></value></param></params></methodResponse>";
    const long before = peakKiB();
    const XMLRPC::ParsedDocument doc = XMLRPC::ParseDocument(xml);
    const long after = peakKiB();
    if (!doc.ok() || doc.params.value(0).toString().size() != qsizetype(mebibytes) * 1024 * 1024)
        qFatal("reply did not decode");
    std::printf("reply of %d MiB: peak RSS %.0f MiB with the reply in memory, %.0f MiB after decoding "
                "(decoding added %.2f times the reply)\n",
                mebibytes, before / 1024.0, after / 1024.0, double(after - before) / 1024.0 / mebibytes);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--rss") == 0)
        return decodePeak(QByteArray(argv[2]).toInt());

    QTemporaryDir dir;
    for (int count : {2500, 5000, 10000, 20000})
        mergeResults(dir.path(), count);
    for (qsizetype size : {128 * 1024, 256 * 1024, 512 * 1024, 1024 * 1024})
        feedPlayer("player line without end, 16-byte chunks", QByteArray(size, 'x'), 16);
    for (qsizetype size : {50 * 1024, 100 * 1024, 200 * 1024, 400 * 1024})
        feedPlayer("player escape codes, 17-byte chunks", QByteArray("\x1b[K", 3).repeated(size / 3), 17);
    for (int count : {12500, 25000, 50000, 100000})
        latin1Attributes(count);
    for (qsizetype size : {1 << 20, 2 << 20, 4 << 20, 8 << 20})
        latin1Text(size);
    return 0;
}
