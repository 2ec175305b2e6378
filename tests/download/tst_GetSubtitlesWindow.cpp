#include "RecordingPlatform.h"
#include "ServiceEmulator.h"
#include "TestMain.h"
#include "WindowTicks.h"

#include "controls/omiButton.h"
#include "controls/omiListbox.h"
#include "controls/omiPanel.h"
#include "download/gui/DownloadList.h"
#include "download/gui/GetSubtitlesWindow.h"
#include "media/movieFile.h"
#include "media/MovieHash.h"
#include "media/subtitleFile.h"
#include "prefs/myPrefs.h"
#include "service/DownloadQueue.h"
#include "service/JobRecords.h"
#include "service/openSubtitleItem.h"
#include "window/BusyWheel.h"
#include "window/DocumentRouter.h"
#include "window/MainMenubar.h"
#include "window/WindowOrder.h"
#include "window/WorkflowFrame.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHelpEvent>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLoggingCategory>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMutexLocker>
#include <QPointer>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>
#include <QUrl>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// An empty file of the given size that takes no disk space.
QString sparse(const QString &path, qint64 size)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    const int fd = ::open(QFile::encodeName(path).constData(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    if (fd < 0 || ::ftruncate(fd, size) != 0)
        qFatal("cannot make %s", qPrintable(path));
    ::close(fd);
    return path;
}

void writeText(const QString &path, const QByteArray &text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        qFatal("cannot write %s", qPrintable(path));
}

QByteArray readText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QJsonObject subtitle(const QString &id, const QString &lang, const QString &text, const QString &rating,
                     int downloads)
{
    return {{u"id"_s, id},
            {u"lang"_s, lang},
            {u"file"_s, QString(u"Sub"_s + id + u".srt"_s)},
            {u"content"_s, QString(u"1\n00:00:01,000 --> 00:00:02,000\n"_s + text + u'\n')},
            {u"rating"_s, rating},
            {u"downloads"_s, downloads}};
}

constexpr int Wait = 20000;

} // namespace

// The download window against the service stand-in, with real files in a
// temporary folder: a film with two English results and a Spanish one, a
// second film with one English result and an English subtitle beside it,
// and a clip the service does not know.
class tst_GetSubtitlesWindow final : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void dropListsVideosWithTheSubtitlesBesideThem_data();
    void dropListsVideosWithTheSubtitlesBesideThem();
    void pastesAndDropsOnlyWhileFilesCanBeAdded();
    void namesThatAreNotUtf8AreNamedInTheNotice();
    void resultOrder_data();
    void resultOrder();
    void languageGroupsOfOneVideoStayTogether();
    void searchGroupsResultsAndDownloadPlacesThem();
    void checkClicksMoveTheChoice();
    void refreshReplacesAnExistingSubtitleSafely();
    void automaticRunFromDropToPlacedSubtitles();
    void failedSearch_data();
    void failedSearch();
    void failedDownloadIsRetriedAlone();
    void closeQuestion_data();
    void closeQuestion();
    void closingWithNothingTickedDoesNotAsk();
    void emptyWindowSaysWhatToDo();
    void closingWhileSearchingIsSafe_data();
    void closingWhileSearchingIsSafe();
    void filesForABusyWindowOpenANewOne_data();
    void filesForABusyWindowOpenANewOne();
    void closingWhileDownloadingStopsTheRun();

private:
    QString path(const QString &relative) const { return m_dir->path() + u"/tree/"_s + relative; }
    // A shown window with the tree (or `item`) dropped on it, listed.
    GetSubtitlesWindow *listedWindow(const QString &item = {});
    // Searches in `window` until the results are listed.
    bool searched(GetSubtitlesWindow *window);

    RecordingPlatform *m_desktop = nullptr;
    std::unique_ptr<QTemporaryDir> m_dir;
    QTemporaryDir m_home; // replaced subtitles go to this home's trash, never the user's
    std::unique_ptr<ServiceEmulator> m_emu;
    int m_quits = 0;
};

void tst_GetSubtitlesWindow::initTestCase()
{
    QLoggingCategory::setFilterRules(u"lumbra.profiler.debug=false"_s);
    Ticks::setScaleForTesting(WindowTickScale);
    QVERIFY(m_home.isValid());
    qputenv("HOME", QFile::encodeName(m_home.path()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.filePath(u"data"_s)));
    auto desktop = std::make_unique<RecordingPlatform>();
    m_desktop = desktop.get();
    m_desktop->screenAreas = {{QRect(0, 0, 1280, 800), QRect(0, 0, 1280, 800)}};
    installPlatform(std::move(desktop));
    GetSubtitlesWindow::setQuitHandler([this] { ++m_quits; });
}

