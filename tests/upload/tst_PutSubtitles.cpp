#include "RecordingPlatform.h"
#include "ServiceEmulator.h"
#include "TestMain.h"
#include "WindowTicks.h"

#include "controls/omiButton.h"
#include "controls/omiListbox.h"
#include "controls/omiPanel.h"
#include "media/MovieHash.h"
#include "media/subtitleFile.h"
#include "prefs/myPrefs.h"
#include "preview/gui/PreviewWindow.h"
#include "preview/PlayerControl.h"
#include "preview/PlayerShell.h"
#include "service/JobRecords.h"
#include "upload/gui/PutSubtitles.h"
#include "upload/gui/UploadList.h"
#include "window/BusyWheel.h"
#include "window/DocumentRouter.h"
#include "window/WindowOrder.h"
#include "window/WorkflowFrame.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// A player that starts and runs until it is stopped, and says nothing.
class SilentPlayerShell final : public PlayerShell {
public:
    void start(const QString &, const QStringList &) override { m_running = true; }
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

// A subtitle with one cue, or a sparse video of the given size.
void makeFile(const QString &path, qint64 sparseSize = 0)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    const int fd = ::open(QFile::encodeName(path).constData(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    QVERIFY(fd >= 0);
    if (sparseSize > 0)
        QVERIFY(::ftruncate(fd, sparseSize) == 0);
    else
        QVERIFY(::write(fd, "1\n00:00:01,000 --> 00:00:02,000\nHi\n", 35) == 35);
    ::close(fd);
}

QStringList rowTexts(const UploadList &list)
{
    QStringList texts;
    for (int row = 0; row < list.rowCount(); ++row)
        texts.append(list.view()->cell(row, 0));
    return texts;
}

} // namespace

class tst_PutSubtitles final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void dropFolderListsPairs();
    void whatIsNoSubtitleIsRefusedWithTheReason();
    void languageSubtitleBringsItsVideo();
    void homeDropOpensWindow();
    void listKeysClicksAndMenu();
    void returnAndEscapeReachTheButtons();
    void verificationMarksEachPair_data();
    void verificationMarksEachPair();
    void serviceFailureShowsError_data();
    void serviceFailureShowsError();
    void closingNeverWaits_data();
    void closingNeverWaits();

private:
    // A window, shown, with files dropped on it and listed.
    PutSubtitles *openWith(const QStringList &paths);
    void startService(ServiceEmulator::Api api = ServiceEmulator::Api::XmlRpc);

    RecordingPlatform *m_platform = nullptr;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ServiceEmulator> m_emu;
    QPointer<PutSubtitles> m_window;
    QString d;
};

void tst_PutSubtitles::initTestCase()
{
    Ticks::setScaleForTesting(WindowTickScale);
    auto platform = std::make_unique<RecordingPlatform>();
    m_platform = platform.get();
    installPlatform(std::move(platform));
    PreviewWindow::setPlayerMaker([](QObject *parent) {
        return new PlayerControl(
            PlayerInfo{u"mplayer"_s, PlayerDialect::MPlayer},
            [] { return std::make_unique<SilentPlayerShell>(); }, parent);
    });
}

void tst_PutSubtitles::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    d = m_dir->path();
    makeFile(d + u"/Movie.mkv"_s, 2'000'000);
    makeFile(d + u"/Movie.en.srt"_s);
    makeFile(d + u"/Movie.es.srt"_s);
    makeFile(d + u"/Other.srt"_s);
    // Another film of that name, elsewhere: no pair for Other.srt.
    makeFile(d + u"/extras/Other.mkv"_s, 70'000);
    makeFile(d + u"/tv/Show.S01E02.mkv"_s, 2'000'001);
    makeFile(d + u"/tv/Show.S01E02.en.srt"_s);
    myPrefs::Values prefs = myPrefs::values();
    prefs.AutoRetrySearch = false;
    prefs.OSUsername.clear();
    prefs.OSPassword.clear();
    myPrefs::setValues(prefs);
}

