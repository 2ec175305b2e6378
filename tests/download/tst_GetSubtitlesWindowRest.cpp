#include "RecordingPlatform.h"
#include "ServiceEmulator.h"
#include "TestFiles.h"
#include "TestMain.h"
#include "WindowTicks.h"

#include "controls/omiButton.h"
#include "controls/omiListbox.h"
#include "download/DownloadJob.h"
#include "download/gui/DownloadList.h"
#include "download/gui/GetSubtitlesWindow.h"
#include "download/QuotaWaitList.h"
#include "media/MovieHash.h"
#include "prefs/myPrefs.h"
#include "service/ProviderChoice.h"
#include "window/DocumentRouter.h"
#include "window/WindowOrder.h"
#include "window/WorkflowFrame.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLoggingCategory>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int Wait = 20000;

} // namespace

// The download window over the REST stand-in: a film with an English and a
// Spanish subtitle found by its hash, dropped, searched and downloaded on its
// own; what the service still allows is shown after the downloads.
class tst_GetSubtitlesWindowRest final : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void dropSearchDownloadShowsTheQuota_data();
    void dropSearchDownloadShowsTheQuota();
    void quotaShortfallShowsBeforeDownload_data();
    void quotaShortfallShowsBeforeDownload();
    void closingWhileTheServiceStallsIsQuick();
    void missingKeyIsNotARefusedKey_data();
    void missingKeyIsNotARefusedKey();
    void stalledServiceFailsWithTheReason_data();
    void stalledServiceFailsWithTheReason();
    void waitingDownloadsAreOfferedAgain_data();
    void waitingDownloadsAreOfferedAgain();

private:
    QString path(const QString &relative) const { return m_dir->path() + u'/' + relative; }

    QTemporaryDir m_home; // replaced subtitles go to this home's trash, never the user's
    std::unique_ptr<QTemporaryDir> m_dir;
    ServiceEmulator m_emu{ServiceEmulator::Api::Rest};
    QJsonArray m_movies;
};

void tst_GetSubtitlesWindowRest::initTestCase()
{
    QLoggingCategory::setFilterRules(u"lumbra.profiler.debug=false"_s);
    Ticks::setScaleForTesting(WindowTickScale);
    QVERIFY(m_home.isValid());
    qputenv("HOME", QFile::encodeName(m_home.path()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.filePath(u"data"_s)));
    auto desktop = std::make_unique<RecordingPlatform>();
    desktop->screenAreas = {{QRect(0, 0, 1280, 800), QRect(0, 0, 1280, 800)}};
    installPlatform(std::move(desktop));
    GetSubtitlesWindow::setQuitHandler([] {});
    QVERIFY(m_emu.start());
}

void tst_GetSubtitlesWindowRest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    const QString video = makeSparseFile(path(u"Movie.mkv"_s), 3'000'000);
    m_movies = {
        QJsonObject{{u"hash"_s, XMLRPC::computeMovieHash(video).hash},
                    {u"bytesize"_s, 3'000'000},
                    {u"name"_s, u"Movie"_s},
                    {u"subtitles"_s, QJsonArray{QJsonObject{{u"lang"_s, u"eng"_s},
                                                            {u"file"_s, u"Movie.en.srt"_s},
                                                            {u"content"_s, oneCueSubtitle(u"EN"_s)}},
                                                QJsonObject{{u"lang"_s, u"spa"_s},
                                                            {u"file"_s, u"Movie.es.srt"_s},
                                                            {u"content"_s, oneCueSubtitle(u"ES"_s)}}}}}};
    QVERIFY(m_emu.reset());

    myPrefs::resetToDefaults();
    myPrefs::setServiceProvider(u"rest"_s);
    myPrefs::setRestServer(m_emu.url().toString());
    myPrefs::setRestApiKey(u"test-key"_s);
    myPrefs::setLanguageList({u"en"_s, u"es"_s});
    myPrefs::setAddLanguageExt(true);
    myPrefs::setAutoSearchSubs(true);
    myPrefs::setAutoGetSubs(true);
    myPrefs::setAutoRetrySearch(false);
    myPrefs::setAutoQuit(false);
}

