#include "../timing/SpeechMedia.h"
#include "RecordingPlatform.h"
#include "ServiceEmulator.h"
#include "TestFiles.h"
#include "TestMain.h"

#include "common/JobSession.h"
#include "common/WorkerThreads.h"
#include "controls/omiButton.h"
#include "download/gui/DownloadList.h"
#include "download/gui/GetSubtitlesWindow.h"
#include "download/gui/ResultActions.h"
#include "media/movieFile.h"
#include "prefs/myPrefs.h"
#include "prefs/XPrefs.h"
#include "preview/gui/PreviewWindow.h"
#include "preview/PlayerControl.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace {

// One video row with its local subtitles.
class VideoRow final : public ResultRows {
public:
    explicit VideoRow(std::shared_ptr<movieFile> movie)
        : m_movie(std::move(movie))
    {
    }
    int refreshes = 0;

    int rowCount() const override { return 1; }
    Kind kindAt(int) const override { return Kind::Video; }
    std::shared_ptr<movieFile> movieAt(int) const override { return m_movie; }
    std::shared_ptr<openSubtitleItem> resultAt(int) const override { return nullptr; }
    QList<int> selectedRows() const override { return {}; }
    void select(const QList<int> &) override {}
    bool isOpen(int) const override { return false; }
    void setOpen(int, bool) override {}
    void refresh() override { ++refreshes; }
    void markEdited() override {}
    std::shared_ptr<JobSession> session() const override { return m_session; }

private:
    std::shared_ptr<movieFile> m_movie;
    std::shared_ptr<JobSession> m_session = std::make_shared<JobSession>();
};

QMessageBox *timingBox()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == "CheckTimingBox"_L1 && w->isVisible())
            return qobject_cast<QMessageBox *>(w);
    return nullptr;
}

} // namespace

