#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

// One line of the player's console output, read for what it tells.
struct PlayerLine {
    enum Kind { Other, Identify, Status };
    Kind kind = Other;
    QString name;        // Identify: the value's name ("ID_LENGTH")
    QString value;       // Identify: the text after "=", trimmed; empty without "="
    double position = 0; // Status: playback position in seconds, 0 when not read
};

// Turns the player's output into lines. Lines end at CR or LF (status lines
// end in CR alone); terminal escape sequences and padding are dropped. A line
// cut between two chunks waits for the rest in the next chunk; a line longer
// than MaxLineLength is read from its first MaxLineLength bytes.
class PlayerOutputReader final {
public:
    // Bytes of a line that are read; the rest of a longer line is dropped.
    static constexpr qsizetype MaxLineLength = 64 * 1024;

    // Appends a chunk and returns the lines it completed.
    QList<PlayerLine> feed(const QByteArray &chunk);
    // The partial line left at the end of the output, when the run ends.
    QList<PlayerLine> finish();

    // The text of one line, escape sequences removed and trimmed.
    static QString cleanLine(const QByteArray &raw);
    // What one cleaned line says. Tag = the text before the first ":";
    // "IDENTIFY" lines carry NAME=value between the first and second ":",
    // "STATUSLINE" lines the position between " A:" and " V:" (after " V:"
    // when the video has no sound). `afterIdentify` tells that the line
    // before was an IDENTIFY line: the player continues multi-line
    // identification messages without the tag.
    static PlayerLine parseLine(const QString &line, bool afterIdentify = false);

private:
    QList<PlayerLine> take(const QByteArray &raw);
    void keep(QByteArrayView part);

    QByteArray m_pending;
    bool m_afterIdentify = false;
};
