#include "RecordingPlatform.h"
#include "ServiceEmulator.h"
#include "TestFiles.h"
#include "TestMain.h"

#include "common/JobSession.h"
#include "controls/omiButton.h"
#include "controls/omiListbox.h"
#include "download/gui/DownloadList.h"
#include "download/gui/DownloadListRows.h"
#include "download/gui/GetSubtitlesWindow.h"
#include "download/gui/ResultActions.h"
#include "media/movieFile.h"
#include "media/MovieHash.h"
#include "prefs/myPrefs.h"
#include "prefs/XPrefs.h"
#include "preview/gui/PreviewWindow.h"
#include "preview/PlayerControl.h"
#include "service/JobRecords.h"
#include "service/openSubtitleItem.h"
#include "service/XMLRPC.h"

#include <QApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLoggingCategory>
#include <QMenu>
#include <QMutex>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using namespace Qt::Literals::StringLiterals;

namespace {

using Kind = ResultRows::Kind;

// A list of plain records: group rows open onto their results (honouring
// the video's filter), as the download window's list does.
class FakeRows final : public ResultRows {
public:
    struct Row {
        Kind kind = Kind::None;
        std::shared_ptr<movieFile> movie;
        std::shared_ptr<openSubtitleItem> result;
        bool open = false;
    };
    QList<Row> rows;
    QList<int> selection;
    int refreshes = 0;
    int edits = 0;
    int reopenings = 0;
    const std::shared_ptr<JobSession> jobSession = std::make_shared<JobSession>();

    int rowCount() const override { return int(rows.size()); }
    Kind kindAt(int row) const override { return valid(row) ? rows[row].kind : Kind::None; }
    std::shared_ptr<movieFile> movieAt(int row) const override
    {
        return valid(row) ? rows[row].movie : nullptr;
    }
    std::shared_ptr<openSubtitleItem> resultAt(int row) const override
    {
        return valid(row) ? rows[row].result : nullptr;
    }
    QList<int> selectedRows() const override { return selection; }
    void select(const QList<int> &which) override { selection = which; }
    bool isOpen(int row) const override { return valid(row) && rows[row].open; }
    void setOpen(int row, bool open) override
    {
        if (kindAt(row) != Kind::Group || rows[row].open == open)
            return;
        rows[row].open = open;
        if (!open) {
            while (row + 1 < rows.size() && rows[row + 1].kind == Kind::Result)
                rows.removeAt(row + 1);
            return;
        }
        ++reopenings;
        int at = row + 1;
        const QString filter = rows[row].movie->filterBy;
        for (const auto &r : rows[row].movie->subtitleResults()) {
            if (!filter.isEmpty() && QString::number(r->IDMovieImdb) != filter)
                continue;
            rows.insert(at++, Row{Kind::Result, nullptr, r, false});
        }
    }
    void refresh() override { ++refreshes; }
    void markEdited() override { ++edits; }
    std::shared_ptr<JobSession> session() const override { return jobSession; }

