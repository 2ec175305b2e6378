#include "preview/subClass.h"

#include "media/FileNames.h"
#include "preview/subsModule.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QStringDecoder>
#include <QSysInfo>

#include <algorithm>
#include <cmath>

using namespace Qt::Literals::StringLiterals;

Q_LOGGING_CATEGORY(lcSubtitles, "lumbra.subtitles", QtInfoMsg)

namespace {

// Subtitle files are small; anything beyond this is not one, and reading it
// whole would only exhaust memory.
constexpr qint64 maxSubtitleBytes = 64 * 1024 * 1024;

QString decodeIn(const QByteArray &bytes, TextEncoding encoding, bool utf16Swapped)
{
    switch (encoding) {
    case TextEncoding::UTF16: {
        const bool hostBigEndian = QSysInfo::ByteOrder == QSysInfo::BigEndian;
        const bool bigEndian = hostBigEndian != utf16Swapped;
        // The default flags drop a leading byte-order mark.
        QStringDecoder decoder(bigEndian ? QStringConverter::Utf16BE : QStringConverter::Utf16LE);
        return decoder.decode(bytes);
    }
    case TextEncoding::UTF8: {
        QStringDecoder decoder(QStringConverter::Utf8);
        return decoder.decode(bytes);
    }
    case TextEncoding::ASCII:
    case TextEncoding::Latin1:
        break;
    }
    return QString::fromLatin1(bytes);
}

// Lines end at CR, LF or CR LF. A final line ending does not open another
// line, but an empty text is one empty line.
QStringList splitLines(const QString &text)
{
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n')
            continue;
        lines.append(text.mid(start, i - start));
        if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < n || lines.isEmpty())
        lines.append(text.mid(start));
    return lines;
}

// A separator line; lines of blanks count as empty, as they do to a reader.
bool isBlankLine(const QString &line)
{
    return line.trimmed().isEmpty();
}

bool isCueNumber(const QString &line)
{
    return subsModule::isNumber(line) && !line.contains(u',') && !line.contains(u'.');
}

} // namespace

subClass::subClass(const QString &file, double fps)
{
    if (file.isEmpty())
        return;
    const QFileInfo info(file);
    if (!info.isFile() || !info.isReadable())
        return;
    m_subFile = info.absoluteFilePath();
    m_fps = fps;

    const QString ext = Extension(info);
    if (ext.compare("sub"_L1, Qt::CaseInsensitive) == 0) {
        processSUBFile();
        m_isSRT = true;
    } else if (ext.compare("srt"_L1, Qt::CaseInsensitive) == 0) {
        processSRTFile();
        m_isSRT = true;
    }
    if (m_isSRT)
        processSRTText();
}

double subClass::duration() const
{
    if (m_subLines.isEmpty())
        return 0;
    const subLine &last = m_subLines.last();
    return last.startSeconds + last.durationSeconds;
}

void subClass::order()
{
    std::stable_sort(m_subLines.begin(), m_subLines.end(),
                     [](const subLine &a, const subLine &b) { return a.startSeconds < b.startSeconds; });
}

QStringList subClass::readLines()
{
    m_allReady = false;
    m_subText.clear();
    QFile f(m_subFile);
    if (!f.open(QIODevice::ReadOnly)) {
        qCWarning(lcSubtitles) << "cannot read" << m_subFile << f.errorString();
        return {};
    }
    if (f.size() > maxSubtitleBytes) {
        qCWarning(lcSubtitles) << "too large for a subtitle file:" << m_subFile << f.size() << "bytes";
        return {};
    }
    const QByteArray bytes = f.readAll();
    if (!m_encoding) {
        m_subOriginalContents = bytes;
        m_encoding = GuessEncoding(bytes, m_utf16Swapped);
    }
    return splitLines(decodeIn(bytes, *m_encoding, m_utf16Swapped));
}

void subClass::processSRTFile()
{
    m_subText = readLines();
}

void subClass::processSUBFile()
{
    const QStringList lines = readLines();
    if (!(m_fps > 0) || !std::isfinite(m_fps)) {
        qCWarning(lcSubtitles) << "no frame rate to read the frames of" << m_subFile;
        return;
    }
    int counter = 1;
    for (const QString &line : lines) {
        if (!line.startsWith(u'{'))
            continue;
        const QStringList braces = line.split(u'{');
        const auto frame = [&braces](qsizetype field) {
            const QString text = braces.value(field);
            return std::trunc(subsModule::readNumber(QStringView(text).left(text.indexOf(u'}'))));
        };
        const double start = frame(1);
        const double end = frame(2);
        const QString text = line.section(u'}', 2, 2);
        if (text.isEmpty())
            continue;
        m_subText.append(QString::number(counter));
        m_subText.append(subsModule::secondsToTimestring(start / m_fps) + " --> "_L1 +
                         subsModule::secondsToTimestring(end / m_fps));
        m_subText.append(text.split(u'|'));
        m_subText.append(QString());
        ++counter;
    }
}

void subClass::processSRTText()
{
    m_allReady = false;
    m_subLines.clear();
    const QStringList &t = m_subText;
    const qsizetype n = t.size();
    qsizetype i = 0;
    while (i < n) {
        if (isBlankLine(t[i]) || !isCueNumber(t[i])) {
            ++i;
            continue;
        }
        subLine cue;
        cue.lineID = subsModule::truncateToInt(subsModule::readNumber(t[i]));
        ++i;
        if (i >= n)
            break;
        // A number straight before a blank line has no cue; the blank line
        // is skipped at the top of the loop.
        if (isBlankLine(t[i]))
            continue;
        const QString &timeLine = t[i];
        const qsizetype arrow = timeLine.indexOf("-->"_L1);
        if (arrow >= 0) {
            const QString rest = timeLine.mid(arrow + 3);
            const qsizetype second = rest.indexOf("-->"_L1);
            cue.startTime = timeLine.left(arrow).trimmed();
            cue.endTime = (second >= 0 ? rest.left(second) : rest).trimmed();
            cue.startSeconds = subsModule::timeStringToSeconds(cue.startTime);
            cue.endSeconds = subsModule::timeStringToSeconds(cue.endTime);
            cue.durationSeconds = cue.endSeconds - cue.startSeconds;

            bool discarded = false;
            while (i < n - 1) {
                ++i;
                const QString &text = t[i];
                if (isBlankLine(text))
                    break;
                // A number here starts the next cue: this one lost its
                // blank separator and is dropped; the number is read again.
                if (isCueNumber(text)) {
                    discarded = true;
                    --i;
                    break;
                }
                cue.subText.append(text);
            }
            if (!discarded && !cue.subText.isEmpty())
                m_subLines.append(cue);
        }
        ++i;
    }
    order();
    m_allReady = true;
}
