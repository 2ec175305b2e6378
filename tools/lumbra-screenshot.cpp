// Renders the home window, an empty workflow frame, a download window (and two cascaded), a preview window,
// an upload window and the preferences window to PNG files, for the README and for looking at the drawing
// without clicking through the program.
//   lumbra-screenshot OUTPUT-FOLDER
// Preferences go to a throw-away file; nothing of the user's is read or written.

#include "app/homeWindow.h"
#include "common/translationStrings.h"
#include "controls/omiButton.h"
#include "controls/omiListbox.h"
#include "download/gui/DownloadList.h"
#include "download/gui/GetSubtitlesWindow.h"
#include "media/movieFile.h"
#include "prefs/gui/PreferencesWindow.h"
#include "prefs/myPrefs.h"
#include "prefs/XPrefs.h"
#include "preview/gui/PreviewWindow.h"
#include "preview/PlayerControl.h"
#include "preview/PlayerShell.h"
#include "service/openSubtitleItem.h"
#include "service/OSClient.h"
#include "upload/gui/PutSubtitles.h"
#include "upload/gui/UploadList.h"
#include "window/DocumentRouter.h"
#include "window/MainMenubar.h"
#include "window/WindowOrder.h"
#include "window/WorkflowFrame.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QMutexLocker>
#include <QScreen>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;

namespace {
bool save(QWidget *widget, const QString &path)
{
    widget->show();
    // Let the first paints (font fitting, pictures) happen before grabbing.
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents();
        QThread::msleep(20);
    }
    const bool ok = widget->grab().save(path, "PNG");
    QTextStream(stdout) << (ok ? "wrote " : "could not write ") << path << Qt::endl;
    return ok;
}
// Runs the event loop for a while: the windows' timers move them on.
void settle(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
}

// Made-up results for a listed video, as a search would attach them.
void addResult(const std::shared_ptr<movieFile> &video, const QString &language, const QString &file,
               int downloads, bool best)
{
    auto result = std::make_shared<openSubtitleItem>();
    result->ISO639 = language;
    result->MovieName = video->movieFileNameShort().replace(u'.', u' ');
    result->SubFileName = file;
    result->SubDownloadsCnt = downloads;
    result->MatchedBy = u"moviehash"_s;
    result->myBest = best;
    result->isChecked = best;
    result->SubHash = file;
    result->movieFile = video;
    result->setMovieFolderItemPath(video->path());
    video->addSubtitleResult(result);
}

// The download window listing three videos (one with an English subtitle
// beside it), then the results view.
bool saveDownloadWindow(const QDir &out, MainMenubar &menus)
{
    QTemporaryDir videos;
    const QStringList names{u"Big.Buck.Bunny.2008.mkv"_s, u"Sintel.2010.mkv"_s, u"Sintel.2010.en.srt"_s,
                            u"Tears.of.Steel.2012.mp4"_s};
    for (const QString &name : names) {
        QFile file(videos.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || !file.resize(name.endsWith(u".srt"_s) ? 100 : 300000))
            return false;
    }
    myPrefs::setLanguageList({u"en"_s, u"es"_s});
    auto *window = new GetSubtitlesWindow;
    menus.attach(window);
    window->show();
    window->AAA_BuildFileList(videos.path());
    for (int i = 0; i < 100 && !window->isWindowMode("listed"_L1); ++i)
        settle(50);
    bool ok = save(window, out.filePath(u"download-window-files.png"_s));

    {
        const QMutexLocker guard(&window->records().stateLock());
        for (const auto &video : std::as_const(window->records().movieFiles)) {
            if (video->movieFileName().startsWith(u"Big"_s)) {
                addResult(video, u"en"_s, u"Big.Buck.Bunny.2008.720p.BluRay.srt"_s, 5120, true);
                addResult(video, u"en"_s, u"Big.Buck.Bunny.DVDRip.srt"_s, 830, false);
                addResult(video, u"es"_s, u"Big.Buck.Bunny.2008.spa.srt"_s, 1210, true);
            } else if (video->movieFileName().startsWith(u"Sintel"_s)) {
                addResult(video, u"es"_s, u"Sintel.2010.1080p.es.srt"_s, 642, true);
            }
        }
    }
    window->setWindowMode(u"SuccessSearching"_s);
    for (int i = 0; i < 100 && !window->isWindowMode("Searched"_L1); ++i)
        settle(50);
    window->list().setGroupOpen(0, true);
    settle(1200); // the stage marker glides for a second
    ok = save(window, out.filePath(u"download-window-results.png"_s)) && ok;
    delete window;
    return ok;
}

