#pragma once

#include "media/TextEncoding.h"
#include "preview/subLine.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// A subtitle file and its cues, read and parsed once in the constructor.
// SRT files are parsed directly; frame-based SUB files ({start}{end}text) are
// first rewritten into SRT-form lines with the frame rate given, so one cue
// parser serves both. A file that is missing, unreadable or of another type
// leaves the set empty with allReady() false.
class subClass final {
public:
    subClass(const QString &file, double fps);

    // End of the last cue (in list order); 0 without cues.
    double duration() const;
    qsizetype count() const { return m_subLines.size(); }
    // Sorts the cues by start time.
    void order();

    // Parses subText() into cues.
    void processSRTText();
    // Reads a SUB file into SRT-form lines.
    void processSUBFile();
    // Reads an SRT file's lines.
    void processSRTFile();

    const QString &subFile() const { return m_subFile; }
    double fps() const { return m_fps; }
    const QStringList &subText() const { return m_subText; }
    const QByteArray &subOriginalContents() const { return m_subOriginalContents; }
    std::optional<TextEncoding> encoding() const { return m_encoding; }
    const QList<subLine> &subLines() const { return m_subLines; }
    bool isSRT() const { return m_isSRT; }
    // True only after a complete parse.
    bool allReady() const { return m_allReady; }

private:
    QStringList readLines();

    QString m_subFile;
    double m_fps = 0;
    QStringList m_subText;
    QByteArray m_subOriginalContents;
    std::optional<TextEncoding> m_encoding;
    bool m_utf16Swapped = false;
    QList<subLine> m_subLines;
    bool m_isSRT = false;
    bool m_allReady = false;
};
