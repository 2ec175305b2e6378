#include "download/gui/ResultActions.h"

#include "common/JobSession.h"
#include "common/LangModule.h"
#include "common/translationStrings.h"
#include "controls/omiListbox.h"
#include "controls/ShownText.h"
#include "media/FileNames.h"
#include "media/movieFile.h"
#include "media/subtitleFile.h"
#include "media/TextTransforms.h"
#include "platform/Platform.h"
#include "preview/gui/PreviewWindow.h"
#include "preview/gui/TimingProbe.h"
#include "service/openSubtitleItem.h"
#include "window/WindowHost.h"

#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMutex>
#include <QMutexLocker>
#include <QPushButton>
#include <QUrl>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace {

using Kind = ResultRows::Kind;

// Runs `f` under the window's lock, when there is one.
template<typename F> auto guarded(const std::shared_ptr<JobSession> &session, F &&f)
{
    return underSessionLock(session.get(), std::forward<F>(f));
}

bool isVideoOrGroup(Kind kind)
{
    return kind == Kind::Video || kind == Kind::Group;
}

// IMDB numbers arrive as "0770828", "tt0770828" or a number.
qint64 imdbNumber(const QVariant &value)
{
    QString text = value.toString().trimmed();
    while (!text.isEmpty() && text.front().isLetter())
        text.remove(0, 1);
    bool ok = false;
    const qint64 number = text.toLongLong(&ok);
    return ok ? number : 0;
}

QString field(const Dictionary &movie, const QString &key)
{
    return movie.value(key).toString().trimmed();
}

int number(const Dictionary &movie, const QString &key)
{
    return int(imdbNumber(movie.value(key)));
}

// The two-letter or three-letter code of a language, compared as three.
bool sameLanguage(const QString &a, const QString &b)
{
    const QString threeA = LangModule::getLangThree(a);
    const QString threeB = LangModule::getLangThree(b);
    if (!threeA.isEmpty() && !threeB.isEmpty())
        return threeA.compare(threeB, Qt::CaseInsensitive) == 0;
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

ResultActions::MenuEntry item(const QString &text, const QString &tag)
{
    ResultActions::MenuEntry entry;
    entry.text = text;
    entry.tag = tag;
    return entry;
}

} // namespace

ResultActions::ResultActions(ResultRows &rows, QObject *parent)
    : QObject(parent)
    , m_rows(rows)
{
}

void ResultActions::handleKeysOf(omiListbox *list)
{
    m_list = list;
    list->installEventFilter(this);
}

void ResultActions::attach(omiListbox *list)
{
    handleKeysOf(list);
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list, &QWidget::customContextMenuRequested, this, [this, list](const QPoint &at) {
        const int row = list->rowAt(at.y());
        if (row >= 0)
            showMenu(row, list->viewport()->mapToGlobal(at));
    });
    connect(list, &omiListbox::cellDoubleClick, this, [this](int row, int) { doubleClicked(row); });
}