void tst_GetSubtitlesWindow::init()
{
    m_desktop->clipboard.clear();
    m_desktop->dialogs.clear();
    m_desktop->answer = Platform::CancelButton;
    m_quits = 0;
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());

    QJsonArray movies;
    auto add = [&](const QString &relative, qint64 size, const QString &name, const QJsonArray &subs) {
        const QString file = sparse(path(relative), size);
        const XMLRPC::MovieHashResult hash = XMLRPC::computeMovieHash(file);
        QVERIFY(hash.ok());
        movies.append(QJsonObject{{u"hash"_s, hash.hash},
                                  {u"bytesize"_s, size},
                                  {u"name"_s, name},
                                  {u"imdbid"_s, QString::number(1000000 + movies.size())},
                                  {u"subtitles"_s, subs}});
    };
    add(u"Films/Movie.mkv"_s, 3'000'000, u"Movie"_s,
        {subtitle(u"11"_s, u"eng"_s, u"Movie EN popular"_s, u"8.5"_s, 500),
         subtitle(u"12"_s, u"eng"_s, u"Movie EN other"_s, u"6.0"_s, 20),
         subtitle(u"13"_s, u"spa"_s, u"Movie ES"_s, u"7.0"_s, 100)});
    add(u"Films/Other/Second.avi"_s, 3'000'001, u"Second"_s,
        {subtitle(u"21"_s, u"eng"_s, u"Second EN new"_s, u"7.0"_s, 10)});
    writeText(path(u"Films/Other/Second.en.srt"_s), "1\n00:00:01,000 --> 00:00:02,000\nSecond EN old\n");
    sparse(path(u"Films/Unknown.mp4"_s), 3'000'002);
    writeText(path(u"Films/notes.txt"_s), "not a video");

    m_emu = std::make_unique<ServiceEmulator>();
    QVERIFY(m_emu->start(QJsonDocument(QJsonObject{{u"movies"_s, movies}}).toJson()));

    myPrefs::resetToDefaults();
    myPrefs::setOSAPIServer(m_emu->url().toString());
    myPrefs::setServiceProvider(u"xmlrpc"_s); // the stand-in above speaks XML-RPC
    myPrefs::setLanguageList({u"en"_s, u"es"_s});
    myPrefs::setAddLanguageExt(true);
    myPrefs::setAutoSearchSubs(false);
    myPrefs::setAutoGetSubs(false);
    myPrefs::setAutoRetrySearch(false);
    myPrefs::setAutoQuit(false);
    myPrefs::setListAllFiles(true);
    myPrefs::setRefreshSubs(false);
}

void tst_GetSubtitlesWindow::cleanup()
{
    // Windows still open close without their question, and wait for their work.
    const QList<QWidget *> windows = QApplication::topLevelWidgets();
    qDeleteAll(QApplication::topLevelWidgets());
    m_emu.reset();
}

GetSubtitlesWindow *tst_GetSubtitlesWindow::listedWindow(const QString &item)
{
    auto *window = new GetSubtitlesWindow;
    window->show();
    window->queueDrop(DragItem{{item.isEmpty() ? path(QString()) : item}});
    if (!QTest::qWaitFor([window] { return window->isWindowMode("listed"_L1); }, Wait))
        qWarning() << "not listed; the window is" << window->windowMode();
    return window;
}

bool tst_GetSubtitlesWindow::searched(GetSubtitlesWindow *window)
{
    window->doSearch();
    return QTest::qWaitFor([window] { return window->isWindowMode("Searched"_L1); }, Wait);
}

void tst_GetSubtitlesWindow::dropListsVideosWithTheSubtitlesBesideThem_data()
{
    QTest::addColumn<bool>("listAllFiles");
    QTest::addColumn<bool>("refreshSubs");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QList<bool>>("checks");
    // Second.avi has an English subtitle beside it; only English is wanted.
    QTest::newRow("covered videos are left out")
        << false << false << QStringList{u"Movie.mkv"_s, u"Unknown.mp4"_s} << QList<bool>{true, true};
    QTest::newRow("or listed unchecked")
        << true << false << QStringList{u"Movie.mkv"_s, u"Second.avi"_s, u"Unknown.mp4"_s}
        << QList<bool>{true, false, true};
    QTest::newRow("checked when refreshing")
        << true << true << QStringList{u"Movie.mkv"_s, u"Second.avi"_s, u"Unknown.mp4"_s}
        << QList<bool>{true, true, true};
}

void tst_GetSubtitlesWindow::dropListsVideosWithTheSubtitlesBesideThem()
{
    QFETCH(bool, listAllFiles);
    QFETCH(bool, refreshSubs);
    QFETCH(QStringList, names);
    QFETCH(QList<bool>, checks);
    myPrefs::setLanguageList({u"en"_s});
    myPrefs::setListAllFiles(listAllFiles);
    myPrefs::setRefreshSubs(refreshSubs);

    // The drop arrives the way the home window hands it over.
    WindowOrder order;
    DocumentRouter router(&order);
    GetSubtitlesWindow::registerWith(router);
    router.handOverDrop(WorkflowKind::Download, DragItem{{path(u"Films"_s)}});
    auto *window = dynamic_cast<GetSubtitlesWindow *>(router.frontmostVisible(WorkflowKind::Download));
    QVERIFY(window);
    QVERIFY(window->windowTitle().endsWith(u" - Get Subtitles"_s));
    QTRY_VERIFY_WITH_TIMEOUT(window->isWindowMode("listed"_L1), Wait);
    QCOMPARE(window->Tcounter(), 0);
    QCOMPARE(window->objsProcessed(), 1);

    const DownloadList &list = window->list();
    QCOMPARE(list.mode(), u"files"_s);
    QStringList shown;
    QList<bool> checked;
    for (int row = 0; row < window->MainList()->rowCount(); ++row) {
        QCOMPARE(list.kindAt(row), DownloadList::KindMovie);
        const auto record = list.movieAt(row);
        shown.append(window->MainList()->cell(row, 0));
        QCOMPARE(window->MainList()->cell(row, 1), record->path());
        const QMutexLocker guard(&window->records().stateLock());
        checked.append(record->isChecked);
        if (record->movieFileName() == "Second.avi"_L1) {
            QCOMPARE(record->subtitles().size(), 1);
            QCOMPARE(record->subtitles().first()->path(), path(u"Films/Other/Second.en.srt"_s));
        }
    }
    QCOMPARE(shown, names); // by full path: Films/Movie.mkv, Films/Other/…, Films/Unknown.mp4
    QCOMPARE(checked, checks);
    {
        const QMutexLocker guard(&window->records().stateLock());
        QCOMPARE(window->records().movieFiles.size(), names.size());
    }

    // The same folder again adds nothing.
    window->queueDrop(DragItem{{path(u"Films"_s)}});
    QTRY_COMPARE(window->objsProcessed(), 2);
    QTRY_VERIFY_WITH_TIMEOUT(window->isWindowMode("listed"_L1), Wait);
    QCOMPARE(window->MainList()->rowCount(), names.size());
}