    int add(Kind kind, const std::shared_ptr<movieFile> &movie,
            const std::shared_ptr<openSubtitleItem> &result = {})
    {
        rows.append(Row{kind, movie, result, false});
        return int(rows.size()) - 1;
    }

private:
    bool valid(int row) const { return row >= 0 && row < rows.size(); }
};

Dictionary match(const QString &id, const QString &name, const QString &year, int season = 0, int episode = 0)
{
    return Dictionary{{u"movieImdbID"_s, id},
                      {u"MovieName"_s, name},
                      {u"MovieYear"_s, year},
                      {u"SeriesSeason"_s, QString::number(season)},
                      {u"SeriesEpisode"_s, QString::number(episode)}};
}

std::shared_ptr<openSubtitleItem> makeResult(int imdb, const QString &matchedBy = u"moviehash"_s)
{
    auto r = std::make_shared<openSubtitleItem>();
    r->IDMovieImdb = imdb;
    r->ISO639 = u"en"_s;
    r->SubHash = QString::number(imdb);
    r->MatchedBy = matchedBy;
    r->SubFileName = u"Film.en.srt"_s;
    r->SubtitlesLink = u"http://www.opensubtitles.org/subtitles/%1"_s.arg(imdb);
    return r;
}

// The menu as lines: "text=tag", "!" for a disabled item, "-" for a
// separator, submenu items indented.
QStringList describe(const QList<ResultActions::MenuEntry> &entries, const QString &indent = {})
{
    QStringList out;
    for (const auto &e : entries) {
        out << indent + (e.enabled ? QString() : u"!"_s) + e.text + u'=' + e.tag;
        out << describe(e.submenu, indent + "  "_L1);
        if (e.separatorAfter)
            out << indent + u'-';
    }
    return out;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace

class tst_ResultActions final : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    RecordingPlatform *m_platform = nullptr;
    QString m_video;
    std::shared_ptr<movieFile> m_movie;

private slots:
    void initTestCase()
    {
        qRegisterMetaType<PreviewWindow *>();
        QLoggingCategory::setFilterRules(u"lumbra.profiler.debug=false"_s);
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        XPrefs::setFilePathForTesting(m_dir->filePath(u"prefs.plist"_s));
        auto platform = std::make_unique<RecordingPlatform>();
        m_platform = platform.get();
        installPlatform(std::move(platform));
        // No player: previews open their window and stay still.
        PreviewWindow::setPlayerMaker(
            [](QObject *parent) { return new PlayerControl(PlayerInfo{}, parent); });
        m_video = m_dir->filePath(u"My Film (2010).avi"_s);
        QVERIFY(writeFile(m_video, "video"_ba));
        QVERIFY(writeFile(m_dir->filePath(u"My Film (2010).en.srt"_s),
                          "1\n00:00:01,000 --> 00:00:02,000\nHi\n"_ba));
        m_movie = movieFile::create(m_video, {m_dir->filePath(u"My Film (2010).en.srt"_s)},
                                    myPrefs::languageList());
    }

    void cleanup()
    {
        for (QWidget *w : QApplication::topLevelWidgets())
            delete w;
        PreviewWindow::setPlayerMaker({});
        installPlatform(nullptr);
        m_movie.reset();
    }

    void menus_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("matches");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("menu");
        const QString search = u"Search in web: My Film (2010)=menuExternals"_s;
        const QStringList sites{u"  Addic7ed=menuExternals_1"_s, u"  SubScene=menuExternals_2"_s,
                                u"  SubtitleSeeker=menuExternals_3"_s};
        QTest::newRow("video, no matches")
            << int(Kind::Video) << 0 << QString()
            << (QStringList{u"Reveal video file=menuRevealFile"_s,
                            u"Preview Current Subtitle (English)=menuPreviewSubLang-eng"_s,
                            u"Open Movie Web Page=menuOpenMovieWeb"_s, u"Check Timing=menuCheckTiming"_s,
                            search}
                << sites);
        QTest::newRow("video, one match")
            << int(Kind::Video) << 1 << QString()
            << (QStringList{u"Reveal video file=menuRevealFile"_s,
                            u"Preview Current Subtitle (English)=menuPreviewSubLang-eng"_s,
                            u"Open Movie Web Page=menuOpenMovieWeb"_s, u"Check Timing=menuCheckTiming"_s,
                            search}
                << sites);
        QTest::newRow("group, three matches, filtered")
            << int(Kind::Group) << 3 << u"1234"_s
            << (QStringList{u"Multiple Matches. Select to filter…=imdbid-770828"_s,
                            u"  Man of Steel (2013)=filterimdb-770828"_s,
                            u"  Two Swords (2014) - 4x1=filterimdb-2816136"_s,
                            u"  Show all results…=nofilter"_s, u"-"_s, u"Reveal video file=menuRevealFile"_s,
                            search}
                << sites);
        QTest::newRow("result") << int(Kind::Result) << 2 << QString()
                                << QStringList{u"This subtitle is not for this movie=menuWrongSubForMovie"_s,
                                               u"Preview Subtitle over Video=menuPreviewSub"_s,
                                               u"Open Subtitle Web Page=menuOpenSubWeb"_s};
        QTest::newRow("queued") << int(Kind::Queued) << 2 << QString() << QStringList();
    }

