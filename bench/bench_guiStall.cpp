// The longest stall of the GUI thread while a download window searches over
// videos that have many large subtitle files beside them.
//
//   bench_guiStall [VIDEOS [SUBS [MIB]]]    default 20 videos, 6 subtitles of 4 MiB each
//
// An event-loop probe (a 2 ms timer) records the largest gap between two of
// its ticks from the press of the search button until the results are
// listed. The service stand-in knows every video and offers an English and a
// Spanish subtitle for each, so results are merged while the window's
// timers run.

#include "app/App.h"
#include "download/gui/GetSubtitlesWindow.h"
#include "media/MovieHash.h"
#include "prefs/myPrefs.h"
#include "ServiceEmulator.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

using namespace Qt::Literals::StringLiterals;

int main(int argc, char **argv)
{
    const int videos = argc > 1 ? std::atoi(argv[1]) : 20;
    const int subs = argc > 2 ? std::atoi(argv[2]) : 6;
    const int mib = argc > 3 ? std::atoi(argv[3]) : 4;
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + u"/config"_s).toUtf8());
    qputenv("XDG_RUNTIME_DIR", (home.path() + u"/run"_s).toUtf8());
    QDir().mkpath(home.path() + u"/run"_s);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    App app(argc, argv);
    app.startUp();

    const QString tree = home.path() + u"/videos"_s;
    QDir().mkpath(tree);
    QByteArray text(qsizetype(mib) * 1024 * 1024, '\0');
    QJsonArray movies;
    for (int v = 0; v < videos; ++v) {
        const QString video = tree + u"/Film%1.mkv"_s.arg(v);
        QFile file(video);
        if (!file.open(QIODevice::WriteOnly) || !file.resize(1'000'000 + v))
            return 1;
        file.close();
        for (int s = 0; s < subs; ++s) {
            QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(text.data()), text.size() / 4);
            QFile sub(tree + u"/Film%1.part%2.srt"_s.arg(v).arg(s));
            if (!sub.open(QIODevice::WriteOnly) || sub.write(text) != text.size())
                return 1;
        }
        movies.append(QJsonObject{{u"hash"_s, XMLRPC::computeMovieHash(video).hash},
                                  {u"bytesize"_s, 1'000'000 + v},
                                  {u"name"_s, u"Film %1"_s.arg(v)},
                                  {u"subtitles"_s, QJsonArray{QJsonObject{{u"lang"_s, u"eng"_s}},
                                                              QJsonObject{{u"lang"_s, u"spa"_s}}}}});
    }
    ServiceEmulator emu;
    if (!emu.start(QJsonDocument(QJsonObject{{u"movies"_s, movies}}).toJson()))
        return 1;
    myPrefs::setOSAPIServer(emu.url().toString());
    myPrefs::setServiceProvider(u"xmlrpc"_s); // the stand-in speaks XML-RPC; a new home uses REST
    myPrefs::setLanguageList({u"en"_s, u"es"_s});
    myPrefs::setAutoSearchSubs(false);
    myPrefs::setListAllFiles(true);

    auto *window = new GetSubtitlesWindow;
    window->show();
    window->queueDrop(DragItem{{tree}});

    QElapsedTimer sinceTick;
    QElapsedTimer clock;
    qint64 longest = 0;
    bool probing = false;
    QTimer probe;
    probe.setInterval(2);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (probing)
            longest = std::max(longest, sinceTick.elapsed());
        sinceTick.restart();
    });
    QTimer steps;
    steps.setInterval(20);
    QObject::connect(&steps, &QTimer::timeout, [&] {
        if (!probing && window->isWindowMode("listed"_L1)) {
            probing = true;
            sinceTick.restart();
            clock.start();
            window->doSearch();
        } else if (probing &&
                   (window->isWindowMode("Searched"_L1) || window->isWindowMode("ErrorSearching"_L1))) {
            std::printf("gui stall: %d videos x %d subtitles of %d MiB; search took %lld ms (%s); longest "
                        "GUI-thread stall %lld ms\n",
                        videos, subs, mib, static_cast<long long>(clock.elapsed()),
                        qPrintable(window->windowMode()), static_cast<long long>(longest));
            std::fflush(stdout);
            app.quit();
        }
    });
    probe.start();
    steps.start();
    QTimer::singleShot(300000, [&] {
        std::printf("gui stall: no result within 300 s\n");
        app.quit();
    });
    app.exec();
    delete window;
    return 0;
}