void tst_GetSubtitlesWindow::pastesAndDropsOnlyWhileFilesCanBeAdded()
{
    auto *window = new GetSubtitlesWindow;
    window->show();
    m_desktop->clipboard = {path(u"Films/Movie.mkv"_s)};
    QVERIFY(window->canHandleMenuCommand(u"EditPaste"_s));
    QVERIFY(window->menuCommand(u"EditPaste"_s));
    QTRY_VERIFY_WITH_TIMEOUT(window->isWindowMode("listed"_L1), Wait);
    QCOMPARE(window->MainList()->rowCount(), 1);

    // Files dropped on the list count as dropped on the drop panel.
    auto dropOnList = [window](const QString &file) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(file)});
        QWidget *viewport = window->MainList()->viewport();
        QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &enter);
        QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &drop);
        return enter.isAccepted() && drop.isAccepted();
    };
    QVERIFY(dropOnList(path(u"Films/Other/Second.avi"_s)));
    QTRY_COMPARE_WITH_TIMEOUT(window->MainList()->rowCount(), 2, Wait);
    QTRY_VERIFY_WITH_TIMEOUT(window->isWindowMode("listed"_L1), Wait);

    // Once the search has started, files are neither pasted nor dropped.
    QVERIFY(searched(window));
    m_desktop->clipboard = {path(u"Films/Unknown.mp4"_s)};
    QVERIFY(!window->canHandleMenuCommand(u"EditPaste"_s));
    QVERIFY(!window->menuCommand(u"EditPaste"_s));
    QVERIFY(!window->frame()->DropFilesCanvas()->isEnabled());
    QVERIFY(!dropOnList(path(u"Films/Unknown.mp4"_s)));
    window->queueDrop(DragItem{{path(u"Films/Unknown.mp4"_s)}});
    letTicksPass(Ticks::Process, 3);
    QCOMPARE(window->pendingDrops(), 1);
    QCOMPARE(window->Tcounter(), 0);
    const QMutexLocker guard(&window->records().stateLock());
    QCOMPARE(window->records().movieFiles.size(), 2);
}

void tst_GetSubtitlesWindow::namesThatAreNotUtf8AreNamedInTheNotice()
{
    // "Café.mkv" in Latin-1 beside a video of a plain name.
    const QByteArray latin = QFile::encodeName(path(u"Latin"_s)) + "/Caf\xe9.mkv";
    QVERIFY(QDir().mkpath(path(u"Latin"_s)));
    const int fd = ::open(latin.constData(), O_CREAT | O_WRONLY, 0644);
    QVERIFY(fd >= 0);
    ::close(fd);
    const auto cleanup = qScopeGuard([&] { ::unlink(latin.constData()); });
    QFile plain(path(u"Latin/Plain.mkv"_s));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();

    GetSubtitlesWindow *window = listedWindow(path(u"Latin"_s));
    QCOMPARE(window->MainList()->rowCount(), 1);
    QTRY_VERIFY2(window->frame()->notice().contains(u"Caf\\xe9.mkv"_s) &&
                     window->frame()->notice().contains(u"not valid UTF-8"_s),
                 qPrintable(window->frame()->notice()));
}

void tst_GetSubtitlesWindow::resultOrder_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    // Each row: fields of the result that sorts first, then of the other one,
    // as "language best matchedby myRating SubRating downloads".
    QTest::newRow("the best one first") << u"en 1 - 0 1 1"_s << u"en 0 moviehash 9 9 9"_s;
    QTest::newRow("hash before name") << u"en 0 moviehash 0 1 1"_s << u"en 0 fulltext 9 9 9"_s;
    QTest::newRow("a named match before none") << u"en 0 tag 0 1 1"_s << u"en 0 - 9 9 9"_s;
    QTest::newRow("then our rating") << u"en 0 - 12 1 1"_s << u"en 0 - 9 9 9"_s;
    QTest::newRow("a rating compares as text") << u"en 0 - 0 8.5 1"_s << u"en 0 - 0 10 9"_s;
    QTest::newRow("then downloads") << u"en 0 - 0 7 100"_s << u"en 0 - 0 7 99"_s;
    QTest::newRow("languages descending") << u"es 0 - 0 1 1"_s << u"en 1 moviehash 9 9 9"_s;
}

void tst_GetSubtitlesWindow::resultOrder()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    auto make = [](const QString &fields) {
        const QStringList f = fields.split(u' ');
        openSubtitleItem item;
        item.ISO639 = f[0];
        item.myBest = f[1] == "1"_L1;
        item.MatchedBy = f[2] == "-"_L1 ? QString() : f[2];
        item.myRating = f[3].toInt();
        item.SubRating = f[4].toDouble();
        item.SubDownloadsCnt = f[5].toInt();
        return DownloadList::resultOrderKey(item);
    };
    QVERIFY2(make(first) > make(second), qPrintable(make(first) + u" vs "_s + make(second)));
}