    // The items per row kind; the matched movies become a filter submenu
    // once there are two (a nameless one is left out).
    void menus()
    {
        QFETCH(int, kind);
        QFETCH(int, matches);
        QFETCH(QString, filter);
        QFETCH(QStringList, menu);
        const QList<Dictionary> all{match(u"0770828"_s, u"Man of Steel"_s, u"2013"_s),
                                    match(u"tt2816136"_s, u"Two Swords"_s, u"2014"_s, 4, 1),
                                    match(u"1"_s, QString(), u"2000"_s)};
        m_movie->setImdbs(all.mid(0, matches));
        m_movie->filterBy = filter;
        FakeRows rows;
        const int row = Kind(kind) == Kind::Result ? rows.add(Kind::Result, nullptr, makeResult(1))
                                                   : rows.add(Kind(kind), m_movie, makeResult(1));
        ResultActions actions(rows);
        QCOMPARE(describe(actions.menuFor(row)), menu);

        std::unique_ptr<QMenu> built(actions.buildMenu(row, nullptr));
        const QList<QAction *> items = built->actions();
        if (!menu.isEmpty()) {
            QCOMPARE(items.first()->data().toString(), menu.first().section(u'=', 1));
            QCOMPARE(items.first()->isEnabled(), !menu.first().startsWith(u'!'));
        }
    }

    // Choosing a movie filters the group's results and rebuilds an open
    // group; "Show all results…" lifts the filter.
    void filterRebuildsTheGroup()
    {
        m_movie->setSubtitleResults({makeResult(111), makeResult(222), makeResult(111)});
        FakeRows rows;
        const int group = rows.add(Kind::Group, m_movie);
        rows.setOpen(group, true);
        QCOMPARE(rows.rowCount(), 4);
        ResultActions actions(rows);

        actions.act(group, u"filterimdb-222"_s);
        QCOMPARE(m_movie->filterBy, u"222"_s);
        QCOMPARE(rows.rowCount(), 2);
        QCOMPARE(rows.resultAt(1)->IDMovieImdb, 222);
        actions.act(group, u"nofilter"_s);
        QCOMPARE(m_movie->filterBy, QString());
        QCOMPARE(rows.rowCount(), 4);

        // A closed group only takes the filter.
        rows.setOpen(group, false);
        const int before = rows.reopenings;
        actions.act(group, u"filterimdb-111"_s);
        QCOMPARE(m_movie->filterBy, u"111"_s);
        QCOMPARE(rows.reopenings, before);
        QCOMPARE(rows.rowCount(), 1);
    }

