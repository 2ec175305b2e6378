#pragma once

#include <QByteArray>
#include <QStringList>

class QMimeData;

// Reads the list of copied files from clipboard data. File managers on the
// Linux desktop offer it as "x-special/gnome-copied-files" (GNOME, Xfce, and
// others: an operation line, then one URI per line) and as "text/uri-list"
// (RFC 2483: CRLF-separated URIs, "#" comment lines).
namespace ClipboardFiles {

inline constexpr char GnomeCopiedFilesMime[] = "x-special/gnome-copied-files";
inline constexpr char UriListMime[] = "text/uri-list";

// Local paths of the file URIs in the data, in order. Other URIs are skipped.
QStringList parseUriList(const QByteArray &data);
QStringList parseGnomeCopiedFiles(const QByteArray &data);

// The copied files that exist, in clipboard order: the GNOME list when the
// data carries one, otherwise the URI list.
QStringList existingFiles(const QMimeData *data);

} // namespace ClipboardFiles