void tst_GetSubtitlesWindowRest::cleanup()
{
    qDeleteAll(QApplication::topLevelWidgets());
}

void tst_GetSubtitlesWindowRest::dropSearchDownloadShowsTheQuota_data()
{
    QTest::addColumn<int>("quota");
    QTest::addColumn<int>("placed");
    QTest::addColumn<QString>("notice");
    QTest::addColumn<QString>("failure");
    QTest::newRow("both placed") << 5 << 2 << u"allows 3 more downloads today"_s << QString();
    // The first download uses the day's last one: it stays placed, the other
    // says why it failed and when the quota renews.
    QTest::newRow("quota used up half-way")
        << 1 << 1 << u"allows 0 more downloads today"_s << u"quota for today is used up"_s;
}

void tst_GetSubtitlesWindowRest::dropSearchDownloadShowsTheQuota()
{
    QFETCH(int, quota);
    QFETCH(int, placed);
    QFETCH(QString, notice);
    QFETCH(QString, failure);
    QVERIFY(m_emu.setCatalog(QJsonDocument(QJsonObject{{u"movies"_s, m_movies},
                                                       {u"quota"_s, QJsonObject{{u"anonymous"_s, quota}}}})
                                 .toJson()));

    auto *window = new GetSubtitlesWindow;
    window->show();
    window->queueDrop(DragItem{{path(u"Movie.mkv"_s)}});
    const QLatin1StringView end = failure.isEmpty() ? "Downloaded"_L1 : "NotDownloaded"_L1;
    QTRY_VERIFY_WITH_TIMEOUT(window->isWindowMode(end), Wait);
    QCOMPARE(window->job()->providerName(), u"rest"_s);

    const QStringList subtitles{path(u"Movie.en.srt"_s), path(u"Movie.es.srt"_s)};
    int found = 0;
    for (const QString &subtitle : subtitles)
        found += QFile::exists(subtitle);
    QCOMPARE(found, placed);
    if (placed == 2) {
        QCOMPARE(readTestFile(subtitles[0]), oneCueSubtitle(u"EN"_s).toUtf8());
        QCOMPARE(readTestFile(subtitles[1]), oneCueSubtitle(u"ES"_s).toUtf8());
    }
    QTRY_VERIFY2(window->frame()->notice().contains(notice), qPrintable(window->frame()->notice()));
    if (!failure.isEmpty()) {
        QStringList rows;
        for (int row = 0; row < window->MainList()->rowCount(); ++row)
            rows.append(window->list().rowText(row));
        const QStringList failed = rows.filter(u"failed: "_s);
        QCOMPARE(failed.size(), 1);
        QVERIFY2(failed.first().contains(failure) && failed.first().contains(u"renews at"_s),
                 qPrintable(failed.first()));
    }
    // Each search asked for both languages at once, by hash.
    int searches = 0;
    for (const QJsonValue &call : m_emu.calls())
        searches += call[u"endpoint"_s].toString() == "subtitles"_L1;
    QCOMPARE(searches, 1);
}

void tst_GetSubtitlesWindowRest::quotaShortfallShowsBeforeDownload_data()
{
    QTest::addColumn<int>("quota");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::newRow("one short") << 1 << u"1 ticked result beyond it will wait for tomorrow's quota (renews "_s
                               << u"1 ticked result beyond it waits for tomorrow's quota (renews "_s;
    QTest::newRow("enough") << 2 << QString() << QString();
}