QList<ResultActions::MenuEntry> ResultActions::menuFor(int row) const
{
    QList<MenuEntry> items;
    if (row < 0 || row >= m_rows.rowCount())
        return items;
    const Kind kind = m_rows.kindAt(row);

    if (kind == Kind::Result) {
        if (!m_rows.resultAt(row))
            return items;
        items.append(item(u"This subtitle is not for this movie"_s, u"menuWrongSubForMovie"_s));
        items.append(item(translationStrings::menuPreviewSubText(), u"menuPreviewSub"_s));
        items.append(item(translationStrings::menuOpenSubWebText(), u"menuOpenSubWeb"_s));
        if (timingTargetOf(row).valid())
            items.append(item(u"Check Timing"_s, u"menuCheckTiming"_s));
        return items;
    }
    if (kind == Kind::Queued && timingTargetOf(row).valid())
        items.append(item(u"Check Timing"_s, u"menuCheckTiming"_s));
    if (!isVideoOrGroup(kind))
        return items;
    const std::shared_ptr<movieFile> movie = m_rows.movieAt(row);
    if (!movie)
        return items;

    // With a single match there is nothing to choose between: no filter item.
    const QList<Dictionary> imdbs = movie->imdbs();
    if (imdbs.size() >= 2) {
        MenuEntry matches =
            item(u"Multiple Matches. Select to filter…"_s,
                 "imdbid-"_L1 + QString::number(imdbNumber(imdbs.first().value(u"movieImdbID"_s))));
        matches.separatorAfter = true;
        {
            for (const Dictionary &match : imdbs) {
                const QString name = field(match, u"MovieName"_s);
                if (name.isEmpty())
                    continue;
                QString text = name + " ("_L1 + field(match, u"MovieYear"_s) + u')';
                if (number(match, u"SeriesSeason"_s) >= 1)
                    text +=
                        " - "_L1 + field(match, u"SeriesSeason"_s) + u'x' + field(match, u"SeriesEpisode"_s);
                matches.submenu.append(item(
                    text, "filterimdb-"_L1 + QString::number(imdbNumber(match.value(u"movieImdbID"_s)))));
            }
            const QString filter = guarded(m_rows.session(), [&movie] { return movie->filterBy; });
            if (imdbNumber(filter) > 0)
                matches.submenu.append(item(u"Show all results…"_s, u"nofilter"_s));
        }
        items.append(matches);
    }
    items.append(item(translationStrings::menuRevealFileText(), u"menuRevealFile"_s));
    if (kind == Kind::Video) {
        const movieFile::SubtitleList subtitles = movie->subtitles();
        if (!subtitles.isEmpty() && subtitles.first()) {
            const QString code = subtitles.first()->ISO639();
            items.append(item(translationStrings::menuPreviewSubByLangText().replace(
                                  "^lang^"_L1, LangModule::getLangFull(code)),
                              "menuPreviewSubLang-"_L1 + code));
        }
        items.append(item(translationStrings::menuOpenMovieWebText(), u"menuOpenMovieWeb"_s));
        if (timingTargetOf(row).valid())
            items.append(item(u"Check Timing"_s, u"menuCheckTiming"_s));
    }
    MenuEntry search = item(translationStrings::SearchInWebCMM() + NameNoExtension(movie->movieFileName()),
                            u"menuExternals"_s);
    search.submenu = {item(u"Addic7ed"_s, u"menuExternals_1"_s), item(u"SubScene"_s, u"menuExternals_2"_s),
                      item(u"SubtitleSeeker"_s, u"menuExternals_3"_s)};
    items.append(search);
    return items;
}

QMenu *ResultActions::buildMenu(int row, QWidget *parent) const
{
    auto *menu = new QMenu(parent);
    const auto fill = [](QMenu *into, const QList<MenuEntry> &entries, const auto &self) -> void {
        for (const MenuEntry &entry : entries) {
            if (entry.submenu.isEmpty()) {
                QAction *action = into->addAction(captionAsWritten(entry.text));
                action->setData(entry.tag);
                action->setEnabled(entry.enabled);
            } else {
                QMenu *sub = into->addMenu(captionAsWritten(entry.text));
                sub->menuAction()->setData(entry.tag);
                sub->setEnabled(entry.enabled);
                self(sub, entry.submenu, self);
            }
            if (entry.separatorAfter)
                into->addSeparator();
        }
    };
    fill(menu, menuFor(row), fill);
    return menu;
}

