#include "preview/gui/PreviewWindow.h"

#include "common/JobSession.h"
#include "common/Ticks.h"
#include "common/translationStrings.h"
#include "controls/omiButton.h"
#include "controls/omiListbox.h"
#include "controls/ResourcePaths.h"
#include "media/FileNames.h"
#include "media/movieFile.h"
#include "platform/Platform.h"
#include "preview/gui/CueScrollWidget.h"
#include "preview/gui/PreviewProgressWidget.h"
#include "preview/gui/TimingProbe.h"
#include "preview/PlayerControl.h"
#include "preview/PlayerDetection.h"
#include "preview/ResultPreview.h"
#include "preview/subClass.h"
#include "preview/subsModule.h"
#include "service/openSubtitleItem.h"
#include "service/ResultChecks.h"
#include "window/WindowPlacement.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QHelpEvent>
#include <QLabel>
#include <QMutex>
#include <QMutexLocker>
#include <QPainter>
#include <QTimer>
#include <QToolTip>

#include <algorithm>
#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString kPrefix = u"Videopreviews"_s;
// The progress slider's steps over the video's length.
constexpr int SliderSteps = 10000;
constexpr int kWidth = 600;
const QColor kBackground(241, 240, 235);
// Between a cue's text and its cell's edges, where the markers go.
constexpr int kTextInset = 7;

PreviewWindow::PlayerMaker &playerMaker()
{
    static PreviewWindow::PlayerMaker maker;
    return maker;
}

PlayerControl *makePlayer(QObject *parent)
{
    if (playerMaker())
        return playerMaker()(parent);
    return new PlayerControl(findPlayer(ResourcePaths::appF()), parent);
}

// Runs `f` under the opener's lock while the opener's job lasts; after that
// the records are the window's own.
template<typename F> auto guarded(const std::weak_ptr<JobSession> &session, F &&f)
{
    const std::shared_ptr<JobSession> owner = session.lock();
    return underSessionLock(owner.get(), std::forward<F>(f));
}

bool isFile(const QString &path)
{
    return !path.isEmpty() && QFileInfo(path).isFile();
}

} // namespace

void PreviewWindow::setPlayerMaker(PlayerMaker maker)
{
    playerMaker() = std::move(maker);
}