// Measuring in the windows runs on a worker and fixes only when asked: the
// preview's "Fix Timing" and the download list's "Check Timing".
class tst_TimingWindows final : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    SpeechMedia m_film;

    QString path(const QString &name) const { return m_dir.filePath(u"film/"_s + name); }

    // Every cue but the first (cut at zero) within 100 ms of the speech.
    void verifyInStep(const QString &subtitle) const
    {
        const QList<double> starts = srtCueStarts(subtitle);
        QCOMPARE(starts.size(), m_film.cues.size());
        for (qsizetype i = 1; i < starts.size(); ++i)
            QVERIFY2(std::abs(starts[i] - m_film.cues[i].start) <= 0.1,
                     qPrintable(QString::number(starts[i])));
    }

    void verifyTrashed(const QString &name, const QByteArray &before) const
    {
        QCOMPARE(readTestFile(qEnvironmentVariable("XDG_DATA_HOME") + u"/Trash/files/"_s + name), before);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        XPrefs::setFilePathForTesting(m_dir.filePath(u"prefs.plist"_s));
        m_film = SpeechMedia::make(m_dir.filePath(u"film"_s),
                                   {u"--seconds"_s, u"30"_s, u"--seed"_s, u"5"_s, u"--subtitle"_s,
                                    u"video.en.srt:3:1"_s, u"--subtitle"_s, u"preview.srt:-2:1"_s,
                                    u"--subtitle"_s, u"served.srt:-4:1"_s});
        installPlatform(std::make_unique<RecordingPlatform>());
        PreviewWindow::setPlayerMaker(
            [](QObject *parent) { return new PlayerControl(PlayerInfo{}, parent); });
    }

    void cleanup()
    {
        for (QWidget *w : QApplication::topLevelWidgets())
            delete w;
    }

    void checkTimingOffersTheFixAndTrashesTheOld()
    {
        const QString subtitle = path(u"video.en.srt"_s);
        const QByteArray before = readTestFile(subtitle);
        VideoRow rows(movieFile::create(m_film.video, {subtitle}, myPrefs::languageList()));
        ResultActions actions(rows);
        bool offered = false;
        for (const ResultActions::MenuEntry &entry : actions.menuFor(0))
            offered = offered || entry.tag == "menuCheckTiming"_L1;
        QVERIFY(offered);

        actions.act(0, u"menuCheckTiming"_s);
        QCOMPARE(readTestFile(subtitle), before); // nothing changes before the user says so
        QTRY_VERIFY_WITH_TIMEOUT(timingBox(), 60000);
        QMessageBox *box = timingBox();
        QVERIFY2(box->text().contains(u"moved 3.0 s later"_s) ||
                     box->text().contains(u"moved 2.9 s later"_s) ||
                     box->text().contains(u"moved 3.1 s later"_s),
                 qPrintable(box->text()));
        QPushButton *fix = nullptr;
        for (QAbstractButton *button : box->buttons())
            if (button->text() == "Fix Timing"_L1)
                fix = qobject_cast<QPushButton *>(button);
        QVERIFY(fix);
        fix->click();

        verifyInStep(subtitle);
        verifyTrashed(u"video.en.srt"_s, before);
        QVERIFY(rows.refreshes > 0);
    }

    void previewMeasuresInTheBackgroundAndFixes()
    {
        const QString subtitle = path(u"preview.srt"_s);
        const QByteArray before = readTestFile(subtitle);
        PreviewWindow::Request request;
        request.video = m_film.video;
        request.subtitle = subtitle;
        PreviewWindow *window = PreviewWindow::open(request);
        QVERIFY(window);
        // The window is up at once; the measurement follows.
        QVERIFY(!window->fixTimingButton()->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(window->fixTimingButton()->isEnabled(), 60000);
        QVERIFY2(window->timingLabel()->text().contains(u"earlier"_s),
                 qPrintable(window->timingLabel()->text()));

        QTest::mouseClick(window->fixTimingButton(), Qt::LeftButton);
        QVERIFY2(window->timingLabel()->text().startsWith(u"Fixed: moved"_s),
                 qPrintable(window->timingLabel()->text()));
        QVERIFY(!window->fixTimingButton()->isEnabled());
        verifyInStep(subtitle);
        verifyTrashed(u"preview.srt"_s, before);
    }

    // With "Fix timing after download" on, the download run measures what it
    // placed, fixes it, and the row says so.
    void downloadFixesWhatItPlacedWhenAsked()
    {
        const QString video = m_film.copyAsFilm(m_dir.filePath(u"get"_s));
        ServiceEmulator emulator;
        QVERIFY(emulator.start(catalogueOfOneFilm(video, path(u"served.srt"_s))));
        myPrefs::resetToDefaults();
        myPrefs::setOSAPIServer(emulator.url().toString());
        myPrefs::setServiceProvider(u"xmlrpc"_s);
        myPrefs::setLanguageList({u"en"_s});
        myPrefs::setAutoSearchSubs(true);
        myPrefs::setAutoGetSubs(true);
        myPrefs::Values prefs = myPrefs::values();
        prefs.fixTimingAfterDownload = true;
        myPrefs::setValues(prefs);

        auto *window = new GetSubtitlesWindow;
        window->show();
        window->queueDrop(DragItem{{video}});
        QTRY_VERIFY_WITH_TIMEOUT(window->isWindowMode("Downloaded"_L1), 60000);
        const QString placed = m_dir.filePath(u"get/Film.en.srt"_s);
        verifyInStep(placed);
        const QString row = window->list().rowText(0);
        QVERIFY2(row.contains(u"timing: moved "_s) && row.endsWith(u" s earlier"_s), qPrintable(row));
    }

    // Closing the preview cancels the measurement: nothing is reported to a
    // window that has gone, and the worker ends.
    void closingThePreviewStopsTheMeasurement()
    {
        PreviewWindow::Request request;
        request.video = m_film.video;
        request.subtitle = path(u"video.en.srt"_s);
        QPointer<PreviewWindow> window = PreviewWindow::open(request);
        QVERIFY(window);
        window->close();
        QTRY_VERIFY(!window);
        QTRY_COMPARE_WITH_TIMEOUT(WorkerThreads::running(), 0, 1500);
    }
};

LUMBRA_TEST_MAIN(tst_TimingWindows)
#include "tst_TimingWindows.moc"
