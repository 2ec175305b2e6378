// Time from the Quit command (Ctrl+Q runs "FileQuit") to the end of the
// program while work is under way: a download window whose search waits on
// a service that stalls for a minute, and an upload window taking in a large
// tree (FOLDERS folders of 100 videos and 100 subtitles, empty files).
//
//   bench_quit [FOLDERS]      default 100 (20,000 files)
//
// Prints the time until the event loop ended and until the application
// object was gone (what remains of the process is the C runtime's exit).
// Gives up after 90 s and says so.

#include "app/App.h"
#include "prefs/myPrefs.h"
#include "ServiceEmulator.h"
#include "window/DocumentRouter.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <memory>

using namespace Qt::Literals::StringLiterals;

int main(int argc, char **argv)
{
    const int folders = argc > 1 ? std::atoi(argv[1]) : 100;
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + u"/config"_s).toUtf8());
    qputenv("XDG_RUNTIME_DIR", (home.path() + u"/run"_s).toUtf8());
    QDir().mkpath(home.path() + u"/run"_s);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    const QString tree = home.path() + u"/library"_s;
    for (int folder = 0; folder < folders; ++folder) {
        const QString path = tree + u"/%1/"_s.arg(folder);
        QDir().mkpath(path);
        for (int file = 0; file < 100; ++file) {
            QFile(path + u"Clip%1.mkv"_s.arg(file)).open(QIODevice::WriteOnly);
            QFile(path + u"Clip%1.en.srt"_s.arg(file)).open(QIODevice::WriteOnly);
        }
    }
    const QString video = home.path() + u"/Movie.mkv"_s;
    {
        QFile file(video);
        if (!file.open(QIODevice::WriteOnly) || !file.resize(2'000'000))
            return 1;
    }

    auto app = std::make_unique<App>(argc, argv);
    app->startUp();
    auto emu = std::make_unique<ServiceEmulator>();
    if (!emu->start() || !emu->fail(u"stall"_s, u"LogIn"_s, -1, {{u"seconds"_s, 60}}))
        return 1;
    myPrefs::setOSAPIServer(emu->url().toString());
    myPrefs::setServiceProvider(u"xmlrpc"_s); // the stand-in speaks XML-RPC; a new home uses REST
    myPrefs::setAutoSearchSubs(true);

    app->openDocument(video);
    app->router().handOverDrop(WorkflowKind::Upload, DragItem{{tree}});

    QElapsedTimer clock;
    QTimer waitForLogIn;
    waitForLogIn.setInterval(100);
    QObject::connect(&waitForLogIn, &QTimer::timeout, [&] {
        if (!emu->methods().contains(u"LogIn"_s))
            return;
        waitForLogIn.stop();
        std::printf("search waiting on the stalled service; quitting\n");
        clock.start();
        app->menuCommand(u"FileQuit"_s);
    });
    waitForLogIn.start();
    QTimer::singleShot(90000, [] {
        std::printf("quit: the program did not end within 90 s\n");
        std::fflush(stdout);
        std::_Exit(2);
    });
    app->exec();
    const qint64 loopEnded = clock.elapsed();
    app.reset();
    const qint64 gone = clock.elapsed();
    std::printf("quit: event loop ended after %lld ms, application gone after %lld ms\n",
                static_cast<long long>(loopEnded), static_cast<long long>(gone));
    std::fflush(stdout);
    // The stand-in is stopped last, so that nothing above could end early on
    // its connection dropping.
    emu.reset();
    return 0;
}