// A video's languages stay together and in the wanted order, placed by the
// video's best match: a Spanish group without a match stays below its
// video's English hash match rather than sinking below other videos; two
// videos of one name in different folders do not interleave; a group's
// results open beneath it and close again without moving any other row.
void tst_GetSubtitlesWindow::languageGroupsOfOneVideoStayTogether()
{
    struct Video {
        QString relative;
        QString enMatch; // "-": no English result
        QString esMatch;
    };
    const QList<Video> videos{{u"B/Alpha.mkv"_s, u"moviehash"_s, u"-"_s},
                              {u"A/Zulu.mkv"_s, u"moviehash"_s, u""_s},
                              {u"A/Alpha.mkv"_s, u""_s, u"moviehash"_s},
                              {u"C/Mid.mkv"_s, u"-"_s, u"imdbid"_s}};
    JobRecords records;
    QList<DownloadJob::LanguageGroup> groups;
    for (const Video &v : videos) {
        auto video = movieFile::create(sparse(path(v.relative), 1000));
        movieFile::ResultList results;
        for (const auto &[language, match] : {std::pair{u"en"_s, v.enMatch}, std::pair{u"es"_s, v.esMatch}}) {
            if (match == "-"_L1)
                continue;
            auto result = std::make_shared<openSubtitleItem>();
            result->ISO639 = language;
            result->MatchedBy = match;
            result->SubFileName = v.relative + u'.' + language + u".srt"_s;
            result->movieFile = video;
            results.append(result);
        }
        video->setSubtitleResults(results);
        for (const QString &language : {u"en"_s, u"es"_s})
            groups.append({video, language, DownloadQueue::languageGroup(*video, language)});
    }
    omiListbox rows;
    rows.resize(400, 300);
    DownloadList list(&rows, records);
    list.listSearchResults(groups);
    const auto shown = [&] {
        QStringList lines;
        for (int row = 0; row < rows.rowCount(); ++row) {
            if (list.isKind(row, DownloadList::KindGroup))
                lines.append(QFileInfo(list.movieAt(row)->path()).dir().dirName() + u'/' +
                             list.movieAt(row)->movieFileName() + u' ' + list.movieAt(row)->iso639);
            else
                lines.append(u"  "_s + list.resultAt(row)->SubFileName);
        }
        return lines;
    };
    for (int row = rows.rowCount() - 1; row >= 0; --row)
        list.setGroupOpen(row, false);
    // Both Alphas and Zulu have a hash match (in one language each), Mid only
    // a named match; the two Alphas keep the order they were listed in.
    const QStringList closed{u"B/Alpha.mkv en"_s, u"B/Alpha.mkv es"_s, u"A/Alpha.mkv en"_s,
                             u"A/Alpha.mkv es"_s, u"A/Zulu.mkv en"_s,  u"A/Zulu.mkv es"_s,
                             u"C/Mid.mkv en"_s,   u"C/Mid.mkv es"_s};
    QCOMPARE(shown(), closed);

    rows.show();
    const QRect above = rows.visualRect(rows.model()->index(4, 0));
    list.setGroupOpen(5, true);
    QStringList opened = closed;
    opened.insert(6, u"  A/Zulu.mkv.es.srt"_s);
    QCOMPARE(shown(), opened);
    QCOMPARE(rows.visualRect(rows.model()->index(4, 0)), above);
    list.setGroupOpen(5, false);
    QCOMPARE(shown(), closed);
}

void tst_GetSubtitlesWindow::searchGroupsResultsAndDownloadPlacesThem()
{
    GetSubtitlesWindow *window = listedWindow();
    QVERIFY(window->isWindowMode("listed"_L1));
    QCOMPARE(window->MainList()->rowCount(), 3);
    QVERIFY(searched(window));
    QTRY_COMPARE(window->frame()->mainButton()->caption(), u"Download Selected"_s);
    QTRY_VERIFY(window->frame()->mainButton()->isEnabled());

    // One group per video and wanted language, none for the English already
    // beside Second.avi; hash matches first; groups with a best result closed.
    const DownloadList &list = window->list();
    omiListbox *rows = window->MainList();
    QCOMPARE(list.mode(), u"subs"_s);
    QStringList groups;
    for (int row = 0; row < rows->rowCount(); ++row) {
        if (!list.isKind(row, DownloadList::KindGroup))
            continue;
        const auto group = list.movieAt(row);
        groups.append(group->movieFileName() + u'/' + group->iso639 +
                      (rows->expanded(row) ? u" open"_s : u""_s));
    }
    QCOMPARE(groups, (QStringList{u"Movie.mkv/en"_s, u"Movie.mkv/es"_s, u"Second.avi/es"_s,
                                  u"Unknown.mp4/en"_s, u"Unknown.mp4/es"_s}));
    {
        const QMutexLocker guard(&window->records().stateLock());
        const auto english = list.movieAt(0)->subtitleResults();
        QCOMPARE(english.size(), 2);
        QCOMPARE(std::count_if(english.cbegin(), english.cend(), [](const auto &r) { return r->isChecked; }),
                 1);
        const auto spanish = list.movieAt(1)->subtitleResults();
        QCOMPARE(spanish.size(), 1);
        QVERIFY(spanish.first()->isChecked && spanish.first()->myBest);
    }
    // Opening the English group lists its results, best first.
    window->list().setGroupOpen(0, true);
    QCOMPARE(list.kindAt(1), DownloadList::KindResult);
    QCOMPARE(list.kindAt(2), DownloadList::KindResult);
    QVERIFY(list.resultAt(1)->myBest);
    QCOMPARE(list.resultAt(1)->ISO639, u"en"_s);
    // Actions on rows get each selected row's record and result.
    rows->setSelected(0, true);
    rows->setSelected(2, true);
    const QList<DownloadList::RowRecord> picked = list.selectedRecords();
    QCOMPARE(picked.size(), 2);
    QCOMPARE(picked[0].kind, DownloadList::KindGroup);
    QVERIFY(picked[0].movie && !picked[0].result);
    QCOMPARE(picked[1].result, list.resultAt(2));
    QCOMPARE(picked[1].movie->path(), path(u"Films/Movie.mkv"_s));
    window->grab(); // paints every view without tripping

    // Download the checked ones.
    window->doSearch();
    QTRY_VERIFY_WITH_TIMEOUT(window->isWindowMode("Downloaded"_L1), Wait);
    QCOMPARE(list.mode(), u"gets"_s);
    QCOMPARE(window->queuedSubs().size(), 2);
    QCOMPARE(rows->rowCount(), 2);
    QCOMPARE(list.kindAt(0), DownloadList::KindQueued);
    QCOMPARE(readText(path(u"Films/Movie.en.srt"_s)).contains("Movie EN popular"), true);
    QCOMPARE(readText(path(u"Films/Movie.es.srt"_s)).contains("Movie ES"), true);
    // What lay beside Second.avi is untouched.
    QVERIFY(readText(path(u"Films/Other/Second.en.srt"_s)).contains("Second EN old"));
    QTRY_COMPARE(window->frame()->mainButton()->caption(), u"Done"_s);
    QVERIFY(!window->documentEdited());
    window->grab();

    // "Done" closes the window.
    QPointer<GetSubtitlesWindow> alive(window);
    window->doSearch();
    QTRY_VERIFY(!alive);
}

