#pragma once

#include "timing/TimingCheck.h"
#include "window/MenuCommandTarget.h"

#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>

class CueScrollWidget;
class JobSession;
class PlayerControl;
class PreviewProgressWidget;
class QLabel;
class QTimer;
class TimingProbe;
class movieFile;
class omiButton;
class omiListbox;
class openSubtitleItem;
class subClass;
struct subLine;

// The subtitle preview: the video plays in the external player with the
// subtitle loaded, while this window lists the subtitle's cues, marks each
// by where playback stands, and carries the transport buttons and the
// buttons with which the user judges a search result.
//
// A download window opens it for a result (the judgements uncheck the
// result, "Select for Download" checks it) or for a video's own subtitle;
// the upload window opens it for a local subtitle and its video. The window
// changes nothing but the previewed result's check mark, and only when a
// download window opened it; it reports every judgement through its signals
// so the opener can mark its list as changed.
//
// Windows delete themselves when they close; closing ends the player.
class PreviewWindow final : public QWidget, public MenuCommandTarget {
    Q_OBJECT
public:
    enum class Opener { Download, Upload };
    Q_ENUM(Opener)
    enum class Verdict { WrongLanguage, MachineTranslated, NotSynchronized };
    Q_ENUM(Verdict)

    // What to preview.
    struct Request {
        QString video;                            // the video file
        QString subtitle;                         // the subtitle file; the window stays idle without one
        QString title;                            // the player window's title
        std::shared_ptr<openSubtitleItem> result; // the result judged, if any
        std::shared_ptr<movieFile> movie;         // the video's record, if any
        Opener opener = Opener::Download;
        // The opener's job, whose lock is taken while the window reads or
        // changes the result or the video's record. Held weakly: once the
        // job has gone the window no longer takes its lock (the records it
        // holds are its own by then).
        std::weak_ptr<JobSession> session;
    };

    // Makes the player control of a new window; tests put in a stand-in.
    // An empty maker goes back to the player found on this system.
    using PlayerMaker = std::function<PlayerControl *(QObject *parent)>;
    static void setPlayerMaker(PlayerMaker maker);

    // Opens a preview window and starts playing. Nothing happens (null)
    // when the video file does not exist; without the subtitle file the
    // window opens idle and nothing plays.
    static PreviewWindow *open(const Request &request);

    // A local subtitle over its video, for the upload window.
    static PreviewWindow *openLocal(const QString &subtitle, const QString &video,
                                    Opener opener = Opener::Upload);

    // A search result over the video at its movieFolderItemPath. Its
    // subtitle is fetched to the temporary folder first unless a copy is
    // there already (see ResultPreview), so the window opens later; `opened`
    // gets it, or null when there was nothing to show. The video's record
    // is `movie`, or the result's own when null. `context` bounds the wait
    // and `session` is the opener's job (see Request::session).
    static void openResult(const std::shared_ptr<openSubtitleItem> &result,
                           const std::shared_ptr<movieFile> &movie, const std::weak_ptr<JobSession> &session,
                           QObject *context, std::function<void(PreviewWindow *)> opened);

    ~PreviewWindow() override;

    // The preview closes when `opener` (the window that opened it) closes
    // or goes.
    void closeWith(QWidget *opener);

    // The player; the window drives it and follows its signals.
    PlayerControl *player() const { return m_player; }
    Opener opener() const { return m_opener; }
    std::shared_ptr<openSubtitleItem> result() const { return m_thisOpenSub; }
    std::shared_ptr<movieFile> movie() const { return m_thisMovieFile; }