void ResultActions::showMenu(int row, const QPoint &globalPos)
{
    if (menuFor(row).isEmpty())
        return;
    // The list may change while the menu is up (intake, searches): the
    // choice applies only if the row still shows the same record.
    const auto movie = m_rows.movieAt(row);
    const auto result = m_rows.resultAt(row);
    // The window (and the list with the menu) may also go while the menu
    // is up, when a run ends by quitting.
    const QPointer<ResultActions> alive(this);
    const QPointer<QMenu> menu = buildMenu(row, m_list ? m_list.data() : nullptr);
    const QAction *chosen = menu->exec(globalPos);
    const QString tag = menu && chosen ? chosen->data().toString() : QString();
    if (menu)
        menu->deleteLater();
    if (!alive || tag.isEmpty() || row >= m_rows.rowCount() || m_rows.movieAt(row) != movie ||
        m_rows.resultAt(row) != result)
        return;
    act(row, tag);
}

void ResultActions::act(int row, const QString &tag)
{
    if (row < 0 || row >= m_rows.rowCount())
        return;
    const Kind kind = m_rows.kindAt(row);
    const std::shared_ptr<movieFile> movie = m_rows.movieAt(row);
    const std::shared_ptr<JobSession> session = m_rows.session();
    const auto is = [&tag](QLatin1StringView name) { return tag.compare(name, Qt::CaseInsensitive) == 0; };

    if (tag.contains("menuPreviewSub"_L1, Qt::CaseInsensitive)) {
        const qsizetype dash = tag.indexOf(u'-');
        if (dash >= 0)
            previewLocal(row, tag.mid(dash + 1));
        else
            previewResult(row);
        return;
    }
    if (is("menuCheckTiming"_L1)) {
        checkTiming(row);
        return;
    }
    if (is("menuOpenSubWeb"_L1)) {
        std::shared_ptr<openSubtitleItem> result = m_rows.resultAt(row);
        if (!result && movie) {
            const movieFile::ResultList results = movie->subtitleResults();
            if (!results.isEmpty())
                result = results.first();
        }
        const QString link =
            result ? guarded(session, [&result] { return result->SubtitlesLink; }) : QString();
        if (!link.isEmpty())
            platform().openUrl(QUrl(link));
        return;
    }
    if (is("menuOpenMovieWeb"_L1)) {
        if (!movie)
            return;
        qint64 id = 0;
        const QList<Dictionary> imdbs = movie->imdbs();
        if (!imdbs.isEmpty())
            id = imdbNumber(imdbs.first().value(u"movieImdbID"_s));
        const movieFile::ResultList results = movie->subtitleResults();
        if (id <= 0 && !results.isEmpty() && results.first())
            id = guarded(session, [&results] { return results.first()->IDMovieImdb; });
        const QString page = moviePageUrl(int(id));
        if (!page.isEmpty())
            platform().openUrl(QUrl(page));
        return;
    }
    if (!movie)
        return;
    if (is("menuRevealFile"_L1)) {
        const QFileInfo file = movie->movieFolderItem();
        if (isVideoOrGroup(kind) && file.exists())
            platform().revealFile(file.absoluteFilePath());
        return;
    }
    if (tag.startsWith("filterimdb-"_L1, Qt::CaseInsensitive) || is("nofilter"_L1)) {
        const QString filter = is("nofilter"_L1) ? QString() : tag.section(u'-', 1);
        guarded(session, [&] {
            movie->filterBy = filter;
            return 0;
        });
        reopen(row);
        return;
    }
    if (tag.startsWith("menuExternals_"_L1, Qt::CaseInsensitive)) {
        const QFileInfo file = movie->movieFolderItem();
        if (!isVideoOrGroup(kind) || !file.exists())
            return;
        const QString address = externalSearchUrl(tag.section(u'_', 1).toInt(), NameNoExtension(file));
        if (!address.isEmpty())
            platform().openUrl(QUrl(address));
        return;
    }
    // "menuWrongSubForMovie" and the matches item itself do nothing.
}

void ResultActions::reopen(int row)
{
    if (!m_rows.isOpen(row))
        return;
    m_rows.setOpen(row, false);
    m_rows.setOpen(row, true);
    m_rows.refresh();
}

