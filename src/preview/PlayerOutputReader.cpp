#include "preview/PlayerOutputReader.h"

#include "preview/subsModule.h"

#include <QRegularExpression>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

// Only the new bytes are scanned for line ends, and a line longer than any
// the player writes keeps its start only, so a flood without line ends costs
// linear time and bounded memory.
QList<PlayerLine> PlayerOutputReader::feed(const QByteArray &chunk)
{
    QList<PlayerLine> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < chunk.size(); ++i) {
        const char c = chunk[i];
        if (c != '\r' && c != '\n')
            continue;
        keep(QByteArrayView(chunk).sliced(start, i - start));
        lines += take(m_pending);
        m_pending.clear();
        start = i + 1;
    }
    keep(QByteArrayView(chunk).sliced(start));
    return lines;
}

void PlayerOutputReader::keep(QByteArrayView part)
{
    m_pending += part.first(std::min(part.size(), MaxLineLength - m_pending.size()));
}

QList<PlayerLine> PlayerOutputReader::finish()
{
    const QByteArray rest = m_pending;
    m_pending.clear();
    return take(rest);
}

QList<PlayerLine> PlayerOutputReader::take(const QByteArray &raw)
{
    const QString line = cleanLine(raw);
    if (line.isEmpty())
        return {};
    const PlayerLine parsed = parseLine(line, m_afterIdentify);
    m_afterIdentify = parsed.kind == PlayerLine::Identify;
    return {parsed};
}

QString PlayerOutputReader::cleanLine(const QByteArray &raw)
{
    QByteArray bytes;
    bytes.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\x1b') {
            bytes += raw[i];
            continue;
        }
        // ESC [ parameters intermediates final, or ESC and one character.
        ++i;
        if (i < raw.size() && raw[i] == '[') {
            ++i;
            while (i < raw.size() && (uchar(raw[i]) < 0x40 || uchar(raw[i]) > 0x7e))
                ++i;
        }
    }
    return QString::fromUtf8(bytes).trimmed();
}

PlayerLine PlayerOutputReader::parseLine(const QString &line, bool afterIdentify)
{
    PlayerLine result;
    const qsizetype colon = line.indexOf(u':');
    const QString tag = (colon < 0 ? line : line.left(colon)).trimmed();

    const auto readIdentify = [&result](const QString &rest) {
        const qsizetype eq = rest.indexOf(u'=');
        result.kind = PlayerLine::Identify;
        result.name = (eq < 0 ? rest : rest.left(eq)).trimmed();
        result.value = eq < 0 ? QString() : rest.mid(eq + 1).trimmed();
    };

    if (tag.compare("IDENTIFY"_L1, Qt::CaseInsensitive) == 0) {
        readIdentify(line.section(u':', 1, 1).trimmed());
    } else if (tag.compare("STATUSLINE"_L1, Qt::CaseInsensitive) == 0) {
        result.kind = PlayerLine::Status;
        const qsizetype a = line.indexOf(" A:"_L1);
        const qsizetype v = line.indexOf(" V:"_L1);
        QStringView number;
        if (a >= 0 && v > a)
            number = QStringView(line).mid(a + 3, v - a - 3);
        else if (a < 0 && v >= 0)
            number = QStringView(line).mid(v + 3);
        result.position = subsModule::readNumber(number.trimmed());
    } else if (afterIdentify && colon < 0) {
        static const QRegularExpression continued(u"^ID_[A-Z0-9_]+="_s);
        if (continued.match(line).hasMatch())
            readIdentify(line);
    }
    return result;
}