// Signed in, the day's count is known once the search ends: with both
// results ticked and one download left, the notice says before Download is
// pressed that one of them will wait, and after it that one does.
void tst_GetSubtitlesWindowRest::quotaShortfallShowsBeforeDownload()
{
    QFETCH(int, quota);
    QFETCH(QString, before);
    QFETCH(QString, after);
    myPrefs::setAutoGetSubs(false);
    myPrefs::setOSUsername(u"alice"_s);
    myPrefs::setOSPassword(u"secret"_s);
    QVERIFY(m_emu.setCatalog(QJsonDocument(QJsonObject{{u"movies"_s, m_movies},
                                                       {u"users"_s, QJsonObject{{u"alice"_s, u"secret"_s}}},
                                                       {u"quota"_s, QJsonObject{{u"user"_s, quota}}}})
                                 .toJson()));
    auto *window = new GetSubtitlesWindow;
    window->show();
    window->queueDrop(DragItem{{path(u"Movie.mkv"_s)}});
    QTRY_VERIFY_WITH_TIMEOUT(window->isWindowMode("Searched"_L1), Wait);
    QCOMPARE(window->list().tickedDownloads(), 2);
    WorkflowFrame *frame = window->frame();
    const QString allowed = quota == 1 ? u"The service allows 1 more download today."_s
                                       : u"The service allows %1 more downloads today."_s.arg(quota);
    QTRY_VERIFY2(frame->notice().startsWith(allowed), qPrintable(frame->notice()));
    QVERIFY2(before.isEmpty() ? frame->notice() == allowed : frame->notice().contains(before),
             qPrintable(frame->notice()));
    QVERIFY2(!m_emu.methods().contains(u"download"_s), "nothing is downloaded before Download is pressed");

    Q_EMIT frame->mainButton()->action();
    QTRY_VERIFY_WITH_TIMEOUT(window->isWindowMode("Downloaded"_L1), Wait);
    QCOMPARE(int(QFile::exists(path(u"Movie.en.srt"_s))) + int(QFile::exists(path(u"Movie.es.srt"_s))),
             std::min(quota, 2));
    QTRY_VERIFY2(after.isEmpty() ? !frame->notice().contains(u"tomorrow"_s) : frame->notice().contains(after),
                 qPrintable(frame->notice()));
}

// A search waiting on a stalled service is cancelled when the window
// closes: the window goes at once, the job soon after.
void tst_GetSubtitlesWindowRest::closingWhileTheServiceStallsIsQuick()
{
    QVERIFY(m_emu.setCatalog(QJsonDocument(QJsonObject{{u"movies"_s, m_movies}}).toJson()));
    QVERIFY(m_emu.fail(u"stall"_s, u"subtitles"_s, 1, {{u"seconds"_s, 60}}));
    auto *window = new GetSubtitlesWindow;
    window->show();
    window->queueDrop(DragItem{{path(u"Movie.mkv"_s)}});
    QTRY_VERIFY_WITH_TIMEOUT(!m_emu.calls().isEmpty(), Wait);
    const std::weak_ptr<DownloadJob> job = window->job();
    QPointer<GetSubtitlesWindow> alive(window);
    QElapsedTimer clock;
    clock.start();
    window->close();
    QVERIFY(alive && window->isHidden());
    QTRY_VERIFY_WITH_TIMEOUT(!alive, Wait);
    QTRY_VERIFY_WITH_TIMEOUT(job.expired(), Wait);
    QVERIFY2(clock.elapsed() < 10000, "the window waited for the stalled service");
    QVERIFY(!QFile::exists(path(u"Movie.en.srt"_s)));
}

void tst_GetSubtitlesWindowRest::missingKeyIsNotARefusedKey_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("says");
    QTest::newRow("no key yet") << QString() << u"No REST API key is set yet"_s;
    QTest::newRow("key refused") << u"revoked"_s << u"did not accept Lumbra's API key"_s;
}