// As in a tree view: Left closes an open group, and on a result found by a
// match closes the group it is in and selects that.
void ResultActions::closeGroupsOf(const QList<int> &selected)
{
    const std::shared_ptr<JobSession> session = m_rows.session();
    QList<int> groups;
    for (const int row : selected) {
        if (m_rows.kindAt(row) == Kind::Group) {
            if (m_rows.isOpen(row) && !groups.contains(row))
                groups.append(row);
            continue;
        }
        if (m_rows.kindAt(row) != Kind::Result)
            continue;
        const auto result = m_rows.resultAt(row);
        if (!result || guarded(session, [&result] { return result->MatchedBy.isEmpty(); }))
            continue;
        // The result's group: the nearest row above that is not a result.
        int group = row - 1;
        while (group >= 0 && m_rows.kindAt(group) == Kind::Result)
            --group;
        if (group >= 0 && !groups.contains(group))
            groups.append(group);
    }
    if (groups.isEmpty())
        return;
    // Closing from the bottom: each group closes at the row it was found at.
    std::sort(groups.begin(), groups.end(), std::greater<>());
    QList<std::shared_ptr<movieFile>> closed;
    for (const int group : groups) {
        closed.append(m_rows.movieAt(group));
        m_rows.setOpen(group, false);
    }
    selectGroups(closed);
}

// Selects the rows of these groups wherever opening or closing the groups
// above them moved them.
void ResultActions::selectGroups(const QList<std::shared_ptr<movieFile>> &records)
{
    QList<int> rows;
    for (int row = 0; row < m_rows.rowCount(); ++row) {
        if (m_rows.kindAt(row) == Kind::Group && records.contains(m_rows.movieAt(row)))
            rows.append(row);
    }
    m_rows.select(rows);
}

// Right opens the selected closed groups; on one group already open it
// steps down to its first result.
void ResultActions::openGroups(const QList<int> &selected)
{
    QList<int> closed;
    for (const int row : selected) {
        if (m_rows.kindAt(row) == Kind::Group && !m_rows.isOpen(row))
            closed.append(row);
    }
    if (closed.isEmpty()) {
        if (selected.size() == 1 && m_rows.kindAt(selected.first()) == Kind::Group &&
            m_rows.kindAt(selected.first() + 1) == Kind::Result)
            m_rows.select({selected.first() + 1});
        return;
    }
    // Opening from the bottom: each group opens at the row it was found at.
    std::sort(closed.begin(), closed.end(), std::greater<>());
    QList<std::shared_ptr<movieFile>> opened;
    for (const int group : closed) {
        opened.append(m_rows.movieAt(group));
        m_rows.setOpen(group, true);
    }
    selectGroups(opened);
}

bool ResultActions::keyPressed(int key, const QString &text)
{
    const std::shared_ptr<JobSession> session = m_rows.session();
    const QList<int> selected = m_rows.selectedRows();
    const auto videos = [&](auto change) {
        for (const int row : selected) {
            if (m_rows.kindAt(row) != Kind::Video)
                continue;
            if (const auto movie = m_rows.movieAt(row)) {
                guarded(session, [&] {
                    change(*movie);
                    return 0;
                });
            }
        }
    };

    switch (key) {
    case Qt::Key_Space:
        videos([](movieFile &movie) { movie.isChecked = !movie.isChecked; });
        break;
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
        videos([](movieFile &movie) { movie.isChecked = false; });
        break;
    case Qt::Key_Left:
        closeGroupsOf(selected);
        break;
    case Qt::Key_Right:
        openGroups(selected);
        break;
    case Qt::Key_Escape:
    case Qt::Key_V:
    case Qt::Key_R:
    case Qt::Key_Q:
    case Qt::Key_O:
        break;
    default:
        // Letters typed with another layout still count by their text.
        if (text.size() == 1 && QStringLiteral("vrqo").contains(text.front().toLower()))
            break;
        return false;
    }
    m_rows.refresh();
    return true;
}

