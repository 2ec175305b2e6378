#include "../preview/FakePlayerShell.h"
#include "RecordingPlatform.h"
#include "ServiceEmulator.h"
#include "TestMain.h"

#include "common/JobSession.h"
#include "controls/omiButton.h"
#include "controls/omiListbox.h"
#include "media/movieFile.h"
#include "prefs/myPrefs.h"
#include "prefs/XPrefs.h"
#include "preview/gui/PreviewProgressWidget.h"
#include "preview/gui/PreviewWindow.h"
#include "preview/PlayerControl.h"
#include "preview/ResultPreview.h"
#include "preview/subLine.h"
#include "service/openSubtitleItem.h"
#include "service/SubtitleDownload.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMutex>
#include <QPointer>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

const QByteArray kSrt = "1\n00:00:10,000 --> 00:00:12,500\nFirst\nline two\n\n"
                        "2\n00:01:15,400 --> 00:01:17,000\nSecond\n\n"
                        "3\n00:01:38,000 --> 00:01:45,000\nPast the end\n"_ba;

const QByteArray kIdentify = " IDENTIFY: ID_VIDEO_WIDTH=1920\n IDENTIFY: ID_VIDEO_HEIGHT=1080\n"
                             " IDENTIFY: ID_VIDEO_FPS=25.000\n IDENTIFY: ID_LENGTH=100.00\n"_ba;

QByteArray statusAt(double seconds)
{
    const QByteArray at = QByteArray::number(seconds, 'f', 1);
    return "STATUSLINE: A: " + at + " V: " + at + " A-V:  0.001 ct:  0.000 \x1b[J\r";
}

FakePlayerShell *lastShell()
{
    return FakePlayerShell::made().isEmpty() ? nullptr : FakePlayerShell::made().last().data();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QPoint rowCentre(omiListbox *list, int row)
{
    return list->visualRect(list->model()->index(row, 1)).center();
}

std::shared_ptr<openSubtitleItem> result(const QString &hash, bool checked)
{
    auto r = std::make_shared<openSubtitleItem>();
    r->SubHash = hash;
    r->ISO639 = u"en"_s;
    r->SubFileName = hash + ".srt"_L1;
    r->isChecked = checked;
    return r;
}

} // namespace