// A new install has no key: the notice says so (not that a key was
// refused), shows all of its text, and offers the way to the key's field.
void tst_GetSubtitlesWindowRest::missingKeyIsNotARefusedKey()
{
    QFETCH(QString, key);
    QFETCH(QString, says);
    myPrefs::setRestApiKey(key);
    QVERIFY(m_emu.setCatalog(
        QJsonDocument(QJsonObject{{u"movies"_s, m_movies}, {u"api_keys"_s, QJsonArray{u"test-key"_s}}})
            .toJson()));
    auto *window = new GetSubtitlesWindow;
    window->show();
    window->queueDrop(DragItem{{path(u"Movie.mkv"_s)}});
    QTRY_VERIFY_WITH_TIMEOUT(window->isWindowMode("ErrorSearching"_L1), Wait);
    WorkflowFrame *frame = window->frame();
    QTRY_VERIFY2(frame->notice().startsWith(says) || frame->notice().contains(says),
                 qPrintable(frame->notice()));
    if (key.isEmpty())
        QVERIFY2(!frame->notice().contains(u"refused"_s) && !frame->notice().contains(u"did not accept"_s),
                 qPrintable(frame->notice()));
    // Nothing cut off: the label is as tall as its wrapped text.
    const QLabel *label = frame->noticeLabel();
    QVERIFY(label->height() >= label->heightForWidth(label->width()));
    QVERIFY(frame->noticeButton()->isVisibleTo(window));
    QCOMPARE(frame->noticeButton()->text(), u"Enter API Key\u2026"_s);
    QVERIFY(!frame->noticeButton()->geometry().intersects(label->geometry()));
}

void tst_GetSubtitlesWindowRest::stalledServiceFailsWithTheReason_data()
{
    QTest::addColumn<bool>("autoRetry");
    QTest::newRow("stays failed") << false;
    QTest::newRow("retry preference counts down") << true;
}

// A service that takes in the search and never answers: past ten seconds the
// notice line counts the wait; at the request's time limit the search fails,
// once, with the reason on the notice line and on the video's row. Only the
// retry preference tries again, after a visible countdown.
void tst_GetSubtitlesWindowRest::stalledServiceFailsWithTheReason()
{
    QFETCH(bool, autoRetry);
    myPrefs::setAutoRetrySearch(autoRetry);
    // Real seconds, where the window counts in its own (faster) test seconds:
    // the wait shows before the limit is reached.
    ProviderChoice::setRequestTimeout(std::chrono::milliseconds(5000));
    const auto restore = qScopeGuard([] { ProviderChoice::setRequestTimeout({}); });
    QVERIFY(m_emu.setCatalog(QJsonDocument(QJsonObject{{u"movies"_s, m_movies}}).toJson()));
    QVERIFY(m_emu.fail(u"stall"_s, u"subtitles"_s, -1, {{u"seconds"_s, 60}}));
    auto *window = new GetSubtitlesWindow;
    window->show();
    window->queueDrop(DragItem{{path(u"Movie.mkv"_s)}});
    WorkflowFrame *frame = window->frame();
    QTRY_VERIFY_WITH_TIMEOUT(frame->notice().startsWith(u"still waiting for the service\u2026 1"_s), Wait);
    QVERIFY2(frame->notice().endsWith(u" s"_s), qPrintable(frame->notice()));
    QVERIFY(window->isWindowMode("Searching"_L1));
    QCOMPARE(frame->mainButton()->caption(), u"Finding Subtitles\u2026"_s);

    const QLatin1StringView failed = autoRetry ? "RetrySearching"_L1 : "ErrorSearching"_L1;
    QTRY_VERIFY_WITH_TIMEOUT(window->isWindowMode(failed) || window->isWindowMode("RetryingSearching"_L1),
                             Wait);
    // The request that timed out was not sent again behind the window's back.
    QCOMPARE(m_emu.methods().count(u"subtitles"_s), 1);
    QTRY_VERIFY2(frame->notice().contains(u"did not answer in time"_s), qPrintable(frame->notice()));
    QTRY_VERIFY2(window->list().rowText(0).startsWith(u"Movie.mkv \u2014 search failed: "_s) &&
                     window->list().rowText(0).contains(u"did not answer in time"_s),
                 qPrintable(window->list().rowText(0)));
    if (autoRetry)
        QTRY_VERIFY2(frame->mainButton()->caption().startsWith(u"Retry in "_s),
                     qPrintable(frame->mainButton()->caption()));
    else
        QTRY_COMPARE(frame->mainButton()->caption(), u"Try Again"_s);
}