PreviewWindow::PreviewWindow(Opener opener, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::WindowMinimizeButtonHint)
    , m_opener(opener)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setMinimumSize(kWidth, 420);
    setMaximumSize(kWidth, 1024);
    resize(kWidth, 416);

    m_player = makePlayer(this);

    m_playButton = makeButton(QString(QChar(0xF04B)), u"FontAwesome"_s, 18);
    m_rwdbutton = makeButton(QString(QChar(0xF04A)), u"FontAwesome"_s, 12);
    m_fwdbutton = makeButton(QString(QChar(0xF04E)), u"FontAwesome"_s, 12);
    m_wrongLangBut = makeButton(translationStrings::WrongLanguage(), u"Helvetica"_s, 10);
    m_machineTranslateBut = makeButton(translationStrings::MachineTranslated(), u"Helvetica"_s, 10);
    m_notSyncdBut = makeButton(translationStrings::NotSyncd(), u"Helvetica"_s, 10);
    m_closeWindowBut = makeButton(translationStrings::DontPickThis(), u"Helvetica"_s, 10);
    m_selectSubBut = makeButton(opener == Opener::Download ? translationStrings::SelectSubButtonTitle()
                                                           : translationStrings::ConfirmSubsButtonTitle(),
                                u"Helvetica"_s, 10);

    m_subLinesList = new omiListbox(this);
    m_subLinesList->setColumnCount(2);
    m_subLinesList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_subLinesList->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_subLinesList->setFrameShape(QFrame::Box);
    m_subLinesList->setFont(QFont(u"Source Sans Pro"_s));
    m_subLinesList->setCellBackgroundPaint([this](QPainter &g, int row, int column, const QSize &cell) {
        paintCueBackground(g, row, column, cell);
    });
    m_subLinesList->setCellTextPaint(
        [this](QPainter &g, int row, int column, const QSize &cell) { paintCueText(g, row, column, cell); });
    m_subLinesList->setCellClick([this](int row, int, const QPoint &) {
        cueClicked(row);
        return false;
    });
    m_subLinesList->viewport()->installEventFilter(this);

    m_subListScrollbar = new CueScrollWidget(this);
    m_subListScrollbar->follow(m_subLinesList);

    m_timeLabel = new QLabel(this);
    QFont small = m_timeLabel->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    m_timeLabel->setFont(small);
    m_timeLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    m_progressCanvas = new PreviewProgressWidget(this);

    m_fixTimingBut = makeButton(u"Fix Timing"_s, u"Helvetica"_s, 10);
    m_fixTimingBut->setEnabled(false);
    m_timingLabel = new QLabel(this);
    m_timingLabel->setObjectName(u"TimingLabel"_s);
    m_timingLabel->setFont(small);
    m_timingLabel->setWordWrap(true);
    m_timingLabel->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_timingProbe = new TimingProbe(this);
    connect(m_timingProbe, &TimingProbe::measured, this, &PreviewWindow::showTiming);
    connect(m_fixTimingBut, &omiButton::action, this, [this] { fixTiming(); });

    connect(m_playButton, &omiButton::action, this, [this] { playPressed(); });
    connect(m_rwdbutton, &omiButton::action, this, [this] { m_player->seekBack(); });
    connect(m_fwdbutton, &omiButton::action, this, [this] { m_player->seekForward(); });
    connect(m_wrongLangBut, &omiButton::action, this, [this] { judge(Verdict::WrongLanguage); });
    connect(m_machineTranslateBut, &omiButton::action, this, [this] { judge(Verdict::MachineTranslated); });
    connect(m_notSyncdBut, &omiButton::action, this, [this] { judge(Verdict::NotSynchronized); });
    connect(m_closeWindowBut, &omiButton::action, this, &QWidget::close);
    connect(m_selectSubBut, &omiButton::action, this, [this] { selectResult(); });

    connect(m_player, &PlayerControl::identificationFinished, this, [this] {
        m_identified = true;
        PlayMovie();
    });
    connect(m_player, &PlayerControl::statusChanged, this,
            [this](const QString &status) { showStatus(status); });
    // The player's new window has just come up in front: the preview is
    // brought back beside it, once per run; the rest of Lumbra stays put.
    connect(m_player, &PlayerControl::playbackStarted, this, [this] { platform().bringToFront(this); });
    connect(m_player, &PlayerControl::playerFailed, this,
            [this](const QString &reason) { m_timeLabel->setText(reason); });
    connect(m_player, &PlayerControl::movieVideoSizeChanged, this, [this](int width, int height) {
        if (!m_thisMovieFile)
            return;
        guarded(m_session, [&] {
            m_thisMovieFile->videowidth = width;
            m_thisMovieFile->videoheight = height;
            return 0;
        });
    });

    m_listParsedSub = new QTimer(this);
    m_listParsedSub->setInterval(Ticks::scaled(Ticks::Refresh));
    connect(m_listParsedSub, &QTimer::timeout, this, [this] { ListParsedSub(); });
    m_listParsedSub->start();
    m_consoleTimer = new QTimer(this);
    m_consoleTimer->setInterval(Ticks::scaled(Ticks::Refresh));
    connect(m_consoleTimer, &QTimer::timeout, this, [this] { RefreshMplayerConsole(); });

    layoutControls();
}

PreviewWindow::~PreviewWindow()
{
    // The player's runs end before the controls its handlers touch go.
    disconnect(m_player, nullptr, this, nullptr);
    delete m_player;
}

omiButton *PreviewWindow::makeButton(const QString &caption, const QString &font, int size)
{
    auto *button = new omiButton(this);
    button->setCaption(caption);
    button->setTextFont(font);
    // A long caption (or its translation) is set smaller rather than cut
    // off by the 100-pixel column.
    QFont measure(font);
    measure.setBold(true);
    for (; size > 7; --size) {
        measure.setPixelSize(size);
        if (QFontMetrics(measure).horizontalAdvance(caption) <= 94)
            break;
    }
    button->setTextSize(size);
    return button;
}

