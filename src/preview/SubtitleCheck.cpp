#include "preview/SubtitleCheck.h"

#include "media/StringUtils.h"
#include "preview/subClass.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace SubtitleCheck {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("SubtitleCheck", text);
}

// Text has no control characters besides tabs, line and page breaks; a
// binary file decoded as Latin-1 is full of them.
bool readsAsText(const QByteArray &bytes)
{
    const QString text = decodeText(bytes);
    return std::none_of(text.cbegin(), text.cend(), [](QChar c) {
        return c.category() == QChar::Other_Control && c != u'\t' && c != u'\n' && c != u'\r' && c != u'\f';
    });
}

// Whether the text holds one cue of its format, where the format's cues are
// known; other formats pass.
bool hasCue(const QString &text, const QString &format)
{
    static const QRegularExpression microDvd(u"^\\{\\d+\\}\\{\\d*\\}"_s, QRegularExpression::MultilineOption);
    static const QRegularExpression subViewer(u"\\d+:\\d\\d:\\d\\d\\.\\d+,\\d+:\\d\\d:\\d\\d\\.\\d+"_s);
    const QString f = format.toLower();
    if (f == QLatin1StringView("srt") || f == QLatin1StringView("vtt"))
        return text.contains(QLatin1StringView("-->"));
    if (f == QLatin1StringView("ass") || f == QLatin1StringView("ssa"))
        return text.contains(QLatin1StringView("Dialogue:"), Qt::CaseInsensitive);
    if (f == QLatin1StringView("sub"))
        return microDvd.match(text).hasMatch() || subViewer.match(text).hasMatch();
    return true;
}

} // namespace

QString refusal(const QByteArray &content, const QString &format)
{
    if (content.isEmpty())
        return tr("it is empty");
    if (!readsAsText(content.left(64 * 1024)))
        return tr("it is not text");
    if (!hasCue(decodeText(content), format))
        return tr("it holds no subtitle cue");
    return {};
}

QString refusal(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return tr("it cannot be read: %1").arg(file.errorString());
    // The start tells text from binary; the cue count reads the whole file.
    const QByteArray head = file.read(64 * 1024);
    if (const QString refused = refusal(head, QString()); !refused.isEmpty())
        return refused;
    // Only the formats we read can be counted; others pass on being text.
    const QString format = QFileInfo(path).suffix().toLower();
    const bool readable = format == QLatin1StringView("srt") || format == QLatin1StringView("sub");
    if (readable && subClass(path, 25.0).count() == 0)
        return tr("it holds no subtitle cue");
    return {};
}

} // namespace SubtitleCheck