void tst_PutSubtitles::cleanup()
{
    delete m_window.data();
    m_emu.reset();
    m_dir.reset();
}

// A binary file named .srt beside its video is listed with the reason and
// stays unchecked; a subtitle without a language in its name shows the
// language assumed for it.
void tst_PutSubtitles::whatIsNoSubtitleIsRefusedWithTheReason()
{
    const QString folder = d + u"/odd"_s;
    makeFile(folder + u"/Clip.mkv"_s, 1'000'000);
    makeFile(folder + u"/Plain.mkv"_s, 1'000'001);
    makeFile(folder + u"/Plain.srt"_s);
    QFile binary(folder + u"/Clip.srt"_s);
    QVERIFY(binary.open(QIODevice::WriteOnly));
    binary.write("\x01\x02\x03\x04\x05\x06\x07\x08"
                 "binary\x1b");
    binary.close();
    PutSubtitles *window = openWith({folder});
    UploadList *list = window->list();
    QCOMPARE(rowTexts(*list), (QStringList{u"Clip.srt \u2014 not a subtitle: it is not text"_s,
                                           u"Plain.srt (Plain.mkv, English?)"_s}));
    QVERIFY(!list->isChecked(0));
    QVERIFY(list->isChecked(1));
    // Space checks what is selected, but not a refused file.
    list->view()->setSelected(0, true);
    list->handleKey(Qt::Key_Space);
    QVERIFY(!list->isChecked(0));
}

PutSubtitles *tst_PutSubtitles::openWith(const QStringList &paths)
{
    m_window = new PutSubtitles();
    m_window->show();
    m_window->queueDrop(DragItem{paths});
    [&] { QTRY_COMPARE(m_window->windowMode(), u"listed"_s); }();
    return m_window;
}

// Movie.mkv is known to the service with an English subtitle; the episode is
// not. The service knows the account alice/secret.
void tst_PutSubtitles::startService(ServiceEmulator::Api api)
{
    const QString hash = XMLRPC::computeMovieHash(d + u"/Movie.mkv"_s).hash;
    const QJsonObject movie{{u"hash"_s, hash},
                            {u"bytesize"_s, 2'000'000},
                            {u"name"_s, u"Movie"_s},
                            {u"subtitles"_s, QJsonArray{QJsonObject{{u"lang"_s, u"eng"_s}}}}};
    const QJsonObject users{{u"alice"_s, u"secret"_s}};
    m_emu = std::make_unique<ServiceEmulator>(api);
    QVERIFY(m_emu->start(
        QJsonDocument(QJsonObject{{u"movies"_s, QJsonArray{movie}}, {u"users"_s, users}}).toJson()));
    myPrefs::Values prefs = myPrefs::values();
    if (api == ServiceEmulator::Api::Rest) {
        prefs.ServiceProvider = u"rest"_s;
        prefs.RestServer = m_emu->url().toString();
        prefs.RestApiKey = u"test-key"_s;
    } else {
        prefs.ServiceProvider = u"xmlrpc"_s;
        prefs.OSAPIServer = m_emu->url().toString();
    }
    myPrefs::setValues(prefs);
}

void tst_PutSubtitles::dropFolderListsPairs()
{
    PutSubtitles *window = openWith({d});
    UploadList *list = window->list();
    // One row per subtitle, by path; a subtitle with a video starts checked.
    // Each pair shows the language it will be verified in.
    QCOMPARE(
        rowTexts(*list),
        (QStringList{u"Movie.en.srt (Movie.mkv, English)"_s, u"Movie.es.srt (Movie.mkv, Spanish)"_s,
                     u"Other.srt \u2014 no video"_s, u"Show.S01E02.en.srt (Show.S01E02.mkv, English)"_s}));
    QCOMPARE(list->view()->cellTag(0, 0).toString(), u"subfile"_s);
    QVERIFY(list->isChecked(0));
    QVERIFY(list->isChecked(1));
    QVERIFY(!list->isChecked(2));
    QVERIFY(list->isChecked(3));
    QTRY_COMPARE(window->frame()->mainButton()->caption(), u"Verify Subtitles"_s);
    QTRY_VERIFY(window->frame()->mainButton()->isEnabled());
    QVERIFY(window->frame()->DropFilesCanvas()->isEnabled());

    // The same files again add nothing.
    window->queueDrop(DragItem{{d + u"/Movie.en.srt"_s, d}});
    letTicksPass(Ticks::Process, 3);
    QTRY_COMPARE(window->windowMode(), u"listed"_s);
    QCOMPARE(list->rowCount(), 4);
}