void PreviewWindow::layoutControls()
{
    const int h = height();
    m_playButton->setGeometry(0, 14, 100, 60);
    m_rwdbutton->setGeometry(0, 74, 50, 30);
    m_fwdbutton->setGeometry(50, 74, 50, 30);
    m_wrongLangBut->setGeometry(0, 126, 100, 20);
    m_machineTranslateBut->setGeometry(0, 146, 100, 20);
    m_notSyncdBut->setGeometry(0, 166, 100, 20);
    m_fixTimingBut->setGeometry(0, 192, 100, 20);
    m_timingLabel->setGeometry(2, 214, 96, 64);
    // The rest keeps its distance to the bottom; the list takes the height.
    m_closeWindowBut->setGeometry(0, h - 67, 100, 20);
    m_selectSubBut->setGeometry(0, h - 40, 100, 40);
    // The list ends where its scroll indicator starts, so the markers at
    // the rows' right edges stay in sight.
    m_subLinesList->setGeometry(100, 14, 473, h - 61);
    m_subListScrollbar->setGeometry(573, 14, 15, h - 61);
    m_timeLabel->setGeometry(112, h - 40, 459, 20);
    m_progressCanvas->setGeometry(112, h - 23, 468, 15);
}

PreviewWindow *PreviewWindow::open(const Request &request)
{
    const QFileInfo video(request.video);
    if (request.video.isEmpty() || !video.exists() || video.isDir())
        return nullptr;
    auto *window = new PreviewWindow(request.opener);
    window->m_thisMovieFile = request.movie;
    window->m_session = request.session;
    window->m_player->setMovieFile(request.video);
    window->m_player->setFontFile(ResourcePaths::subtitleFontPath());
    if (request.movie) {
        guarded(request.session, [&] {
            window->m_player->setMovieVideoSize(request.movie->videowidth, request.movie->videoheight);
            return 0;
        });
    }
    window->show();
    // Opened from a click in another window: in front of it, not behind.
    window->raise();
    window->activateWindow();
    if (!isFile(request.subtitle))
        return window;

    window->m_thisOpenSub = request.result;
    if (request.result) {
        const bool checked = guarded(request.session, [&] { return request.result->isChecked; });
        window->m_selectSubBut->setEnabled(!checked);
    }
    window->m_player->setSubFile(request.subtitle);
    window->measureTiming(request.video, request.subtitle);
    window->PlayThisMovie(request.title);
    platform().bringToFront(nullptr);
    return window;
}

PreviewWindow *PreviewWindow::openLocal(const QString &subtitle, const QString &video, Opener opener)
{
    Request request;
    request.video = video;
    request.subtitle = subtitle;
    request.title = QFileInfo(subtitle).fileName();
    request.opener = opener;
    return open(request);
}

void PreviewWindow::openResult(const std::shared_ptr<openSubtitleItem> &result,
                               const std::shared_ptr<movieFile> &movie,
                               const std::weak_ptr<JobSession> &session, QObject *context,
                               std::function<void(PreviewWindow *)> opened)
{
    if (!result) {
        if (opened)
            opened(nullptr);
        return;
    }
    ResultPreview::prepare(result, session, context, [=](const QString &copy) {
        if (copy.isEmpty()) {
            if (opened)
                opened(nullptr);
            return;
        }
        Request request;
        request.subtitle = copy;
        guarded(session, [&] {
            request.video = result->movieFolderItemPath();
            request.title = ResultPreview::title(*result);
            request.movie = movie ? movie : result->movieFile.lock();
            return 0;
        });
        request.result = result;
        request.opener = Opener::Download;
        request.session = session;
        PreviewWindow *window = open(request);
        if (opened)
            opened(window);
    });
}

// Decoding the film's audio takes seconds: it runs on a worker while the
// preview plays, and stops when the window closes.
void PreviewWindow::measureTiming(const QString &video, const QString &subtitle)
{
    m_subtitlePath = subtitle;
    m_timingLabel->setText(u"Measuring the timing\u2026"_s);
    m_timingProbe->start(video, subtitle);
}

void PreviewWindow::showTiming(const TimingMeasurement &measurement)
{
    m_timing = measurement;
    m_fixTimingBut->setEnabled(measurement.fixAdvised());
    if (measurement.fixAdvised())
        m_timingLabel->setText(u"Out of step: %1"_s.arg(measurement.transform.description()));
    else
        m_timingLabel->setText(measurement.reasonToLeave());
    if (measurement.measured())
        m_timingLabel->setToolTip(
            u"Measured against the video's speech, confidence %1"_s.arg(measurement.confidence, 0, 'f', 2));
}

