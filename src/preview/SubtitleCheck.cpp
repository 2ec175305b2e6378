#include "preview/SubtitleCheck.h"

#include "media/TextEncoding.h"
#include "preview/subClass.h"
#include "service/SubtitleDownload.h"

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

} // namespace

QString refusal(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return tr("it cannot be read: %1").arg(file.errorString());
    // The start tells text from binary; the cue count reads the whole file.
    const QByteArray head = file.read(64 * 1024);
    if (const QString refused = SubtitleDownload::contentRefusal(head, QString()); !refused.isEmpty())
        return refused;
    // Only the formats we read can be counted; others pass on being text.
    const QString format = QFileInfo(path).suffix().toLower();
    const bool readable = format == QLatin1StringView("srt") || format == QLatin1StringView("sub");
    if (readable && subClass(path, 25.0).count() == 0)
        return tr("it holds no subtitle cue");
    return {};
}

} // namespace SubtitleCheck