// Movie.en.srt dropped alone finds Movie.mkv: the video's name is the
// subtitle's without the language code and the extension.
void tst_PutSubtitles::languageSubtitleBringsItsVideo()
{
    PutSubtitles *window = openWith({d + u"/Movie.en.srt"_s, d + u"/tv/Show.S01E02.en.srt"_s});
    QCOMPARE(rowTexts(*window->list()), (QStringList{u"Movie.en.srt (Movie.mkv, English)"_s,
                                                     u"Show.S01E02.en.srt (Show.S01E02.mkv, English)"_s}));
    QVERIFY(window->list()->isChecked(0));
}

// A drop on the home window's subtitle panel makes an upload window, which
// takes the files in.
void tst_PutSubtitles::homeDropOpensWindow()
{
    WindowOrder order;
    DocumentRouter router(&order);
    PutSubtitles::registerWith(router);
    router.handOverDrop(WorkflowKind::Upload, DragItem{{d + u"/Other.srt"_s}});
    m_window = dynamic_cast<PutSubtitles *>(router.frontmostVisible(WorkflowKind::Upload));
    QVERIFY(m_window);
    QTRY_COMPARE(m_window->windowMode(), u"listed"_s);
    QCOMPARE(rowTexts(*m_window->list()), QStringList{u"Other.srt \u2014 no video"_s});
    QVERIFY(!m_window->list()->isChecked(0));

    // Once its verification has started the window takes no more files:
    // the next drop on the home window opens a second upload window, which
    // takes it, instead of being queued where it is never taken in.
    m_window->setWindowMode(u"Searched"_s);
    router.handOverDrop(WorkflowKind::Upload, DragItem{{d + u"/Movie.en.srt"_s}});
    QPointer<PutSubtitles> second =
        dynamic_cast<PutSubtitles *>(router.frontmostVisible(WorkflowKind::Upload));
    QVERIFY(second && second != m_window);
    QTRY_COMPARE(second->windowMode(), u"listed"_s);
    QCOMPARE(rowTexts(*second->list()), QStringList{u"Movie.en.srt (Movie.mkv, English)"_s});
    QCOMPARE(rowTexts(*m_window->list()), QStringList{u"Other.srt \u2014 no video"_s});
    delete second.data();
}