// A search result's copy in the temporary folder is fixed in place: the
// download places that copy, so the placed subtitle gets the same fix. A
// subtitle beside the video (a local one, or a result already placed) keeps
// its previous version in the trash.
void PreviewWindow::fixTiming()
{
    m_fixTimingBut->setEnabled(false);
    const bool temporaryCopy =
        m_thisOpenSub && guarded(m_session, [this] {
            return !m_thisOpenSub->Downloaded && m_thisOpenSub->localtempfile == m_subtitlePath;
        });
    const TimingCheck::FixResult fix =
        TimingCheck::applyFix(m_subtitlePath, m_timing,
                              temporaryCopy ? TimingCheck::Previous::Discard : TimingCheck::Previous::Keep);
    if (!fix.error.isEmpty()) {
        m_timingLabel->setText(fix.error);
        return;
    }
    const QString done = m_timing.transform.description();
    m_timingLabel->setText(u"Fixed: %1"_s.arg(done));
    if (m_thisOpenSub) {
        guarded(m_session, [&] {
            m_thisOpenSub->timingNote = done;
            return 0;
        });
    }
    m_player->setFps(m_player->fps()); // the cues again, from the fixed file
}

void PreviewWindow::PlayThisMovie(const QString &title)
{
    QString ownTitle;
    if (m_thisOpenSub) {
        const QString language = guarded(m_session, [this] { return m_thisOpenSub->ISO639; });
        ownTitle = translationStrings::SubtitlePreviewWindow()
                       .replace("^lang^"_L1, language)
                       .replace("^movfile^"_L1, NameNoExtension(QFileInfo(m_player->moviefile())));
    } else {
        ownTitle = title;
    }
    if (!ownTitle.isEmpty())
        setWindowTitle(ownTitle);
    m_player->setTitle(title.isEmpty() ? ownTitle : title);
    m_consoleTimer->start();
    m_player->IDMovie();
}

void PreviewWindow::PlayMovie()
{
    QList<QRect> screens;
    for (const ScreenArea &screen : platform().screens())
        screens.append(screen.available);
    // The window's own area counts, not its frame: a 600-pixel window shows
    // the video 600 pixels wide.
    const VideoPlacement placement = m_player->PlayMovie(geometry(), screens, devicePixelRatioF());
    // Room for the video above the window.
    if (placement.moveWindow) {
        WindowPlacement::keepWhereItIs(this);
        move(pos().x(), placement.windowTop - (geometry().y() - pos().y()));
    }
}

void PreviewWindow::ListParsedSub()
{
    const std::shared_ptr<const subClass> set = m_player->thisSubClass();
    if (!set)
        return;
    if (!m_player->listResults() && !set->allReady())
        m_player->setListResults(true);
    // A set without cues never replaces the rows listed before.
    if (!m_player->listResults() || !set->allReady() || set->count() == 0)
        return;
    // The player reports the frame rate again when playback starts: the
    // same cues keep the rows, their scroll position and selection.
    if (m_thisSubClass && sameCues(*set)) {
        m_thisSubClass = set;
        m_player->setListResults(false);
        return;
    }

    m_thisSubClass = set;
    m_followedRow = -1;
    m_subLinesList->deleteAllRows();
    m_helpTags.clear();
    // Rows as high as a line of text, the time column as wide as a time, in
    // the font the rows are drawn in, with room for the markers.
    const QFontMetrics metrics(rowFont());
    const QString sample = u"00:00:00,000"_s;
    const QRect text = metrics.boundingRect(QRect(0, 0, m_subLinesList->viewport()->width(), 10000),
                                            Qt::TextWordWrap, sample);
    m_subLinesList->setDefaultRowHeight(text.height());
    m_subLinesList->setColumnWidths(QString::number(metrics.horizontalAdvance(sample) + 2 * kTextInset) +
                                    ",*"_L1);
    const QList<subLine> &cues = set->subLines();
    for (int i = 0; i < cues.size(); ++i) {
        const subLine &cue = cues.at(i);
        const int row = m_subLinesList->addRow({cue.startTime, cue.lines(u" | "_s)}, i);
        m_subLinesList->setCellTag(row, 0, cue.startSeconds);
        m_helpTags.append(cueHelpTag(cue));
    }
    m_player->setListResults(false);
    m_subListScrollbar->update();
}

void PreviewWindow::RefreshMplayerConsole()
{
    if (m_player->duration() > 0) {
        // Finer than whole percents, so the knob follows the time shown beside it.
        m_progressCanvas->setMaximum(SliderSteps);
        m_progressCanvas->setValue(
            int(std::clamp(m_player->position() / m_player->duration(), 0.0, 1.0) * SliderSteps));
        m_timeLabel->setText(m_player->timeLabel());
    } else {
        m_progressCanvas->setMaximum(100);
        m_progressCanvas->setValue(0);
    }
    followPosition();
    update();
    m_subLinesList->viewport()->update();
    m_subListScrollbar->update();
}

