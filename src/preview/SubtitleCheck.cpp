#include "preview/SubtitleCheck.h"

#include "media/StringUtils.h"
#include "preview/subClass.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

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

} // namespace

QString refusal(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return tr("it cannot be read: %1").arg(file.errorString());
    // The start tells text from binary; the cue count reads the whole file.
    const QByteArray head = file.read(64 * 1024);
    if (head.isEmpty())
        return tr("it is empty");
    if (!readsAsText(head))
        return tr("it is not text");
    // Only the formats we read can be counted; others pass on being text.
    const QString format = QFileInfo(path).suffix().toLower();
    const bool readable = format == QLatin1StringView("srt") || format == QLatin1StringView("sub");
    if (readable && subClass(path, 25.0).count() == 0)
        return tr("it holds no subtitle cue");
    return {};
}

} // namespace SubtitleCheck