void tst_PutSubtitles::listKeysClicksAndMenu()
{
    myPrefs::setLanguageList({u"en"_s, u"es"_s});
    PutSubtitles *window = openWith({d});
    UploadList *list = window->list();
    omiListbox *view = list->view();

    // Space toggles each selected row on its own; Backspace clears.
    view->setSelected(0, true);
    view->setSelected(1, true);
    view->setSelected(2, true);
    QTest::keyClick(view, Qt::Key_Space);
    QCOMPARE((QList<bool>{list->isChecked(0), list->isChecked(1), list->isChecked(2), list->isChecked(3)}),
             (QList<bool>{false, false, true, true}));
    QTest::keyClick(view, Qt::Key_Backspace);
    QVERIFY(!list->isChecked(2));
    QTest::keyClick(view, Qt::Key_Backspace);
    QVERIFY(!list->isChecked(2));

    // A click inside the check picture toggles; beside it, it does not.
    const QRect area = list->checkArea(view->columnWidth(1));
    QVERIFY(list->clickCell(3, 1, area.center()));
    QVERIFY(!list->isChecked(3));
    QVERIFY(!list->clickCell(3, 1, QPoint(1, 1)));
    QVERIFY(!list->isChecked(3));
    QVERIFY(!list->clickCell(3, 0, area.center()));

    // A subtitle without a video has no video to reveal or play over, only
    // the languages it can be verified in; its name gives none, so the
    // default one is assumed and the others are offered.
    const auto tags = [&](int row) {
        QStringList found;
        for (const auto &[tag, text] : list->menuEntries(row))
            found.append(tag);
        return found;
    };
    QCOMPARE(tags(2), (QStringList{u"menuLanguage:es"_s}));
    list->chooseMenuEntry(2, u"menuRevealFile"_s);
    QVERIFY(m_platform->revealed.isEmpty());
    // A pair reveals its video; Movie.en.srt can be said to be Spanish.
    QCOMPARE(tags(0), (QStringList{u"menuRevealFile"_s, u"menuPreviewSub"_s, u"menuLanguage:es"_s}));
    list->chooseMenuEntry(0, u"menuRevealFile"_s);
    QCOMPARE(m_platform->revealed, QStringList{d + u"/Movie.mkv"_s});
    list->chooseMenuEntry(0, u"menuLanguage:es"_s);
    QCOMPARE(rowTexts(*list).first(), u"Movie.en.srt (Movie.mkv, Spanish)"_s);
    QCOMPARE(tags(0), (QStringList{u"menuRevealFile"_s, u"menuPreviewSub"_s, u"menuLanguage:en"_s}));
    // A pair offers the preview, which asks for the subtitle over its video.
    QSignalSpy preview(window, &PutSubtitles::previewRequested);
    list->chooseMenuEntry(0, u"menuPreviewSub"_s);
    QCOMPARE(preview.size(), 1);
    QCOMPARE(preview.first().at(0).toString(), QString(d + u"/Movie.en.srt"_s));
    QCOMPARE(preview.first().at(1).toString(), QString(d + u"/Movie.mkv"_s));
    PreviewWindow *previewWindow = nullptr;
    for (QWidget *top : QApplication::topLevelWidgets()) {
        if (auto *found = qobject_cast<PreviewWindow *>(top))
            previewWindow = found;
    }
    QVERIFY(previewWindow);
    previewWindow->close();
}

void tst_PutSubtitles::returnAndEscapeReachTheButtons()
{
    m_window = new PutSubtitles();
    m_window->show();
    omiListbox *view = m_window->list()->view();
    QTRY_COMPARE(m_window->frame()->mainButton()->caption(), u"Verify Subtitles"_s);
    // Return presses the button, which verifies nothing while no file is listed.
    QTest::keyClick(view, Qt::Key_Return);
    letTicksPass(Ticks::Process, 2);
    QCOMPARE(m_window->windowMode(), u"Idle"_s);
    QVERIFY(!m_window->verificationRunning());
    // Escape closes the window.
    QTest::keyClick(view, Qt::Key_Escape);
    QTRY_VERIFY(m_window.isNull());
}

void tst_PutSubtitles::verificationMarksEachPair_data()
{
    QTest::addColumn<bool>("rest");
    QTest::newRow("REST API (a new install)") << true;
    QTest::newRow("XML-RPC") << false;
}