class tst_PreviewWindow final : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    RecordingPlatform *m_platform = nullptr;
    QString m_video;
    QString m_subtitle;

    PreviewWindow *openFilm(PreviewWindow::Opener opener,
                            const std::shared_ptr<openSubtitleItem> &judged = {},
                            const std::shared_ptr<movieFile> &movie = {},
                            const std::shared_ptr<JobSession> &session = {})
    {
        PreviewWindow::Request request;
        request.video = m_video;
        request.subtitle = m_subtitle;
        request.title = u"Film preview"_s;
        request.result = judged;
        request.movie = movie;
        request.opener = opener;
        request.session = session;
        return PreviewWindow::open(request);
    }

    // Identification, then playback, through the fake shells.
    FakePlayerShell *startPlaying(PreviewWindow *window)
    {
        FakePlayerShell *id = lastShell();
        if (!id || id->program() != "/opt/mplayer"_L1)
            return nullptr;
        id->say(kIdentify);
        id->end();
        FakePlayerShell *play = lastShell();
        return play != id && window->player()->isPlaying() ? play : nullptr;
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        XPrefs::setFilePathForTesting(m_dir->filePath(u"prefs.plist"_s));
        auto platform = std::make_unique<RecordingPlatform>();
        m_platform = platform.get();
        installPlatform(std::move(platform));
        PreviewWindow::setPlayerMaker([](QObject *parent) {
            return new PlayerControl(
                PlayerInfo{u"/opt/mplayer"_s, PlayerDialect::MPlayer},
                [] { return std::make_unique<FakePlayerShell>(); }, parent);
        });
        m_video = m_dir->filePath(u"Film.avi"_s);
        m_subtitle = m_dir->filePath(u"Film.en.srt"_s);
        QVERIFY(writeFile(m_video, "not really a video"_ba));
        QVERIFY(writeFile(m_subtitle, kSrt));
    }

    void cleanup()
    {
        for (QWidget *w : QApplication::topLevelWidgets())
            delete w;
        PreviewWindow::setPlayerMaker({});
        installPlatform(nullptr);
    }

    // The cue list is filled from the identification run's frame rate and
    // then follows the positions the player reports.
    void cuesFollowPlayback()
    {
        QPointer<PreviewWindow> window = openFilm(PreviewWindow::Opener::Upload);
        QVERIFY(window);
        QCOMPARE(window->size(), QSize(600, 420));
        QCOMPARE(window->windowTitle(), u"Film preview"_s);
        QCOMPARE(window->timeLabel()->text(), QString());
        QVERIFY(m_platform->broughtToFront > 0);
        omiListbox *list = window->cueList();
        QCOMPARE(list->rowCount(), 0);

        FakePlayerShell *id = lastShell();
        QVERIFY(id);
        QCOMPARE(id->arguments().last(), m_video);
        id->say(kIdentify);
        QTRY_COMPARE(list->rowCount(), 3);
        QCOMPARE(list->cell(0, 0), u"00:00:10,000"_s);
        QCOMPARE(list->cell(0, 1), u"First | line two"_s);
        QCOMPARE(list->cell(2, 1), u"Past the end"_s);
        QCOMPARE(window->cueHelpTag(0), u"00:00:10,000 -> 00:00:12,500 (2.5s)"_s);
        QCOMPARE(window->cueHelpTag(1), u"00:01:15,400 -> 00:01:17,000 (1.6s)"_s);
        QTRY_COMPARE(window->timeLabel()->text(), u"00:00:00,000/00:01:40,000"_s);
        // No position yet: rows carry only their background.
        QCOMPARE(window->markerAt(0), PreviewWindow::Marker::None);
        QVERIFY(list->selectedRows().isEmpty());

        id->end();
        FakePlayerShell *play = lastShell();
        QVERIFY(play != id);
        // The 1920-pixel video is scaled to the 600-pixel window, or smaller
        // when the screen has no room for that much above the window.
        const QStringList args = play->arguments();
        const int width = args.at(args.indexOf(u"-xy"_s) + 1).toInt();
        QVERIFY(width > 0 && width <= 600);
        QCOMPARE(args.at(args.indexOf(u"-title"_s) + 1), u"Film preview"_s);
        // Both stay on the screen, the video clear of the preview window.
        QVERIFY(window->screen()->availableGeometry().contains(window->frameGeometry()));

        play->say(statusAt(11.0));
        QTRY_COMPARE(list->selectedRows(), QList<int>{0});
        QCOMPARE(window->markerAt(0), PreviewWindow::Marker::Playing);
        QCOMPARE(window->markerAt(1), PreviewWindow::Marker::Coming);
        QCOMPARE(window->markerAt(2), PreviewWindow::Marker::PastEnd);
        // 11 s of 100: the slider stands at 11 % of its length.
        QTRY_COMPARE(window->progress()->value(), window->progress()->maximum() * 11 / 100);

        play->say(statusAt(76.0));
        QTRY_COMPARE(list->selectedRows(), QList<int>{1});
        QCOMPARE(window->markerAt(0), PreviewWindow::Marker::Played);
        QTRY_COMPARE(window->timeLabel()->text(), u"00:01:16,000/00:01:40,000"_s);
        // The player tells the frame rate again: the same cues keep their rows.
        const QPersistentModelIndex kept = list->model()->index(1, 0);
        play->say(" IDENTIFY: ID_VIDEO_FPS=25.000\n"_ba);
        QTRY_VERIFY(!window->player()->listResults());
        QVERIFY(kept.isValid());
        QCOMPARE(list->selectedRows(), QList<int>{1});
        // Between cues none is current.
        play->say(statusAt(90.0));
        QTRY_VERIFY(list->selectedRows().isEmpty());
        QCOMPARE(window->markerAt(1), PreviewWindow::Marker::Played);
    }

    // The preview goes with the window that opened it.
    void closesWithItsOpener()
    {
        QWidget opener;
        opener.show();
        QPointer<PreviewWindow> window = openFilm(PreviewWindow::Opener::Download);
        QVERIFY(window);
        window->closeWith(&opener);
        const QPointer<FakePlayerShell> id = lastShell();
        opener.close();
        QTRY_VERIFY(!window);
        QVERIFY(!id || !id->isRunning());
    }

    void markers_data()
    {
        QTest::addColumn<double>("position");
        QTest::addColumn<double>("duration");
        QTest::addColumn<PreviewWindow::Marker>("marker");
        // A cue from 10.0 to 12.5 seconds.
        QTest::newRow("no position") << 0.0 << 100.0 << PreviewWindow::Marker::None;
        QTest::newRow("before") << 5.0 << 100.0 << PreviewWindow::Marker::Coming;
        QTest::newRow("at its start") << 10.0 << 100.0 << PreviewWindow::Marker::Coming;
        QTest::newRow("during") << 11.0 << 100.0 << PreviewWindow::Marker::Playing;
        QTest::newRow("at its end") << 12.5 << 100.0 << PreviewWindow::Marker::Played;
        QTest::newRow("ends after the video") << 5.0 << 12.0 << PreviewWindow::Marker::PastEnd;
    }

    void markers()
    {
        QFETCH(double, position);
        QFETCH(double, duration);
        QFETCH(PreviewWindow::Marker, marker);
        subLine cue;
        cue.startSeconds = 10.0;
        cue.endSeconds = 12.5;
        QCOMPARE(PreviewWindow::markerFor(cue, position, duration), marker);
    }

    // The transport buttons and a click on a cue write the player's
    // commands, only while it plays; the play button shows the status.
    void buttonsDrivePlayer()
    {
        QPointer<PreviewWindow> window = openFilm(PreviewWindow::Opener::Download);
        QVERIFY(window);
        FakePlayerShell *id = lastShell();
        QTest::mouseClick(window->playButton(), Qt::LeftButton);
        QTest::mouseClick(window->forwardButton(), Qt::LeftButton);
        QVERIFY(id->written().isEmpty());
        QCOMPARE(window->playButton()->caption(), QString(QChar(0xF04B)));

        FakePlayerShell *play = startPlaying(window);
        QVERIFY(play);
        QTRY_COMPARE(window->cueList()->rowCount(), 3);
        play->say(statusAt(1.0));
        QCOMPARE(window->playButton()->caption(), QString(QChar(0xF04C)));
        QTest::mouseClick(window->playButton(), Qt::LeftButton);
        play->say(" IDENTIFY: ID_PAUSED\n"_ba);
        QCOMPARE(window->playButton()->caption(), QString(QChar(0xF04B)));
        QTest::mouseClick(window->backButton(), Qt::LeftButton);
        QTest::mouseClick(window->forwardButton(), Qt::LeftButton);
        omiListbox *list = window->cueList();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowCentre(list, 1));
        QCOMPARE(play->written(),
                 (QList<QByteArray>{"pause"_ba, "seek -60 0"_ba, "seek +60 0"_ba, "seek 74 2"_ba}));

        play->end();
        QCOMPARE(window->playButton()->caption(), QString(QChar(0xF04D)));
        // After the end a cue click chooses where the play button starts again.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowCentre(list, 1));
        QTest::mouseClick(window->playButton(), Qt::LeftButton);
        QCOMPARE(play->written().size(), 4);
        FakePlayerShell *again = lastShell();
        QVERIFY(again != play);
        QVERIFY(window->player()->isPlaying());
        const QStringList args = again->arguments();
        QCOMPARE(args.at(args.indexOf(u"-ss"_s) + 1), u"74"_s);
        const int raised = m_platform->broughtToFront;
        again->say(statusAt(75.0));
        again->say(statusAt(76.0));
        QCOMPARE(m_platform->broughtToFront, raised + 1);
        QCOMPARE(window->playButton()->caption(), QString(QChar(0xF04C)));
    }

    // The slider's knob goes all the way: at the end of the video it stands
    // at the end of its track, whatever the width, and halfway at the half.
    void sliderKnobFollowsTheTime()
    {
        for (const int width : {120, 350, 600, 1001}) {
            const QSize size(width, 20);
            QCOMPARE(PreviewProgressWidget::knobX(size, 10000, 10000), width - 20);
            QCOMPARE(PreviewProgressWidget::knobX(size, 5000, 10000), (width - 20) / 2);
            QCOMPARE(PreviewProgressWidget::knobX(size, 0, 10000), 0);
        }
    }

    void judgements_data()
    {
        QTest::addColumn<PreviewWindow::Opener>("opener");
        QTest::addColumn<PreviewWindow::Verdict>("verdict");
        QTest::addColumn<bool>("stillChecked");
        using O = PreviewWindow::Opener;
        using V = PreviewWindow::Verdict;
        QTest::newRow("download, wrong language") << O::Download << V::WrongLanguage << false;
        QTest::newRow("download, machine-translated") << O::Download << V::MachineTranslated << false;
        QTest::newRow("download, not synchronized") << O::Download << V::NotSynchronized << false;
        QTest::newRow("upload, wrong language") << O::Upload << V::WrongLanguage << true;
        QTest::newRow("upload, machine-translated") << O::Upload << V::MachineTranslated << true;
    }

    // The judgements uncheck the result only for a download window; each is
    // reported; none closes the preview (several can apply to one subtitle).
    void judgements()
    {
        QFETCH(PreviewWindow::Opener, opener);
        QFETCH(PreviewWindow::Verdict, verdict);
        QFETCH(bool, stillChecked);
        const auto judged = result(u"a"_s, true);
        const auto session = std::make_shared<JobSession>();
        QPointer<PreviewWindow> window = openFilm(opener, judged, {}, session);
        QVERIFY(window);
        QSignalSpy rejected(window.data(), &PreviewWindow::rejected);
        omiButton *button = verdict == PreviewWindow::Verdict::WrongLanguage ? window->wrongLanguageButton()
                            : verdict == PreviewWindow::Verdict::MachineTranslated
                                ? window->machineTranslatedButton()
                                : window->notSynchronizedButton();
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(rejected.size(), 1);
        QCOMPARE(rejected.first().first().value<PreviewWindow::Verdict>(), verdict);
        QCOMPARE(judged->isChecked, stillChecked);
        // Unticked, the result can be selected again.
        if (opener == PreviewWindow::Opener::Download)
            QVERIFY(window->selectButton()->isEnabled());
        QTest::qWait(50);
        QVERIFY(window && window->isVisible());
    }

    // "Select for Download" checks the previewed result through its video's
    // record (unchecking the other result of its language) and closes; it is
    // disabled for a result already checked. From the upload window the
    // button reads "Confirm Selection" and only reports the press.
    void selectButton()
    {
        const auto movie = movieFile::create(m_video);
        const auto first = result(u"a"_s, true);
        const auto second = result(u"b"_s, false);
        movie->setSubtitleResults({first, second});
        first->movieFile = movie;
        second->movieFile = movie;
        const auto session = std::make_shared<JobSession>();

        QPointer<PreviewWindow> checked = openFilm(PreviewWindow::Opener::Download, first, movie, session);
        QVERIFY(!checked->selectButton()->isEnabled());
        QCOMPARE(checked->selectButton()->caption(), u"Select for Download"_s);
        QCOMPARE(checked->windowTitle(), u"Viewing Sub - (en) Film"_s);
        // Long captions are set small enough to fit their buttons.
        for (omiButton *button : {checked->wrongLanguageButton(), checked->machineTranslatedButton(),
                                  checked->notSynchronizedButton(), checked->selectButton()}) {
            QFont font(button->TextFont());
            font.setBold(true);
            font.setPixelSize(button->TextSize());
            QVERIFY2(QFontMetrics(font).horizontalAdvance(button->caption()) < button->width(),
                     qPrintable(button->caption()));
        }
        checked->close();

        QPointer<PreviewWindow> window = openFilm(PreviewWindow::Opener::Download, second, movie, session);
        QVERIFY(window->selectButton()->isEnabled());
        QSignalSpy selected(window.data(), &PreviewWindow::selected);
        // The identification run's video size lands in the record.
        lastShell()->say(kIdentify);
        QCOMPARE(movie->videowidth, 1920);
        QTest::mouseClick(window->selectButton(), Qt::LeftButton);
        QCOMPARE(selected.size(), 1);
        QVERIFY(second->isChecked);
        QVERIFY(!first->isChecked);
        QTRY_VERIFY(!window);

        QPointer<PreviewWindow> upload = openFilm(PreviewWindow::Opener::Upload, first, movie, session);
        QCOMPARE(upload->selectButton()->caption(), u"Confirm Selection"_s);
        QSignalSpy confirmed(upload.data(), &PreviewWindow::selected);
        QTest::mouseClick(upload->selectButton(), Qt::LeftButton);
        QCOMPARE(confirmed.size(), 1);
        QVERIFY(!first->isChecked);
        QVERIFY(second->isChecked);
        QTest::qWait(50);
        QVERIFY(upload && upload->isVisible());
    }

    // A preview that outlives its opener keeps working on the records it
    // holds, without the opener's lock.
    void openerGoesFirst()
    {
        const auto judged = result(u"a"_s, true);
        auto session = std::make_shared<JobSession>();
        PreviewWindow::Request request;
        request.video = m_video;
        request.subtitle = m_subtitle;
        request.result = judged;
        request.session = session;
        QPointer<PreviewWindow> window = PreviewWindow::open(request);
        QVERIFY(window);
        session.reset();
        QTest::mouseClick(window->machineTranslatedButton(), Qt::LeftButton);
        QVERIFY(!judged->isChecked);
        QTest::mouseClick(window->closeButton(), Qt::LeftButton);
        QTRY_VERIFY(!window);
    }

    // Without the video nothing opens; without the subtitle the window opens
    // idle. Closing stores the window's place.
    void openingAndClosing()
    {
        const qsizetype shells = FakePlayerShell::made().size();
        QVERIFY(!PreviewWindow::openLocal(m_subtitle, m_dir->filePath(u"gone.avi"_s)));
        QVERIFY(!PreviewWindow::openLocal(m_subtitle, m_dir->path()));

        QPointer<PreviewWindow> idle = PreviewWindow::openLocal(m_dir->filePath(u"gone.srt"_s), m_video);
        QVERIFY(idle && idle->isVisible());
        QCOMPARE(FakePlayerShell::made().size(), shells);
        idle->move(40, 90);
        idle->resize(600, 500);
        QVERIFY(idle->menuCommand(u"FileClose"_s));
        QTRY_VERIFY(!idle);
        QCOMPARE(XPrefs::Value(u"Videopreviews.Left"_s).toInt(), 40);
        QCOMPARE(XPrefs::Value(u"Videopreviews.top"_s).toInt(), 90);
        QCOMPARE(XPrefs::Value(u"Videopreviews.height"_s).toInt(), 500);
        QCOMPARE(XPrefs::Value(u"Videopreviews.screencount"_s).toInt(), 1);

        QPointer<PreviewWindow> again = PreviewWindow::openLocal(m_subtitle, m_video);
        QCOMPARE(again->pos(), QPoint(40, 90));
        QCOMPARE(again->height(), 500);
        QCOMPARE(FakePlayerShell::made().size(), shells + 1);
        // Closing the window ends its player.
        QPointer<FakePlayerShell> id = lastShell();
        QVERIFY(id->isRunning());
        again->close();
        QTRY_VERIFY(!id);
    }

    // A result is fetched to the temporary folder once and previewed from
    // there; the preview leaves the result's download state alone.
    void resultPreviewFetchesOnce()
    {
        ServiceEmulator emulator;
        const QJsonObject film{
            {u"hash"_s, u"0000000000000001"_s},
            {u"bytesize"_s, 1},
            {u"subtitles"_s,
             QJsonArray{QJsonObject{{u"id"_s, u"1950000001"_s}, {u"content"_s, QString::fromUtf8(kSrt)}}}}};
        QVERIFY(emulator.start(QJsonDocument(QJsonObject{{u"movies"_s, QJsonArray{film}}}).toJson()));
        SubtitleDownload::setTransferTimeoutMs(5000);
        QTemporaryDir temp;
        const auto movie = movieFile::create(m_video);
        auto fetched = result(u"a"_s, false);
        fetched->IDSubtitle = 7;
        fetched->SubFormat = u"srt"_s;
        fetched->SubDownloadsCnt = 12;
        fetched->SubDownloadLink = emulator.baseUrl() + "/download/1950000001.gz"_L1;
        fetched->setTemppath(temp.path());
        fetched->setMovieFolderItemPath(m_video);
        fetched->movieFile = movie;
        const auto session = std::make_shared<JobSession>();
        const auto downloads = [&emulator] {
            int n = 0;
            for (const QJsonValue &call : emulator.calls())
                n += call[u"kind"_s].toString() == "download"_L1;
            return n;
        };

        QList<QPointer<PreviewWindow>> opened;
        const auto preview = [&] {
            PreviewWindow::openResult(fetched, {}, session, this,
                                      [&opened](PreviewWindow *w) { opened.append(QPointer(w)); });
        };
        preview();
        preview(); // while the first fetch runs: dropped
        QTRY_COMPARE(opened.size(), 1);
        QVERIFY(opened[0]);
        QCOMPARE(opened[0]->movie(), movie);
        const QString copy = temp.filePath(u"7_a.srt.en.srt"_s);
        QCOMPARE(opened[0]->player()->subfile(), copy);
        QCOMPARE(opened[0]->windowTitle(), u"Viewing Sub - (en) Film"_s);
        QCOMPARE(opened[0]->player()->thisTitle(), u"a.srt (12 )"_s);
        QCOMPARE(fetched->status, u"idle"_s);
        QVERIFY(fetched->localSubfile.isEmpty());
        QCOMPARE(fetched->localtempfile, copy);

        preview();
        QCOMPARE(opened.size(), 2); // the copy is there: at once
        QCOMPARE(downloads(), 1);

        // A result downloaded beside its video is previewed from there.
        const QString placed = m_dir->filePath(u"Film.en.srt"_s);
        fetched->Downloaded = true;
        fetched->localSubfile = placed;
        preview();
        QCOMPARE(opened.size(), 3);
        QCOMPARE(opened[2]->player()->subfile(), placed);

        // No copy to be had: no window.
        auto broken = result(u"b"_s, false);
        broken->SubDownloadLink = emulator.baseUrl() + "/download/1950000001.gz"_L1;
        broken->setTemppath(temp.path());
        broken->setMovieFolderItemPath(m_video);
        QVERIFY(emulator.fail(u"html"_s, u"download"_s));
        PreviewWindow::openResult(broken, movie, session, this,
                                  [&opened](PreviewWindow *w) { opened.append(QPointer(w)); });
        QTRY_COMPARE(opened.size(), 4);
        QVERIFY(!opened[3]);
        QTRY_VERIFY(!ResultPreview::isFetching(broken.get()));
    }

    // The window over a real process: the stand-in player replays recorded
    // MPlayer output; cues are listed, the status and commands go through.
    void replayedPlayer()
    {
        const QString log = m_dir->filePath(u"fake-player.log"_s);
        qputenv("FAKE_PLAYER_LOG", QFile::encodeName(log));
        PreviewWindow::setPlayerMaker([](QObject *parent) {
            return new PlayerControl(
                PlayerInfo{QStringLiteral(LUMBRA_SOURCE_DIR "/tests/preview/fixtures/fake-mplayer.py"),
                           PlayerDialect::MPlayer},
                parent);
        });
        QPointer<PreviewWindow> window = PreviewWindow::openLocal(m_subtitle, m_video);
        QVERIFY(window);
        QTRY_COMPARE_WITH_TIMEOUT(window->cueList()->rowCount(), 3, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(window->player()->mPlayerStatus(), u"PLAYING"_s, 20000);
        QCOMPARE(window->playButton()->caption(), QString(QChar(0xF04C)));
        QTest::mouseClick(window->playButton(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(window->playButton()->caption(), QString(QChar(0xF04B)), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(!window->timeLabel()->text().isEmpty(), 20000);
        QTest::mouseClick(window->forwardButton(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(window->playButton()->caption(), QString(QChar(0xF04D)), 20000);
        QFile file(log);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray written = file.readAll();
        QVERIFY(written.contains("\"pause\""));
        QVERIFY(written.contains("\"seek +60 0\""));
        qunsetenv("FAKE_PLAYER_LOG");
    }
};

LUMBRA_TEST_MAIN(tst_PreviewWindow)
#include "../preview/moc_FakePlayerShell.cpp"
#include "tst_PreviewWindow.moc"