void tst_GetSubtitlesWindow::checkClicksMoveTheChoice()
{
    GetSubtitlesWindow *window = listedWindow(path(u"Films/Movie.mkv"_s));
    omiListbox *rows = window->MainList();
    const DownloadList &list = window->list();
    auto clickCheck = [&](int row, Qt::MouseButton button = Qt::LeftButton) {
        const QRect box = list.checkRect();
        const QRect cell = rows->visualRect(rows->model()->index(row, list.columnCheck()));
        QTest::mouseClick(rows->viewport(), button, {}, cell.topLeft() + box.center());
    };
    // Only the left button toggles: a right click is for the menu.
    const auto otherButtonsChangeNothing = [&](int row) {
        for (const Qt::MouseButton button : {Qt::RightButton, Qt::MiddleButton})
            clickCheck(row, button);
    };
    // "files": the video's check turns off and on.
    const auto video = list.movieAt(0);
    otherButtonsChangeNothing(0);
    QVERIFY(video->isChecked);
    clickCheck(0);
    QVERIFY(!video->isChecked);
    // Nothing ticked, nothing to search: the button says so, and a search
    // asked for anyway leaves the list as it is.
    omiButton *main = window->frame()->mainButton();
    QTRY_COMPARE(main->caption(), u"Tick a Video First"_s);
    QVERIFY(!main->isEnabled());
    window->doSearch();
    letTicksPass(Ticks::Process, 2);
    QVERIFY(window->isWindowMode("listed"_L1));
    QCOMPARE(rows->rowCount(), 1);
    clickCheck(0);
    QTRY_VERIFY(main->isEnabled());
    QCOMPARE(main->caption(), u"Search Subtitles"_s);
    QVERIFY(video->isChecked);
    QVERIFY(searched(window));

    // "subs": checking the second English result unchecks the first.
    window->list().setGroupOpen(0, true);
    QVERIFY(list.resultAt(1)->isChecked);
    QVERIFY(!list.resultAt(2)->isChecked);
    // Ticked results not downloaded yet: closing would drop them.
    QVERIFY(window->documentEdited());
    QTRY_VERIFY(m_desktop->editedMark);
    otherButtonsChangeNothing(2);
    QVERIFY(list.resultAt(1)->isChecked);
    QVERIFY(!list.resultAt(2)->isChecked);
    clickCheck(2);
    QVERIFY(!list.resultAt(1)->isChecked);
    QVERIFY(list.resultAt(2)->isChecked);
    QVERIFY(window->documentEdited());
    // A click beside the box changes nothing.
    QTest::mouseClick(rows->viewport(), Qt::LeftButton, {},
                      rows->visualRect(rows->model()->index(1, list.columnCheck())).topLeft() + QPoint(1, 1));
    QVERIFY(!list.resultAt(1)->isChecked);

    window->doSearch();
    QTRY_VERIFY_WITH_TIMEOUT(window->isWindowMode("Downloaded"_L1), Wait);
    QVERIFY(readText(path(u"Films/Movie.en.srt"_s)).contains("Movie EN other"));
}

void tst_GetSubtitlesWindow::refreshReplacesAnExistingSubtitleSafely()
{
    myPrefs::setLanguageList({u"en"_s});
    myPrefs::setRefreshSubs(true);
    GetSubtitlesWindow *window = listedWindow(path(u"Films/Other/Second.avi"_s));
    QCOMPARE(window->MainList()->rowCount(), 1);
    QVERIFY(searched(window));
    window->doSearch();
    QTRY_VERIFY_WITH_TIMEOUT(window->isWindowMode("Downloaded"_L1), Wait);
    QVERIFY(readText(path(u"Films/Other/Second.en.srt"_s)).contains("Second EN new"));
    // The subtitle replaced is in the (test's own) trash, not beside the video.
    QCOMPARE(QDir(path(u"Films/Other"_s)).entryList(QDir::Files | QDir::Hidden),
             (QStringList{u"Second.avi"_s, u"Second.en.srt"_s}));
    const QString trash = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + u"/Trash"_s;
    QVERIFY(readText(trash + u"/files/Second.en.srt"_s).contains("Second EN old"));
    // The download page names the video and says where the old subtitle went.
    const DownloadList &list = window->list();
    QVERIFY2(list.rowText(0).startsWith(u"Second.avi (English): "_s) && list.rowText(0).contains(u"trash"_s),
             qPrintable(list.rowText(0)));
}