// The pairs are verified through the interface the preferences choose.
void tst_PutSubtitles::verificationMarksEachPair()
{
    QFETCH(bool, rest);
    const auto api = rest ? ServiceEmulator::Api::Rest : ServiceEmulator::Api::XmlRpc;
    startService(api);
    PutSubtitles *window = openWith({d});
    // Pressing the button before the intake ended would do nothing; now it
    // drops the unchecked row and its record, then verifies.
    window->frame()->mainButton()->push();
    QVERIFY(!window->frame()->DropFilesCanvas()->isEnabled());
    QCOMPARE(rowTexts(*window->list()).size(), 3);
    {
        const QMutexLocker guard(&window->records().stateLock());
        QCOMPARE(window->records().subfiles.size(), 3);
    }
    QTRY_COMPARE_WITH_TIMEOUT(window->windowMode(), u"Searched"_s, 30000);

    UploadList *list = window->list();
    QCOMPARE(list->mode(), u"subs"_s);
    QCOMPARE(list->view()->columnCount(), 3);
    // The subtitle without a video stays listed, saying so, and is not verified.
    QCOMPARE(list->rowCount(), 4);
    QCOMPARE((QStringList{list->resultStatus(0), list->resultStatus(1), list->resultStatus(2),
                          list->resultStatus(3)}),
             (QStringList{u"has"_s, u"lacks"_s, QString(), u"lacks"_s}));
    QVERIFY2(list->resultText(2).startsWith(u"Other.srt: no video"_s), qPrintable(list->resultText(2)));
    if (api == ServiceEmulator::Api::Rest) {
        // Only searches by hash: no account, no search by name.
        const QStringList asked = m_emu->methods();
        QVERIFY(!asked.isEmpty());
        QCOMPARE(asked.filter(u"subtitles"_s).size(), asked.size());
        for (const QJsonValue &call : m_emu->calls())
            QVERIFY2(call[u"query"_s].toString().contains(u"moviehash="_s),
                     qPrintable(call[u"query"_s].toString()));
    }
    QVERIFY(list->resultText(0).startsWith(u"Movie.en.srt (Movie.mkv)"_s));
    QVERIFY(list->resultText(3).startsWith(u"Show.S01E02.en.srt (Show.S01E02.mkv)"_s));
    QTRY_COMPARE(window->frame()->mainButton()->caption(), u"Confirm Sub Info"_s);
    QTRY_VERIFY(!window->frame()->mainButton()->isEnabled());
    QVERIFY(!window->frame()->DropFilesProgress()->isVisible());
    // Files dropped now are not taken in.
    window->queueDrop(DragItem{{d + u"/Other.srt"_s}});
    letTicksPass(Ticks::Process, 3);
    QCOMPARE(window->windowMode(), u"Searched"_s);
    QCOMPARE(list->rowCount(), 4);
}

void tst_PutSubtitles::serviceFailureShowsError_data()
{
    QTest::addColumn<bool>("autoRetry");
    QTest::addColumn<QString>("state");
    QTest::addColumn<bool>("wrongPassword"); // else the service answers HTTP 503 to ServerInfo
    QTest::addColumn<QString>("rowSays");
    QTest::addColumn<QString>("noticeSays");
    QTest::newRow("busy, no auto-retry")
        << false << u"ErrorSearching"_s << false << u"ServerInfo"_s << u"busy"_s;
    QTest::newRow("busy, auto-retry") << true << u"RetrySearching"_s << false << u"ServerInfo"_s << u"busy"_s;
    QTest::newRow("login rejected") << false << u"ErrorSearching"_s << true << u"LogIn"_s
                                    << u"check the user name and password in the preferences"_s;
}

