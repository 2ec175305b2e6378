#pragma once

#include "preview/PlayerDetection.h"
#include "preview/PlayerOutputReader.h"
#include "preview/VideoPlacement.h"

#include <QList>
#include <QObject>
#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class PlayerShell;
class QTemporaryFile;
class subClass;

// Drives the external player for one subtitle preview: a silent
// identification run that reports the video's length, frame rate and size,
// then the playback run with the subtitle loaded, whose status lines move
// the position. Each run is a PlayerShell made by the factory; everything
// happens on the thread that owns this object. The preview window owns one,
// listens to its signals and calls PlayMovie() when identificationFinished()
// arrives, since only the window knows where it stands.
class PlayerControl final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PlayerControl)
public:
    using ShellFactory = std::function<std::unique_ptr<PlayerShell>()>;

    // Runs `player` in real processes.
    explicit PlayerControl(const PlayerInfo &player, QObject *parent = nullptr);
    PlayerControl(const PlayerInfo &player, ShellFactory factory, QObject *parent = nullptr);
    // Ends both runs.
    ~PlayerControl() override;

    // What to play.
    void setMovieFile(const QString &path);
    const QString &moviefile() const { return m_moviefile; }
    void setSubFile(const QString &path);
    const QString &subfile() const { return m_subfile; }
    // The title of the player's window.
    void setTitle(const QString &title) { m_thisTitle = title; }
    const QString &thisTitle() const { return m_thisTitle; }
    // The font file the player draws the subtitle in; left out when missing.
    void setFontFile(const QString &path) { m_fontFile = path; }
    // The video's size as its record knows it (videowidth, videoheight);
    // the identification run fills it in, PlayMovie() scales by it.
    void setMovieVideoSize(int width, int height);
    int movieVideoWidth() const { return m_movieVideoWidth; }
    int movieVideoHeight() const { return m_movieVideoHeight; }

    // Starts the identification run. Without a player or a video nothing
    // runs and playerFailed() is emitted.
    void IDMovie();
    // Starts the playback run for a preview window with the outer rectangle
    // `window` on screens with the available areas `screens`. Copies the
    // subtitle to a file of its own in the application's temporary folder
    // first, removed when the run ends. Returns where the video
    // goes; the window moves itself to placement.windowTop when
    // placement.moveWindow is set.
    // `window` and `screens` in the desktop's logical pixels; `scale` device
    // pixels to one of them (2 under a scale factor of 2): the player places
    // and sizes its window in device pixels. The placement returned is in
    // logical pixels.
    VideoPlacement PlayMovie(const QRect &window, const QList<QRect> &screens, double scale = 1);
    // Where the next playback run starts, in seconds of the video (0: at the
    // start). Used once; a run that ended can be started again from a cue.
    void setStartAt(double seconds) { m_startAt = seconds; }
    double startAt() const { return m_startAt; }

    // Commands to the playback run; each writes its line only while the
    // run is going and tells whether it did.
    bool seekBack();    // "seek -60 0"
    bool togglePause(); // "pause"
    bool seekForward(); // "seek +60 0"
    // MPlayer: "seek N 2", N one second before the cue (it lands on a key
    // frame); mplayer2: "seek S 2 1", exactly at the cue's start S.
    bool seekToCue(double startSeconds);
    bool isPlaying() const;

    // The video's length and the playback position in seconds, 0 until known.
    double duration() const { return m_duration; }
    double position() const { return m_position; }
    // The frame rate. Setting a value above 1 stores it and, when the
    // subtitle file exists, builds a new subtitle set with it (SUB files
    // count frames) and sets listResults(); other values are ignored.
    double fps() const { return m_fps; }
    void setFps(double fps);
    // "STOPPED", "PLAYING", "ID_PAUSED" or "ID_EXIT".
    const QString &mPlayerStatus() const { return m_mPlayerStatus; }
    void setMPlayerStatus(const QString &status);
    // The current subtitle set, replaced on every frame rate; null before.
    std::shared_ptr<const subClass> thisSubClass() const { return m_thisSubClass; }
    // Set when a new subtitle set waits to be listed; the window clears it.
    bool listResults() const { return m_listResults; }
    void setListResults(bool value) { m_listResults = value; }
    // What the player reported of the video.
    int videoWidth() const { return m_videoWidth; }
    int videoHeight() const { return m_videoHeight; }
    double videoratio() const { return m_videoratio; }

    // The progress on a scale of 0 to 100 (0 while length or position is
    // unknown) and the time label "position/length" as time strings
    // ("00:00:00,000/…" before a position; empty before a length).
    int progressValue() const;
    QString timeLabel() const;
    // The play button's glyph for a status (play, pause or stop in
    // FontAwesome); none for "STOPPED", which keeps the caption.
    static std::optional<QChar> playButtonGlyph(const QString &status);

    // The argument vectors of the two runs in the player's dialect.
    static QStringList identificationArguments(PlayerDialect dialect, const QString &video);
    struct PlaybackOptions {
        VideoPlacement placement;
        QString title;
        QString fontFile; // left out when empty
        QString subtitleFile;
        QString video;
        double start = 0; // seconds; the video's start when 0
    };
    static QStringList playbackArguments(PlayerDialect dialect, const PlaybackOptions &options);

signals:
    void statusChanged(const QString &status);
    void positionChanged(double seconds);
    void durationChanged(double seconds);
    // A new subtitle set is in thisSubClass() (listResults() is set).
    void subtitlesRebuilt();
    // The identification run reported the video's size; it belongs in the
    // video's record (videowidth, videoheight).
    void movieVideoSizeChanged(int width, int height);
    // The playback run showed its first picture (once per run): the
    // moment to bring the preview in front of the player's new window.
    void playbackStarted();
    // The identification run ended: time to call PlayMovie().
    void identificationFinished();
    void playbackFinished();
    // A run could not start.
    void playerFailed(const QString &reason);

private:
    enum class Run { Identification, Playback };
    void retire(std::unique_ptr<PlayerShell> &shell);
    std::unique_ptr<PlayerShell> startShell(Run run, const QStringList &arguments);
    void read(Run run, const QList<PlayerLine> &lines);
    void identify(Run run, const PlayerLine &line);
    bool command(const QByteArray &line);
    // Copies the subtitle for a playback run; the subtitle itself when no
    // copy can be made.
    QString copySubtitleForPlayer();

    PlayerInfo m_player;
    ShellFactory m_factory;
    std::unique_ptr<PlayerShell> m_videoIDShell;
    std::unique_ptr<PlayerShell> m_mplayershell;
    std::unique_ptr<QTemporaryFile> m_subtitleCopy; // what the playback run reads
    PlayerOutputReader m_idReader;
    PlayerOutputReader m_playReader;

    QString m_moviefile;
    QString m_subfile;
    QString m_thisTitle;
    QString m_fontFile;
    int m_movieVideoWidth = 0;
    int m_movieVideoHeight = 0;
    double m_duration = 0;
    double m_position = 0;
    double m_fps = 0;
    std::shared_ptr<const subClass> m_thisSubClass;
    bool m_listResults = false;
    QString m_mPlayerStatus;
    double m_startAt = 0;
    bool m_playbackStarted = false;
    int m_videoWidth = 0;
    int m_videoHeight = 0;
    double m_videoratio = 0;
};