void tst_GetSubtitlesWindow::automaticRunFromDropToPlacedSubtitles()
{
    myPrefs::setAutoSearchSubs(true);
    myPrefs::setAutoGetSubs(true);
    myPrefs::setAutoQuit(true);
    auto *window = new GetSubtitlesWindow;
    window->show();
    window->queueDrop(DragItem{{path(u"Films/Movie.mkv"_s)}});
    QTRY_VERIFY_WITH_TIMEOUT(window->isWindowMode("Downloaded"_L1), Wait);
    QVERIFY(readText(path(u"Films/Movie.en.srt"_s)).contains("Movie EN popular"));
    QVERIFY(readText(path(u"Films/Movie.es.srt"_s)).contains("Movie ES"));
    QTRY_COMPARE(m_quits, 1);
    // The page shows what was placed.
    QCOMPARE(window->list().mode(), u"gets"_s);
    QCOMPARE(window->MainList()->rowCount(), 2);
    for (int row = 0; row < 2; ++row)
        QVERIFY2(window->list().rowText(row).startsWith(u"Movie.mkv ("_s),
                 qPrintable(window->list().rowText(row)));
    // One search run only, though the process tick found "listed" more than once.
    QCOMPARE(m_emu->methods().count(u"ServerInfo"_s), 1);
}

void tst_GetSubtitlesWindow::failedSearch_data()
{
    QTest::addColumn<bool>("autoRetry");
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("method");
    QTest::addColumn<bool>("retried");
    QTest::addColumn<QString>("words");
    QTest::newRow("stays failed") << false << u"http503"_s << u"ServerInfo"_s << false << u"busy"_s;
    QTest::newRow("counts down and tries again")
        << true << u"http503"_s << u"ServerInfo"_s << true << u"busy"_s;
    QTest::newRow("refused login is not retried")
        << true << u"fault"_s << u"LogIn"_s << false << u"user name and password in the preferences"_s;
}

// A failed search says why in the window; an automatic retry counts down
// with the reason showing; otherwise the main button offers to try again.
void tst_GetSubtitlesWindow::failedSearch()
{
    QFETCH(bool, autoRetry);
    QFETCH(QString, failure);
    QFETCH(QString, method);
    QFETCH(bool, retried);
    QFETCH(QString, words);
    myPrefs::setAutoRetrySearch(autoRetry);
    GetSubtitlesWindow *window = listedWindow(path(u"Films/Movie.mkv"_s));
    const QJsonObject refusal{{u"code"_s, 401}, {u"text"_s, u"401 Unauthorized"_s}};
    QVERIFY(m_emu->fail(failure, method, 1, failure == "fault"_L1 ? refusal : QJsonObject{}));
    QSignalSpy modes(window, &GetSubtitlesWindow::windowModeChanged);
    window->doSearch();
    omiButton *main = window->frame()->mainButton();
    if (!retried) {
        QTRY_VERIFY_WITH_TIMEOUT(window->isWindowMode("ErrorSearching"_L1), Wait);
        QTRY_COMPARE(main->caption(), u"Try Again"_s);
        QVERIFY(main->isEnabled());
        QVERIFY2(window->frame()->notice().contains(words), qPrintable(window->frame()->notice()));
        QVERIFY(window->frame()->noticeLabel()->isVisibleTo(window));
        QVERIFY(window->frame()->DropFilesProgress()->isHidden());
        letTicksPass(Ticks::CountdownSecond, 2);
        QVERIFY(window->isWindowMode("ErrorSearching"_L1));
        QCOMPARE(m_emu->methods().count(u"ServerInfo"_s), 1);
        // Tried again by hand: the service answers this time.
        window->doSearch();
        QTRY_VERIFY_WITH_TIMEOUT(window->isWindowMode("Searched"_L1), Wait);
        QVERIFY(window->frame()->notice().isEmpty());
        return;
    }
    QTRY_COMPARE_WITH_TIMEOUT(main->caption(), u"Retry in 5s"_s, 3000);
    QVERIFY(!main->isEnabled());
    QVERIFY2(window->frame()->notice().contains(words), qPrintable(window->frame()->notice()));
    QTRY_VERIFY_WITH_TIMEOUT(window->isWindowMode("Searched"_L1), Wait);
    QStringList seen;
    for (const QList<QVariant> &change : std::as_const(modes))
        seen.append(change.first().toString());
    QVERIFY2(seen.join(u' ').contains(u"Searching RetrySearching RetryingSearching WaitedSearching Readying "
                                      "Searching SuccessSearching Searched"_s),
             qPrintable(seen.join(u' ')));
    QCOMPARE(m_emu->methods().count(u"ServerInfo"_s), 2);
}

void tst_GetSubtitlesWindow::failedDownloadIsRetriedAlone()
{
    GetSubtitlesWindow *window = listedWindow(path(u"Films/Movie.mkv"_s));
    QVERIFY(searched(window));
    // The Spanish download gets a web page.
    QVERIFY(m_emu->fail(u"html"_s, u"download"_s, 1, {{u"subtitle"_s, u"13"_s}}));
    window->doSearch();
    QTRY_VERIFY_WITH_TIMEOUT(window->isWindowMode("NotDownloaded"_L1), Wait);
    QVERIFY(!QFile::exists(path(u"Films/Movie.es.srt"_s)));
    QVERIFY(QFile::exists(path(u"Films/Movie.en.srt"_s)));
    // The failed row says which video and language, and why.
    QVERIFY2(window->list().rowText(0).startsWith(u"Movie.mkv (Spanish): "_s) &&
                 window->list().rowText(0).endsWith(u"failed: not a gzip stream"_s),
             qPrintable(window->list().rowText(0)));
    // However narrow the window, the whole text is the row's tooltip.
    QWidget *viewport = window->MainList()->viewport();
    const QPoint onRow = window->MainList()->visualRect(window->MainList()->model()->index(0, 0)).center();
    QHelpEvent help(QEvent::ToolTip, onRow, viewport->mapToGlobal(onRow));
    QApplication::sendEvent(viewport, &help);
    QTRY_COMPARE(QToolTip::text(), window->list().rowText(0));
    // The tip belongs to the window; it goes before the cleanup deletes windows one by one.
    QToolTip::hideText();
    QTRY_VERIFY(!QToolTip::isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(window->documentEdited());
    QTRY_COMPARE(window->frame()->mainButton()->caption(), u"Download Checked"_s);
    QTRY_VERIFY(window->frame()->mainButton()->isEnabled());

    const qsizetype asked = m_emu->filesAskedFor().size();
    window->doSearch();
    QTRY_VERIFY_WITH_TIMEOUT(window->isWindowMode("Downloaded"_L1), Wait);
    QCOMPARE(m_emu->filesAskedFor().mid(asked), QStringList{u"13"_s});
    QVERIFY(readText(path(u"Films/Movie.es.srt"_s)).contains("Movie ES"));
    QVERIFY(!window->documentEdited());
}

void tst_GetSubtitlesWindow::closeQuestion_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<bool>("downloads");
    QTest::newRow("go back to the window") << int(Platform::CancelButton) << false << false;
    QTest::newRow("quit without downloading") << int(Platform::AlternateButton) << true << false;
    QTest::newRow("download and quit") << int(Platform::ActionButton) << false << true;
}