// A failed verification says why: each pair in its row, the whole run on the
// notice line in the words the download window uses. Verifying again once
// the cause is gone clears the notice as soon as the new run starts.
void tst_PutSubtitles::serviceFailureShowsError()
{
    QFETCH(bool, autoRetry);
    QFETCH(QString, state);
    QFETCH(bool, wrongPassword);
    QFETCH(QString, rowSays);
    QFETCH(QString, noticeSays);
    startService();
    myPrefs::Values prefs = myPrefs::values();
    prefs.AutoRetrySearch = autoRetry;
    if (wrongPassword) {
        prefs.OSUsername = u"alice"_s;
        prefs.OSPassword = u"wrong"_s;
    } else {
        QVERIFY(m_emu->fail(u"http503"_s, u"ServerInfo"_s));
    }
    myPrefs::setValues(prefs);

    PutSubtitles *window = openWith({d + u"/Movie.en.srt"_s});
    WorkflowFrame *frame = window->frame();
    QCOMPARE(frame->notice(), QString());
    frame->mainButton()->push();
    QTRY_COMPARE_WITH_TIMEOUT(window->windowMode(), state, 30000);
    // Nothing spins; the button verifies again.
    UploadList *list = window->list();
    QTRY_COMPARE(list->resultStatus(0), u"failed"_s);
    QCOMPARE(list->rowCount(), 1);
    QVERIFY2(list->resultText(0).contains(rowSays), qPrintable(list->resultText(0)));
    QTRY_COMPARE(frame->mainButton()->caption(), u"Verify Subtitles"_s);
    QTRY_VERIFY(frame->mainButton()->isEnabled());
    QVERIFY(!frame->DropFilesProgress()->isVisible());
    QTRY_VERIFY2(frame->notice().contains(noticeSays), qPrintable(frame->notice()));
    QVERIFY(frame->noticeLabel()->isVisibleTo(window));

    // The cause is fixed; the service takes a moment to answer the login.
    QVERIFY(m_emu->reset());
    prefs.OSUsername = u"alice"_s;
    prefs.OSPassword = u"secret"_s;
    myPrefs::setValues(prefs);
    QVERIFY(m_emu->fail(u"stall"_s, u"LogIn"_s, 1, {{u"seconds"_s, 2}}));
    frame->mainButton()->push();
    QTRY_COMPARE(frame->notice(), QString());
    QVERIFY(!frame->noticeLabel()->isVisibleTo(window));
    QVERIFY2(window->verificationRunning(), "the notice stayed until the new verification ended");
    QTRY_COMPARE_WITH_TIMEOUT(window->windowMode(), u"Searched"_s, 30000);
    QCOMPARE(list->resultStatus(0), u"has"_s);
    QCOMPARE(frame->notice(), QString());
}

// Closing never waits for the work under way: a request to a service that
// stalls for a minute, or the intake of a large tree. The window disappears
// at once; the cancelled work ends soon after and the window goes with it.
void tst_PutSubtitles::closingNeverWaits_data()
{
    QTest::addColumn<bool>("verifying");
    QTest::newRow("request to a stalled service") << true;
    QTest::newRow("intake of a large tree") << false;
}

void tst_PutSubtitles::closingNeverWaits()
{
    QFETCH(bool, verifying);
    PutSubtitles *window = nullptr;
    if (verifying) {
        startService();
        QVERIFY(m_emu->fail(u"stall"_s, u"LogIn"_s, -1, {{u"seconds"_s, 60}}));
        window = openWith({d});
        window->frame()->mainButton()->push();
        QTRY_COMPARE_WITH_TIMEOUT(m_emu->methods().contains(u"LogIn"_s), true, 30000);
        QVERIFY(window->verificationRunning());
    } else {
        // Each subtitle is paired against every video taken in so far: the
        // intake of this tree keeps busy for a long while.
        const QString tree = d + u"/library"_s;
        for (int folder = 0; folder < 100; ++folder) {
            const QString path = tree + u"/%1/"_s.arg(folder);
            QDir().mkpath(path);
            for (int file = 0; file < 100; ++file) {
                QFile(path + u"Clip%1.mkv"_s.arg(file)).open(QIODevice::WriteOnly);
                QFile(path + u"Clip%1.en.srt"_s.arg(file)).open(QIODevice::WriteOnly);
            }
        }
        m_window = window = new PutSubtitles();
        window->show();
        window->queueDrop(DragItem{{tree}});
        QTRY_COMPARE(window->windowMode(), u"adding"_s);
    }
    const std::shared_ptr<VerificationJob> job = window->job();
    QElapsedTimer clock;
    clock.start();
    window->close();
    QVERIFY(!m_window || m_window->isHidden());
    QTRY_VERIFY_WITH_TIMEOUT(!job->busy(), 20000);
    // Far below the minute a stalled request would have taken.
    QVERIFY2(clock.elapsed() < 20000, "closing waited for the work under way");
    if (!verifying) {
        const QMutexLocker guard(&job->records().stateLock());
        QVERIFY(job->records().subfiles.size() < 10000); // the intake stopped early
    }
    QTRY_VERIFY(m_window.isNull());
}

LUMBRA_TEST_MAIN(tst_PutSubtitles)
#include "tst_PutSubtitles.moc"