void PreviewWindow::followPosition()
{
    if (!(m_player->position() > 0))
        return;
    // The current cue is the one whose interval holds the position; between
    // cues there is none, and the row that was current lets go of its mark.
    int playing = -1;
    for (int row = 0; row < m_subLinesList->rowCount(); ++row) {
        if (markerAt(row) == Marker::Playing)
            playing = row;
    }
    if (playing >= 0) {
        if (!m_subLinesList->isSelected(playing)) {
            m_subLinesList->clearSelection();
            m_subLinesList->setSelected(playing, true);
        }
        m_followedRow = playing;
    } else if (m_followedRow >= 0) {
        if (m_subLinesList->isSelected(m_followedRow))
            m_subLinesList->setSelected(m_followedRow, false);
        m_followedRow = -1;
    }
}

void PreviewWindow::playPressed()
{
    if (m_player->isPlaying()) {
        m_player->togglePause();
    } else if (m_identified) {
        // The video played to its end (or the player was closed): start
        // again, from the clicked cue when there is one.
        PlayMovie();
    }
    m_playButton->update();
}

void PreviewWindow::cueClicked(int row)
{
    const subLine *cue = cueAt(row);
    if (!cue)
        return;
    const double start = m_subLinesList->cellTag(row, 0).toDouble();
    if (m_player->isPlaying())
        m_player->seekToCue(start);
    else
        m_player->setStartAt(std::max(std::trunc(start) - 1, 0.0));
}

void PreviewWindow::closeWith(QWidget *opener)
{
    if (!opener)
        return;
    m_openerWindow = opener;
    opener->installEventFilter(this);
    connect(opener, &QObject::destroyed, this, &QWidget::close);
}

void PreviewWindow::showStatus(const QString &status)
{
    if (const auto glyph = PlayerControl::playButtonGlyph(status))
        m_playButton->setCaption(QString(*glyph));
    update();
}

void PreviewWindow::judge(Verdict verdict)
{
    if (m_opener == Opener::Download && m_thisOpenSub) {
        guarded(m_session, [this] {
            m_thisOpenSub->isChecked = false;
            return 0;
        });
        // Unticked now, so it can be selected again.
        m_selectSubBut->setEnabled(true);
    }
    // No judgement closes the preview: several can apply to one subtitle,
    // and "Close Preview" or "Select" ends it.
    emit rejected(verdict);
}

void PreviewWindow::selectResult()
{
    if (m_opener != Opener::Download) {
        emit selected();
        return;
    }
    if (m_thisOpenSub) {
        guarded(m_session, [this] {
            if (m_thisOpenSub->isChecked)
                return 0;
            // Checking goes through the video's record, which unchecks the
            // other results of the same language.
            std::shared_ptr<movieFile> owner = m_thisOpenSub->movieFile.lock();
            if (owner)
                ResultChecks::toggle(*owner, *m_thisOpenSub);
            if (!m_thisOpenSub->isChecked && m_thisMovieFile && m_thisMovieFile != owner)
                ResultChecks::toggle(*m_thisMovieFile, *m_thisOpenSub);
            return 0;
        });
    }
    emit selected();
    close();
}

bool PreviewWindow::sameCues(const subClass &set) const
{
    const QList<subLine> &listed = m_thisSubClass->subLines();
    const QList<subLine> &cues = set.subLines();
    if (listed.size() != cues.size())
        return false;
    for (qsizetype i = 0; i < cues.size(); ++i) {
        const subLine &a = listed.at(i);
        const subLine &b = cues.at(i);
        if (a.startSeconds != b.startSeconds || a.endSeconds != b.endSeconds || a.subText != b.subText)
            return false;
    }
    return true;
}

const subLine *PreviewWindow::cueAt(int row) const
{
    if (!m_thisSubClass || row < 0 || row >= m_subLinesList->rowCount())
        return nullptr;
    bool ok = false;
    const int index = m_subLinesList->rowTag(row).toInt(&ok);
    const QList<subLine> &cues = m_thisSubClass->subLines();
    return ok && index >= 0 && index < cues.size() ? &cues.at(index) : nullptr;
}

QString PreviewWindow::cueHelpTag(int row) const
{
    return row >= 0 && row < m_helpTags.size() ? m_helpTags.at(row) : QString();
}