void ResultActions::doubleClicked(int row)
{
    if (row < 0 || row >= m_rows.rowCount() || m_rows.kindAt(row) != Kind::Group)
        return;
    m_rows.setOpen(row, !m_rows.isOpen(row));
    m_rows.refresh();
}

QString ResultActions::externalSearchUrl(int site, const QString &videoName)
{
    const QString name = encodeURL(videoName);
    switch (site) {
    case 1:
        return "http://www.addic7ed.com/search.php?search="_L1 + name + "&Submit=Search"_L1;
    case 2:
        return "http://subscene.com/subtitles/release.aspx?q="_L1 + name;
    case 3:
        return "http://www.subtitleseeker.com/search/request.php?q="_L1 + name;
    default:
        return {};
    }
}

QString ResultActions::moviePageUrl(int imdbId)
{
    if (imdbId <= 0)
        return {};
    return u"https://www.imdb.com/title/tt%1/"_s.arg(imdbId, 7, 10, QChar(u'0'));
}

ResultActions::TimingTarget ResultActions::timingTargetOf(int row) const
{
    TimingTarget target;
    const Kind kind = m_rows.kindAt(row);
    const std::shared_ptr<movieFile> movie = m_rows.movieAt(row);
    if (kind == Kind::Result || kind == Kind::Queued) {
        target.result = m_rows.resultAt(row);
        if (!target.result)
            return {};
        guarded(m_rows.session(), [&target] {
            if (target.result->Downloaded)
                target.subtitle = target.result->localSubfile;
            if (const auto video = target.result->movieFile.lock())
                target.video = video->path();
            return 0;
        });
        if (target.video.isEmpty() && movie)
            target.video = movie->path();
    } else if (kind == Kind::Video && movie) {
        for (const auto &subtitle : movie->subtitles()) {
            if (subtitle && subtitle->SubtitleFolderItem().isFile()) {
                const std::shared_ptr<movieFile> paired = subtitle->thisMovie();
                target.video = paired && !paired->path().isEmpty() ? paired->path() : movie->path();
                target.subtitle = subtitle->path();
                break;
            }
        }
    }
    if (!QFileInfo(target.subtitle).isFile() || !QFileInfo(target.video).isFile())
        return {};
    return target;
}

// The measuring runs on a worker: the list stays usable, and closing the
// window stops it.
void ResultActions::checkTiming(int row)
{
    const TimingTarget target = timingTargetOf(row);
    if (!target.valid())
        return;
    if (!m_timingProbe) {
        m_timingProbe = new TimingProbe(this);
        connect(m_timingProbe, &TimingProbe::measured, this, &ResultActions::offerTimingFix);
    }
    m_timingTarget = target;
    m_timingProbe->start(target.video, target.subtitle);
}

void ResultActions::offerTimingFix(const TimingMeasurement &measurement)
{
    const TimingTarget target = m_timingTarget;
    const QString name = QFileInfo(target.subtitle).fileName();
    if (!measurement.fixAdvised()) {
        showTimingBox(u"%1: %2."_s.arg(name, measurement.reasonToLeave()));
        return;
    }
    auto *box = new QMessageBox(
        QMessageBox::Question, u"Check Timing"_s,
        u"%1 is out of step with the video's speech (confidence %2).\n\n"
        "Fix Timing: %3. The present file goes to the trash."_s.arg(
            name, QString::number(measurement.confidence, 'f', 2), measurement.transform.description()),
        QMessageBox::Cancel, m_list ? m_list->window() : nullptr);
    box->setObjectName(u"CheckTimingBox"_s);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton *fix = box->addButton(u"Fix Timing"_s, QMessageBox::AcceptRole);
    box->setDefaultButton(fix);
    connect(box, &QMessageBox::buttonClicked, this,
            [this, fix, target, measurement](QAbstractButton *button) {
                if (button == fix)
                    fixTiming(target, measurement);
            });
    box->open();
}

