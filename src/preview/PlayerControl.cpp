#include "preview/PlayerControl.h"

#include "preview/ProcessPlayerShell.h"
#include "preview/subClass.h"
#include "preview/subsModule.h"
#include "service/SubtitleDownload.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QTemporaryFile>

#include <algorithm>
#include <cmath>

using namespace Qt::Literals::StringLiterals;

Q_LOGGING_CATEGORY(lcPlayer, "lumbra.player", QtInfoMsg)

namespace {

// MPlayer reads -sub as a comma-separated list; a comma in the path must
// be escaped to stay part of the name.
QString subtitleListItem(const QString &path)
{
    QString escaped = path;
    escaped.replace(u',', "\\,"_L1);
    return escaped;
}

QString absolute(const QString &path)
{
    return path.isEmpty() ? path : QFileInfo(path).absoluteFilePath();
}

} // namespace

PlayerControl::PlayerControl(const PlayerInfo &player, QObject *parent)
    : PlayerControl(
          player, [] { return std::make_unique<ProcessPlayerShell>(); }, parent)
{
}

PlayerControl::PlayerControl(const PlayerInfo &player, ShellFactory factory, QObject *parent)
    : QObject(parent)
    , m_player(player)
    , m_factory(std::move(factory))
    , m_mPlayerStatus(u"STOPPED"_s)
{
}

PlayerControl::~PlayerControl()
{
    // The shells go before the state their handlers touch, and the player
    // before the copy it reads.
    m_mplayershell.reset();
    m_videoIDShell.reset();
    m_subtitleCopy.reset();
}

void PlayerControl::retire(std::unique_ptr<PlayerShell> &shell)
{
    if (!shell)
        return;
    // The old run may be the one whose signal brought us here: it is
    // silenced and ended now, and deleted once control is back in the loop.
    disconnect(shell.get(), nullptr, this, nullptr);
    shell->stop();
    shell.release()->deleteLater();
}

void PlayerControl::setMovieFile(const QString &path)
{
    m_moviefile = absolute(path);
}

void PlayerControl::setSubFile(const QString &path)
{
    m_subfile = absolute(path);
}

void PlayerControl::setMovieVideoSize(int width, int height)
{
    m_movieVideoWidth = width;
    m_movieVideoHeight = height;
}

std::unique_ptr<PlayerShell> PlayerControl::startShell(Run run, const QStringList &arguments)
{
    std::unique_ptr<PlayerShell> shell = m_factory();
    PlayerShell *s = shell.get();
    PlayerOutputReader &reader = run == Run::Identification ? m_idReader : m_playReader;
    reader = PlayerOutputReader();
    connect(s, &PlayerShell::output, this,
            [this, run, &reader](const QByteArray &chunk) { read(run, reader.feed(chunk)); });
    connect(s, &PlayerShell::finished, this, [this, run, &reader] {
        read(run, reader.finish());
        if (run == Run::Identification) {
            emit identificationFinished();
        } else {
            // A player that dies without saying so has still stopped.
            setMPlayerStatus(u"ID_EXIT"_s);
            m_subtitleCopy.reset();
            emit playbackFinished();
        }
    });
    connect(s, &PlayerShell::failedToStart, this, [this](const QString &reason) {
        qCWarning(lcPlayer) << "player did not start:" << m_player.path << reason;
        emit playerFailed(reason);
    });
    s->start(m_player.path, arguments);
    return shell;
}

void PlayerControl::IDMovie()
{
    if (!m_player.isValid()) {
        emit playerFailed(tr("No player was found."));
        return;
    }
    if (m_moviefile.isEmpty()) {
        emit playerFailed(tr("There is no video to play."));
        return;
    }
    retire(m_videoIDShell);
    m_videoIDShell = startShell(Run::Identification, identificationArguments(m_player.dialect, m_moviefile));
}

VideoPlacement PlayerControl::PlayMovie(const QRect &window, const QList<QRect> &screens, double scale)
{
    scale = scale > 0 ? scale : 1;
    // The video's own pixels are device pixels: a 1920-pixel video fills 960
    // logical ones at a scale of 2.
    const VideoPlacement placement = VideoPlacement::compute(window, screens, int(m_movieVideoWidth / scale),
                                                             int(m_movieVideoHeight / scale));
    if (!m_player.isValid()) {
        emit playerFailed(tr("No player was found."));
        return placement;
    }
    retire(m_mplayershell);

    const QString subtitle = copySubtitleForPlayer();

    PlaybackOptions options;
    options.placement = placement.inDevicePixels(scale);
    options.title = m_thisTitle;
    if (!m_fontFile.isEmpty() && QFileInfo(m_fontFile).isFile())
        options.fontFile = m_fontFile;
    options.subtitleFile = subtitle;
    options.video = m_moviefile;
    options.start = std::max(m_startAt, 0.0);
    m_startAt = 0;
    m_playbackStarted = false;
    m_mplayershell = startShell(Run::Playback, playbackArguments(m_player.dialect, options));
    return placement;
}