QString PreviewWindow::cueHelpTag(const subLine &cue)
{
    return cue.startTime + " -> "_L1 + cue.endTime + " ("_L1 + QString::number(cue.durationSeconds) + "s)"_L1;
}

PreviewWindow::Marker PreviewWindow::markerFor(const subLine &cue, double position, double duration)
{
    if (!(position > 0))
        return Marker::None;
    const bool started = cue.startSeconds < position;
    const bool ended = !(position < cue.endSeconds);
    if (started)
        return ended ? Marker::Played : Marker::Playing;
    return cue.endSeconds < duration ? Marker::Coming : Marker::PastEnd;
}

QColor PreviewWindow::markerColour(Marker marker)
{
    switch (marker) {
    case Marker::Playing:
        return {88, 142, 51};
    case Marker::Played:
        return {176, 176, 176};
    case Marker::Coming:
        return {189, 222, 247};
    case Marker::PastEnd:
        return {249, 176, 181};
    case Marker::None:
        break;
    }
    return {};
}

PreviewWindow::Marker PreviewWindow::markerAt(int row) const
{
    const subLine *cue = cueAt(row);
    return cue ? markerFor(*cue, m_player->position(), m_player->duration()) : Marker::None;
}

void PreviewWindow::paintCueBackground(QPainter &g, int row, int column, const QSize &cell) const
{
    const QRect area(QPoint(0, 0), cell);
    if (row < 0 || row >= m_subLinesList->rowCount() || column < 0 || column > 1) {
        g.fillRect(area, Qt::white);
        return;
    }
    QColor colour;
    if (m_subLinesList->isSelected(row))
        colour = QColor(114, 191, 161);
    else
        colour = row % 2 ? QColor(237, 237, 235) : QColor(218, 219, 215);
    g.fillRect(area, colour);
    const Marker marker = markerAt(row);
    if (marker == Marker::None)
        return;
    const int x = column == 0 ? 0 : cell.width() - 5;
    g.fillRect(QRect(x, 0, 5, cell.height()), markerColour(marker));
}

void PreviewWindow::paintCueText(QPainter &g, int row, int column, const QSize &cell) const
{
    if (row < 0 || row >= m_subLinesList->rowCount())
        return;
    g.setFont(rowFont());
    g.setPen(m_subLinesList->isSelected(row) ? kBackground : QColor(83, 84, 86));
    const QString text = m_subLinesList->cell(row, column).section(u'\n', 0, 0);
    g.drawText(QRect(kTextInset, 0, cell.width() - 2 * kTextInset, cell.height()),
               Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
}

QFont PreviewWindow::rowFont() const
{
    QFont font(u"Helvetica"_s);
    font.setPixelSize(QFontInfo(m_subLinesList->font()).pixelSize());
    return font;
}

bool PreviewWindow::menuCommand(const QString &name)
{
    if (name.compare("FileClose"_L1, Qt::CaseInsensitive) == 0) {
        close();
        return true;
    }
    return false;
}

void PreviewWindow::setVisible(bool visible)
{
    if (visible && !m_opened) {
        m_opened = true;
        WindowPlacement::placeVariantB(this, kPrefix, translationStrings::menuPreviewSubText());
        m_player->setMPlayerStatus(u"STOPPED"_s);
    }
    QWidget::setVisible(visible);
}

void PreviewWindow::paintEvent(QPaintEvent *)
{
    QPainter g(this);
    g.fillRect(rect(), kBackground);
}

void PreviewWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutControls();
}

void PreviewWindow::closeEvent(QCloseEvent *event)
{
    WindowPlacement::leaveVariantB(this, kPrefix);
    m_consoleTimer->stop();
    m_listParsedSub->stop();
    m_timingProbe->cancel();
    QWidget::closeEvent(event);
}

bool PreviewWindow::eventFilter(QObject *watched, QEvent *event)
{
    // The opener hidden by the program (closed, not minimized) takes the
    // preview and its player with it.
    if (watched == m_openerWindow && event->type() == QEvent::Hide && !event->spontaneous()) {
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        return false;
    }
    if (watched == m_subLinesList->viewport() && event->type() == QEvent::ToolTip) {
        const auto *help = static_cast<QHelpEvent *>(event);
        const int row = m_subLinesList->rowAt(help->pos().y());
        const QString tag = m_subLinesList->columnAt(help->pos().x()) == 0 ? cueHelpTag(row) : QString();
        if (tag.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tag, m_subLinesList->viewport());
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