    // Controls, for the opener and for tests.
    omiButton *playButton() const { return m_playButton; }
    omiButton *backButton() const { return m_rwdbutton; }
    omiButton *forwardButton() const { return m_fwdbutton; }
    omiButton *wrongLanguageButton() const { return m_wrongLangBut; }
    omiButton *machineTranslatedButton() const { return m_machineTranslateBut; }
    omiButton *notSynchronizedButton() const { return m_notSyncdBut; }
    omiButton *closeButton() const { return m_closeWindowBut; }
    omiButton *selectButton() const { return m_selectSubBut; }
    omiButton *fixTimingButton() const { return m_fixTimingBut; }
    // What measuring the subtitle against the speech found, once known.
    QLabel *timingLabel() const { return m_timingLabel; }
    omiListbox *cueList() const { return m_subLinesList; }
    QLabel *timeLabel() const { return m_timeLabel; }
    PreviewProgressWidget *progress() const { return m_progressCanvas; }
    CueScrollWidget *scrollIndicator() const { return m_subListScrollbar; }

    // The cue a list row shows, or null.
    const subLine *cueAt(int row) const;
    // The help text of a row: "start -> end (duration s)".
    QString cueHelpTag(int row) const;
    static QString cueHelpTag(const subLine &cue);

    // Where a cue stands at `position` seconds of a video `duration` long.
    enum class Marker { None, Playing, Played, Coming, PastEnd };
    Q_ENUM(Marker)
    static Marker markerFor(const subLine &cue, double position, double duration);
    static QColor markerColour(Marker marker);
    Marker markerAt(int row) const;

    // "FileClose" closes the window.
    bool menuCommand(const QString &name) override;

    void setVisible(bool visible) override;

signals:
    // A judgement button was pressed ("Wrong Language" also closes the
    // window). When a download window opened the preview for a result,
    // the result is unchecked by then.
    void rejected(PreviewWindow::Verdict verdict);
    // The select button was pressed. When a download window opened the
    // preview for a result, the result is checked (the others of its
    // language unchecked) by then and the window closes.
    void selected();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit PreviewWindow(Opener opener, QWidget *parent = nullptr);

    omiButton *makeButton(const QString &caption, const QString &font, int size);
    void layoutControls();
    void PlayThisMovie(const QString &title);
    void PlayMovie();
    void ListParsedSub();
    void RefreshMplayerConsole();
    void followPosition();
    void playPressed();
    void cueClicked(int row);
    bool sameCues(const subClass &set) const;
    void showStatus(const QString &status);
    void judge(Verdict verdict);
    void selectResult();
    void measureTiming(const QString &video, const QString &subtitle);
    void showTiming(const TimingMeasurement &measurement);
    void fixTiming();
    void paintCueBackground(QPainter &g, int row, int column, const QSize &cell) const;
    void paintCueText(QPainter &g, int row, int column, const QSize &cell) const;
    QFont rowFont() const;

    Opener m_opener;
    PlayerControl *m_player = nullptr;
    std::shared_ptr<openSubtitleItem> m_thisOpenSub;
    std::shared_ptr<movieFile> m_thisMovieFile;
    std::weak_ptr<JobSession> m_session;
    std::shared_ptr<const subClass> m_thisSubClass;
    QStringList m_helpTags;
    bool m_opened = false;
    // The identification run has ended: playback can be started (again).
    bool m_identified = false;
    // The row that following the playback selected, or -1.
    int m_followedRow = -1;
    QPointer<QWidget> m_openerWindow;

    omiButton *m_playButton;
    omiButton *m_rwdbutton;
    omiButton *m_fwdbutton;
    omiButton *m_wrongLangBut;
    omiButton *m_machineTranslateBut;
    omiButton *m_notSyncdBut;
    omiButton *m_closeWindowBut;
    omiButton *m_selectSubBut;
    omiButton *m_fixTimingBut;
    QLabel *m_timingLabel;
    TimingProbe *m_timingProbe;
    QString m_subtitlePath;
    TimingMeasurement m_timing;
    omiListbox *m_subLinesList;
    CueScrollWidget *m_subListScrollbar;
    QLabel *m_timeLabel;
    PreviewProgressWidget *m_progressCanvas;
    QTimer *m_listParsedSub;
    QTimer *m_consoleTimer;
};