void PlayerControl::read(Run run, const QList<PlayerLine> &lines)
{
    for (const PlayerLine &line : lines) {
        switch (line.kind) {
        case PlayerLine::Identify:
            identify(run, line);
            break;
        case PlayerLine::Status:
            if (line.position > 0) {
                m_position = line.position;
                emit positionChanged(m_position);
            }
            if (run == Run::Playback) {
                setMPlayerStatus(u"PLAYING"_s);
                if (!m_playbackStarted) {
                    m_playbackStarted = true;
                    emit playbackStarted();
                }
            }
            break;
        case PlayerLine::Other:
            break;
        }
    }
}

void PlayerControl::identify(Run run, const PlayerLine &line)
{
    const auto is = [&line](QLatin1StringView name) {
        return line.name.compare(name, Qt::CaseInsensitive) == 0;
    };
    const double number = subsModule::readNumber(line.value);
    if (is("ID_LENGTH"_L1)) {
        m_duration = number;
        emit durationChanged(m_duration);
    } else if (is("ID_VIDEO_FPS"_L1)) {
        setFps(number);
    } else if (is("ID_VIDEO_WIDTH"_L1)) {
        m_videoWidth = subsModule::truncateToInt(number);
        if (run == Run::Identification) {
            m_movieVideoWidth = m_videoWidth;
            emit movieVideoSizeChanged(m_movieVideoWidth, m_movieVideoHeight);
        }
    } else if (is("ID_VIDEO_HEIGHT"_L1)) {
        m_videoHeight = subsModule::truncateToInt(number);
        if (run == Run::Identification) {
            m_movieVideoHeight = m_videoHeight;
            emit movieVideoSizeChanged(m_movieVideoWidth, m_movieVideoHeight);
        }
    } else if (is("ID_VIDEO_ASPECT"_L1)) {
        m_videoratio = number;
    } else if (run == Run::Playback && is("ID_PAUSED"_L1)) {
        setMPlayerStatus(u"ID_PAUSED"_s);
    } else if (run == Run::Playback && is("ID_EXIT"_L1)) {
        setMPlayerStatus(u"ID_EXIT"_s);
    }
}

void PlayerControl::setFps(double fps)
{
    if (!(fps > 1) || !std::isfinite(fps))
        return;
    m_fps = fps;
    if (m_subfile.isEmpty() || !QFileInfo::exists(m_subfile))
        return;
    m_thisSubClass = std::make_shared<const subClass>(m_subfile, fps);
    m_listResults = true;
    emit subtitlesRebuilt();
}

void PlayerControl::setMPlayerStatus(const QString &status)
{
    if (status == m_mPlayerStatus)
        return;
    m_mPlayerStatus = status;
    emit statusChanged(status);
}

bool PlayerControl::isPlaying() const
{
    return m_mplayershell && m_mplayershell->isRunning();
}

bool PlayerControl::command(const QByteArray &line)
{
    if (!isPlaying())
        return false;
    qCDebug(lcPlayer) << "command" << line;
    m_mplayershell->writeLine(line);
    return true;
}

bool PlayerControl::seekBack()
{
    return command("seek -60 0");
}

bool PlayerControl::togglePause()
{
    return command("pause");
}

bool PlayerControl::seekForward()
{
    return command("seek +60 0");
}

bool PlayerControl::seekToCue(double startSeconds)
{
    if (m_player.dialect == PlayerDialect::MPlayer2)
        return command("seek " + QByteArray::number(std::max(startSeconds, 0.0), 'f', 3) + " 2 1");
    const qint64 second = qint64(subsModule::truncateToInt(startSeconds)) - 1;
    return command("seek " + QByteArray::number(second) + " 2");
}

int PlayerControl::progressValue() const
{
    if (m_duration > 0 && m_position > 0)
        return std::clamp(subsModule::truncateToInt(100 / m_duration * m_position), 0, 100);
    return 0;
}

QString PlayerControl::timeLabel() const
{
    if (!(m_duration > 0))
        return {};
    const QString length = subsModule::secondsToTimestring(m_duration);
    if (m_position > 0)
        return subsModule::secondsToTimestring(m_position) + u'/' + length;
    return "00:00:00,000/"_L1 + length;
}

std::optional<QChar> PlayerControl::playButtonGlyph(const QString &status)
{
    if (status.compare("ID_PAUSED"_L1, Qt::CaseInsensitive) == 0)
        return QChar(0xF04B);
    if (status.compare("PLAYING"_L1, Qt::CaseInsensitive) == 0)
        return QChar(0xF04C);
    if (status.compare("ID_EXIT"_L1, Qt::CaseInsensitive) == 0)
        return QChar(0xF04D);
    return std::nullopt;
}