void tst_GetSubtitlesWindow::closeQuestion()
{
    QFETCH(int, answer);
    QFETCH(bool, closes);
    QFETCH(bool, downloads);
    GetSubtitlesWindow *window = listedWindow(path(u"Films/Movie.mkv"_s));
    QVERIFY(searched(window));
    window->updateUIChecks(0, 0); // a check changed: the window is marked
    QVERIFY(window->documentEdited());

    m_desktop->answer = answer;
    QPointer<GetSubtitlesWindow> alive(window);
    QVERIFY(window->menuCommand(u"FileClose"_s));
    QCOMPARE(m_desktop->dialogMessages(), QStringList{u"Subtitles marked for download"_s});
    if (closes) {
        QTRY_VERIFY(!alive);
        QVERIFY(!QFile::exists(path(u"Films/Movie.en.srt"_s)));
        return;
    }
    QVERIFY(window->isVisible());
    if (!downloads) {
        letTicksPass(Ticks::Process, 2);
        QVERIFY(window->isWindowMode("Searched"_L1));
        QCOMPARE(window->list().mode(), u"subs"_s);
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(window->isWindowMode("Downloaded"_L1), Wait);
    QVERIFY(QFile::exists(path(u"Films/Movie.en.srt"_s)));
    QTRY_COMPARE(m_quits, 1);
}

// Opened empty (from the home panel), the window says how to fill it, and
// its stage icons say what each stage is.
void tst_GetSubtitlesWindow::emptyWindowSaysWhatToDo()
{
    auto *window = new GetSubtitlesWindow;
    window->show();
    const QLabel *hint = window->frame()->emptyHintLabel();
    QTRY_VERIFY(hint->isVisible());
    QCOMPARE(hint->text(), u"drop videos or folders here, or File \u2192 Open\u2026"_s);
    for (int stage = 0; stage < WorkflowFrame::StageCount; ++stage)
        QVERIFY(!window->frame()->stagePanel(stage)->toolTip().isEmpty());
    window->queueDrop(DragItem{{path(u"Films/Movie.mkv"_s)}});
    QTRY_VERIFY_WITH_TIMEOUT(window->isWindowMode("listed"_L1), Wait);
    QTRY_VERIFY(hint->isHidden());
}

// The search ticks the best results: closing would drop them, so it asks.
// With every result unticked there is nothing to lose and it closes at once.
void tst_GetSubtitlesWindow::closingWithNothingTickedDoesNotAsk()
{
    GetSubtitlesWindow *window = listedWindow(path(u"Films/Movie.mkv"_s));
    QVERIFY(searched(window));
    QVERIFY(window->documentEdited());
    const DownloadList &list = window->list();
    for (int row = window->MainList()->rowCount() - 1; row >= 0; --row) {
        if (list.isKind(row, DownloadList::KindGroup))
            window->list().setGroupOpen(row, true);
    }
    for (int row = 0; row < window->MainList()->rowCount(); ++row) {
        if (list.isKind(row, DownloadList::KindResult) && list.resultAt(row)->isChecked)
            window->updateUIChecks(row, list.columnCheck());
    }
    QVERIFY(!window->documentEdited());
    QPointer<GetSubtitlesWindow> alive(window);
    QVERIFY(window->menuCommand(u"FileClose"_s));
    QVERIFY(m_desktop->dialogs.isEmpty());
    QTRY_VERIFY(!alive);
}

// A search waiting on a service that stalls for a minute: closing the window
// hides it at once and cancels the request, so the window goes well before
// the minute is up; deleting it (as the application does when it quits)
// does not wait for the search either.
void tst_GetSubtitlesWindow::closingWhileSearchingIsSafe_data()
{
    QTest::addColumn<bool>("deleted");
    QTest::newRow("closed") << false;
    QTest::newRow("deleted at quit") << true;
}

void tst_GetSubtitlesWindow::closingWhileSearchingIsSafe()
{
    QFETCH(bool, deleted);
    GetSubtitlesWindow *window = listedWindow(path(u"Films/Movie.mkv"_s));
    QVERIFY(m_emu->fail(u"stall"_s, u"LogIn"_s, 1, {{u"seconds"_s, 60}}));
    window->doSearch();
    QTRY_VERIFY_WITH_TIMEOUT(window->isWindowMode("Searching"_L1), Wait);
    QTRY_VERIFY_WITH_TIMEOUT(m_emu->methods().contains(u"LogIn"_s), Wait);
    const std::weak_ptr<DownloadJob> job = window->job();
    QPointer<GetSubtitlesWindow> alive(window);
    QElapsedTimer clock;
    clock.start();
    if (deleted) {
        delete window;
    } else {
        window->close();
        QVERIFY(alive && window->isHidden() && window->closing());
    }
    QTRY_VERIFY_WITH_TIMEOUT(!alive, Wait);
    QTRY_VERIFY_WITH_TIMEOUT(job.expired(), Wait);
    // Far below the minute the stalled request would have taken.
    QVERIFY2(clock.elapsed() < Wait, "the window waited for the stalled service");
}

// Files that reach the application while the front download window searches
// (opened with Lumbra, pasted on the home window) go to a new download
// window, which lists them; the searching window is left as it was.
void tst_GetSubtitlesWindow::filesForABusyWindowOpenANewOne_data()
{
    QTest::addColumn<bool>("pasted");
    QTest::newRow("opened with Lumbra") << false;
    QTest::newRow("pasted on the home window") << true;
}

void tst_GetSubtitlesWindow::filesForABusyWindowOpenANewOne()
{
    QFETCH(bool, pasted);
    WindowOrder order;
    DocumentRouter router(&order);
    GetSubtitlesWindow::registerWith(router);
    router.openDocument(path(u"Films/Movie.mkv"_s));
    QPointer<GetSubtitlesWindow> first =
        dynamic_cast<GetSubtitlesWindow *>(router.frontmostVisible(WorkflowKind::Download));
    QVERIFY(first);
    QTRY_VERIFY_WITH_TIMEOUT(first->isWindowMode("listed"_L1), Wait);
    QVERIFY(m_emu->fail(u"stall"_s, u"LogIn"_s, 1, {{u"seconds"_s, 60}}));
    first->doSearch();
    QVERIFY(!first->acceptsFiles());

    const QString second = path(u"Films/Other/Second.avi"_s);
    if (pasted)
        router.pasteFiles({second});
    else
        router.openDocument(second);
    auto *other = dynamic_cast<GetSubtitlesWindow *>(router.frontmostVisible(WorkflowKind::Download));
    QVERIFY(other && other != first);
    QTRY_VERIFY_WITH_TIMEOUT(other->isWindowMode("listed"_L1), Wait);
    auto paths = [](GetSubtitlesWindow *window) {
        QStringList found;
        const QMutexLocker guard(&window->records().stateLock());
        for (const auto &video : std::as_const(window->records().movieFiles))
            found.append(video->path());
        return found;
    };
    QCOMPARE(paths(other), QStringList{second});
    QCOMPARE(paths(first), QStringList{path(u"Films/Movie.mkv"_s)});

    // The second window is numbered, does not cover the first, and the Window
    // menu lists both; choosing one brings it to the front.
    QVERIFY2(first->windowTitle().endsWith(u" - Get Subtitles"_s), qPrintable(first->windowTitle()));
    QVERIFY2(other->windowTitle().endsWith(u" - Get Subtitles 2"_s), qPrintable(other->windowTitle()));
    QVERIFY(other->frameGeometry().topLeft() != first->frameGeometry().topLeft());
    // The menus on a bar of their own, gone with the test: any window's
    // Window menu lists every open window.
    MainMenubar menus([](const QString &) { return false; }, [](const QString &) { return true; });
    QWidget host;
    QMenu *windowMenu = nullptr;
    for (QAction *menu : menus.attach(&host)->actions()) {
        if (menu->menu() && menu->menu()->objectName() == "WindowMenuMenu"_L1)
            windowMenu = menu->menu();
    }
    QVERIFY(windowMenu);
    for (int opened = 0; opened < 2; ++opened) { // listed afresh each time, never twice
        Q_EMIT windowMenu->aboutToShow();
        QStringList titles;
        QAction *firstItem = nullptr;
        const QList<QAction *> items = windowMenu->actions();
        for (qsizetype i = items.size() - 1; i >= 0 && !items.at(i)->isSeparator(); --i) {
            titles.prepend(items.at(i)->text());
            if (items.at(i)->text() == first->windowTitle())
                firstItem = items.at(i);
        }
        QCOMPARE(titles, (QStringList{first->windowTitle(), other->windowTitle()}));
        if (opened == 1) {
            firstItem->trigger();
            QTRY_COMPARE(QApplication::activeWindow(), first.data());
        }
    }
    delete first.data();
}

void tst_GetSubtitlesWindow::closingWhileDownloadingStopsTheRun()
{
    GetSubtitlesWindow *window = listedWindow(path(u"Films/Movie.mkv"_s));
    QVERIFY(searched(window));
    // One of the two downloads takes two seconds.
    QVERIFY(m_emu->fail(u"stall"_s, u"download"_s, 1, {{u"seconds"_s, 2}}));
    window->doSearch();
    QTRY_VERIFY_WITH_TIMEOUT(window->isWindowMode("Downloading"_L1), Wait);
    QVERIFY(window->documentEdited());
    // Both transfers under way before the close (a slow build may still be
    // starting the second when the mode turns).
    const auto transfers = [this] {
        const QJsonArray calls = m_emu->calls();
        return std::count_if(calls.begin(), calls.end(),
                             [](const QJsonValue &call) { return call[u"kind"_s] == u"download"_s; });
    };
    QTRY_COMPARE_WITH_TIMEOUT(transfers(), 2, Wait);

    m_desktop->answer = Platform::AlternateButton; // quit without downloading
    QPointer<GetSubtitlesWindow> alive(window);
    window->close();
    QCOMPARE(m_desktop->dialogs.size(), 1);
    QVERIFY(alive && window->isHidden());
    QTRY_VERIFY_WITH_TIMEOUT(!alive, Wait);
    // The two downloads run together: the one stalled when the window closed
    // ends, and the other was not held up by it.
    QVERIFY(QFile::exists(path(u"Films/Movie.es.srt"_s)));
    QVERIFY(QFile::exists(path(u"Films/Movie.en.srt"_s)));
    QCOMPARE(m_quits, 0);
}

LUMBRA_TEST_MAIN(tst_GetSubtitlesWindow)
#include "tst_GetSubtitlesWindow.moc"