void ResultActions::fixTiming(const TimingTarget &target, const TimingMeasurement &measurement)
{
    const TimingCheck::FixResult fix = TimingCheck::applyFix(target.subtitle, measurement);
    const QString note = fix.error.isEmpty() ? measurement.transform.description() : fix.error;
    if (target.result) {
        guarded(m_rows.session(), [&] {
            target.result->timingNote = note;
            return 0;
        });
    }
    m_rows.refresh();
    if (!fix.error.isEmpty())
        showTimingBox(u"%1: %2."_s.arg(QFileInfo(target.subtitle).fileName(), fix.error));
}

void ResultActions::showTimingBox(const QString &text)
{
    auto *box = new QMessageBox(QMessageBox::Information, u"Check Timing"_s, text, QMessageBox::Ok,
                                m_list ? m_list->window() : nullptr);
    box->setObjectName(u"CheckTimingBox"_s);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void ResultActions::previewResult(int row)
{
    if (WindowHost *app = WindowHost::instance())
        app->hasAPlayer(); // runs the player detection once
    const Kind kind = m_rows.kindAt(row);
    const std::shared_ptr<openSubtitleItem> result =
        kind == Kind::Result || kind == Kind::Queued ? m_rows.resultAt(row) : nullptr;
    if (!result) {
        previewIdle(row);
        return;
    }
    // A queued row's record is the video's; a result row's is the result's own.
    const std::shared_ptr<movieFile> movie = kind == Kind::Queued ? m_rows.movieAt(row) : nullptr;
    PreviewWindow::openResult(result, movie, m_rows.session(), this, [this](PreviewWindow *window) {
        if (window)
            watch(window);
    });
}

void ResultActions::previewLocal(int row, const QString &language)
{
    if (WindowHost *app = WindowHost::instance())
        app->hasAPlayer();
    const std::shared_ptr<movieFile> movie = m_rows.movieAt(row);
    if (!movie)
        return;
    std::shared_ptr<subtitleFile> subtitle;
    for (const auto &candidate : movie->subtitles()) {
        if (candidate && sameLanguage(candidate->ISO639(), language)) {
            subtitle = candidate;
            break;
        }
    }
    if (!subtitle || !subtitle->SubtitleFolderItem().isFile()) {
        previewIdle(row);
        return;
    }
    const std::shared_ptr<movieFile> paired = subtitle->thisMovie();
    PreviewWindow::Request request;
    request.video = paired && !paired->path().isEmpty() ? paired->path() : movie->path();
    request.subtitle = subtitle->path();
    request.title = subtitle->SubtitleFolderItem().fileName();
    request.movie = movie;
    request.opener = PreviewWindow::Opener::Download;
    request.session = m_rows.session();
    if (PreviewWindow *window = PreviewWindow::open(request))
        watch(window);
}

void ResultActions::previewIdle(int row)
{
    const std::shared_ptr<movieFile> movie = m_rows.movieAt(row);
    if (!movie)
        return;
    PreviewWindow::Request request;
    request.video = movie->path();
    request.movie = movie;
    request.opener = PreviewWindow::Opener::Download;
    request.session = m_rows.session();
    if (PreviewWindow *window = PreviewWindow::open(request))
        watch(window);
}

void ResultActions::watch(PreviewWindow *window)
{
    if (m_list)
        window->closeWith(m_list->window());
    // The judgements changed the result's check: the list shows it and the
    // window carries the unsaved-changes mark.
    const auto judged = [this, window] {
        if (window->result())
            m_rows.markEdited();
        m_rows.refresh();
    };
    connect(window, &PreviewWindow::rejected, this, judged);
    connect(window, &PreviewWindow::selected, this, judged);
    emit previewOpened(window);
}

bool ResultActions::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_list && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        // Shortcuts (Ctrl+V and the like) belong to the menus.
        const bool chord = key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
        if (!chord && keyPressed(key->key(), key->text()))
            return true;
    }
    return QObject::eventFilter(watched, event);
}