QStringList PlayerControl::identificationArguments(PlayerDialect dialect, const QString &video)
{
    if (dialect == PlayerDialect::MPlayer2) {
        return {u"--noconfig=all"_s, u"--vo=null"_s, u"--ao=null"_s,  u"--frames=0"_s, u"--identify"_s,
                u"--msgmodule"_s,    u"-msglevel"_s, u"identify=6"_s, u"--nosub"_s,    absolute(video)};
    }
    // MPlayer 1.x reports the real aspect only once a frame is decoded.
    return {u"-noconfig"_s, u"all"_s,        u"-vo"_s,    u"null"_s,       u"-ao"_s,
            u"null"_s,      u"-frames"_s,    u"1"_s,      u"-identify"_s,  u"-msgmodule"_s,
            u"-msglevel"_s, u"identify=6"_s, u"-nosub"_s, u"-noautosub"_s, absolute(video)};
}

QStringList PlayerControl::playbackArguments(PlayerDialect dialect, const PlaybackOptions &o)
{
    const VideoPlacement &p = o.placement;
    const QString geometry = u"%1:%2"_s.arg(p.videoX).arg(p.videoY);
    // The video window is not kept on top of every other: it would stand
    // above Lumbra's own dialogs. Its place covers no Lumbra window instead.
    QStringList args;
    if (dialect == PlayerDialect::MPlayer2) {
        if (p.scaledWidth > 0)
            args << u"--xy=%1"_s.arg(p.scaledWidth);
        args << "--geometry="_L1 + geometry;
        if (o.start > 0)
            args << "--start="_L1 + QString::number(o.start);
        args << u"--slave"_s << u"--input=nodefault-bindings"_s << u"--noconfig=all"_s << u"--double=yes"_s
             << u"--hardframedrop"_s << u"--vo=gl3"_s << u"--msgmodule"_s << u"-msglevel"_s << u"identify=6"_s
             << u"--nosub"_s << u"--ffactor=10"_s << u"--sub-bg-alpha=0"_s << u"--sub-bg-color=0"_s
             << u"--subpos=90"_s << u"--subalign=1"_s << "--title="_L1 + o.title;
        if (!o.fontFile.isEmpty())
            args << "--font="_L1 + absolute(o.fontFile);
        if (!o.subtitleFile.isEmpty())
            args << "--sub="_L1 + subtitleListItem(absolute(o.subtitleFile));
        args << absolute(o.video);
        return args;
    }
    args << u"-noconfig"_s << u"all"_s << u"-slave"_s << u"-input"_s
         << u"nodefault-bindings:conf=/dev/null"_s;
    if (p.scaledWidth > 0)
        args << u"-xy"_s << QString::number(p.scaledWidth);
    args << u"-geometry"_s << geometry;
    if (o.start > 0)
        args << u"-ss"_s << QString::number(o.start);
    args << u"-double"_s << u"-hardframedrop"_s << u"-vo"_s << u"xv,gl,x11,"_s << u"-msgmodule"_s
         << u"-msglevel"_s << u"identify=6"_s << u"-nosub"_s << u"-noautosub"_s;
    if (!o.fontFile.isEmpty())
        args << u"-nofontconfig"_s;
    args << u"-ffactor"_s << u"10"_s << u"-sub-bg-alpha"_s << u"0"_s << u"-sub-bg-color"_s << u"0"_s
         << u"-subpos"_s << u"90"_s << u"-subalign"_s << u"1"_s << u"-title"_s << o.title;
    if (!o.fontFile.isEmpty())
        args << u"-font"_s << absolute(o.fontFile);
    if (!o.subtitleFile.isEmpty())
        args << u"-sub"_s << subtitleListItem(absolute(o.subtitleFile));
    args << absolute(o.video);
    return args;
}

QString PlayerControl::copySubtitleForPlayer()
{
    m_subtitleCopy.reset();
    if (m_subfile.isEmpty())
        return {};
    // The copy lives in our own temporary folder under a name of its own, so
    // nothing in the user's folders is written or replaced; it keeps the
    // subtitle's name at its end for the player's format guess.
    const QString folder = SubtitleDownload::applicationTempDir();
    auto copy =
        std::make_unique<QTemporaryFile>(folder + u"/preview-XXXXXX-"_s + QFileInfo(m_subfile).fileName());
    QFile source(m_subfile);
    if (folder.isEmpty() || !source.open(QIODevice::ReadOnly) || !copy->open()) {
        qCWarning(lcPlayer) << "cannot copy" << m_subfile << "for the player -" << source.errorString()
                            << copy->errorString() << "- showing the subtitle itself";
        return m_subfile;
    }
    const QByteArray content = source.readAll();
    if (copy->write(content) != content.size() || !copy->flush()) {
        qCWarning(lcPlayer) << "cannot write" << copy->fileName() << copy->errorString()
                            << "- showing the subtitle itself";
        return m_subfile;
    }
    copy->close();
    m_subtitleCopy = std::move(copy);
    return m_subtitleCopy->fileName();
}