    void webAndFileActions_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("tag");
        QTest::addColumn<QStringList>("opened");
        QTest::addColumn<bool>("revealed");
        const QString name = u"My%20Film%20%282010%29"_s;
        QTest::newRow("Addic7ed") << int(Kind::Video) << u"menuExternals_1"_s
                                  << QStringList{"http://www.addic7ed.com/search.php?search="_L1 + name +
                                                 "&Submit=Search"_L1}
                                  << false;
        QTest::newRow("SubScene") << int(Kind::Group) << u"menuExternals_2"_s
                                  << QStringList{"http://subscene.com/subtitles/release.aspx?q="_L1 + name}
                                  << false;
        QTest::newRow("SubtitleSeeker")
            << int(Kind::Video) << u"menuExternals_3"_s
            << QStringList{"http://www.subtitleseeker.com/search/request.php?q="_L1 + name} << false;
        QTest::newRow("outside search on a result")
            << int(Kind::Result) << u"menuExternals_1"_s << QStringList() << false;
        QTest::newRow("subtitle page of a result")
            << int(Kind::Result) << u"menuOpenSubWeb"_s
            << QStringList{u"http://www.opensubtitles.org/subtitles/42"_s} << false;
        QTest::newRow("subtitle page of a video: its first result")
            << int(Kind::Video) << u"menuOpenSubWeb"_s
            << QStringList{u"http://www.opensubtitles.org/subtitles/7"_s} << false;
        QTest::newRow("movie page") << int(Kind::Video) << u"menuOpenMovieWeb"_s
                                    << QStringList{u"https://www.imdb.com/title/tt0000007/"_s} << false;
        QTest::newRow("reveal") << int(Kind::Group) << u"menuRevealFile"_s << QStringList() << true;
        QTest::newRow("not for this movie")
            << int(Kind::Result) << u"menuWrongSubForMovie"_s << QStringList() << false;
    }

    void webAndFileActions()
    {
        QFETCH(int, kind);
        QFETCH(QString, tag);
        QFETCH(QStringList, opened);
        QFETCH(bool, revealed);
        m_movie->setSubtitleResults({makeResult(7)});
        FakeRows rows;
        const int row = Kind(kind) == Kind::Result ? rows.add(Kind::Result, nullptr, makeResult(42))
                                                   : rows.add(Kind(kind), m_movie);
        ResultActions actions(rows);
        actions.act(row, tag);
        QStringList addresses;
        for (const QUrl &url : std::as_const(m_platform->opened))
            addresses.append(url.toString(QUrl::FullyEncoded));
        QCOMPARE(addresses, opened);
        QCOMPARE(m_platform->revealed, revealed ? QStringList{m_video} : QStringList());
    }

    void keys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QList<int>>("selected");
        QTest::addColumn<bool>("consumed");
        QTest::addColumn<QString>("checks"); // of the three videos, after
        QTest::addColumn<QList<int>>("selectedAfter");
        QTest::addColumn<int>("rowsAfter");
        // Rows: 0-2 videos (checked, unchecked, checked), 3 group (open),
        // 4-5 its results (matched, unmatched).
        QTest::newRow("space inverts every selected video")
            << int(Qt::Key_Space) << QList<int>{0, 1, 2} << true << u"-x-"_s << QList<int>{0, 1, 2} << 6;
        QTest::newRow("delete unchecks")
            << int(Qt::Key_Delete) << QList<int>{0, 1} << true << u"--x"_s << QList<int>{0, 1} << 6;
        QTest::newRow("backspace unchecks")
            << int(Qt::Key_Backspace) << QList<int>{2} << true << u"x--"_s << QList<int>{2} << 6;
        QTest::newRow("left on a matched result closes its group")
            << int(Qt::Key_Left) << QList<int>{4} << true << u"x-x"_s << QList<int>{3} << 4;
        QTest::newRow("left on an unmatched result")
            << int(Qt::Key_Left) << QList<int>{5} << true << u"x-x"_s << QList<int>{5} << 6;
        QTest::newRow("left on an open group closes it")
            << int(Qt::Key_Left) << QList<int>{3} << true << u"x-x"_s << QList<int>{3} << 4;
        QTest::newRow("right on an open group steps to its first result")
            << int(Qt::Key_Right) << QList<int>{3} << true << u"x-x"_s << QList<int>{4} << 6;
        QTest::newRow("right on a video")
            << int(Qt::Key_Right) << QList<int>{0} << true << u"x-x"_s << QList<int>{0} << 6;
        QTest::newRow("escape") << int(Qt::Key_Escape) << QList<int>{0} << true << u"x-x"_s << QList<int>{0}
                                << 6;
        QTest::newRow("V") << int(Qt::Key_V) << QList<int>{0} << true << u"x-x"_s << QList<int>{0} << 6;
        QTest::newRow("return goes on")
            << int(Qt::Key_Return) << QList<int>{0} << false << u"x-x"_s << QList<int>{0} << 6;
        QTest::newRow("down goes on")
            << int(Qt::Key_Down) << QList<int>{0} << false << u"x-x"_s << QList<int>{0} << 6;
    }

    // Keys act on every selected row, through the list they are attached to.
    void keys()
    {
        QFETCH(int, key);
        QFETCH(QList<int>, selected);
        QFETCH(bool, consumed);
        QFETCH(QString, checks);
        QFETCH(QList<int>, selectedAfter);
        QFETCH(int, rowsAfter);
        FakeRows rows;
        QList<std::shared_ptr<movieFile>> videos;
        for (int i = 0; i < 3; ++i) {
            videos << movieFile::create(m_video);
            videos.last()->isChecked = i != 1;
            rows.add(Kind::Video, videos.last());
        }
        m_movie->setSubtitleResults({makeResult(1), makeResult(2, QString())});
        rows.add(Kind::Group, m_movie);
        rows.setOpen(3, true);
        rows.selection = selected;
        ResultActions actions(rows);
        omiListbox list;
        actions.attach(&list);
        list.show();

        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier,
                        key == Qt::Key_V       ? u"v"_s
                        : key == Qt::Key_Space ? u" "_s
                                               : QString());
        const bool handled = QCoreApplication::sendEvent(&list, &press) && press.isAccepted();
        QCOMPARE(rows.refreshes > 0, consumed);
        if (consumed)
            QVERIFY(handled);
        QString after;
        for (const auto &v : videos)
            after += v->isChecked ? u'x' : u'-';
        QCOMPARE(after, checks);
        QCOMPARE(rows.selection, selectedAfter);
        QCOMPARE(rows.rowCount(), rowsAfter);
    }

    // Left and Right over several groups keep those groups selected, though
    // closing or opening the upper one moves the lower one.
    void arrowsOverSeveralGroups()
    {
        FakeRows rows;
        const auto second = movieFile::create(m_video);
        m_movie->setSubtitleResults({makeResult(1), makeResult(2)});
        second->setSubtitleResults({makeResult(3)});
        rows.add(Kind::Group, m_movie);
        rows.add(Kind::Group, second);
        rows.setOpen(1, true);
        rows.setOpen(0, true); // rows: 0 group, 1-2 results, 3 group, 4 result
        ResultActions actions(rows);
        rows.selection = {2, 4};
        QVERIFY(actions.keyPressed(Qt::Key_Left, {}));
        QCOMPARE(rows.rowCount(), 2);
        QCOMPARE(rows.selection, (QList<int>{0, 1}));
        QVERIFY(actions.keyPressed(Qt::Key_Right, {}));
        QCOMPARE(rows.rowCount(), 5);
        QCOMPARE(rows.selection, (QList<int>{0, 3}));
        // Left on the open groups themselves closes them.
        QVERIFY(actions.keyPressed(Qt::Key_Left, {}));
        QCOMPARE(rows.rowCount(), 2);
        QCOMPARE(rows.selection, (QList<int>{0, 1}));
    }

    // A double click opens and closes group rows only.
    void doubleClicks()
    {
        m_movie->setSubtitleResults({makeResult(1)});
        FakeRows rows;
        rows.add(Kind::Video, m_movie);
        rows.add(Kind::Group, m_movie);
        ResultActions actions(rows);
        actions.doubleClicked(0);
        QCOMPARE(rows.rowCount(), 2);
        actions.doubleClicked(1);
        QVERIFY(rows.isOpen(1));
        QCOMPARE(rows.rowCount(), 3);
        actions.doubleClicked(2);
        QCOMPARE(rows.rowCount(), 3);
        actions.doubleClicked(1);
        QCOMPARE(rows.rowCount(), 2);
    }

    // Previews from the menu: a result over its video (its judgement reaches
    // the list), a video's own subtitle, and a row without a result.
    void previews()
    {
        const QString copy = m_dir->filePath(u"7_Film.en.srt"_s);
        QVERIFY(writeFile(copy, "1\n00:00:01,000 --> 00:00:02,000\nHi\n"_ba));
        const auto result = makeResult(7);
        result->localtempfile = copy;
        result->isChecked = true;
        result->setMovieFolderItemPath(m_video);
        result->movieFile = m_movie;
        m_movie->setSubtitleResults({result});
        FakeRows rows;
        const int video = rows.add(Kind::Video, m_movie);
        const int group = rows.add(Kind::Group, m_movie);
        const int resultRow = rows.add(Kind::Result, nullptr, result);
        ResultActions actions(rows);
        QSignalSpy opened(&actions, &ResultActions::previewOpened);

        actions.act(resultRow, u"menuPreviewSub"_s);
        QCOMPARE(opened.size(), 1);
        QPointer<PreviewWindow> window = opened.last().first().value<PreviewWindow *>();
        QCOMPARE(window->result(), result);
        QCOMPARE(window->movie(), m_movie);
        QCOMPARE(window->player()->subfile(), copy);
        QCOMPARE(window->player()->moviefile(), m_video);
        // Without a player the window says so and stays still.
        QCOMPARE(window->timeLabel()->text(), u"No player was found."_s);
        QTest::mouseClick(window->machineTranslatedButton(), Qt::LeftButton);
        QVERIFY(!result->isChecked);
        QCOMPARE(rows.edits, 1);
        window->close();

        actions.act(video, u"menuPreviewSubLang-eng"_s);
        QCOMPARE(opened.size(), 2);
        window = opened.last().first().value<PreviewWindow *>();
        QVERIFY(!window->result());
        QCOMPARE(window->player()->subfile(), m_dir->filePath(u"My Film (2010).en.srt"_s));
        QCOMPARE(window->player()->thisTitle(), u"My Film (2010).en.srt"_s);
        QCOMPARE(window->selectButton()->caption(), u"Select for Download"_s);
        window->close();

        // No result on a group row, no subtitle in that language: idle windows.
        actions.act(group, u"menuPreviewSub"_s);
        actions.act(video, u"menuPreviewSubLang-fre"_s);
        QCOMPARE(opened.size(), 4);
        for (int i = 2; i < 4; ++i) {
            auto *idle = opened.at(i).first().value<PreviewWindow *>();
            QCOMPARE(idle->player()->subfile(), QString());
            QCOMPARE(idle->player()->moviefile(), m_video);
        }
    }

    // The download window hands its rows to the actions: keys in its list,
    // and a result previewed from the results view, judged in the preview.
    void downloadWindowRows()
    {
        const QString video = makeSparseFile(m_dir->filePath(u"Films/Movie.mkv"_s), 3'000'000);
        const XMLRPC::MovieHashResult hash = XMLRPC::computeMovieHash(video);
        QVERIFY(hash.ok());
        const QJsonObject film{{u"hash"_s, hash.hash},
                               {u"bytesize"_s, 3'000'000},
                               {u"name"_s, u"Movie"_s},
                               {u"imdbid"_s, u"1000000"_s},
                               {u"subtitles"_s, QJsonArray{QJsonObject{{u"lang"_s, u"eng"_s}},
                                                           QJsonObject{{u"lang"_s, u"eng"_s}}}}};
        ServiceEmulator emulator;
        QVERIFY(emulator.start(QJsonDocument(QJsonObject{{u"movies"_s, QJsonArray{film}}}).toJson()));
        myPrefs::resetToDefaults();
        myPrefs::setOSAPIServer(emulator.url().toString());
        myPrefs::setServiceProvider(u"xmlrpc"_s);
        myPrefs::setLanguageList({u"en"_s});
        myPrefs::setAutoSearchSubs(false);
        myPrefs::setAutoGetSubs(false);
        myPrefs::setListAllFiles(true);

        auto *window = new GetSubtitlesWindow;
        window->show();
        window->queueDrop(DragItem{{video}});
        QTRY_VERIFY_WITH_TIMEOUT(window->isWindowMode("listed"_L1), 20000);
        auto *rows = window->findChild<DownloadListRows *>();
        QVERIFY(rows);
        omiListbox *list = window->MainList();
        QCOMPARE(rows->kindAt(0), Kind::Video);
        const auto record = rows->movieAt(0);
        const bool checked = record->isChecked;
        list->setSelected(0, true);
        QTest::keyClick(list, Qt::Key_Space);
        QCOMPARE(record->isChecked, !checked);
        QTest::keyClick(list, Qt::Key_Space);

        window->doSearch();
        QTRY_VERIFY_WITH_TIMEOUT(window->isWindowMode("Searched"_L1), 20000);
        QCOMPARE(rows->kindAt(0), Kind::Group);
        rows->setOpen(0, true);
        QCOMPARE(rows->kindAt(1), Kind::Result);
        QCOMPARE(describe(rows->actions().menuFor(1)).size(), 3);

        // Action > Preview Subtitle over Video (Ctrl+P) previews the selected
        // result, as its row's menu item does; without one it is off.
        QSignalSpy opened(&rows->actions(), &ResultActions::previewOpened);
        list->clearSelection();
        QVERIFY(!window->canHandleMenuCommand(u"PreviewMenuItem"_s));
        list->setSelected(1, true);
        QVERIFY(window->canHandleMenuCommand(u"PreviewMenuItem"_s));
        QVERIFY(window->menuCommand(u"PreviewMenuItem"_s));
        QTRY_COMPARE_WITH_TIMEOUT(opened.size(), 1, 20000);
        QPointer<PreviewWindow> preview = opened.first().first().value<PreviewWindow *>();
        const auto result = preview->result();
        QCOMPARE(result, rows->resultAt(1));
        QCOMPARE(preview->player()->moviefile(), video);
        QVERIFY(result->isChecked);
        QTest::mouseClick(preview->notSynchronizedButton(), Qt::LeftButton);
        QVERIFY(!result->isChecked);
        preview->close();

        // Left on a result found by hash closes its group and selects it.
        list->clearSelection();
        list->setSelected(1, true);
        QTest::keyClick(list, Qt::Key_Left);
        QVERIFY(!rows->isOpen(0));
        QCOMPARE(list->selectedRows(), QList<int>{0});
        // Right opens it again, as in a tree view, and the group stays selected.
        QTest::keyClick(list, Qt::Key_Right);
        QVERIFY(rows->isOpen(0));
        QCOMPARE(rows->kindAt(1), Kind::Result);
        QCOMPARE(list->selectedRows(), QList<int>{0});
        delete window;
    }
};

LUMBRA_TEST_MAIN(tst_ResultActions)
#include "tst_ResultActions.moc"