// Two download windows as the screen shows them: the second stands below and
// to the right of the first and is numbered; its Window menu lists both.
bool saveWindowCascade(const QDir &out, MainMenubar &menus)
{
    auto *first = new GetSubtitlesWindow;
    menus.attach(first);
    first->show();
    auto *second = new GetSubtitlesWindow;
    menus.attach(second);
    second->show();
    second->raise();
    settle(300);
    QMenu *windowMenu = nullptr;
    for (QAction *menu : MainMenubar::menuBarOf(second)->actions()) {
        if (menu->menu() && menu->menu()->objectName() == "WindowMenuMenu"_L1)
            windowMenu = menu->menu();
    }
    if (windowMenu) {
        const QRect bar = MainMenubar::menuBarOf(second)->actionGeometry(windowMenu->menuAction());
        windowMenu->popup(MainMenubar::menuBarOf(second)->mapToGlobal(bar.bottomLeft()));
    }
    settle(300);
    const QRect shown = first->frameGeometry()
                            .united(second->frameGeometry())
                            .adjusted(-8, -8, 8, 8)
                            .intersected(QGuiApplication::primaryScreen()->geometry());
    const bool ok = QGuiApplication::primaryScreen()
                        ->grabWindow(0, shown.x(), shown.y(), shown.width(), shown.height())
                        .save(out.filePath(u"windows-cascade.png"_s), "PNG");
    QTextStream(stdout) << (ok ? "wrote " : "could not write ") << out.filePath(u"windows-cascade.png"_s)
                        << Qt::endl;
    if (windowMenu)
        windowMenu->close();
    delete second;
    delete first;
    return ok;
}

// Plays the player's part for the preview picture: a 30-minute video, then
// playback standing at 1:23.
class ScriptedPlayerShell final : public PlayerShell {
public:
    void start(const QString &, const QStringList &arguments) override
    {
        m_running = true;
        const bool identify = arguments.contains(u"-identify"_s) || arguments.contains(u"--identify"_s);
        QTimer::singleShot(0, this, [this, identify] {
            if (identify) {
                emit output(" IDENTIFY: ID_VIDEO_WIDTH=1280\n IDENTIFY: ID_VIDEO_HEIGHT=720\n"
                            " IDENTIFY: ID_VIDEO_FPS=25.000\n IDENTIFY: ID_LENGTH=1800.00\n");
                stop();
            } else {
                emit output("STATUSLINE: A:  83.0 V:  83.0 A-V:  0.001 ct:  0.000 \x1b[J\r");
            }
        });
    }
    bool isRunning() const override { return m_running; }
    void writeLine(const QByteArray &) override {}
    void stop() override
    {
        if (!m_running)
            return;
        m_running = false;
        emit finished();
    }

private:
    bool m_running = false;
};

// The preview window over a made-up subtitle, playback in its third cue.
bool savePreviewWindow(const QDir &out)
{
    QTemporaryDir folder;
    const QString video = folder.filePath(u"Sintel.2010.mkv"_s);
    const QString subtitle = folder.filePath(u"Sintel.2010.en.srt"_s);
    QFile videoFile(video);
    QFile subtitleFile(subtitle);
    if (!videoFile.open(QIODevice::WriteOnly) || !subtitleFile.open(QIODevice::WriteOnly))
        return false;
    const QStringList lines{u"What brings you to the land of the gatekeepers?"_s,
                            u"I'm searching for someone."_s,
                            u"Someone very dear? | A kindred spirit?"_s,
                            u"A dragon."_s,
                            u"A dangerous quest for a lone hunter."_s,
                            u"I've been alone for as long as I can remember."_s,
                            u"We're almost done. | Shhh..."_s,
                            u"Scales."_s,
                            u"Come on."_s,
                            u"Don't be afraid."_s,
                            u"I'm here. | I won't leave you."_s,
                            u"You'll be safe here."_s};
    QByteArray srt;
    for (int i = 0; i < lines.size(); ++i) {
        const int start = 70 + i * 6;
        const auto at = [](int s) {
            return u"00:%1:%2"_s.arg(s / 60, 2, 10, QChar(u'0')).arg(s % 60, 2, 10, QChar(u'0'));
        };
        srt += QByteArray::number(i + 1) + '\n' +
               (at(start) + u",000 --> "_s + at(start + 4) + u",500\n"_s).toUtf8() +
               QString(lines.at(i)).replace(u" | "_s, u"\n"_s).toUtf8() + "\n\n";
    }
    subtitleFile.write(srt);
    subtitleFile.close();

    PreviewWindow::setPlayerMaker([](QObject *parent) {
        return new PlayerControl(
            PlayerInfo{u"mplayer"_s, PlayerDialect::MPlayer},
            [] { return std::make_unique<ScriptedPlayerShell>(); }, parent);
    });
    PreviewWindow *window = PreviewWindow::openLocal(subtitle, video, PreviewWindow::Opener::Download);
    if (!window)
        return false;
    window->setWindowTitle(u"Viewing Sub - (en) Sintel.2010"_s);
    settle(600);
    const bool ok = save(window, out.filePath(u"preview-window.png"_s));
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    delete window;
    PreviewWindow::setPlayerMaker({});
    return ok;
}