void tst_GetSubtitlesWindowRest::waitingDownloadsAreOfferedAgain_data()
{
    QTest::addColumn<bool>("autoGet");
    QTest::newRow("one click") << false;
    QTest::newRow("automatic download") << true;
}

// Downloads held back for the quota come back at the next start after it
// renewed: the subtitle chosen then (not the service's best now) is placed,
// nothing else of the video; an entry whose video is gone is dropped, one not
// yet due stays.
void tst_GetSubtitlesWindowRest::waitingDownloadsAreOfferedAgain()
{
    QFETCH(bool, autoGet);
    myPrefs::setAutoGetSubs(autoGet);
    QJsonObject movie = m_movies.first().toObject();
    movie[u"subtitles"_s] = QJsonArray{QJsonObject{{u"id"_s, 101},
                                                   {u"lang"_s, u"eng"_s},
                                                   {u"file"_s, u"Movie.best.srt"_s},
                                                   {u"downloads"_s, 5000},
                                                   {u"content"_s, oneCueSubtitle(u"EN best"_s)}},
                                       QJsonObject{{u"id"_s, 102},
                                                   {u"lang"_s, u"eng"_s},
                                                   {u"file"_s, u"Movie.chosen.srt"_s},
                                                   {u"downloads"_s, 5},
                                                   {u"content"_s, oneCueSubtitle(u"EN chosen"_s)}},
                                       QJsonObject{{u"id"_s, 103},
                                                   {u"lang"_s, u"spa"_s},
                                                   {u"file"_s, u"Movie.es.srt"_s},
                                                   {u"content"_s, oneCueSubtitle(u"ES"_s)}}};
    QVERIFY(m_emu.setCatalog(QJsonDocument(QJsonObject{{u"movies"_s, QJsonArray{movie}}}).toJson()));

    const QDateTime now = QDateTime::currentDateTimeUtc();
    QuotaWaitList waiting;
    const QString gone = path(u"Gone.mkv"_s);
    waiting.add({{path(u"Movie.mkv"_s), u"en"_s, 102, now.addSecs(-60)},
                 {gone, u"en"_s, 7, now.addSecs(-60)},
                 {path(u"Later.mkv"_s), u"en"_s, 8, now.addSecs(3600)}});
    makeSparseFile(path(u"Later.mkv"_s), 1000);
    const auto clearList = qScopeGuard([] { QFile::remove(QuotaWaitList::defaultPath()); });

    WindowOrder order;
    DocumentRouter router(&order);
    GetSubtitlesWindow *window = GetSubtitlesWindow::offerWaitingDownloads(router);
    QVERIFY(window);
    if (!autoGet) {
        omiButton *main = window->frame()->mainButton();
        QTRY_COMPARE_WITH_TIMEOUT(main->caption(), u"Download Selected"_s, Wait);
        QTRY_VERIFY(main->isEnabled());
        QVERIFY2(window->frame()->notice().contains(u"1 subtitle waited for today's quota."_s),
                 qPrintable(window->frame()->notice()));
        Q_EMIT main->action();
    }
    QTRY_VERIFY_WITH_TIMEOUT(window->isWindowMode("Downloaded"_L1), Wait);
    QCOMPARE(readTestFile(path(u"Movie.en.srt"_s)), oneCueSubtitle(u"EN chosen"_s).toUtf8());
    QVERIFY(!QFile::exists(path(u"Movie.es.srt"_s)));

    // Placed and gone are forgotten; the one not yet due waits on.
    const QList<WaitingDownload> left = waiting.all();
    QCOMPARE(left.size(), 1);
    QCOMPARE(left.first().video, path(u"Later.mkv"_s));
}

LUMBRA_TEST_MAIN(tst_GetSubtitlesWindowRest)
#include "tst_GetSubtitlesWindowRest.moc"
