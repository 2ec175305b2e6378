#include "timing/SubtitleRetimer.h"

#include "media/TextEncoding.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QStringConverter>
#include <QSysInfo>

#include <cmath>
#include <optional>

using namespace Qt::Literals::StringLiterals;

namespace {

QString suffixOf(const QString &fileName)
{
    return QFileInfo(fileName).suffix().toLower();
}

QStringConverter::Encoding converterFor(const QByteArray &bytes)
{
    bool swapped = false;
    switch (GuessEncoding(bytes, swapped)) {
    case TextEncoding::UTF16: {
        const bool bigEndian = (QSysInfo::ByteOrder == QSysInfo::BigEndian) != swapped;
        return bigEndian ? QStringConverter::Utf16BE : QStringConverter::Utf16LE;
    }
    case TextEncoding::UTF8:
        return QStringConverter::Utf8;
    case TextEncoding::ASCII:
    case TextEncoding::Latin1:
        break;
    }
    return QStringConverter::Latin1;
}

// The text of `bytes`, byte-order mark kept as a character, but only when
// encoding it again gives the same bytes: otherwise rewriting would change
// more than the times.
std::optional<QString> decodeExactly(const QByteArray &bytes, QStringConverter::Encoding encoding)
{
    QStringDecoder decoder(encoding, QStringConverter::Flag::ConvertInitialBom);
    const QString text = decoder.decode(bytes);
    QStringEncoder encoder(encoding, QStringConverter::Flag::ConvertInitialBom);
    const QByteArray again = encoder.encode(text);
    if (decoder.hasError() || again != bytes)
        return std::nullopt;
    return text;
}

QString srtTime(double seconds, qsizetype hourDigits, QChar separator)
{
    const qint64 ms = std::max<qint64>(0, std::llround(seconds * 1000.0));
    return u"%1:%2:%3%4%5"_s.arg(ms / 3600000, int(hourDigits), 10, QChar(u'0'))
        .arg(ms / 60000 % 60, 2, 10, QChar(u'0'))
        .arg(ms / 1000 % 60, 2, 10, QChar(u'0'))
        .arg(separator)
        .arg(ms % 1000, 3, 10, QChar(u'0'));
}

bool onTimeLine(const QString &text, qsizetype at)
{
    const qsizetype start = text.lastIndexOf(u'\n', at) + 1;
    qsizetype end = text.indexOf(u'\n', at);
    if (end < 0)
        end = text.size();
    return QStringView(text).mid(start, end - start).contains("-->"_L1);
}

QString retimeSrt(const QString &text, const TimingTransform &transform)
{
    static const QRegularExpression stamp(u"(\\d+):(\\d{1,2}):(\\d{1,2})([,.])(\\d{1,3})"_s);
    QString out;
    out.reserve(text.size());
    qsizetype copied = 0;
    for (auto it = stamp.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        if (!onTimeLine(text, m.capturedStart()))
            continue;
        const QString fraction = m.captured(5);
        const double seconds = m.captured(1).toDouble() * 3600 + m.captured(2).toDouble() * 60 +
                               m.captured(3).toDouble() +
                               fraction.toDouble() / std::pow(10.0, fraction.size());
        out += QStringView(text).mid(copied, m.capturedStart() - copied);
        out += srtTime(transform.apply(seconds), std::max<qsizetype>(2, m.capturedLength(1)),
                       m.captured(4).at(0));
        copied = m.capturedEnd();
    }
    out += QStringView(text).mid(copied);
    return out;
}

QString retimeSub(const QString &text, const TimingTransform &transform, double fps)
{
    static const QRegularExpression frames(u"^\\{(\\d+)\\}\\{(\\d*)\\}"_s,
                                           QRegularExpression::MultilineOption);
    const auto moved = [&](const QString &frame) {
        if (frame.isEmpty())
            return frame;
        const double seconds = transform.apply(frame.toDouble() / fps);
        return QString::number(std::max<qint64>(0, std::llround(seconds * fps)));
    };
    QString out;
    qsizetype copied = 0;
    for (auto it = frames.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += QStringView(text).mid(copied, m.capturedStart() - copied);
        out += u"{%1}{%2}"_s.arg(moved(m.captured(1)), moved(m.captured(2)));
        copied = m.capturedEnd();
    }
    out += QStringView(text).mid(copied);
    return out;
}

} // namespace

bool SubtitleRetimer::canRewrite(const QString &fileName)
{
    const QString suffix = suffixOf(fileName);
    return suffix == "srt"_L1 || suffix == "sub"_L1;
}

SubtitleRetimer::Retimed SubtitleRetimer::retime(const QByteArray &original, const QString &fileName,
                                                 const TimingTransform &transform, double fps)
{
    if (!canRewrite(fileName))
        return {{}, u"Lumbra cannot rewrite .%1 subtitles"_s.arg(suffixOf(fileName))};
    const bool isSub = suffixOf(fileName) == "sub"_L1;
    if (isSub && !(fps > 0 && std::isfinite(fps)))
        return {{}, u"the frame rate of the SUB file's frames is not known"_s};
    const QStringConverter::Encoding encoding = converterFor(original);
    const std::optional<QString> text = decodeExactly(original, encoding);
    if (!text)
        return {{}, u"the subtitle's text does not read back the same in its encoding"_s};
    const QString changed = isSub ? retimeSub(*text, transform, fps) : retimeSrt(*text, transform);
    QStringEncoder encoder(encoding, QStringConverter::Flag::ConvertInitialBom);
    return {encoder.encode(changed), {}};
}