// The upload window with its pairs listed, then as a verification leaves it.
bool saveUploadWindow(const QDir &out, MainMenubar &menus)
{
    QTemporaryDir folder;
    const QStringList names{
        u"Big.Buck.Bunny.2008.mkv"_s, u"Big.Buck.Bunny.2008.de.srt"_s, u"Notes.srt"_s,
        u"Sintel.2010.mkv"_s,         u"Sintel.2010.en.srt"_s,         u"Sintel.2010.es.srt"_s};
    for (const QString &name : names) {
        QFile file(folder.filePath(name));
        // A subtitle must hold a cue to be listed as one.
        const bool subtitle = name.endsWith(u".srt"_s);
        if (!file.open(QIODevice::WriteOnly) ||
            (subtitle ? file.write("1\n00:00:01,000 --> 00:00:02,000\nHello\n") <= 0 : !file.resize(300000)))
            return false;
    }
    auto *window = new PutSubtitles;
    menus.attach(window);
    window->show();
    window->AAA_BuildFileList(folder.path());
    for (int i = 0; i < 100 && window->windowMode() != "listed"_L1; ++i)
        settle(50);
    settle(300);
    bool ok = save(window, out.filePath(u"upload-window-pairs.png"_s));

    // What a verification shows: made up here, the service is not asked.
    const QString base = folder.path() + u'/';
    const QList<VerifyPairing> pairings{
        {base + u"Big.Buck.Bunny.2008.de.srt"_s, base + u"Big.Buck.Bunny.2008.mkv"_s, u"de"_s, false, {}},
        {base + u"Sintel.2010.en.srt"_s, base + u"Sintel.2010.mkv"_s, u"en"_s, false, {}},
        {base + u"Sintel.2010.es.srt"_s, base + u"Sintel.2010.mkv"_s, u"es"_s, false, {}}};
    const QList<VerifyOutcome> outcomes{
        {VerifyOutcome::Status::Lacks, pairings[0].video, u"de"_s, pairings[0].subtitle, {}},
        {VerifyOutcome::Status::Has, pairings[1].video, u"en"_s, pairings[1].subtitle, {}},
        {VerifyOutcome::Status::Lacks, pairings[2].video, u"es"_s, pairings[2].subtitle, {}}};
    window->list()->listSearchResults(pairings, outcomes);
    window->frame()->moveStageMarker(1);
    window->setWindowMode(u"Searched"_s);
    settle(1200); // the stage marker glides for a second
    ok = save(window, out.filePath(u"upload-window-verified.png"_s)) && ok;
    delete window;
    return ok;
}
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 2) {
        QTextStream(stderr) << "usage: lumbra-screenshot OUTPUT-FOLDER" << Qt::endl;
        return 2;
    }
    const QDir out(args.at(1));
    if (!out.mkpath(u"."_s))
        return 1;
    QTemporaryDir scratch;
    XPrefs::setFilePathForTesting(scratch.filePath(u"prefs.plist"_s));

    WindowOrder order;
    DocumentRouter router(&order);
    // The home window as Lumbra shows it, with the menu bar.
    MainMenubar menus([](const QString &) { return false; }, [](const QString &) { return true; });
    auto *home = new homeWindow(router);
    menus.attach(home);
    bool ok = save(home, out.filePath(u"home-window.png"_s));

    WorkflowFrame frame;
    frame.setDropCaptions(translationStrings::DragVideosHere(), translationStrings::DragVideosHereDrag());
    frame.mainButton()->setCaption(translationStrings::SearchSubsButtonTitle());
    frame.setList(new omiListbox);
    ok = save(&frame, out.filePath(u"workflow-frame.png"_s)) && ok;
    ok = saveDownloadWindow(out, menus) && ok;
    ok = saveWindowCascade(out, menus) && ok;
    ok = savePreviewWindow(out) && ok;
    ok = saveUploadWindow(out, menus) && ok;

    auto *prefs = new PreferencesWindow;
    ok = save(prefs, out.filePath(u"preferences-window.png"_s)) && ok;

    delete prefs;
    delete home;
    return ok ? 0 : 1;
}
