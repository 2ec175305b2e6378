#include "platform/ClipboardFiles.h"

#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

using namespace Qt::Literals::StringLiterals;

namespace ClipboardFiles {

namespace {

// A local path for a file URI, or an empty text for anything else.
QString localPath(const QByteArray &line)
{
    const QByteArray trimmed = line.trimmed();
    if (trimmed.isEmpty())
        return {};
    const QUrl url = QUrl::fromEncoded(trimmed, QUrl::StrictMode);
    if (!url.isValid() || !url.isLocalFile())
        return {};
    return url.toLocalFile();
}

QStringList pathsOf(const QList<QByteArray> &lines)
{
    QStringList paths;
    for (const QByteArray &line : lines) {
        if (line.startsWith('#'))
            continue;
        const QString path = localPath(line);
        if (!path.isEmpty())
            paths.append(path);
    }
    return paths;
}

} // namespace

QStringList parseUriList(const QByteArray &data)
{
    // Lines end in CRLF by the standard; a bare LF is accepted too.
    QByteArray text = data;
    text.replace('\r', '\n');
    return pathsOf(text.split('\n'));
}

QStringList parseGnomeCopiedFiles(const QByteArray &data)
{
    QList<QByteArray> lines = data.split('\n');
    // The first line names the operation ("copy" or "cut"), not a file.
    if (!lines.isEmpty()) {
        const QByteArray op = lines.first().trimmed();
        if (op == "copy" || op == "cut")
            lines.removeFirst();
    }
    return pathsOf(lines);
}

QStringList existingFiles(const QMimeData *data)
{
    if (!data)
        return {};
    QStringList paths;
    if (data->hasFormat(QLatin1StringView(GnomeCopiedFilesMime)))
        paths = parseGnomeCopiedFiles(data->data(QLatin1StringView(GnomeCopiedFilesMime)));
    else if (data->hasFormat(QLatin1StringView(UriListMime)))
        paths = parseUriList(data->data(QLatin1StringView(UriListMime)));

    QStringList existing;
    for (const QString &path : std::as_const(paths)) {
        if (QFileInfo::exists(path))
            existing.append(path);
    }
    return existing;
}

} // namespace ClipboardFiles
